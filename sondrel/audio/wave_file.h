// WaveFile: a RIFF WAVE file over an owned FileStream. Write mode creates a canonical
// 44-byte-header PCM file; read mode walks the chunks of an existing file and serves its
// samples, playing the first sampler loop as the file asks.
#pragma once

#include "sondrel/audio/file_stream.h"
#include "sondrel/audio/wave_format.h"

#include <cstdint>
#include <string>

namespace sondrel {

// One loop of a "smpl" chunk. Once the file is open, start and end are byte offsets within
// the sample data; the region runs from start to end + blockAlign, exclusive.
struct WaveLoop {
    uint32_t identifier;
    uint32_t type;
    uint32_t start;
    uint32_t end;
    uint32_t fraction;
    uint32_t playCount;  // 0: without end; n: the region is played n times in all
};

// The "smpl" chunk header, in file order.
struct WaveSampler {
    uint32_t manufacturer;
    uint32_t product;
    uint32_t samplePeriod;
    uint32_t midiUnityNote;
    uint32_t midiPitchFraction;
    uint32_t smpteFormat;
    uint32_t smpteOffset;
    uint32_t loopCount;
    uint32_t samplerDataSize;
};

class WaveFile {
public:
    // Opens `basePath` + ".wav". Throws kFileNotOpened when the file cannot be created
    // (write mode) or is missing or empty (read mode).
    WaveFile(const std::string& basePath, bool readMode);
    virtual ~WaveFile();

    virtual bool writeData(const void* data, uint32_t size);
    virtual void readData(void* buffer, uint32_t size);
    virtual uint32_t dataSize() const;
    virtual void setPosition(uint32_t pos);
    virtual uint32_t position() const;
    virtual void setFormat(const WaveFormat& format);
    virtual WaveFormat* format();
    virtual const std::string& name() const;
    virtual bool isReadMode() const;
    virtual uint32_t seek(long pos);
    virtual uint32_t tell(long* pos);
    virtual bool read(void* buffer, unsigned count);
    virtual bool readByte(char* byte);
    virtual bool write(const void* data, unsigned count);
    virtual bool writeByte(const char* byte);

    // What the chunk walk found, for callers that inspect a file.
    uint32_t dataOffset() const { return dataOffset_; }
    bool hasLoops() const { return hasLoops_; }
    bool loopForever() const { return loopForever_; }
    const WaveSampler& sampler() const { return sampler_; }
    uint32_t loopCount() const { return loopCount_; }
    const WaveLoop* loops() const { return loops_; }

    WaveFile(const WaveFile&) = delete;
    WaveFile& operator=(const WaveFile&) = delete;

private:
    void writeValue(uint32_t value, int bytes);
    uint32_t readValue(int bytes);
    void writeFormatAndSizes();
    void walkChunks();
    bool runChunkWalk();
    void skip(uint32_t length);
    void readAt(uint32_t position, char* buffer, uint32_t count);

    FileStream* file_;
    WaveFormat format_;
    uint32_t dataOffset_;
    uint32_t dataSize_;
    uint32_t position_;
    bool hasLoops_;
    bool loopForever_;
    uint32_t loopsDone_;
    WaveSampler sampler_;
    WaveLoop* loops_;
    uint32_t loopCount_;  // loops actually read: never more than the chunk holds
};

}  // namespace sondrel

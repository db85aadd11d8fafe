// OggSource: the converter's handle on one Ogg Vorbis file, owning its decoder.
#pragma once

#include "sondrel/audio/vorbis_decoder.h"
#include "sondrel/audio/wave_format.h"

#include <cstdint>
#include <string>

namespace sondrel {

class OggSource {
public:
    // Opens and measures the file; throws kFileNotOpened when it cannot be used.
    OggSource(const std::string& path, bool readMode);
    virtual ~OggSource();

    const WaveFormat& format() const { return format_; }
    uint32_t size() const { return size_; }
    // Rewinds to the first sample and decodes up to `size` bytes into `buffer`; returns how
    // many it decoded (the converter writes the whole buffer whatever the count). Throws
    // kFileNotOpened when the stream cannot be moved back to its first sample.
    uint32_t readAll(char* buffer, uint32_t size);

    OggSource(const OggSource&) = delete;
    OggSource& operator=(const OggSource&) = delete;

private:
    VorbisDecoder* decoder_;
    WaveFormat format_;
    uint32_t size_;
    std::string name_;
};

}  // namespace sondrel

// VorbisDecoder: one Ogg Vorbis file opened through libvorbisfile with the converter's own
// standard-I/O callbacks, measured, and decoded into 16-bit little-endian signed PCM.
#pragma once

#include "sondrel/audio/wave_format.h"

#include <vorbis/vorbisfile.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace sondrel {

class VorbisDecoder {
public:
    // Never throws; any failure leaves the decoder not open.
    VorbisDecoder(const std::string& path, bool readMode);
    ~VorbisDecoder();

    bool isOpen() const { return open_; }
    uint32_t size() const { return size_; }
    const WaveFormat& format() const { return format_; }

    // Moves to `sample`; returns 0 or the library's error. Throws kFileNotOpened when not open.
    // Sample 0 is reached without the library's bisection, which damaged granule positions
    // send astray: nothing happens when the stream already stands there, and otherwise the
    // stream is moved to its first byte.
    int seekSample(long sample);
    // Decodes up to `size` bytes; returns the last ov_read result and leaves the count of bytes
    // decoded in `filled` when it is given. Throws kFileNotOpened.
    long read(char* buffer, uint32_t size, uint32_t* filled = nullptr);

    VorbisDecoder(const VorbisDecoder&) = delete;
    VorbisDecoder& operator=(const VorbisDecoder&) = delete;

private:
    bool measure();

    FILE* file_;
    std::string name_;
    bool open_;
    bool readMode_;
    bool streamOpened_;  // ov_open_callbacks took the file: ov_clear releases both
    bool badLink_;       // after OV_EBADLINK from ov_read or ov_pcm_seek, ov_read would crash
    bool decodedSinceStart_;  // ov_read was called since the stream was opened or rewound
    uint32_t size_;
    ov_callbacks callbacks_;
    OggVorbis_File vf_;
    WaveFormat format_;
};

}  // namespace sondrel

// The PCM format record handed from the Ogg source to the WAV file, laid out like the
// RIFF WAVE "fmt " chunk followed by its extra-size field.
#pragma once

#include <cstdint>

namespace sondrel {

#pragma pack(push, 1)
struct WaveFormat {
    uint16_t formatTag;
    uint16_t channels;
    uint32_t sampleRate;
    uint32_t byteRate;
    uint16_t blockAlign;
    uint16_t bitsPerSample;
    uint16_t extraSize;
};
#pragma pack(pop)

static_assert(sizeof(WaveFormat) == 18, "WaveFormat is packed");

// The one failure the converter's file and audio classes raise, as a const char* exception.
extern const char* const kFileNotOpened;

}  // namespace sondrel

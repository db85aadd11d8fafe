// WAV masters, read the way the converter reads WAV files, encoded as a patch's sounds.
#pragma once

#include <cstdint>
#include <string>

namespace mkpatch {

struct MasterSound {
    uint16_t channels = 0;
    uint32_t rate = 0;
    uint32_t frames = 0;
};

// Reads the master `path` (ending in ".wav") through the converter's WaveFile and encodes it
// at `quality` into `ogg`. Only what the converter can give back is taken: 16-bit PCM; any
// other format is refused with `error` naming the file and its format. `warning` notes
// sampler loops, which the converter's WAV files do not carry.
bool encodeMaster(const std::string& path, float quality, int serial, std::string& ogg, MasterSound& sound,
                  std::string& warning, std::string& error);

}  // namespace mkpatch

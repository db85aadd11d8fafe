// Fuzz target: arbitrary bytes as a WAV file through the chunk walk, readData and
// setPosition. Besides the sanitizers, it checks that the walk's findings stay inside
// the file and that reads never deliver bytes from outside the data.
#include "sondrel/audio/wave_file.h"
#include "tests/fuzz/fuzz_support.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using fuzz::require;

const std::string& inputBase() {
    static std::string base = fuzz::scratchFolder("wave-fuzz") + "/input";
    return base;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FILE* file = std::fopen((inputBase() + ".wav").c_str(), "wb");
    if (!file)
        std::abort();
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    try {
        sondrel::WaveFile wave(inputBase(), true);
        uint64_t end = static_cast<uint64_t>(wave.dataOffset()) + wave.dataSize();
        require(wave.dataSize() == 0 || end <= size, "data chunk reaches past the file");
        if (wave.hasLoops()) {
            require(wave.loopCount() > 0 && wave.loops() != nullptr, "loops flagged without loop records");
            require(wave.loops()[0].start < wave.dataSize() && wave.loops()[0].end < wave.dataSize(),
                    "first loop outside the data");
            require(24ull * wave.loopCount() <= size, "more loops than the file can hold");
        }
        const uint8_t* sample = data + wave.dataOffset();
        std::vector<uint8_t> buffer(5000);
        uint32_t chunk = size > 0 ? 1 + data[size - 1] * 17 : 64;
        for (int pass = 0; pass < 2; ++pass) {
            for (int i = 0; i < 40; ++i) {
                uint32_t before = wave.position();
                uint32_t ask = chunk % buffer.size();
                std::memset(buffer.data(), 0xA5, buffer.size());
                wave.readData(buffer.data(), ask);
                require(wave.position() <= wave.dataSize() || wave.position() == before, "position past the data");
                if (!wave.hasLoops() && before <= wave.dataSize()) {
                    uint32_t expected = std::min(ask, wave.dataSize() - before);
                    require(wave.position() == before + expected, "straight read moved the wrong distance");
                    require(std::memcmp(buffer.data(), sample + before, expected) == 0,
                            "straight read delivered bytes that are not the data");
                }
            }
            wave.setPosition(size > 1 ? data[0] * 31u + data[1] : 0);
        }
    } catch (const char*) {
        // An empty input is not a file the stream can open.
    }
    return 0;
}

// Fuzz target: arbitrary bytes as an Ogg Vorbis file through OggSource: open, measure, decode
// whole into a zeroed buffer. Besides the sanitizers, it checks that the format describes
// 16-bit PCM consistently and that the decode stays inside its buffer.
#include "sondrel/audio/ogg_source.h"
#include "tests/fuzz/fuzz_support.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Streams that decode to more than this are measured, not decoded: the fuzzer's memory is
// limited, the converter's is not.
const uint32_t kMaxDecoded = 64u << 20;

using fuzz::require;

const std::string& inputPath() {
    static std::string path = fuzz::scratchFolder("ogg-fuzz") + "/input.ogg";
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FILE* file = std::fopen(inputPath().c_str(), "wb");
    if (!file)
        std::abort();
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    try {
        sondrel::OggSource source(inputPath(), true);
        const sondrel::WaveFormat& format = source.format();
        require(format.formatTag == 1 && format.bitsPerSample == 16 && format.extraSize == 0, "not 16-bit PCM");
        require(format.channels > 0 && format.blockAlign == format.channels * 2, "block align disagrees");
        require(format.byteRate == format.sampleRate * format.blockAlign, "byte rate disagrees");
        require(source.size() % format.blockAlign == 0, "size is not whole sample frames");
        if (source.size() > kMaxDecoded)
            return 0;
        std::vector<char> pcm(source.size() + 1, 0);
        pcm[source.size()] = 0x5A;
        source.readAll(pcm.data(), source.size());
        require(pcm[source.size()] == 0x5A, "decoded past the buffer");
    } catch (const char*) {
        // Not an Ogg Vorbis stream the converter can use.
    }
    return 0;
}

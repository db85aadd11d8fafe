// The public WAV files of the shared corpus: the format, data size and loops its MANIFEST
// gives for PCM files, a stopped walk for everything else, and bounded reads on all.
#include "sondrel/audio/wave_file.h"
#include "tests/support/corpus.h"

#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <vector>

namespace {

struct ExpectedLoop {
    uint32_t type, start, end;  // frames, as stored
};

struct WavCase {
    std::string path;
    bool riffWave = true;
    long long tag = -1, channels = -1, rate = -1, bits = -1, align = -1, frames = -1;
    bool hasSmpl = false;
    long long unity = -1;
    std::vector<ExpectedLoop> loops;
};

std::vector<WavCase> manifestCases() {
    std::vector<WavCase> cases;
    std::regex row(R"(^\| ((?:sfizz|wavefile-js|go-audio-wav|hound)/[^ |]+\.wav) \|[^|]*\|[^|]*\|[^|]*\| ([^|]*) \|)");
    std::regex fmt(R"(fmt tag=(\d+) ch=(\d+) (\d+)Hz (\d+)bit align=(\d+); frames=(\d+|None))");
    std::regex smpl(R"(smpl unity=(\d+) loops=\[([^\]]*)\])");
    std::regex loop(R"(\((\d+), (\d+), (\d+)\))");
    for (const std::string& line : corpus::manifestLines()) {
        std::smatch match;
        if (!std::regex_search(line, match, row))
            continue;
        WavCase c;
        c.path = match[1];
        std::string observed = match[2];
        c.riffWave = observed.find("not RIFF/WAVE") == std::string::npos;
        std::smatch f;
        if (std::regex_search(observed, f, fmt)) {
            c.tag = std::stoll(f[1]), c.channels = std::stoll(f[2]), c.rate = std::stoll(f[3]);
            c.bits = std::stoll(f[4]), c.align = std::stoll(f[5]);
            c.frames = f[6] == "None" ? -1 : std::stoll(f[6]);
        }
        std::smatch s;
        if (std::regex_search(observed, s, smpl)) {
            c.hasSmpl = true;
            c.unity = std::stoll(s[1]);
            std::string list = s[2];
            for (std::sregex_iterator it(list.begin(), list.end(), loop), end; it != end; ++it)
                c.loops.push_back({static_cast<uint32_t>(std::stoul((*it)[1])),
                                   static_cast<uint32_t>(std::stoul((*it)[2])),
                                   static_cast<uint32_t>(std::stoul((*it)[3]))});
        }
        cases.push_back(c);
    }
    return cases;
}

}  // namespace

TEST(WavCorpus, PcmFilesReadAsTheManifestSaysAndTheRestStopCleanly) {
    if (!corpus::available())
        GTEST_SKIP() << "the shared corpus is not at " << corpus::root();
    std::vector<WavCase> cases = manifestCases();
    ASSERT_GT(cases.size(), 30u) << "MANIFEST rows for the WAV files not found";
    int pcmFiles = 0;
    for (const WavCase& c : cases) {
        SCOPED_TRACE(c.path);
        std::string base = corpus::path(c.path);
        base.resize(base.size() - 4);  // the stream appends ".wav"
        std::unique_ptr<sondrel::WaveFile> wave(new sondrel::WaveFile(base, true));
        const sondrel::WaveFormat& format = *wave->format();
        bool pcm = c.riffWave && c.tag == 1 && c.frames >= 0;
        if (pcm) {
            ++pcmFiles;
            EXPECT_EQ(c.channels, format.channels);
            EXPECT_EQ(c.rate, format.sampleRate);
            EXPECT_EQ(c.bits, format.bitsPerSample);
            EXPECT_EQ(c.align, format.blockAlign);
            EXPECT_EQ(c.frames, wave->dataSize() / format.blockAlign);
            if (c.hasSmpl) {
                EXPECT_EQ(c.unity, wave->sampler().midiUnityNote);
            }
            ASSERT_EQ(c.loops.size(), wave->loopCount());
            EXPECT_EQ(!c.loops.empty(), wave->hasLoops());
            for (size_t i = 0; i < c.loops.size(); ++i) {
                EXPECT_EQ(c.loops[i].type, wave->loops()[i].type);
                EXPECT_EQ(c.loops[i].start * c.align, wave->loops()[i].start);
                EXPECT_EQ(c.loops[i].end * c.align, wave->loops()[i].end);
            }
        } else {
            // Not RIFF WAVE, not PCM, or no usable format: nothing to loop over.
            EXPECT_FALSE(wave->hasLoops());
            if (!c.riffWave) {
                EXPECT_EQ(0u, wave->dataSize());
            }
        }
        // Reading never runs past the data, even through endless loops.
        std::vector<char> buffer(65536);
        for (int i = 0; i < 200 && wave->position() < wave->dataSize(); ++i) {
            wave->readData(buffer.data(), static_cast<uint32_t>(buffer.size()));
            ASSERT_LE(wave->position(), wave->dataSize());
        }
        if (pcm && !wave->loopForever()) {
            EXPECT_EQ(wave->dataSize(), wave->position()) << "the data was not read to its end";
        }
    }
    EXPECT_GT(pcmFiles, 15);
}

// WaveFile in write mode: the 44-byte header byte for byte, sizes, truncation, the calling
// order of the converter, and independent readers of what it writes.
#include "sondrel/audio/ogg_source.h"
#include "sondrel/audio/wave_file.h"
#include "tests/support/ogg_fixture.h"
#include "tests/support/zip_fixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#ifdef VARDANE_HAVE_SNDFILE
#include <sndfile.h>
#endif

using sondrel::WaveFile;
using sondrel::WaveFormat;

namespace {

std::string le(uint32_t value, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>(value >> (8 * i));
    return out;
}

std::string canonicalHeader(const WaveFormat& f, uint32_t dataSize) {
    return "RIFF" + le(36 + dataSize, 4) + "WAVE" + "fmt " + le(16, 4) + le(f.formatTag, 2) + le(f.channels, 2) +
           le(f.sampleRate, 4) + le(f.byteRate, 4) + le(f.blockAlign, 2) + le(f.bitsPerSample, 2) + "data" +
           le(dataSize, 4);
}

const WaveFormat kStereo = {1, 2, 44100, 176400, 4, 16, 0};

// The converter's order: create, format, one block of data, format again.
void writeWave(const std::string& base, const WaveFormat& format, const std::string& pcm) {
    WaveFile wave(base, false);
    wave.setFormat(format);
    EXPECT_TRUE(wave.writeData(pcm.data(), static_cast<uint32_t>(pcm.size())));
    wave.setFormat(format);
}

}  // namespace

TEST(WaveWriter, WritesTheCanonicalHeaderThenTheData) {
    fixture::ScopedTempDir dir;
    std::string pcm = fixture::randomBytes(4000, 4);
    writeWave("x", kStereo, pcm);
    std::string file = fixture::readFile("x.wav");
    ASSERT_EQ(4044u, file.size());
    EXPECT_EQ(canonicalHeader(kStereo, 4000), file.substr(0, 44));
    EXPECT_EQ(le(4036, 4), file.substr(4, 4));
    EXPECT_EQ(pcm, file.substr(44));

    writeWave("silence", kStereo, "");
    EXPECT_EQ(canonicalHeader(kStereo, 0), fixture::readFile("silence.wav"));
}

TEST(WaveWriter, ProvisionalHeaderAndRunningDataSize) {
    fixture::ScopedTempDir dir;
    fixture::writeFile("old.wav", std::string(5000, 'o'));
    {
        WaveFile wave("old", false);
        EXPECT_EQ("old.wav", wave.name());
        EXPECT_FALSE(wave.isReadMode());
        long at = 0;
        EXPECT_EQ(44u, wave.tell(&at));
        EXPECT_EQ(0u, wave.dataSize());
    }
    WaveFormat zeros = {};
    EXPECT_EQ(canonicalHeader(zeros, 0), fixture::readFile("old.wav"));  // truncated and replaced

    WaveFile wave("sizes", false);
    wave.writeData("0123456789", 10);
    wave.writeData("abcdef", 6);
    EXPECT_EQ(16u, wave.dataSize());
}

TEST(WaveWriter, OutputThatCannotBeCreatedThrowsFromTheConstructor) {
    fixture::ScopedTempDir dir;
    std::string message;
    try {
        WaveFile wave("no/such/folder/x", false);
    } catch (const char* thrown) {
        message = thrown;
    }
    EXPECT_EQ("File not opened", message);
}

TEST(WaveWriter, DecodedOggBecomesAWaveFileOfTheSamePcm) {
    fixture::ScopedTempDir dir;
    fixture::writeFile("in.ogg", fixture::encodeVorbis(2, 44100, fixture::tones(2, 44100, 1000)));
    sondrel::OggSource source("in.ogg", true);
    std::vector<char> pcm(source.size());
    source.readAll(pcm.data(), source.size());
    writeWave("out", source.format(), std::string(pcm.begin(), pcm.end()));
    std::string file = fixture::readFile("out.wav");
    EXPECT_EQ(4044u, file.size());
    EXPECT_EQ(canonicalHeader(kStereo, 4000), file.substr(0, 44));
    EXPECT_EQ(std::string(pcm.begin(), pcm.end()), file.substr(44));
}

#ifndef _WIN32
TEST(WaveWriter, IndependentReadersAgree) {
    fixture::ScopedTempDir dir;
    const WaveFormat mono = {1, 1, 22050, 44100, 2, 16, 0};
    std::string pcm = fixture::randomBytes(22050 * 2, 8);
    writeWave("mono", mono, pcm);
    writeWave("stereo", kStereo, fixture::randomBytes(4000, 9));
    writeWave("empty", kStereo, "");

    if (std::system("soxi -V0 mono.wav >/dev/null 2>&1") == 0) {
        ASSERT_EQ(0, std::system("soxi -c mono.wav > c.txt && soxi -r mono.wav > r.txt && soxi -b mono.wav > b.txt && "
                                 "soxi -s mono.wav > s.txt && soxi -s stereo.wav > s2.txt && "
                                 "sox mono.wav -t raw -e signed -b 16 -L mono.raw"));
        EXPECT_EQ("1\n", fixture::readFile("c.txt"));
        EXPECT_EQ("22050\n", fixture::readFile("r.txt"));
        EXPECT_EQ("16\n", fixture::readFile("b.txt"));
        EXPECT_EQ("22050\n", fixture::readFile("s.txt"));
        EXPECT_EQ("1000\n", fixture::readFile("s2.txt"));
        EXPECT_EQ(pcm, fixture::readFile("mono.raw"));
    } else {
        ADD_FAILURE() << "sox is not installed";
    }
#ifdef VARDANE_HAVE_SNDFILE
    for (const char* name : {"mono.wav", "stereo.wav", "empty.wav"}) {
        SF_INFO info = {};
        SNDFILE* sound = sf_open(name, SFM_READ, &info);
        ASSERT_NE(nullptr, sound) << name << ": " << sf_strerror(nullptr);
        EXPECT_EQ(SF_FORMAT_WAV | SF_FORMAT_PCM_16, info.format) << name;
        if (std::string(name) == "mono.wav") {
            EXPECT_EQ(22050, info.frames);
            std::vector<short> frames(22050);
            EXPECT_EQ(22050, sf_readf_short(sound, frames.data(), 22050));
            EXPECT_EQ(pcm, std::string(reinterpret_cast<char*>(frames.data()), pcm.size()));
        } else if (std::string(name) == "stereo.wav") {
            EXPECT_EQ(2, info.channels);
            EXPECT_EQ(1000, info.frames);
        } else {
            EXPECT_EQ(0, info.frames);
        }
        sf_close(sound);
    }
#endif
}
#endif

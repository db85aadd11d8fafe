// WaveFile in read mode: the chunk walk over files from independent writers and hand-made
// bytes, and readData with the first sampler loop.
#include "sondrel/audio/wave_file.h"
#include "tests/support/wav_fixture.h"
#include "tests/support/zip_fixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#ifdef VARDANE_HAVE_SNDFILE
#include <sndfile.h>
#endif

using fixture::chunk;
using fixture::fmtBody;
using fixture::Loop;
using fixture::riff;
using fixture::smplBody;
using sondrel::WaveFile;

namespace {

// Each file gets a name of its own: on Windows an open reader keeps writers out of its file.
std::unique_ptr<WaveFile> openBytes(const std::string& bytes) {
    static int counter = 0;
    std::string base = "t" + std::to_string(counter++);
    fixture::writeFile(base + ".wav", bytes);
    return std::unique_ptr<WaveFile>(new WaveFile(base, true));
}

// Reads `chunkSize` bytes at a time until a call delivers nothing or `limit` bytes came.
// Test data never holds 0xFF, so the first 0xFF left in the buffer ends what a call delivered.
std::string drain(WaveFile& wave, size_t chunkSize, size_t limit = 1 << 20) {
    std::string out;
    while (out.size() < limit) {
        std::string buffer(chunkSize, '\xFF');
        wave.readData(&buffer[0], static_cast<uint32_t>(chunkSize));
        size_t got = buffer.find('\xFF');
        if (got == std::string::npos)
            got = chunkSize;
        if (got == 0)
            break;
        out += buffer.substr(0, got);
    }
    return out;
}

const std::string kData = fixture::countingData(200);  // 50 frames of 16-bit stereo

std::string looped(const std::vector<Loop>& loops, const std::string& data = kData) {
    return riff({chunk("fmt ", fmtBody(2, 44100, 16)), chunk("data", data), chunk("smpl", smplBody(loops))});
}

}  // namespace

TEST(WaveReader, CanonicalFileFromTheWriter) {
    fixture::ScopedTempDir dir;
    {
        WaveFile out("w", false);
        sondrel::WaveFormat format = {1, 2, 22050, 88200, 4, 16, 0};
        out.setFormat(format);
        out.writeData(kData.data(), 200);
        out.setFormat(format);
    }
    WaveFile wave("w", true);
    EXPECT_TRUE(wave.isReadMode());
    EXPECT_EQ(44u, wave.dataOffset());
    EXPECT_EQ(200u, wave.dataSize());
    EXPECT_EQ(0u, wave.position());
    EXPECT_EQ(22050u, wave.format()->sampleRate);
    EXPECT_EQ(4, wave.format()->blockAlign);
    EXPECT_FALSE(wave.hasLoops());
    EXPECT_EQ(kData, drain(wave, 64));
    EXPECT_EQ("", drain(wave, 64));  // straight through once, then nothing
}

TEST(WaveReader, ChunkWalkFindsFormatAndDataAmongOtherChunks) {
    fixture::ScopedTempDir dir;
    const std::string data = fixture::countingData(100);
    const std::string fmt = chunk("fmt ", fmtBody(1, 8000, 16));
    struct Case {
        const char* what;
        std::string file;
        uint32_t dataOffset;
    } cases[] = {
        {"18-byte fmt", riff({chunk("fmt ", fmtBody(1, 8000, 16, fixture::le16(0))), chunk("data", data)}), 46},
        {"LIST before data", riff({fmt, chunk("LIST", "INFOISFTtool"), chunk("data", data)}), 64},
        {"odd chunk with its pad byte", riff({fmt, chunk("junk", "abc"), chunk("data", data)}), 56},
        {"chunks before fmt", riff({chunk("JUNK", std::string(28, '\0')), fmt, chunk("data", data)}), 80},
        {"fmt after data", riff({chunk("data", data), fmt}), 20},
        {"second data skipped", riff({fmt, chunk("data", data), chunk("data", "second!!")}), 44},
        {"second fmt skipped", riff({fmt, chunk("fmt ", fmtBody(2, 96000, 24)), chunk("data", data)}), 68},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::unique_ptr<WaveFile> wave = openBytes(c.file);
        EXPECT_EQ(c.dataOffset, wave->dataOffset());
        EXPECT_EQ(100u, wave->dataSize());
        EXPECT_EQ(1, wave->format()->channels);
        EXPECT_EQ(8000u, wave->format()->sampleRate);
        EXPECT_EQ(data, drain(*wave, 37));
    }
}

TEST(WaveReader, WalkStopsOnWhatItCannotUse) {
    fixture::ScopedTempDir dir;
    const std::string data = fixture::countingData(100);
    struct Case {
        const char* what;
        std::string file;
    } cases[] = {
        {"not RIFF", "RIFX" + riff({chunk("fmt ", fmtBody(1, 8000, 16)), chunk("data", data)}).substr(4)},
        {"not WAVE", "RIFF" + fixture::le32(4) + "AVI " + chunk("data", data)},
        {"short fmt", riff({chunk("fmt ", fmtBody(1, 8000, 16).substr(0, 14)), chunk("data", data)})},
        {"float format", riff({chunk("fmt ", fmtBody(1, 8000, 32, "", 3)), chunk("data", data)})},
        {"no fmt", riff({chunk("LIST", "INFO"), chunk("smpl", smplBody({{0, 1, 0}}))})},
        {"no data", riff({chunk("fmt ", fmtBody(1, 8000, 16))})},
        {"truncated header", riff({chunk("fmt ", fmtBody(1, 8000, 16))}).substr(0, 20)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::unique_ptr<WaveFile> wave = openBytes(c.file);
        EXPECT_EQ(0u, wave->dataSize());
        EXPECT_FALSE(wave->hasLoops());
        EXPECT_EQ("", drain(*wave, 64));
    }
}

TEST(WaveReader, MissingOrEmptyFileThrows) {
    fixture::ScopedTempDir dir;
    fixture::writeFile("empty.wav", "");
    for (const char* base : {"empty", "missing"}) {
        std::string message;
        try {
            WaveFile wave(base, true);
        } catch (const char* thrown) {
            message = thrown;
        }
        EXPECT_EQ("File not opened", message) << base;
    }
}

TEST(WaveReader, DataIsNeverReadFromOutsideItsChunk) {
    fixture::ScopedTempDir dir;
    const std::string data = fixture::countingData(100);
    // The data chunk claims 5,000 bytes; only 100 follow, then the file ends.
    std::unique_ptr<WaveFile> wave = openBytes(riff({chunk("fmt ", fmtBody(1, 8000, 16)),
                                                     fixture::chunkClaiming("data", 5000, data)}));
    EXPECT_EQ(100u, wave->dataSize());
    EXPECT_EQ(data, drain(*wave, 64));
    // A chunk length that would wrap the file position ends the walk instead of looping.
    wave = openBytes(riff({chunk("fmt ", fmtBody(1, 8000, 16)), chunk("data", data),
                           fixture::chunkClaiming("LIST", 0xFFFFFFF8u, "")}));
    EXPECT_EQ(100u, wave->dataSize());
    wave->setPosition(300);
    EXPECT_EQ("", drain(*wave, 64));
}

TEST(WaveReader, LoopPlayedAsManyTimesAsItsPlayCount) {
    fixture::ScopedTempDir dir;
    // Frames 10 to 19 of 16-bit stereo are bytes 40 to 79.
    std::unique_ptr<WaveFile> wave = openBytes(looped({{10, 19, 2}}));
    ASSERT_TRUE(wave->hasLoops());
    EXPECT_EQ(40u, wave->loops()[0].start);
    EXPECT_EQ(76u, wave->loops()[0].end);
    EXPECT_EQ(60u, wave->sampler().midiUnityNote);
    const std::string expected = kData.substr(0, 80) + kData.substr(40, 40) + kData.substr(80);
    for (size_t chunkSize : {size_t{1}, size_t{7}, size_t{40}, size_t{64}, size_t{1000}}) {
        SCOPED_TRACE("reads of " + std::to_string(chunkSize));
        wave->setPosition(0);  // restarts the count
        EXPECT_EQ(expected, drain(*wave, chunkSize));
    }
    wave = openBytes(looped({{10, 19, 1}}));
    EXPECT_EQ(kData, drain(*wave, 33));
    wave = openBytes(looped({{10, 19, 3}}));
    EXPECT_EQ(kData.substr(0, 80) + kData.substr(40, 40) + kData.substr(40, 40) + kData.substr(80), drain(*wave, 50));
}

TEST(WaveReader, LoopWithPlayCountZeroRepeatsWithoutEnd) {
    fixture::ScopedTempDir dir;
    std::unique_ptr<WaveFile> wave = openBytes(looped({{10, 19, 0}, {0, 1, 5}}));
    EXPECT_TRUE(wave->loopForever());
    std::string heard = drain(*wave, 4096, 400000);
    ASSERT_GE(heard.size(), 400000u);
    EXPECT_EQ(kData.substr(0, 80), heard.substr(0, 80));
    for (size_t at = 80; at + 40 <= heard.size(); at += 40)
        ASSERT_EQ(kData.substr(40, 40), heard.substr(at, 40)) << "at " << at;
    // A loop ending on the last frame repeats up to the end of the data.
    wave = openBytes(looped({{45, 49, 0}}));
    heard = drain(*wave, 100, 1000);
    EXPECT_EQ(kData + kData.substr(180) + kData.substr(180), heard.substr(0, 240));
}

TEST(WaveReader, LoopsThatCannotBeTrustedAreNotPlayed) {
    fixture::ScopedTempDir dir;
    const std::string fmt = chunk("fmt ", fmtBody(2, 44100, 16));
    struct Case {
        const char* what;
        std::string file;
        uint32_t loopsRead;
        bool played;
    } cases[] = {
        {"loop past the data", looped({{10, 50, 0}}), 1, false},
        {"start past the data", looped({{60, 70, 2}}), 1, false},
        {"end overflowing 32 bits once scaled", looped({{10, 0x40000005u, 0}}), 1, false},
        {"count far above what the chunk holds",
         riff({fmt, chunk("data", kData), chunk("smpl", smplBody({{10, 19, 0}}, 0xFFFFFFFFu))}), 1, true},
        {"length claiming gigabytes the file does not have",
         riff({fmt, chunk("data", kData), fixture::chunkClaiming("smpl", 0xFFFFFF00u, smplBody({{10, 19, 2}}, 5000000))}),
         1, true},
        {"smpl cut short by the end of the file, its loop outside the data",
         riff({fmt, chunk("data", kData), fixture::chunkClaiming("smpl", 5000, smplBody({{60, 70, 0}}))}), 1, false},
        {"count with no room for a loop", riff({fmt, chunk("data", kData), chunk("smpl", smplBody({}, 3))}), 0, false},
        {"smpl before a float fmt",
         riff({chunk("smpl", smplBody({{10, 19, 0}})), chunk("fmt ", fmtBody(2, 44100, 32, "", 3)),
               chunk("data", kData)}),
         1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::unique_ptr<WaveFile> wave = openBytes(c.file);
        EXPECT_EQ(c.loopsRead, wave->loopCount());
        EXPECT_EQ(c.played, wave->hasLoops());
        if (c.played)
            continue;
        std::string heard = drain(*wave, 64, 10000);
        EXPECT_LE(heard.size(), kData.size());
        EXPECT_EQ(kData.substr(0, heard.size()), heard);
    }
}

#ifndef _WIN32
TEST(WaveReader, FilesOfIndependentWriters) {
    fixture::ScopedTempDir dir;
    if (std::system("sox -V0 -n -r 11025 -c 2 -b 16 sox.wav synth 0.5 sine 440 2>/dev/null") != 0)
        GTEST_SKIP() << "sox is not installed";
    WaveFile fromSox("sox", true);
    EXPECT_EQ(2, fromSox.format()->channels);
    EXPECT_EQ(11025u, fromSox.format()->sampleRate);
    EXPECT_EQ(16, fromSox.format()->bitsPerSample);
    EXPECT_EQ(5512u * 4, fromSox.dataSize());  // 0.5 s of whole frames
    ASSERT_EQ(0, std::system("sox sox.wav -t raw sox.raw"));
    std::string soxPcm(fromSox.dataSize(), '\0');
    fromSox.readData(&soxPcm[0], fromSox.dataSize());
    EXPECT_EQ(fixture::readFile("sox.raw"), soxPcm);

#ifdef VARDANE_HAVE_SNDFILE
    // libsndfile stores an instrument's loops in a "smpl" chunk.
    SF_INFO info = {};
    info.samplerate = 22050;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* out = sf_open("inst.wav", SFM_WRITE, &info);
    ASSERT_NE(nullptr, out);
    SF_INSTRUMENT instrument = {};
    instrument.basenote = 64;
    instrument.velocity_hi = 127;
    instrument.key_hi = 127;
    instrument.loop_count = 2;
    instrument.loops[0].mode = SF_LOOP_FORWARD;
    instrument.loops[0].start = 100;
    instrument.loops[0].end = 200;
    instrument.loops[0].count = 3;
    instrument.loops[1].mode = SF_LOOP_FORWARD;
    instrument.loops[1].start = 300;
    instrument.loops[1].end = 400;
    instrument.loops[1].count = 0;
    ASSERT_EQ(SF_TRUE, sf_command(out, SFC_SET_INSTRUMENT, &instrument, sizeof instrument));
    std::vector<short> samples(1000);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<short>(i * 7);
    ASSERT_EQ(1000, sf_writef_short(out, samples.data(), 1000));
    sf_close(out);

    WaveFile wave("inst", true);
    EXPECT_EQ(2000u, wave.dataSize());
    EXPECT_EQ(64u, wave.sampler().midiUnityNote);
    ASSERT_EQ(2u, wave.loopCount());
    EXPECT_EQ(200u, wave.loops()[0].start);
    EXPECT_EQ(3u, wave.loops()[0].playCount);
    EXPECT_TRUE(wave.loopForever());  // the second loop repeats without end
    // Whatever end convention the writer used, the first loop's region is played three times.
    uint32_t regionEnd = wave.loops()[0].end + 2;
    std::string pcm(reinterpret_cast<const char*>(samples.data()), 2000);
    std::string region = pcm.substr(200, regionEnd - 200);
    std::string heard;
    for (int i = 0; i < 40; ++i) {
        std::string buffer(100, '\0');
        wave.readData(&buffer[0], 100);
        heard += buffer;
        if (wave.position() == wave.dataSize())
            break;
    }
    EXPECT_EQ(pcm.substr(0, regionEnd) + region + region + pcm.substr(regionEnd), heard.substr(0, 2000 + 2 * region.size()));
#endif
}
#endif

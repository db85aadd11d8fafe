// WAV masters into a patch's sounds: what the converter can give back is encoded, the rest
// refused by name and format; loops warned about; the same master gives the same bytes.
#include "mkpatch/masters.h"
#include "tests/support/ogg_fixture.h"
#include "tests/support/wav_fixture.h"
#include "tests/support/zip_fixture.h"

#include <gtest/gtest.h>

namespace {

std::string pcm16(const std::vector<int16_t>& samples) {
    return std::string(reinterpret_cast<const char*>(samples.data()), samples.size() * 2);
}

}  // namespace

TEST(Masters, SixteenBitPcmIsEncodedAndOtherFormatsAreRefused) {
    fixture::ScopedTempDir dir;
    const std::vector<int16_t> stereo = fixture::tones(2, 44100, 30000), mono = fixture::tones(1, 22050, 11025);
    using fixture::chunk;
    fixture::writeFile("stereo.wav", fixture::riff({chunk("fmt ", fixture::fmtBody(2, 44100, 16)),
                                                    chunk("data", pcm16(stereo)),
                                                    chunk("smpl", fixture::smplBody({{100, 999, 0}}))}));
    fixture::writeFile("mono.wav", fixture::riff({chunk("fmt ", fixture::fmtBody(1, 22050, 16)),
                                                  chunk("data", pcm16(mono))}));
    fixture::writeFile("bytes.wav", fixture::riff({chunk("fmt ", fixture::fmtBody(1, 22050, 8)),
                                                   chunk("data", std::string(1000, '\x80'))}));
    fixture::writeFile("deep.wav", fixture::riff({chunk("fmt ", fixture::fmtBody(2, 48000, 24)),
                                                  chunk("data", std::string(6000, '\0'))}));
    fixture::writeFile("float.wav", fixture::riff({chunk("fmt ", fixture::fmtBody(1, 48000, 32, "", 3)),
                                                   chunk("data", std::string(4000, '\0'))}));

    struct Case {
        const char* path;
        int channels;
        long frames;
        const char* problem;  // what the refusal names; null: encoded
        bool loops;
    } cases[] = {
        {"stereo.wav", 2, 30000, nullptr, true},
        {"mono.wav", 1, 11025, nullptr, false},
        {"bytes.wav", 0, 0, "bytes.wav: 8-bit PCM, not 16-bit", false},
        {"deep.wav", 0, 0, "deep.wav: 24-bit PCM, not 16-bit", false},
        {"float.wav", 0, 0, "float.wav: format tag 3 (floating point), not 16-bit PCM", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        std::string ogg, warning, error;
        mkpatch::MasterSound sound;
        bool encoded = mkpatch::encodeMaster(c.path, 0.3f, 7, ogg, sound, warning, error);
        if (c.problem) {
            EXPECT_FALSE(encoded);
            EXPECT_EQ(c.problem, error);
            continue;
        }
        ASSERT_TRUE(encoded) << error;
        EXPECT_EQ(c.channels, sound.channels);
        EXPECT_EQ(static_cast<uint32_t>(c.frames), sound.frames);
        EXPECT_EQ(static_cast<size_t>(c.frames) * c.channels * 2, fixture::decodeVorbis(ogg).size());
        EXPECT_EQ(c.loops, warning.find("sampler loops") != std::string::npos) << warning;
        std::string again;
        ASSERT_TRUE(mkpatch::encodeMaster(c.path, 0.3f, 7, again, sound, warning, error));
        EXPECT_EQ(ogg, again);  // the same master gives the same bytes
    }
}

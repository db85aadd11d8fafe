// OggSource and its decoder: formats and sizes, refusals, the decode loop against an
// independent decoder, holes, truncation and chained streams.
#include "sondrel/audio/ogg_source.h"
#include "tests/support/ogg_fixture.h"
#include "tests/support/zip_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

using sondrel::OggSource;

namespace {

std::string failureOf(const std::string& path) {
    try {
        OggSource source(path, true);
    } catch (const char* message) {
        return message;
    }
    return "";
}

// readAll into a buffer of the source's size, prefilled with `fill`.
std::vector<char> decodeAll(OggSource& source, char fill = 0) {
    std::vector<char> pcm(source.size(), fill);
    source.readAll(pcm.data(), source.size());
    return pcm;
}

#ifndef _WIN32
// PCM from oggdec as 16-bit little-endian signed raw samples; false when oggdec is missing.
bool independentDecode(const std::string& path, std::string& pcm) {
    std::string raw = path + ".raw";
    std::string command = "oggdec -Q -R -b 16 -e 0 -s 1 -o '" + raw + "' '" + path + "' 2>/dev/null";
    if (std::system(command.c_str()) != 0)
        return false;
    pcm = fixture::readFile(raw);
    return true;
}
#endif

}  // namespace

TEST(OggSource, DescribesStereoAndMonoStreams) {
    fixture::ScopedTempDir dir;
    fixture::writeFile("stereo.ogg", fixture::encodeVorbis(2, 44100, fixture::tones(2, 44100, 1000)));
    fixture::writeFile("mono.ogg", fixture::encodeVorbis(1, 22050, fixture::tones(1, 22050, 22050)));

    OggSource stereo("stereo.ogg", true);
    EXPECT_EQ(4000u, stereo.size());
    const sondrel::WaveFormat& f = stereo.format();
    EXPECT_EQ(1, f.formatTag);
    EXPECT_EQ(2, f.channels);
    EXPECT_EQ(44100u, f.sampleRate);
    EXPECT_EQ(176400u, f.byteRate);
    EXPECT_EQ(4, f.blockAlign);
    EXPECT_EQ(16, f.bitsPerSample);
    EXPECT_EQ(0, f.extraSize);

    OggSource mono("mono.ogg", true);
    EXPECT_EQ(44100u, mono.size());
    EXPECT_EQ(44100u, mono.format().byteRate);
    EXPECT_EQ(2, mono.format().blockAlign);
}

TEST(OggSource, StreamOfZeroSamplesHasSizeZero) {
    fixture::ScopedTempDir dir;
    fixture::writeFile("silent.ogg", fixture::encodeVorbis(2, 44100, {}));
    OggSource source("silent.ogg", true);
    EXPECT_EQ(0u, source.size());
    char untouched = 'u';
    source.readAll(&untouched, 0);
    EXPECT_EQ('u', untouched);
}

TEST(OggSource, UnusableFilesThrowFileNotOpened) {
    fixture::ScopedTempDir dir;
    fixture::writeFile("text.ogg", "this is a text file, not an Ogg Vorbis stream\n");
    fixture::writeFile("empty.ogg", "");
    // Long enough for several audio pages: the last one's granule gives the length.
    std::string good = fixture::encodeVorbis(1, 8000, fixture::tones(1, 8000, 80000));
    fixture::writeFile("headers-only.ogg", good.substr(0, fixture::oggPages(good).at(1) + 40));
    // More PCM than 4 GiB, and rates the WAV header cannot carry.
    fixture::writeFile("huge.ogg", fixture::withLastGranule(good, 0x80000000ull));
    std::string stereo = fixture::encodeVorbis(2, 8000, fixture::tones(2, 8000, 4000));
    fixture::writeFile("fast.ogg", fixture::withSampleRate(stereo, 0x40000000u));
    for (const char* path : {"text.ogg", "empty.ogg", "missing.ogg", "headers-only.ogg", "huge.ogg", "fast.ogg"})
        EXPECT_EQ("File not opened", failureOf(path)) << path;
    fixture::writeFile("just-fits.ogg", fixture::withSampleRate(stereo, 0x3FFFFFFFu));
    EXPECT_EQ("", failureOf("just-fits.ogg"));
    // 2^31 - 1 mono frames are 4 GiB less 2 bytes of PCM: still within reach.
    fixture::writeFile("largest.ogg", fixture::withLastGranule(good, 0x7FFFFFFFull));
    EXPECT_EQ("", failureOf("largest.ogg"));
}

TEST(OggSource, DecodesWholeStreamsLikeAnIndependentDecoder) {
    fixture::ScopedTempDir dir;
    struct Case {
        int channels, rate;
        long frames;
    } cases[] = {{1, 22050, 22050 * 2}, {2, 44100, 44100 * 3 + 17}, {6, 48000, 9000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.channels) + " channels at " + std::to_string(c.rate));
        std::string path = "tone" + std::to_string(c.channels) + ".ogg";
        fixture::writeFile(path, fixture::encodeVorbis(c.channels, c.rate, fixture::tones(c.channels, c.rate, c.frames)));
        OggSource source(path, true);
        EXPECT_EQ(static_cast<uint32_t>(c.frames * c.channels * 2), source.size());
        std::vector<char> pcm = decodeAll(source, '\x5A');
        // A second readAll rewinds and yields the same bytes.
        EXPECT_EQ(pcm, decodeAll(source, '\x00'));
#ifndef _WIN32
        std::string reference;
        if (!independentDecode(path, reference))
            GTEST_SKIP() << "oggdec is not installed";
        EXPECT_EQ(reference, std::string(pcm.begin(), pcm.end()));
#endif
    }
}

TEST(OggSource, DamagedStreamsDecodeWhatIsThereAndLeaveTheRestOfTheBuffer) {
    fixture::ScopedTempDir dir;
    std::string whole = fixture::encodeVorbis(2, 44100, fixture::tones(2, 44100, 44100 * 8));
    std::vector<size_t> pages = fixture::oggPages(whole);
    ASSERT_GT(pages.size(), 6u);
    fixture::writeFile("whole.ogg", whole);
    fixture::writeFile("hole.ogg", fixture::withoutPage(whole, pages.size() / 2));
    fixture::writeFile("cut.ogg", whole.substr(0, whole.size() * 6 / 10));
    OggSource intact("whole.ogg", true);
    std::vector<char> reference = decodeAll(intact);

    // A missing page: the stream is measured by its last page, and decoding ends for good at
    // the hole, so the rest of the buffer keeps what it held.
    OggSource hole("hole.ogg", true);
    EXPECT_EQ(reference.size(), hole.size());
    std::vector<char> pcm = decodeAll(hole, '\x7F');
    size_t untouched = 0;
    while (untouched < pcm.size() && pcm[pcm.size() - 1 - untouched] == '\x7F')
        ++untouched;
    EXPECT_GT(untouched, 4000u);
    EXPECT_LT(untouched, pcm.size() - 20000);
    EXPECT_TRUE(std::equal(pcm.begin(), pcm.begin() + 20000, reference.begin()));

    // A cut file is measured by the last page that is left and decodes up to it.
    OggSource cut("cut.ogg", true);
    EXPECT_LT(cut.size(), reference.size());
    EXPECT_GT(cut.size(), reference.size() / 4);
    std::vector<char> cutPcm = decodeAll(cut, '\x7F');
    EXPECT_TRUE(std::equal(cutPcm.begin(), cutPcm.end() - 8192, reference.begin()));
}

TEST(OggSource, ChainedStreamIsDecodedLinkAfterLinkUnderTheFirstFormat) {
    fixture::ScopedTempDir dir;
    std::string first = fixture::encodeVorbis(2, 44100, fixture::tones(2, 44100, 30000), 1);
    std::string second = fixture::encodeVorbis(1, 22050, fixture::tones(1, 22050, 20000), 2);
    fixture::writeFile("first.ogg", first);
    fixture::writeFile("chain.ogg", first + second);
    OggSource source("chain.ogg", true);
    EXPECT_EQ(2, source.format().channels);
    EXPECT_EQ(44100u, source.format().sampleRate);
    EXPECT_EQ(static_cast<uint32_t>((30000 + 20000) * 2 * 2), source.size());
    std::vector<char> pcm = decodeAll(source, '\x11');
    OggSource alone("first.ogg", true);
    std::vector<char> firstPcm = decodeAll(alone);
    ASSERT_EQ(120000u, firstPcm.size());
    EXPECT_EQ(firstPcm, std::vector<char>(pcm.begin(), pcm.begin() + 120000));
    // The mono link follows at two bytes a frame: 40,000 bytes, the rest stays as it was.
    EXPECT_NE(std::string(40000, '\x11'), std::string(pcm.begin() + 120000, pcm.begin() + 160000));
    EXPECT_EQ(std::string(40000, '\x11'), std::string(pcm.begin() + 160000, pcm.end()));
}


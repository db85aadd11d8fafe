// The public Ogg files of the shared corpus: what its MANIFEST observed at open and the
// lengths it measured, a clean "File not opened" for what cannot be used, and PCM equal
// to what the library decodes reading the file from its first byte without ever seeking,
// damaged streams included.
#include "sondrel/audio/ogg_source.h"
#include "tests/support/corpus.h"
#include "tests/support/ogg_fixture.h"
#include "tests/support/zip_fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <algorithm>
#include <memory>
#include <regex>
#include <vector>

namespace {

struct OggCase {
    std::string path;      // relative to the corpus
    bool opens = true;     // libvorbisfile accepts the headers
    long long pcmTotal = -1;
    long long rate = -1;   // of the first link, when the MANIFEST lists one
};

std::vector<OggCase> manifestCases() {
    std::vector<OggCase> cases;
    std::regex row(R"(^\| (lewton-test-assets/[^ |]+\.ogg) \|[^|]*\|[^|]*\|[^|]*\| ([^|]*) \|)");
    std::regex total(R"(seek: links=\d+ pcm_total=(\d+) segs=(?:\[0:\d+ch/(\d+):)?)");
    for (const std::string& line : corpus::manifestLines()) {
        std::smatch match;
        if (!std::regex_search(line, match, row))
            continue;
        OggCase c;
        c.path = match[1];
        std::string observed = match[2];
        c.opens = observed.find("seek: open OV_") == std::string::npos;
        std::smatch measured;
        if (std::regex_search(observed, measured, total)) {
            c.pcmTotal = std::stoll(measured[1]);
            if (measured[2].matched)
                c.rate = std::stoll(measured[2]);
        }
        cases.push_back(c);
    }
    return cases;
}


}  // namespace

TEST(OggCorpus, EveryFileOpensOrFailsCleanlyAndDecodesLikeTheReference) {
    if (!corpus::available())
        GTEST_SKIP() << "the shared corpus is not at " << corpus::root();
    std::vector<OggCase> cases = manifestCases();
    ASSERT_GT(cases.size(), 40u) << "MANIFEST rows for the Ogg files not found";
    fixture::ScopedTempDir scratch;
    int compared = 0;
    for (const OggCase& c : cases) {
        SCOPED_TRACE(c.path);
        std::string file = corpus::path(c.path);
        // Rates the WAV header's byte rate cannot carry are refused like unusable files.
        bool usable = c.opens && (c.rate < 0 || c.rate * 2 * 2 <= 0xFFFFFFFFll);
        std::unique_ptr<sondrel::OggSource> source;
        std::string failure;
        try {
            source.reset(new sondrel::OggSource(file, true));
        } catch (const char* message) {
            failure = message;
        }
        if (!usable) {
            EXPECT_EQ("File not opened", failure);
            continue;
        }
        ASSERT_EQ("", failure);
        const sondrel::WaveFormat& format = source->format();
        if (c.rate >= 0) {
            EXPECT_EQ(static_cast<uint32_t>(c.rate), format.sampleRate);
        }
        if (c.pcmTotal >= 0) {
            EXPECT_EQ(static_cast<uint64_t>(c.pcmTotal) * format.channels * 2, source->size());
        }
        std::vector<char> pcm(source->size(), '\0');
        uint32_t decoded = source->readAll(pcm.data(), source->size());
        // The streaming reference stops at a hole and at the end of a chain's first link.
        std::string reference = fixture::decodeVorbis(fixture::readFile(file));
        size_t n = std::min(reference.size(), pcm.size());
        EXPECT_GE(decoded, n);
        EXPECT_TRUE(std::equal(pcm.begin(), pcm.begin() + n, reference.begin()))
            << "PCM differs from the reference within the first " << n << " bytes";
        ++compared;
    }
    EXPECT_GT(compared, 30);
    std::printf("%zu files, %d compared with the reference decode\n", cases.size(), compared);
}

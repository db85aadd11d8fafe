// The public Ogg files of the shared corpus: what its MANIFEST observed at open and the
// lengths it measured, a clean "File not opened" for what cannot be used, and PCM equal
// to the independent decoder's wherever both decode.
#include "sondrel/audio/ogg_source.h"
#include "tests/support/corpus.h"
#include "tests/support/zip_fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
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

#ifndef _WIN32
struct PlainDecode {
    std::string pcm;
    bool hole = false;  // stopped at the first OV_HOLE
};

// libvorbisfile alone, with or without a seek to the first sample before reading.
PlainDecode plainDecode(const std::string& file, bool seekFirst) {
    PlainDecode result;
    OggVorbis_File vf;
    if (ov_fopen(file.c_str(), &vf) != 0)
        return result;
    if (seekFirst && ov_pcm_seek(&vf, 0) == OV_EBADLINK) {
        ov_clear(&vf);
        return result;
    }
    char scratch[4096];
    int section = 0;
    for (;;) {
        long r = ov_read(&vf, scratch, sizeof scratch, 0, 2, 1, &section);
        result.hole = r == OV_HOLE;
        if (r <= 0)
            break;
        result.pcm.append(scratch, static_cast<size_t>(r));
    }
    ov_clear(&vf);
    return result;
}
#endif

}  // namespace

TEST(OggCorpus, EveryFileOpensOrFailsCleanlyAndDecodesLikeTheReference) {
    if (!corpus::available())
        GTEST_SKIP() << "the shared corpus is not at " << corpus::root();
    std::vector<OggCase> cases = manifestCases();
    ASSERT_GT(cases.size(), 40u) << "MANIFEST rows for the Ogg files not found";
    fixture::ScopedTempDir scratch;
#ifndef _WIN32
    int compared = 0, seekSensitive = 0;
#endif
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
        source->readAll(pcm.data(), source->size());
#ifndef _WIN32
        std::string command = "oggdec -Q -R -b 16 -e 0 -s 1 -o reference.raw '" + file + "' 2>/dev/null";
        if (std::system(command.c_str()) != 0)
            continue;  // the reference decoder gave up on this one
        // On some damaged streams libvorbisfile itself decodes differently after a seek to
        // the first sample, which this decoder makes and the reference decoder does not.
        PlainDecode straight = plainDecode(file, false);
        if (straight.pcm != plainDecode(file, true).pcm) {
            ++seekSensitive;
            continue;
        }
        // The reference decoder goes on after a hole; this one stops there by design.
        std::string reference = fixture::readFile("reference.raw");
        size_t n = std::min(reference.size(), pcm.size());
        if (straight.hole)
            n = std::min(n, straight.pcm.size());
        EXPECT_TRUE(std::equal(pcm.begin(), pcm.begin() + n, reference.begin()))
            << "PCM differs from the reference decoder within the first " << n << " bytes";
        ++compared;
#endif
    }
#ifndef _WIN32
    EXPECT_GT(compared, 30);
    std::printf("%zu files, %d compared with the reference decoder, %d decode differently after a seek\n",
                cases.size(), compared, seekSensitive);
#endif
}

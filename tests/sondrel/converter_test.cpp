// The converter over a small tree: breadth-first order, mirror folders, names, a failing file
// among good ones, a link back to an ancestor, relative and full-path roots.
#include "platform/platform.h"
#include "sondrel/converter.h"
#include "sondrel/source_tree.h"
#include "tests/support/corpus.h"
#include "tests/support/ogg_fixture.h"
#include "tests/support/wav_fixture.h"
#include "tests/support/zip_fixture.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <system_error>

#ifndef _WIN32
#include <sys/resource.h>
#endif

namespace fs = std::filesystem;

namespace {

// The canonical 44-byte header followed by the samples libvorbisfile decodes from `ogg`.
std::string expectedWave(const std::string& ogg, int channels, int rate) {
    std::string pcm = fixture::decodeVorbis(ogg);
    uint32_t size = static_cast<uint32_t>(pcm.size());
    using fixture::le16;
    using fixture::le32;
    return "RIFF" + le32(36 + size) + "WAVE" + "fmt " + le32(16) + le16(1) + le16(channels) + le32(rate) +
           le32(rate * channels * 2) + le16(channels * 2) + le16(16) + "data" + le32(size) + pcm;
}

std::string sound(int channels, int rate, long frames) {
    return fixture::encodeVorbis(channels, rate, fixture::tones(channels, rate, frames));
}

}  // namespace

TEST(Converter, MirrorsAndConvertsATree) {
    fixture::ScopedTempDir dir;
    const std::string mono = sound(1, 22050, 3000), stereo = sound(2, 44100, 5000);
    for (const char* folder : {"Patch/A/A1", "Patch/B/B1", "Patch/.dot", "Patch/empty", "Patch/folder.ogg", "Sounds/B"})
        fs::create_directories(folder);
    fixture::writeFile("Patch/A/a.ogg", mono);
    fixture::writeFile("Patch/B/B1/MUSIC.OGG", stereo);
    fixture::writeFile("Patch/.dot/d.ogg", mono);
    fixture::writeFile("Patch/.ogg", stereo);
    fixture::writeFile("Patch/1-first.ogg", mono);
    fixture::writeFile("Patch/2-broken.ogg", "not a sound at all");
    fixture::writeFile("Patch/3-last.ogg", stereo);
    // Granule positions that send the library's seek astray; read straight, it decodes.
    const std::string damaged = fixture::readFile(corpus::regressionInput("ogg_source", "seek-bisects-damaged-granules.ogg"));
    ASSERT_FALSE(damaged.empty());
    fixture::writeFile("Patch/B/damaged.ogg", damaged);
    fixture::writeFile("Sounds/3-last.wav", std::string(100000, 'x'));
    // Left read-only by an earlier install from a disc: replaced all the same.
    fs::permissions("Sounds/3-last.wav", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    fixture::writeFile("Sounds/B/keep.txt", "kept");
    std::error_code linked;
    fs::create_directory_symlink("../..", "Patch/A/A1/loop", linked);
#ifndef _WIN32
    ASSERT_FALSE(linked) << linked.message();
#endif

    // Breadth-first, each folder after its parent, the link to an ancestor not followed.
    std::string root;
    ASSERT_TRUE(sondrel::toFullFolderPath("Patch", root));
    std::vector<std::string> order;
    for (const sondrel::FolderEntry& entry : sondrel::collectSourceTree(root))
        order.push_back(entry.path.substr(root.size()));
    fs::current_path(dir.path());
    const char s = platform::kPathSeparator;
    EXPECT_EQ((std::vector<std::string>{"", ".dot", "A", "B", "empty", "folder.ogg", std::string("A") + s + "A1",
                                        std::string("B") + s + "B1"}),
              order);

    // Relative roots without trailing separators; the broken file fails alone.
    EXPECT_EQ(1, sondrel::runConverter("\"Patch\" \"Sounds\""));
    fs::current_path(dir.path());
    EXPECT_EQ((std::vector<std::string>{".dot/", ".dot/d.wav", ".wav", "1-first.wav", "3-last.wav", "A/", "A/A1/",
                                        "A/a.wav", "B/", "B/B1/", "B/B1/MUSIC.wav", "B/damaged.wav", "B/keep.txt", "empty/",
                                        "folder.ogg/"}),
              fixture::listTree("Sounds"));
    EXPECT_EQ(expectedWave(mono, 1, 22050), fixture::readFile("Sounds/A/a.wav"));
    EXPECT_EQ(expectedWave(stereo, 2, 44100), fixture::readFile("Sounds/B/B1/MUSIC.wav"));
    EXPECT_EQ(expectedWave(stereo, 2, 44100), fixture::readFile("Sounds/.wav"));
    EXPECT_EQ(expectedWave(stereo, 2, 44100), fixture::readFile("Sounds/3-last.wav"));  // replaced
    EXPECT_EQ("kept", fixture::readFile("Sounds/B/keep.txt"));
    EXPECT_EQ(44u + 172032u * 2 * 2, fixture::readFile("Sounds/B/damaged.wav").size());  // the length it states

    // Full-path roots with trailing separators, into a missing destination: all converted.
    fs::remove("Patch/2-broken.ogg");
    std::string destination = (fs::path(dir.path()) / "Out").string() + s;
    EXPECT_EQ(0, sondrel::runConverter("\"" + root + "\" \"" + destination + "\""));
    fs::current_path(dir.path());
    EXPECT_EQ(fixture::listTree("Sounds").size() - 1, fixture::listTree("Out").size());  // no keep.txt
    EXPECT_EQ(expectedWave(mono, 1, 22050), fixture::readFile("Out/.dot/d.wav"));
}

TEST(Converter, MissingOrEmptyRootsConvertNothing) {
    fixture::ScopedTempDir dir;
    EXPECT_EQ(1, sondrel::runConverter("\"Nowhere\" \"Sounds\""));
    EXPECT_EQ(1, sondrel::runConverter("\"\" \"\""));
    fs::current_path(dir.path());
    EXPECT_TRUE(fixture::listTree(".").empty());
}

#ifndef _WIN32
// A root whose path goes through a link: folders are named by the path they were reached by,
// as Windows does, not by where the link leads.
TEST(Converter, RootReachedThroughALink) {
    fixture::ScopedTempDir dir;
    fs::create_directories("real/Patch/A");
    fixture::writeFile("real/Patch/A/a.ogg", sound(1, 22050, 2000));
    fs::create_directory_symlink("real", "linked");
    EXPECT_EQ(0, sondrel::runConverter("\"linked/Patch\" \"linked/Sounds\""));
    fs::current_path(dir.path());
    EXPECT_EQ((std::vector<std::string>{"A/", "A/a.wav"}), fixture::listTree("real/Sounds"));
}

// A disk that takes the header but not the samples: the file counts as failed and no WAV
// file claiming the full length stays behind.
TEST(Converter, AFailedDataWriteLeavesNoOutput) {
    fixture::ScopedTempDir dir;
    fs::create_directories("Patch");
    fixture::writeFile("Patch/a.ogg", sound(2, 44100, 20000));
    struct rlimit previous;
    ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &previous));
    struct rlimit small = previous;
    small.rlim_cur = 4096;
    void (*handler)(int) = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &small));
    int status = sondrel::runConverter("\"Patch\" \"Sounds\"");
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, handler);
    fs::current_path(dir.path());
    EXPECT_EQ(1, status);
    EXPECT_EQ(std::vector<std::string>{}, fixture::listTree("Sounds"));
}
#endif

// mkpatch: the publisher's tool that builds, lists and verifies patcher files.
#include "mkpatch/build.h"
#include "mkpatch/diff.h"
#include "mkpatch/payload.h"
#include "mkpatch/readback.h"
#include "platform/code_page.h"
#include "platform/platform.h"
#include "release/version.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Command {
    const char* name;
    const char* synopsis;
    const char* description;  // lines of the help text
};

const Command kCommands[] = {
    {"build", "mkpatch build --stub STUB --out OUT DIR [--sounds WAVDIR [--quality Q] [--converter FILE]]\n"
              "                    [--codepage N] [--base OLDTREE]",
     "writes OUT: the STUB executable followed by a patch archive of every\n"
     "file below DIR (sorted by path, deflated unless storing is smaller),\n"
     "and ends with a line of sizes. With --base, a file that the game tree\n"
     "OLDTREE (the release the patch updates) has under the same name, letter\n"
     "case aside, goes as a delta against it when that is smaller: players\n"
     "download only the difference, and the patcher refuses the whole patch\n"
     "before writing anything when a player's file is not OLDTREE's. From two\n"
     "game trees: mkpatch diff OLD NEW --out DIR, then build --base OLD ... DIR.\n"
     "A DIR without a patch.bat gets one that only removes itself.\n"
     "With --sounds, every 16-bit PCM .wav below\n"
     "WAVDIR is encoded as Ogg Vorbis into Patch/ (WAVDIR/music/a.wav becomes\n"
     "Patch/music/a.ogg) at quality Q (0 to 10, default 5), and the converter\n"
     "(default: sondrel.exe beside STUB) and the standard patch.bat are added.\n"
     "A patch.bat of DIR's own runs after extraction and must end with exit\n"
     "status 0 only when everything went well (as the standard one passes on\n"
     "the converter's status): the patcher tells the player of any other.\n"
     "Names are stored in code page N (see --codepage below)"},
    {"diff", "mkpatch diff OLD NEW --out DIR [--codepage N]",
     "writes into DIR (new or empty) every file of the game tree NEW that is\n"
     "missing from OLD or differs from it, keeping folders and times; reports\n"
     "what it took, what it skipped as unchanged, and what only OLD has;\n"
     "NEW's names must fit code page N"},
    {"list", "mkpatch list [--codepage N] FILE",
     "prints the entries of a patcher file; a delta entry shows its target's\n"
     "name and size, and the size of the file it updates"},
    {"verify", "mkpatch verify [--codepage N] FILE [--base OLDTREE]",
     "reads every entry and checks names, local headers, lengths and CRCs,\n"
     "and decodes every Patch/**/*.ogg sound as the converter will; exit 0\n"
     "only when the patcher would extract the whole archive and the converter\n"
     "convert every sound on a Windows of code page N. With --base, every\n"
     "delta is applied to OLDTREE's file and its result checked; without it,\n"
     "deltas are checked only as stored bytes"},
};

// What --codepage means, after the commands.
const char kCodePageHelp[] =
    "\n"
    "  --codepage N  the code page of the players' Windows, in which every name is\n"
    "                stored: 1252 (the default: Western European, the code page of\n"
    "                all four languages of the converter, neutral, English (UK),\n"
    "                German and French), 1250 (Central European) or 1251\n"
    "                (Cyrillic). A name it cannot hold is refused. list and verify\n"
    "                read names stored without the UTF-8 flag in it, and show\n"
    "                names in the terminal's encoding.\n";

// The usage of every command, or of the one named `only`.
void printUsage(FILE* out, const std::string& only = "") {
    bool first = true;
    for (const Command& command : kCommands) {
        if (only.empty() || only == command.name) {
            std::fprintf(out, "%s %s\n", first ? "usage:" : "      ", command.synopsis);
            first = false;
        }
    }
    if (only.empty())
        std::fputs("       mkpatch --version\n", out);
    std::fputs("\n", out);
    for (const Command& command : kCommands) {
        if (!only.empty() && only != command.name)
            continue;
        std::string text = command.description;
        size_t at = 0;
        for (bool firstLine = true; at <= text.size(); firstLine = false) {
            size_t end = text.find('\n', at);
            if (end == std::string::npos)
                end = text.size();
            std::fprintf(out, "  %-7s %s\n", firstLine ? command.name : "", text.substr(at, end - at).c_str());
            at = end + 1;
        }
    }
    std::fputs(kCodePageHelp, out);
}

void printText(FILE* out, const std::string& text) {
    platform::writeTerminalText(out, text.c_str());
}

int usageError(const std::string& message, const std::string& command = "") {
    printText(stderr, "mkpatch: " + message + "\n\n");
    printUsage(stderr, command);
    return 2;
}

int failed(const std::string& message) {
    printText(stderr, "mkpatch: " + message + "\n");
    return 1;
}

// Takes "--codepage N" at `args[i]`; false with `problem` set when N is no code page known here.
bool takeCodePage(const std::vector<std::string>& args, size_t& i, unsigned& codePage, bool& given,
                  std::string& problem) {
    if (given) {
        problem = "--codepage given twice";
        return false;
    }
    if (i + 1 >= args.size()) {
        problem = "--codepage needs a value";
        return false;
    }
    const std::string& value = args[++i];
    char* end = nullptr;
    unsigned long number = std::strtoul(value.c_str(), &end, 10);
    if (value.empty() || *end || !platform::isKnownCodePage(static_cast<unsigned>(number))) {
        problem = "--codepage takes 1250, 1251 or 1252, not " + value;
        return false;
    }
    codePage = static_cast<unsigned>(number);
    given = true;
    return true;
}

const char* files(size_t count) {
    return count == 1 ? "file" : "files";
}

int runBuild(const std::vector<std::string>& args) {
    auto usageError = [](const std::string& message) { return ::usageError(message, "build"); };
    std::string stub, out, dir, masters, quality, converter, baseTree, problem;
    unsigned codePage = mkpatch::kDefaultCodePage;
    bool codePageGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--codepage") {
            if (!takeCodePage(args, i, codePage, codePageGiven, problem))
                return usageError(problem);
        } else if (arg == "--stub" || arg == "--out" || arg == "--sounds" || arg == "--quality" || arg == "--converter" ||
                   arg == "--base") {
            if (i + 1 >= args.size())
                return usageError(arg + " needs a value");
            std::string& target = arg == "--stub"      ? stub
                                  : arg == "--out"     ? out
                                  : arg == "--sounds"  ? masters
                                  : arg == "--quality" ? quality
                                  : arg == "--base"    ? baseTree
                                                       : converter;
            if (!target.empty())
                return usageError(arg + " given twice");
            target = args[++i];
            if (target.empty())
                return usageError(arg + " needs a value");
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usageError("unknown option " + arg);
        } else if (dir.empty()) {
            dir = arg;
        } else {
            return usageError("more than one payload folder");
        }
    }
    if (stub.empty())
        return usageError("build needs --stub STUB");
    if (out.empty())
        return usageError("build needs --out OUT");
    if (dir.empty())
        return usageError("build needs the payload folder DIR");
    mkpatch::SoundOptions sounds;
    if (masters.empty() && (!quality.empty() || !converter.empty()))
        return usageError("--quality and --converter go with --sounds");
    if (!masters.empty()) {
        sounds.masters = masters;
        if (!quality.empty()) {
            char* end = nullptr;
            double value = std::strtod(quality.c_str(), &end);
            if (*end || value < 0 || value > 10)
                return usageError("--quality takes a number from 0 to 10");
            sounds.quality = static_cast<float>(value / 10);
        }
        // By default the converter is the one built beside the stub.
        sounds.converter = converter.empty()
                               ? mkpatch::textOf(mkpatch::pathOf(stub).parent_path() / "sondrel.exe")
                               : converter;
    }
    std::string error;
    mkpatch::BuildReport report;
    mkpatch::BaseOptions base;
    base.tree = baseTree;
    if (!mkpatch::buildPatch(stub, out, dir, error, &report, masters.empty() ? nullptr : &sounds, codePage,
                             baseTree.empty() ? nullptr : &base))
        return failed(error);
    for (const std::string& warning : report.warnings)
        printText(stderr, "mkpatch: warning: " + warning + "\n");
    if (report.scriptAdded)
        printText(stderr, "mkpatch: note: " + dir + " holds no patch.bat; the patch has one that only removes itself\n");
    if (!baseTree.empty())
        std::printf("deltas: %lu %s against the older release, %llu bytes of new files in %llu bytes of deltas\n",
                    report.deltas, files(report.deltas), static_cast<unsigned long long>(report.deltaFileBytes),
                    static_cast<unsigned long long>(report.deltaBytes));
    if (report.sounds)
        std::printf("sounds: %lu from WAV masters of %llu bytes into Ogg Vorbis of %llu (%.1f%%)\n",
                    report.sounds, static_cast<unsigned long long>(report.wavBytes),
                    static_cast<unsigned long long>(report.oggBytes),
                    report.wavBytes ? 100.0 * report.oggBytes / report.wavBytes : 100.0);
    std::fflush(stdout);
    printText(stdout, out + ": ");
    std::printf("%lu %s, %llu bytes uncompressed, stored in %llu (%.1f%%); patcher file %llu bytes\n",
                report.entries, report.entries == 1 ? "entry" : "entries",
                static_cast<unsigned long long>(report.uncompressedBytes),
                static_cast<unsigned long long>(report.storedBytes),
                report.uncompressedBytes ? 100.0 * report.storedBytes / report.uncompressedBytes : 100.0,
                static_cast<unsigned long long>(report.patcherBytes));
    return 0;
}

int runDiff(const std::vector<std::string>& args) {
    auto usageError = [](const std::string& message) { return ::usageError(message, "diff"); };
    std::vector<std::string> trees;
    std::string out, problem;
    unsigned codePage = mkpatch::kDefaultCodePage;
    bool codePageGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--codepage") {
            if (!takeCodePage(args, i, codePage, codePageGiven, problem))
                return usageError(problem);
        } else if (args[i] == "--out") {
            if (i + 1 >= args.size() || args[i + 1].empty())
                return usageError("--out needs a value");
            if (!out.empty())
                return usageError("--out given twice");
            out = args[++i];
        } else if (args[i].size() > 1 && args[i][0] == '-') {
            return usageError("unknown option " + args[i]);
        } else {
            trees.push_back(args[i]);
        }
    }
    if (trees.size() != 2)
        return usageError("diff needs the folders OLD and NEW");
    if (out.empty())
        return usageError("diff needs --out DIR");
    mkpatch::DiffReport report;
    std::string error;
    if (!mkpatch::diffTrees(trees[0], trees[1], out, report, error, codePage))
        return failed(error);
    std::printf("took %zu %s (%llu bytes) into ", report.taken.size(), files(report.taken.size()),
                static_cast<unsigned long long>(report.takenBytes));
    std::fflush(stdout);
    printText(stdout, out + "\n");
    std::printf("skipped %lu unchanged %s (%llu bytes)\n", report.unchanged, files(report.unchanged),
                static_cast<unsigned long long>(report.unchangedBytes));
    if (!report.onlyInOld.empty()) {
        std::printf("%zu %s only in OLD; a patch cannot delete files, so they stay on players' machines:\n",
                    report.onlyInOld.size(), report.onlyInOld.size() == 1 ? "file exists" : "files exist");
        for (const std::string& name : report.onlyInOld)
            printText(stdout, "  " + name + "\n");
    }
    return 0;
}

int runReadBack(const std::string& command, const std::vector<std::string>& args) {
    std::vector<std::string> files;
    std::string problem, baseTree;
    unsigned codePage = mkpatch::kDefaultCodePage;
    bool codePageGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--codepage") {
            if (!takeCodePage(args, i, codePage, codePageGiven, problem))
                return usageError(problem, command);
        } else if (args[i] == "--base" && command == "verify") {
            if (i + 1 >= args.size() || args[i + 1].empty())
                return usageError("--base needs a value", command);
            if (!baseTree.empty())
                return usageError("--base given twice", command);
            baseTree = args[++i];
        } else {
            files.push_back(args[i]);
        }
    }
    if (files.size() != 1)
        return usageError(command + " needs exactly one FILE", command);
    std::string error;
    bool ok = command == "list" ? mkpatch::listPatch(files[0], stdout, error, codePage)
                                : mkpatch::verifyPatch(files[0], stdout, error, codePage, baseTree);
    std::fflush(stdout);
    return ok ? 0 : failed(error);
}

}  // namespace

int main(int argc, char** argv) {
    platform::utf8Arguments(&argc, &argv);
    if (argc < 2)
        return usageError("no command given");
    std::string command = argv[1];
    std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "--help" || command == "-h" || command == "help") {
        printUsage(stdout);
        return 0;
    }
    for (const std::string& arg : args)
        if (arg == "--help" || arg == "-h") {
            bool known = false;
            for (const Command& c : kCommands)
                known = known || command == c.name;
            printUsage(stdout, known ? command : "");
            return 0;
        }
    if (command == "--version") {
        std::puts("mkpatch " VARDANE_KIT_TEXT ", the " VARDANE_PRODUCT " patch kit's builder");
        return 0;
    }
    if (command == "build")
        return runBuild(args);
    if (command == "diff")
        return runDiff(args);
    if (command == "list" || command == "verify")
        return runReadBack(command, args);
    return usageError("unknown command " + command);
}

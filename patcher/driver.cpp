// The patcher's run sequence. Each failing step skips the later ones and picks the outcome.
#include "patcher/driver.h"

#include "patcher/archive.h"
#include "patcher/console.h"
#include "patcher/extract.h"
#include "patcher/texts.h"
#include "platform/platform.h"

#include <zlib.h>

#include <cstdio>
#include <cstring>

namespace patcher {

void printBanner() {
    printLine(TEXT_BANNER "\n");
    printLine("Archive extraction 1.00\n");
    printLine("Compression library %s\n", zlibVersion());
}

bool findInstallDirectory(char* directory, unsigned size) {
    char keyPath[kPathBufferSize];
    std::memset(keyPath, 0, sizeof keyPath);
    platform::loadString(IDS_REGISTRY_KEY, keyPath, sizeof keyPath);
    platform::RegistryKey key = platform::openMachineKey(keyPath);
    if (!key)
        return false;
    directory[0] = 0;
    platform::queryStringValue(key, "Path", directory, size);
    platform::closeKey(key);
    return directory[0] != 0;
}

bool enterInstallDirectory(const char* directory) {
    return platform::setCurrentDirectory(directory);
}

void formatScriptParameters(const char* directory, char* parameters, unsigned size) {
    std::snprintf(parameters, size, "\"%s\\Patch\\\" \"%s\\Sounds\\\"", directory, directory);
}

bool runPatchScript(const char* directory, unsigned long* scriptStatus) {
    char script[kTextBufferSize];
    char parameters[kTextBufferSize];
    std::memset(script, 0, sizeof script);
    platform::loadString(IDS_SCRIPT_NAME, script, sizeof script);
    formatScriptParameters(directory, parameters, sizeof parameters);
    // The script's own output must follow the extraction lines, not overtake them.
    std::fflush(stdout);
    *scriptStatus = 0;
    return platform::shellOpenAndWait(script, parameters, scriptStatus);
}

void showOutcome(int outcome) {
    char caption[kTextBufferSize] = "Vardane Patch";
    char text[kTextBufferSize] = "Unknown error";
    platform::loadString(IDS_CAPTION, caption, sizeof caption);
    platform::loadString(outcome == kOutcomeSuccess ? IDS_SUCCESS : static_cast<unsigned>(outcome),
                         text, sizeof text);
    std::fflush(stdout);
    platform::messageBox(text, caption, outcome != kOutcomeSuccess);
}

namespace {

// The archive stays open until the run is over: the script runs with it still open.
int applyPatch(const char* ownPath, unzFile& archive) {
    char directory[kPathBufferSize];
    std::memset(directory, 0, sizeof directory);
    if (!findInstallDirectory(directory, sizeof directory))
        return kOutcomeNotFound;
    archive = openPatchArchive(ownPath);
    if (!archive)
        return kOutcomeCorrupted;
    if (!enterInstallDirectory(directory))
        return kOutcomeInvalidInstallation;
    // Files left unreplaced come first: closing the game is the player's next step either way.
    ExtractionReport report;
    if (extractAllEntries(archive, &report) != 0) {
        if (report.wrongVersions)
            return kOutcomeWrongVersion;
        if (report.skipped)
            return kOutcomeFilesNotReplaced;
        return report.writeFailed ? kOutcomeWriteFailed : kOutcomeCorrupted;
    }
    unsigned long scriptStatus = 0;
    if (!runPatchScript(directory, &scriptStatus))
        return kOutcomeCorrupted;
    if (report.skipped)
        return kOutcomeFilesNotReplaced;
    return scriptStatus != 0 ? kOutcomeScriptFailed : kOutcomeSuccess;
}

}  // namespace

int runPatcher() {
    char ownPath[kPathBufferSize];
    std::memset(ownPath, 0, sizeof ownPath);
    platform::ownExecutablePath(ownPath, sizeof ownPath);
    bufferConsoleLines();
    printBanner();
    unzFile archive = nullptr;
    int outcome = applyPatch(ownPath, archive);
    showOutcome(outcome);
    if (archive)
        unzClose(archive);
    return outcome == kOutcomeSuccess ? 0 : 1;
}

}  // namespace patcher

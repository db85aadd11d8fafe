// The patcher's run: registry, archive, extraction, script, outcome.
#pragma once

#include <unzip.h>

namespace patcher {

// Outcome codes double as the string ids of their messages (0 uses the success text).
enum Outcome {
    kOutcomeSuccess = 0,
    kOutcomeNotFound = 2,
    kOutcomeInvalidInstallation = 3,
    kOutcomeCorrupted = 5,
    // Every step succeeded, but some game files could not be replaced (held by the running
    // game, a folder in the way): the game is half patched and the player must know.
    kOutcomeFilesNotReplaced = 8,
    // The files were extracted, but the script (the sound conversion) ended with a failure.
    kOutcomeScriptFailed = 9,
    // An entry could not be written (a full disk, say): a new download would not help.
    kOutcomeWriteFailed = 10,
    // A delta entry's target is neither the file it updates nor already the new one (a modded
    // file, another release, a missing file): nothing was written.
    kOutcomeWrongVersion = 11,
};

const unsigned kPathBufferSize = 260;
const unsigned kTextBufferSize = 1024;

void printBanner();
bool findInstallDirectory(char* directory, unsigned size);
bool enterInstallDirectory(const char* directory);
// Fills `parameters` with the two quoted folder paths handed to the script.
void formatScriptParameters(const char* directory, char* parameters, unsigned size);
// True when the shell started the script; its exit status is left in `scriptStatus`.
bool runPatchScript(const char* directory, unsigned long* scriptStatus);
void showOutcome(int outcome);

// The whole run; returns the process exit status (0 for success, 1 otherwise).
int runPatcher();

}  // namespace patcher

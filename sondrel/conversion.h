// Converting the Ogg Vorbis files of one folder into WAV files of another.
#pragma once

#include <string>

namespace sondrel {

// Converts every "*.ogg" file of `sourceFolder` (matched with the letter case ignored) into a
// ".wav" file of the same base name in `destinationFolder`. Leaves the source folder current.
// False when the folder cannot be entered or any file failed; the other files are converted.
bool convertFolder(const std::string& sourceFolder, const std::string& destinationFolder);

// Decodes `sourceName` (a bare name in the current directory) whole, then writes it as a
// canonical PCM WAV file; afterwards the progress window services one message. A file that
// cannot be opened, decoded, allocated or written leaves no output behind and gives false.
bool convertFile(const std::string& sourceName, const std::string& destinationFolder);

}  // namespace sondrel

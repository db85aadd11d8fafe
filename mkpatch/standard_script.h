// The standard patch.bat that `build --sounds` adds: the text of sondrel/patch.bat.
#pragma once

namespace mkpatch {

extern const unsigned char kStandardScript[];
extern const unsigned long kStandardScriptSize;

}  // namespace mkpatch

# Writes OUTPUT: a C++ source defining mkpatch::kStandardScript, the bytes of INPUT (the
# standard patch.bat, CRLF line ends and all).
file(READ "${INPUT}" hex HEX)
string(REGEX REPLACE "(..)" "0x\\1, " bytes "${hex}")
file(WRITE "${OUTPUT}" "// Generated from sondrel/patch.bat: do not edit.\n#include \"mkpatch/standard_script.h\"\n\nnamespace mkpatch {\n\nconst unsigned char kStandardScript[] = {${bytes}};\nconst unsigned long kStandardScriptSize = sizeof kStandardScript;\n\n}  // namespace mkpatch\n")

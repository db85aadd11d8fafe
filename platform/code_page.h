// The single-byte Windows code pages that file names are converted to and from by table,
// the same on every system.
#pragma once

#include <string>

namespace platform {

// True for the code pages converted here: 1250 (Central European), 1251 (Cyrillic) and
// 1252 (Western European, the one of the game's English, German and French Windows).
bool isKnownCodePage(unsigned codePage);

// True when `text` is well-formed UTF-8: no overlong forms, no surrogates, nothing past U+10FFFF.
bool isUtf8(const std::string& text);

// UTF-8 `utf8` in `codePage`. A character the page cannot hold, a NUL and each ill-formed
// sequence (as far as it reads as one) become one '?', and `exact`, when given, is set to
// false; otherwise to true.
std::string utf8ToCodePage(const std::string& utf8, unsigned codePage, bool* exact = nullptr);

// Bytes of `codePage` in UTF-8, each one character; bytes the page leaves undefined stand for
// the control characters of the same numbers, as Windows reads them.
std::string codePageToUtf8(const std::string& text, unsigned codePage);

}  // namespace platform

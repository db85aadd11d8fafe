// The patcher's console lines on standard output.
#pragma once

namespace patcher {

// Gives standard output a buffer of its own, so that printLine's flush is its only write; a
// console stream is otherwise left unbuffered. Called before anything is written.
void bufferConsoleLines();

// Formats one line (with its newline) and writes it whole, in one write: in a console window
// every write is a round trip to the console host, and the C runtime would otherwise write a
// console line a character at a time. The line is out before the call returns, so it keeps its
// place before the script's output and the message box.
void printLine(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

}  // namespace patcher

// Without a desktop the window is one line on standard error.
#include "sondrel/progress_window.h"
#include "sondrel/texts.h"

#include <cstdio>

namespace sondrel {

void createProgressWindow() {
    std::fprintf(stderr, "%s\n", TEXT_UNPACKING_NEUTRAL);
}

void pumpOneMessage() {
}

void destroyProgressWindow() {
}

}  // namespace sondrel

// The line is redrawn only when its percentage changes, so a large patch costs a hundred
// writes, not one per entry.
#include "mkpatch/progress.h"

#include "platform/platform.h"

#include <cstdio>

namespace mkpatch {

Progress::Progress(const char* doing, unsigned long total, const char* unit)
    : doing_(doing), unit_(unit), total_(total), done_(0), shownPercent_(0),
      active_(total > 0 && platform::isTerminal(stderr)) {
    if (active_)
        show();
}

Progress::~Progress() {
    if (active_) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
    }
}

void Progress::step() {
    ++done_;
    if (active_ && (done_ == total_ || done_ * 100 / total_ != shownPercent_))
        show();
}

void Progress::show() {
    shownPercent_ = done_ * 100 / total_;
    std::fprintf(stderr, "\r%s: %lu/%lu %s", doing_, done_, total_, unit_);
    std::fflush(stderr);
}

}  // namespace mkpatch

// A progress line on standard error, "building: 120/4000 entries", rewritten in place while a
// command works; silent when standard error is not a terminal.
#pragma once

namespace mkpatch {

class Progress {
public:
    Progress(const char* doing, unsigned long total, const char* unit);
    ~Progress();  // clears the line
    void step();

    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

private:
    void show();

    const char* doing_;
    const char* unit_;
    unsigned long total_;
    unsigned long done_;
    unsigned long shownPercent_;
    bool active_;
};

}  // namespace mkpatch

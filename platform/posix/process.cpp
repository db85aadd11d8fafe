// POSIX script launch: /bin/sh runs the script in the current directory with the parameter
// string split the way the Windows command interpreter splits it (blanks separate words outside
// quotes, quotes are removed, backslashes stay), and the caller waits for it and gets its status.
#include "platform/platform.h"
#include "platform/posix/internal.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

namespace platform {

namespace {

std::vector<std::string> splitParameters(const char* text) {
    std::vector<std::string> words;
    std::string word;
    bool inQuotes = false, inWord = false;
    for (const char* p = text; *p; ++p) {
        char c = *p;
        if (c == '"') {
            inQuotes = !inQuotes;
            inWord = true;
        } else if (!inQuotes && (c == ' ' || c == '\t')) {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words.push_back(word);
    return words;
}

}  // namespace

void ownExecutablePath(char* buffer, unsigned size) {
    if (size == 0)
        return;
    char native[4096];
    ssize_t length = readlink("/proc/self/exe", native, sizeof native - 1);
    native[length > 0 ? length : 0] = 0;
    systemTextToAnsi(native, buffer, size);
}

bool shellOpenAndWait(const char* file, const char* parameters, unsigned long* exitCode) {
    std::string script = nativePath(file);
    // The Windows shell refuses a script that is not there; sh would start and fail instead.
    if (access(script.c_str(), R_OK) != 0)
        return false;
    std::vector<std::string> words = splitParameters(parameters ? parameters : "");
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>("sh"));
    argv.push_back(const_cast<char*>(script.c_str()));
    for (std::string& word : words) {
        word = nativeText(word.c_str());
        argv.push_back(&word[0]);
    }
    argv.push_back(nullptr);

    std::fflush(nullptr);
    pid_t child = fork();
    if (child < 0)
        return false;
    if (child == 0) {
        execv("/bin/sh", argv.data());
        _exit(127);
    }
    int status = 0;
    pid_t waited;
    while ((waited = waitpid(child, &status, 0)) < 0 && errno == EINTR) {
    }
    // A shell ended by a signal has not finished its work either.
    *exitCode = waited == child && WIFEXITED(status) ? static_cast<unsigned long>(WEXITSTATUS(status)) : 1ul;
    return true;
}

}  // namespace platform

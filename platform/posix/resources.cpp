// POSIX string resources: served from the program's own table (see internal.h).
#include "platform/platform.h"
#include "platform/posix/internal.h"

#include <cstring>

namespace platform {

int loadString(unsigned id, char* buffer, int size) {
    if (size <= 0)
        return 0;
    for (unsigned i = 0; i < kStringResourceCount; ++i) {
        if (kStringResources[i].id != id)
            continue;
        int length = static_cast<int>(std::strlen(kStringResources[i].text));
        if (length > size - 1)
            length = size - 1;
        std::memcpy(buffer, kStringResources[i].text, length);
        buffer[length] = 0;
        return length;
    }
    return 0;
}

}  // namespace platform

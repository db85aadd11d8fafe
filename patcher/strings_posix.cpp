// The patcher's string table for POSIX builds, from the texts its resource script uses.
#include "patcher/texts.h"
#include "platform/posix/internal.h"

namespace platform {

const StringResource kStringResources[] = {
    {IDS_REGISTRY_KEY, TEXT_REGISTRY_KEY},
    {IDS_NOT_FOUND, TEXT_NOT_FOUND},
    {IDS_INVALID_INSTALL, TEXT_INVALID_INSTALL},
    {IDS_SCRIPT_NAME, TEXT_SCRIPT_NAME},
    {IDS_CORRUPTED, TEXT_CORRUPTED},
    {IDS_SUCCESS, TEXT_SUCCESS},
    {IDS_CAPTION, TEXT_CAPTION},
    {IDS_NOT_REPLACED, TEXT_NOT_REPLACED},
    {IDS_SCRIPT_FAILED, TEXT_SCRIPT_FAILED},
    {IDS_WRITE_FAILED, TEXT_WRITE_FAILED},
    {IDS_WRONG_VERSION, TEXT_WRONG_VERSION},
};
const unsigned kStringResourceCount = sizeof kStringResources / sizeof kStringResources[0];

}  // namespace platform

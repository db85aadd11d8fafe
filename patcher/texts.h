/* The patcher's texts and resource ids: the Windows resource script and the POSIX string
   table are both made from this one header, so it stays plain C preprocessor. */
#ifndef PATCHER_TEXTS_H
#define PATCHER_TEXTS_H

#include "release/version.h"

#define IDS_REGISTRY_KEY   1
#define IDS_NOT_FOUND      2
#define IDS_INVALID_INSTALL 3
#define IDS_SCRIPT_NAME    4
#define IDS_CORRUPTED      5
#define IDS_SUCCESS        6
#define IDS_CAPTION        7
#define IDS_NOT_REPLACED   8
#define IDS_SCRIPT_FAILED  9
#define IDS_WRITE_FAILED   10
#define IDS_WRONG_VERSION  11

#define TEXT_REGISTRY_KEY    "Software\\" VARDANE_COMPANY "\\Torvicor\\" VARDANE_PRODUCT
#define TEXT_NOT_FOUND       "Vardane not found!"
#define TEXT_INVALID_INSTALL "Invalid Vardane installation"
#define TEXT_SCRIPT_NAME     "patch.bat"
#define TEXT_CORRUPTED       "Patch file is corrupted"
#define TEXT_SUCCESS         "Patch was successfully applied."
#define TEXT_CAPTION         VARDANE_PRODUCT " Patch " VARDANE_RELEASE_TEXT
#define TEXT_BANNER          VARDANE_PRODUCT " Patcher " VARDANE_KIT_TEXT
#define TEXT_NOT_REPLACED    "Some game files could not be replaced. Close the game and apply the patch again."
#define TEXT_SCRIPT_FAILED   "The game files were updated, but the patch could not finish its last step. Apply the patch again."
#define TEXT_WRITE_FAILED    "The game files could not be written. Free some disk space and apply the patch again."
#define TEXT_WRONG_VERSION   "Some game files are not the version this patch updates, so nothing was changed. Install the full patch instead, or restore the game's files and apply this patch again."

#define IDI_PATCHER 102

#endif

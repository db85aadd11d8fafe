/* The converter's texts and resource ids: the Windows resource script and the POSIX progress
   line are both made from this one header, so it stays plain C preprocessor. */
#ifndef SONDREL_TEXTS_H
#define SONDREL_TEXTS_H

#include "release/version.h"

#define IDS_UNPACKING        1
#define IDD_PROGRESS         101
#define IDI_SONDREL          102
#define IDC_PROGRESS_TEXT    1000
#define RT_LANGUAGE_MARKER   255
#define IDR_LANGUAGE_MARKER  1

/* Strings are in code page 1252: the French text's e acute is the byte 0xE9. */
#define TEXT_UNPACKING_NEUTRAL "Unpacking sounds. Please wait..."
#define TEXT_UNPACKING_GERMAN  "Entpacke Sound-Daten. Bitte warten..."
#define TEXT_UNPACKING_FRENCH  "D\351compression des sons. Veuillez patienter..."
#define TEXT_UNPACKING_UK      "Unpacking sounds. Please wait..."

#define TEXT_DESCRIPTION       VARDANE_PRODUCT " sound converter"

#endif

// The three About lines of the properties dialog, read from the version
// resource of the extension library beside the program.
#pragma once

#include "toolkit/TextBuffer.h"

struct AboutTexts {
    FixedText productName;  // the library's ProductName string, UTF-8
    FixedText version;      // "Version a.b.c" (props/VersionText.h)
    FixedText copyright;    // the library's LegalCopyright string, UTF-8
};

// Reads the version resource of `libraryPath` (UTF-8) into `texts`: the size, the
// block, the fixed information (which must be exactly a VS_FIXEDFILEINFO),
// then ProductName, the version line and LegalCopyright from the string table
// "040904B0", in that order. The first step that fails ends the reading; the
// texts stored before it stay, the others are left as they were.
void ReadAboutTexts(const char* libraryPath, AboutTexts& texts);

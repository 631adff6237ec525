// The "Version a.b.c" line of the About block, from the two most significant
// version double words of the extension library's fixed version information:
// a and b are the high and low word of the product version, c the high word
// of the file version. Product 0.5.0.1 with file 6.6.0.1 gives "Version 0.5.6".
//
// Platform-free.
#pragma once

#include <cstdint>

#include "toolkit/TextBuffer.h"

// Assigns the text to `out`; the numbers are appended while there is room.
void FormatVersionText(TextBuffer& out, uint32_t productVersionMS, uint32_t fileVersionMS);

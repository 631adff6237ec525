// The command line an action starts with:
//
//   "PROGRAM" ARGUMENTS FILE1 FILE2 ...
//
// the program path in double quotes, one space, the link's arguments (also
// when empty), then one space before each file. With no files the line ends
// after the arguments, so empty arguments leave a trailing space.
//
// Platform-free.
#pragma once

#include <cstdint>

#include "toolkit/TextBuffer.h"

// Reserves `out` to length(program) + filesLength + length(arguments) + 4
// bytes (dropping what it held) and composes the line into it. The caller
// passes as filesLength the sum over the files of their length + 1; less
// than that cuts the line at the reserved capacity. Returns 1 when the
// reservation succeeded; 0 when the storage could not be had, and then
// `out` is left empty rather than holding a cut line.
int ComposeCommandLine(HeapText& out, const char* program, const char* arguments, const TextListNode* files,
                       int32_t filesLength);

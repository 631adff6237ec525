// The program an action's line starts, named as the platform will run it,
// so that who reads the line (catalogue/CommandLine.h) is decided on the
// program that runs and not on how the link spells it.
//
// Windows glue of the command-line rules: the name rule itself (trailing
// dots and spaces, the added ".exe", the stream suffix) is RunNameOf of the
// platform-free core; this file adds what only the platform knows, the full
// path and the long names behind short ones.
#pragma once

#include "toolkit/WideText.h"

// Fills `out` with the full, long path of the program the line starting
// with `program` runs: GetFullPathNameW, then the name as RunNameOf reads it
// (AppendRunName), then GetLongPathNameW, so "…\POWERS~1" gives
// "…\powershell.exe" when that file exists. A step the platform fails keeps
// the form before it (a missing program keeps its full path with the run
// name's ".exe"); a program with a ':' stream suffix is kept as written, for
// ReaderOf to refuse. False, with `out` empty, only when storage cannot be
// had.
bool ResolveProgramPath(HeapWide& out, const char16_t* program);

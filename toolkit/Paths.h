// Paths, the running program's directory and the user's name, in UTF-8 over
// the platform's UTF-16 services. Every result is a FixedText, which holds
// every path the platform accepts (259 units) whole. UTF-8 has no lead bytes
// that could hide a separator or a dot: splitting works on the bytes.
#pragma once

#include "toolkit/PathSplit.h"
#include "toolkit/TextBuffer.h"

// The full path of `name` taken relative to `directory`:
//  - a name with a drive ("D:...") or a network name ("\\...") is used as is;
//  - a name from the root ("\...") gets the directory's drive in front;
//  - otherwise directory and name are joined with no separator inserted, so
//    the directory is expected to end with one.
// The joined text goes through GetFullPathNameW, which resolves "." and ".."
// and relative paths against the current directory. When the joined text
// does not fit a FixedText or the platform cannot produce a full path of at
// most 259 units the result is empty, never a cut path. An empty name gives
// the full path of the directory itself.
FixedText& CombinePath(FixedText& out, const char* directory, const char* name);

FixedText& DirectoryOf(FixedText& out, const char* path);         // "C:\A\f.txt" -> "C:\A\"
FixedText& DirectoryOfNoSlash(FixedText& out, const char* path);  // "C:\A\f.txt" -> "C:\A"
FixedText& BaseNameOf(FixedText& out, const char* path);          // "a.tar.gz" -> "a.tar"
FixedText& ExtensionOf(FixedText& out, const char* path);         // "a.tar.gz" -> ".gz"
FixedText& FileNameOf(FixedText& out, const char* path);          // "C:\A\f.txt" -> "f.txt"

// Drive and directory of the running program's executable, with the trailing
// backslash, in UTF-8 (any folder name, also one outside the ANSI code page).
// Found once and kept for the process's life; empty when the platform cannot
// name the program whole or its directory does not fit (asked again on the
// next call). Not for use inside the extension library, where it would name
// the host's directory.
const FixedText& ProgramDirectory();

// The name of the user the process runs as, in UTF-8, kept once found; empty
// when the platform cannot report it or it does not fit (then asked again on
// the next call).
const FixedText& CurrentUserName();

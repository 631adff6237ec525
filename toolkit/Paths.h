// Paths, the running program's directory and the user's name, over the
// platform's ANSI services. Every result is a FixedText, so every path is cut
// at 260 bytes; splitting follows the system code page's double-byte rules.
#pragma once

#include "toolkit/PathSplit.h"
#include "toolkit/TextBuffer.h"

// The lead-byte test of the system's ANSI code page.
LeadByteTest SystemLeadByteTest();

// The full path of `name` taken relative to `directory`:
//  - a name with a drive ("D:...") or a network name ("\\...") is used as is;
//  - a name from the root ("\...") gets the directory's drive in front;
//  - otherwise directory and name are joined with no separator inserted, so
//    the directory is expected to end with one.
// The joined text (cut at 260) goes through GetFullPathNameA, which resolves
// "." and ".." and relative paths against the current directory. When the
// platform cannot produce a full path of at most 259 bytes the result is
// empty. An empty name gives the full path of the directory itself.
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

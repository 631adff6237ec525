// The grammar of group folder names and the type lists they compile into.
//
// A group folder's name, upper-cased (toolkit/NameCase.h), says which files its actions apply to:
//
//   EXT                    every file
//   EXT.txt.log            files whose type is one of the listed ones
//   EXT(remark).txt        as above; a remark without "." is skipped
//   VERB, VERB(x), VERB.x  a verb group: loaded, but matching no file
//   DIR, DIR(remark)       selected folders, drive roots included
//   BACKGROUND, BACKGROUND(remark)
//                          the empty space of a folder window or of the
//                          desktop (that folder is the one file)
//   anything else          not a group (DIRECTORY, DIR.txt, BACKGROUND.x)
//
// A name of kind TypeListGroup compiles into a type-list text: ";" and then
// one ".TYPE;" entry per listed type, e.g. EXT.txt.doc gives ";.TXT;.DOC;".
// Inside a type list "%" escapes: it emits nothing and makes a directly
// following "%" literal, so ".%" is the empty type (files without an
// extension) and "%%" is one "%". A "." always separates.
//
// A file is matched by its key ";.EXT;" (";.;" when it has no extension),
// searched in each list: as every entry starts with ";." and ends with ";",
// only a whole entry can hold the key.
//
// Platform-free.
#pragma once

#include <cstdint>

#include "toolkit/PathSplit.h"
#include "toolkit/TextBuffer.h"

enum GroupKind : int32_t {
    NotAGroup = 0,      // the loader discards it at once
    VerbGroup = 1,      // matches no file
    AllFilesGroup = 2,  // matches every file
    TypeListGroup = 3,  // matches files whose type is in one of its lists
    FolderGroup = 4,      // matches no file: selected folders and drive roots
    BackgroundGroup = 5,  // matches no file: a folder window's or the desktop's empty space
};

// Size of the working buffer that receives a type list, terminator included:
// twice a FixedText. A name of n bytes compiles into at most 2 * n - 5
// bytes and the terminator.
constexpr int32_t kTypeListBufferSize = 2 * kFixedTextBytes;

// Upper-cases a name in place for comparing it; false when it could not be
// done whole. The library passes MakeNameUpper (toolkit/NameCase.h), which
// asks the platform for the letters beyond ASCII; the platform-free core
// takes it as a parameter.
using NameFold = bool (*)(TextBuffer& text);

// The kind of the upper-cased `name`. Writes the type-list text into
// `list` (kTypeListBufferSize bytes) only when the result is TypeListGroup;
// a name so long that its list would not fit (more than a FixedText) has
// its list cut at kTypeListBufferSize - 1 bytes, still terminated. Reads nothing else, cannot fail.
GroupKind ParseGroupName(const TextBuffer& name, char* list);

// Builds the match key of `path` into `key`: ";" + the extension part of the
// last path component (";." when it has none or ends in a dot) + ";",
// upper-cased by `fold`. The path is UTF-8.
void BuildMatchKey(FixedText& key, const char* path, NameFold fold);

// A file's match key with its search table, prepared once and then tested
// against any number of type lists. Plain bytes: copyable as it stands.
struct PreparedMatchKey {
    char text[kFixedTextBytes + 1];        // the match key (BuildMatchKey), zero-terminated
    unsigned char table[kMatchTableSize];  // its search table (BuildMatchTable)
};

// Fills `key` for the file at `path`.
void PrepareMatchKey(PreparedMatchKey& key, const char* path, NameFold fold);

// 1 when one of the lists (walked from `lists`) holds `key`, else 0 (also for
// no lists at all).
int TypeListsHoldKey(const TextListNode* lists, const PreparedMatchKey& key);


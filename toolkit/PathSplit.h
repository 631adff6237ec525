// Splitting a path into drive, directory, base name and extension.
//
//   drive      the first two bytes when the second is ':', else empty
//   directory  from behind the drive up to and including the last '\' or '/'
//   base name  from behind the directory up to (not including) the last '.'
//              that lies behind the directory; the rest when there is none
//   extension  from that last dot (included) to the end, else empty
//
// Directory, base name and extension are each cut to kPathPartLimit bytes,
// never inside a UTF-8 character. The texts are UTF-8, where every byte of a
// character beyond ASCII is 0x80 or above: a separator or a dot byte is
// always that character, so splitting works on the bytes.
//
// Platform-free.
#pragma once

#include <cstdint>

#include "toolkit/TextBuffer.h"

// Longest directory, base name or extension part kept by a split: 255
// characters of up to three UTF-8 bytes.
constexpr int32_t kPathPartLimit = 3 * 255;

// Offsets and lengths of the four parts within the split text, lengths
// already cut to kPathPartLimit.
struct PathParts {
    int32_t driveLength;      // 0 or 2; the drive starts at 0
    int32_t directoryStart;   // == driveLength
    int32_t directoryLength;  // with its trailing separator
    int32_t baseStart;        // behind the whole (uncut) directory
    int32_t baseLength;
    int32_t extensionStart;   // at the dot
    int32_t extensionLength;  // with the dot
};

PathParts SplitPath(const char* path);

// Which parts AssignPathParts copies, in the order drive, directory, base
// name, extension.
enum PathPart : unsigned {
    kPartDrive = 1,
    kPartDirectory = 2,
    kPartBaseName = 4,
    kPartExtension = 8,
};

// Assigns the chosen parts of `path`, in path order, to `out` (cut at its
// capacity). Returns `out`.
TextBuffer& AssignPathParts(TextBuffer& out, const char* path, unsigned parts);

// Drive and directory with one trailing backslash removed ("C:\A\f" gives
// "C:\A", "C:\f" gives "C:"); a trailing '/' stays.
TextBuffer& AssignDirectoryNoSlash(TextBuffer& out, const char* path);

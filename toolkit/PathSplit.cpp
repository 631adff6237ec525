#include "toolkit/PathSplit.h"

#include <cstring>

namespace {

// The length of the part at `start` of `n` bytes, cut to the limit; a cut
// that would fall inside a UTF-8 character falls before it.
int32_t Cut(const char* start, int32_t n) {
    if (n <= kPathPartLimit) return n;
    n = kPathPartLimit;
    while (n > 0 && (static_cast<unsigned char>(start[n]) & 0xC0) == 0x80) --n;
    return n;
}

}  // namespace

PathParts SplitPath(const char* path) {
    PathParts parts = {};
    int32_t n = 0;
    while (path[n] != 0) ++n;

    parts.driveLength = (n >= 2 && path[1] == ':') ? 2 : 0;
    parts.directoryStart = parts.driveLength;

    // One walk over the bytes finds the last separator and the last dot.
    int32_t lastSeparator = -1;
    int32_t lastDot = -1;
    for (int32_t i = parts.driveLength; i < n; ++i) {
        const char c = path[i];
        if (c == '\\' || c == '/') {
            lastSeparator = i;
        } else if (c == '.') {
            lastDot = i;
        }
    }

    int32_t nameStart = lastSeparator >= 0 ? lastSeparator + 1 : parts.driveLength;
    parts.directoryLength = Cut(path + parts.driveLength, nameStart - parts.driveLength);
    parts.baseStart = nameStart;
    if (lastDot >= nameStart) {
        parts.baseLength = Cut(path + nameStart, lastDot - nameStart);
        parts.extensionStart = lastDot;
        parts.extensionLength = Cut(path + lastDot, n - lastDot);
    } else {
        parts.baseLength = Cut(path + nameStart, n - nameStart);
        parts.extensionStart = n;
        parts.extensionLength = 0;
    }
    return parts;
}

TextBuffer& AssignPathParts(TextBuffer& out, const char* path, unsigned which) {
    PathParts parts = SplitPath(path);
    struct Piece {
        unsigned flag;
        int32_t start;
        int32_t length;
    };
    const Piece pieces[] = {
        {kPartDrive, 0, parts.driveLength},
        {kPartDirectory, parts.directoryStart, parts.directoryLength},
        {kPartBaseName, parts.baseStart, parts.baseLength},
        {kPartExtension, parts.extensionStart, parts.extensionLength},
    };
    // Assemble in a local array first: `path` may be `out`'s own text.
    char joined[4 * kPathPartLimit + 8];
    int32_t used = 0;
    for (const Piece& piece : pieces) {
        if ((which & piece.flag) == 0) continue;
        std::memcpy(joined + used, path + piece.start, static_cast<size_t>(piece.length));
        used += piece.length;
    }
    joined[used] = 0;
    return out.Assign(joined);
}

TextBuffer& AssignDirectoryNoSlash(TextBuffer& out, const char* path) {
    PathParts parts = SplitPath(path);
    AssignPathParts(out, path, kPartDrive | kPartDirectory);
    // A directory that `out` holds whole ends in its separator; drop it only
    // when that is a backslash.
    int32_t end = parts.driveLength + parts.directoryLength;
    if (end > 0 && out.Length() == end && out.Text()[end - 1] == '\\') out.Truncate(end - 1);
    return out;
}

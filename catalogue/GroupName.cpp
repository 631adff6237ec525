#include "catalogue/GroupName.h"

#include <cstring>

namespace {

// Writes bytes into the caller's list buffer, never past its last byte,
// which is kept for the terminator.
class ListWriter {
public:
    explicit ListWriter(char* out) : buffer(out), used(0) {}
    void Put(char c) {
        if (used < kTypeListBufferSize - 1) buffer[used++] = c;
    }
    void Finish() { buffer[used] = 0; }

private:
    char* buffer;
    int32_t used;
};

}  // namespace

GroupKind ParseGroupName(const TextBuffer& name, char* list) {
    const char* s = name.Text();
    const int32_t n = name.Length();

    // p: first "(" or "."; q: first "." at or after p.
    int32_t p = 0;
    while (p < n && s[p] != '(' && s[p] != '.') ++p;
    int32_t q = p;
    while (q < n && s[q] != '.') ++q;
    // A "(" opens a remark only when it closes right before the next "." (or
    // at the end); otherwise the prefix runs up to that ".".
    if (q > p && s[q - 1] != ')') p = q;

    FixedText prefix;
    prefix.AssignLeft(s, p);
    if (std::strcmp(prefix.Text(), "EXT") == 0) {
        if (q == n) return AllFilesGroup;
        ListWriter out(list);
        bool escapeArmed = true;
        for (int32_t i = q; i < n; ++i) {
            char ch = s[i];
            if (ch == '%') {
                if (!escapeArmed) out.Put('%');
                escapeArmed = !escapeArmed;
            } else if (ch == '.') {
                out.Put(';');
                out.Put('.');
                escapeArmed = true;
            } else {
                out.Put(ch);
                escapeArmed = true;
            }
        }
        out.Put(';');
        out.Finish();
        return TypeListGroup;
    }
    if (std::strcmp(prefix.Text(), "VERB") == 0) return VerbGroup;
    // Folders have no type to list: anything after the name or its remark
    // makes it no group, as EXTRA.txt is none.
    if (q != n) return NotAGroup;
    if (std::strcmp(prefix.Text(), "DIR") == 0) return FolderGroup;
    if (std::strcmp(prefix.Text(), "BACKGROUND") == 0) return BackgroundGroup;
    return NotAGroup;
}

void BuildMatchKey(FixedText& key, const char* path, NameFold fold) {
    key.Assign(";");
    FixedText extension;
    AssignPathParts(extension, path, kPartExtension);
    key.Append(extension.Text());
    if (key.Length() == 1) key.Append(".");
    key.Append(";");
    fold(key);
}

void PrepareMatchKey(PreparedMatchKey& key, const char* path, NameFold fold) {
    FixedText text;
    BuildMatchKey(text, path, fold);
    std::memcpy(key.text, text.Text(), static_cast<size_t>(text.Length()) + 1);
    BuildMatchTable(key.text, key.table);
}

int TypeListsHoldKey(const TextListNode* lists, const PreparedMatchKey& key) {
    // The search table covers the first kMatchTableSize bytes of a key: a
    // longer key (an extension of 253 bytes and more) is compared whole by
    // a plain search, or it would match any longer type it is a prefix of.
    const bool whole = std::strlen(key.text) <= static_cast<size_t>(kMatchTableSize);
    for (const TextListNode* node = lists; node != nullptr; node = node->next) {
        if (node->text.Empty()) continue;
        int count = 0;
        if (whole ? FindPattern(key.text, node->text.Text(), key.table, &count) >= 0
                  : std::strstr(node->text.Text(), key.text) != nullptr) {
            return 1;
        }
    }
    return 0;
}


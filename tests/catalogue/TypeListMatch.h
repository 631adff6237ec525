// Matching a path against type lists as a menu does, through the product's
// key preparation and list search, for the platform-free tests.
#pragma once

#include "catalogue/GroupName.h"

// The a-z rule alone: all that ASCII names need, without the platform's
// case table.
inline bool FoldAsciiUpper(TextBuffer& text) {
    text.MakeUpper();
    return true;
}

// 1 when one of the lists (walked from `lists`) holds the match key of
// `path` prepared with `fold`, else 0 (also for no lists at all).
inline int TypeListsMatch(const TextListNode* lists, const char* path, NameFold fold) {
    PreparedMatchKey key;
    PrepareMatchKey(key, path, fold);
    return TypeListsHoldKey(lists, key);
}

#include "catalogue/ActionOrder.h"

#include <cstring>

namespace {

unsigned char FoldToLower(unsigned char c) { return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c; }

}  // namespace

int ParseOrderSuffix(const TextBuffer& suffix, int32_t* order) {
    const char* t = suffix.Text();
    const int32_t n = suffix.Length();

    char opening[3];
    TextOver head(opening, 2);
    head.AssignLeft(t, 2);
    if (std::strcmp(head.Text(), ".(") != 0) return 0;
    if (t[n - 1] != ')') return 0;  // n >= 2 here

    const int32_t middleLength = n - 3;
    if (middleLength <= 0) {
        // ".()" keeps the order; ".(" alone was refused above (it ends in "(").
        return middleLength == 0 ? 1 : 0;
    }
    FixedText middle;
    middle.AssignMid(t, 2, middleLength);
    int end = 0;
    int32_t value = ParseDecimal(middle.Text(), &end);
    if (end != -1) return 0;
    *order = value;
    return 1;
}

int CompareActionKeys(int32_t orderA, const char* nameA, int32_t orderB, const char* nameB) {
    if (orderA < orderB) return -1;
    if (orderA > orderB) return 1;
    const unsigned char* a = reinterpret_cast<const unsigned char*>(nameA);
    const unsigned char* b = reinterpret_cast<const unsigned char*>(nameB);
    for (;; ++a, ++b) {
        unsigned char ca = FoldToLower(*a);
        unsigned char cb = FoldToLower(*b);
        if (ca != cb) return ca < cb ? -1 : 1;
        if (ca == 0) return 0;
    }
}

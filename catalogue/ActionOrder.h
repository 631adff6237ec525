// Sort order of actions: the order suffix of a display name and the
// comparison that the menu's stable sort uses (catalogue/ActionCollector.h).
//
// A display name ending in ".(" N ")", N a decimal integer with an optional
// sign, sorts by N and is shown without that ending: "Notepad.(5)" is
// "Notepad" with order 5. Names without it sort by the DefaultOrder setting.
//
// Platform-free.
#pragma once

#include <cstdint>

#include "toolkit/TextBuffer.h"

// `suffix` is the extension part of a display name (from its last ".", the
// "." included). Returns 1 when it is an order suffix, so the name is shown
// without it, else 0. Writes *order only when a number was present: ".()"
// is a suffix that keeps the order, ".(-)" and ".(+)" give 0. A number with
// anything after its digits, or beyond the signed 32-bit range, makes no
// suffix, and *order stays untouched.
int ParseOrderSuffix(const TextBuffer& suffix, int32_t* order);

// Negative when (orderA, nameA) sorts before (orderB, nameB), 0 when equal,
// positive after. Orders decide first; equal orders compare the names byte
// by byte as unsigned values with A-Z folded to a-z (so "_x" sorts before
// "ax"); a name that ends first sorts first.
int CompareActionKeys(int32_t orderA, const char* nameA, int32_t orderB, const char* nameB);

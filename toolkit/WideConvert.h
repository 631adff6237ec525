// The platform's WCHAR and the toolkit's char16_t: the same UTF-16 units.
#pragma once

#include <windows.h>

#include "toolkit/TextBuffer.h"
#include "toolkit/WideText.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "WCHAR is the UTF-16 unit of WideText");

inline const wchar_t* AsWide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
inline wchar_t* AsWide(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }
inline const char16_t* AsUtf16(const wchar_t* text) { return reinterpret_cast<const char16_t*>(text); }
// A wide buffer's text as the platform's wide string.
inline const wchar_t* AsWide(const WideBuffer& text) { return AsWide(text.Text()); }

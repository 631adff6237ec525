// Between the system's ANSI code page and UTF-16, for the texts that meet
// file names on their way to a started program.
#pragma once

#include <windows.h>

#include "toolkit/TextBuffer.h"
#include "toolkit/WideText.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "WCHAR is the UTF-16 unit of WideText");

inline const wchar_t* AsWide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
inline wchar_t* AsWide(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }
inline const char16_t* AsUtf16(const wchar_t* text) { return reinterpret_cast<const char16_t*>(text); }

// `text` (ANSI, system code page) converted whole into `out`, exactly sized.
// False when the storage cannot be had or the conversion fails; `out` is
// then empty.
bool AssignWideFromAnsi(HeapWide& out, const char* text);

// The ANSI form of `name` as far as the code page holds it, cut at 260
// bytes: a character the code page lacks becomes '?', never a look-alike
// (no best-fit mapping), so such a name matches no file type of a folder
// name, where '?' cannot occur.
FixedText& AssignAnsiFromWide(FixedText& out, const char16_t* name);

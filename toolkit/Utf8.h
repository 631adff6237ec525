// UTF-8 in the byte texts, UTF-16 at the platform.
//
// The library and the settings program hold every text they read about
// themselves (paths, group and action names, link texts, settings values) as
// UTF-8 in TextBuffers and convert at the platform calls, which are the
// UTF-16 (W) entry points. UTF-8 keeps the byte rules of the texts: a byte
// below 0x80 is always the ASCII character it reads as (never part of a
// longer character), so separators, dots, '%' escapes and the a-z case rule
// find exactly the characters they look for.
//
// The encoding is lossless for every UTF-16 text, also for an unpaired
// surrogate, which file names may hold: it is written as its own three-byte
// form (the scheme known as WTF-8), and reading it gives the same unit back.
// A pair is always written as one four-byte character.
//
// Platform-free: this header and its source include no <windows.h>.
#pragma once

#include <cstdint>

#include "toolkit/TextBuffer.h"
#include "toolkit/WideText.h"

// Bytes the UTF-8 form of the first `length` units of `text` takes (the
// whole text up to its terminator when length < 0), terminator not counted.
int32_t Utf8LengthOf(const char16_t* text, int32_t length = -1);

// Replaces `out`'s text with the UTF-8 form of `text` (first `length` units,
// or up to the terminator when length < 0). A text that does not fit is cut
// at the capacity before the first character that would not fit whole, so
// no character is ever split. True when the whole text fits.
bool AssignUtf8(TextBuffer& out, const char16_t* text, int32_t length = -1);
// The same into an exactly sized HeapText. False when its block cannot be
// had (then empty).
bool AssignUtf8Exact(HeapText& out, const char16_t* text, int32_t length = -1);

// Units the UTF-16 form of the UTF-8 `text` takes, terminator not counted.
// A byte that starts no valid sequence counts as one unit (U+FFFD).
int32_t Utf16LengthOf(const char* text);

// Appends the UTF-16 form of `text` to `out`, cut at the capacity before a
// character that would not fit whole. A byte that starts no valid sequence
// becomes U+FFFD. True when the whole text fits.
bool AppendUtf16(WideBuffer& out, const char* text);
// Replaces `out` with the UTF-16 form of `text`, exactly sized. False when
// its block cannot be had (then empty).
bool AssignUtf16Exact(HeapWide& out, const char* text);

// Bytes of the first `characters` characters of the UTF-8 `text` (all of it
// when it holds fewer): where a cut by characters falls. A UTF-16 pair
// counts as one character.
int32_t Utf8PrefixBytes(const char* text, int32_t characters);

#include "toolkit/Utf8.h"

namespace {

bool IsLead(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsTrail(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The code point at text[i] and the units it takes (a pair takes two, an
// unpaired surrogate one, as itself).
uint32_t CodePointAt(const char16_t* text, int32_t i, int32_t length, int32_t* units) {
    const char16_t unit = text[i];
    if (IsLead(unit) && i + 1 < length && IsTrail(text[i + 1])) {
        *units = 2;
        return 0x10000u + ((static_cast<uint32_t>(unit) - 0xD800u) << 10) + (static_cast<uint32_t>(text[i + 1]) - 0xDC00u);
    }
    *units = 1;
    return unit;
}

int32_t BytesFor(uint32_t point) { return point < 0x80 ? 1 : point < 0x800 ? 2 : point < 0x10000 ? 3 : 4; }

void PutUtf8(char* out, uint32_t point, int32_t bytes) {
    if (bytes == 1) {
        out[0] = static_cast<char>(point);
        return;
    }
    static const unsigned char kLeadMarks[5] = {0, 0, 0xC0, 0xE0, 0xF0};
    for (int32_t k = bytes - 1; k > 0; --k) {
        out[k] = static_cast<char>(0x80 | (point & 0x3F));
        point >>= 6;
    }
    out[0] = static_cast<char>(kLeadMarks[bytes] | point);
}

int32_t UnitsOf(const char16_t* text, int32_t length) { return length < 0 ? WideLength(text) : length; }

// Reads the character at text[0]: its code point and the bytes it takes. A
// byte that starts no valid sequence (a stray continuation, an over-long or
// cut sequence, a value past U+10FFFF) reads as U+FFFD taking that one byte.
// Surrogates in their three-byte form are valid: they read back as units.
uint32_t ReadUtf8(const unsigned char* text, int32_t* bytes) {
    const unsigned char lead = text[0];
    *bytes = 1;
    if (lead < 0x80) return lead;
    int32_t n;
    uint32_t point;
    if (lead >= 0xC2 && lead <= 0xDF) {
        n = 2;
        point = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        n = 3;
        point = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        n = 4;
        point = lead & 0x07;
    } else {
        return 0xFFFD;
    }
    for (int32_t k = 1; k < n; ++k) {
        if ((text[k] & 0xC0) != 0x80) return 0xFFFD;  // also stops at the terminator
        point = (point << 6) | (text[k] & 0x3F);
    }
    if (BytesFor(point) != n || point > 0x10FFFF) return 0xFFFD;
    *bytes = n;
    return point;
}

}  // namespace

int32_t Utf8LengthOf(const char16_t* text, int32_t length) {
    length = UnitsOf(text, length);
    int32_t bytes = 0;
    for (int32_t i = 0, units = 0; i < length; i += units) bytes += BytesFor(CodePointAt(text, i, length, &units));
    return bytes;
}

bool AssignUtf8(TextBuffer& out, const char16_t* text, int32_t length) {
    length = UnitsOf(text, length);
    int32_t used = 0;
    int32_t i = 0;
    while (i < length) {
        int32_t units = 0;
        const uint32_t point = CodePointAt(text, i, length, &units);
        const int32_t bytes = BytesFor(point);
        if (used + bytes > out.capacity) break;
        PutUtf8(out.storage + used, point, bytes);
        used += bytes;
        i += units;
    }
    // A zero unit ends the text as the terminator would.
    out.storage[used] = 0;
    out.Recount();
    return i == length;
}

bool AssignUtf8Exact(HeapText& out, const char16_t* text, int32_t length) {
    const int32_t bytes = Utf8LengthOf(text, length);
    out.Reserve(bytes + 1);
    if (out.Capacity() < bytes) {
        out.FreeStorage();
        return false;
    }
    return AssignUtf8(out, text, length);
}

int32_t Utf16LengthOf(const char* text) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
    int32_t units = 0;
    for (int32_t n = 0; *bytes != 0; bytes += n) units += ReadUtf8(bytes, &n) >= 0x10000 ? 2 : 1;
    return units;
}

bool AppendUtf16(WideBuffer& out, const char* text) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
    int32_t n = 0;
    for (; *bytes != 0; bytes += n) {
        const uint32_t point = ReadUtf8(bytes, &n);
        if (point >= 0x10000) {
            if (out.length + 2 > out.capacity) break;
            out.storage[out.length++] = static_cast<char16_t>(0xD800 + ((point - 0x10000) >> 10));
            out.storage[out.length++] = static_cast<char16_t>(0xDC00 + ((point - 0x10000) & 0x3FF));
        } else {
            if (out.length + 1 > out.capacity) break;
            out.storage[out.length++] = static_cast<char16_t>(point);
        }
    }
    out.storage[out.length] = 0;
    return *bytes == 0;
}

bool AssignUtf16Exact(HeapWide& out, const char* text) {
    if (!out.Reserve(Utf16LengthOf(text) + 1)) return false;
    return AppendUtf16(out, text);
}

int32_t Utf8PrefixBytes(const char* text, int32_t characters) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
    int32_t used = 0;
    for (int32_t n = 0; characters > 0 && bytes[used] != 0; --characters) {
        ReadUtf8(bytes + used, &n);
        used += n;
    }
    return used;
}

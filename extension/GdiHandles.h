// Owners for the GDI objects the extension makes, on the pattern of
// toolkit/Win32Handles.h: one close policy per handle type. A memory DC is
// deleted (DeleteDC), never released; a selection is undone before its DC
// goes.
#pragma once

#include <windows.h>

#include "toolkit/Win32Handles.h"

// Bitmaps, pens, brushes and fonts made with Create*: DeleteObject.
struct GdiBitmapTraits {
    using Handle = HBITMAP;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { DeleteObject(h); }
};

// Device contexts made with CreateCompatibleDC: DeleteDC.
struct MemoryDcTraits {
    using Handle = HDC;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { DeleteDC(h); }
};

using GdiBitmap = UniqueHandle<GdiBitmapTraits>;
using MemoryDc = UniqueHandle<MemoryDcTraits>;

// Selects an object into a DC and selects the previous one back when it goes
// out of scope. A selection that failed restores nothing.
class SelectGuard {
public:
    SelectGuard(HDC dc, HGDIOBJ object) : dc(dc), previous(SelectObject(dc, object)) {}
    ~SelectGuard() {
        if (previous != nullptr && previous != HGDI_ERROR) SelectObject(dc, previous);
    }
    SelectGuard(const SelectGuard&) = delete;
    SelectGuard& operator=(const SelectGuard&) = delete;

    bool Selected() const { return previous != nullptr && previous != HGDI_ERROR; }

private:
    HDC dc;
    HGDIOBJ previous;
};

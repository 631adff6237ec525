// Counted creation and move-only owners for the GDI objects and device
// contexts that measuring and painting make.
//
// Every pen, brush, bitmap, font and memory device context that menudraw
// creates (the check-mark bitmap beside the popup entry included) is created by one of the Create* functions below and given back
// by DeleteGdiObject / DeleteMemoryDC (directly or through an owner), and
// every window context it borrows with GetDC goes back with ReleaseDC
// through WindowDC. Each of them keeps a process-wide count of what is
// live: creation adds 1 when the platform call succeeds, deletion or release
// subtracts 1 when the platform call reports success. The count is what the
// leak tests read: the platform's own per-process count (GetGuiResources)
// reads 0 under Wine 8.
//
// Stock objects (DEFAULT_GUI_FONT) and system-colour brushes (COLOR_MENU + 1)
// are not created, never counted and never deleted.
#pragma once

#include <windows.h>

#include <cstdint>

#include "toolkit/Win32Handles.h"

// Live objects and contexts made through this header, over all threads.
int32_t LiveGdiObjectCount();

HPEN CreateGdiPen(int style, int width, COLORREF colour);
HBRUSH CreateGdiSolidBrush(COLORREF colour);
HBITMAP CreateGdiCompatibleBitmap(HDC dc, int width, int height);
HBITMAP CreateGdiBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits);
HFONT CreateGdiFontIndirect(const LOGFONTW* font);
HDC CreateGdiMemoryDC(HDC compatibleWith);
// DeleteObject on `object` when it is not null; returns its result (FALSE for null).
BOOL DeleteGdiObject(HGDIOBJ object);
// DeleteDC on `dc` when it is not null; returns its result (FALSE for null).
BOOL DeleteMemoryDC(HDC dc);

// Owners, on toolkit/Win32Handles.h's UniqueHandle: a pen, brush, bitmap or
// font goes back through DeleteGdiObject, a memory context through
// DeleteMemoryDC, so what an owner frees is counted like what it was made by.
template <typename Object>
struct GdiObjectTraits {
    using Handle = Object;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { DeleteGdiObject(h); }
};

struct MemoryDCTraits {
    using Handle = HDC;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { DeleteMemoryDC(h); }
};

using PenObject = UniqueHandle<GdiObjectTraits<HPEN>>;
using BitmapObject = UniqueHandle<GdiObjectTraits<HBITMAP>>;
using FontObject = UniqueHandle<GdiObjectTraits<HFONT>>;
using MemoryDC = UniqueHandle<MemoryDCTraits>;

// A window's device context from GetDC, given back with ReleaseDC. A window
// that has none (destroyed, or GetDC failing) leaves Get() null.
class WindowDC {
public:
    explicit WindowDC(HWND window);
    ~WindowDC() { Release(); }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;

    HDC Get() const { return dc; }
    void Release();

private:
    HWND window;
    HDC dc;
};

// Selects an object into a context and selects the previous one back when it
// goes out of scope. Selecting a null object or into a null context does
// nothing and restores nothing.
class SelectionGuard {
public:
    SelectionGuard(HDC dc, HGDIOBJ object);
    ~SelectionGuard() { Restore(); }
    SelectionGuard(const SelectionGuard&) = delete;
    SelectionGuard& operator=(const SelectionGuard&) = delete;

    bool Selected() const { return previous != nullptr; }
    // Selects another object; the one to restore stays the first previous.
    void Switch(HGDIOBJ object);
    void Restore();

private:
    HDC dc;
    HGDIOBJ previous;
};

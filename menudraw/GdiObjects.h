// Counted creation and move-only owners for the GDI objects and device
// contexts that measuring and painting make.
//
// Every pen, brush, bitmap, font and memory device context that menudraw
// creates is created by one of the Create* functions below and given back
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

// Live objects and contexts made through this header, over all threads.
int32_t LiveGdiObjectCount();

HPEN CreateGdiPen(int style, int width, COLORREF colour);
HBRUSH CreateGdiSolidBrush(COLORREF colour);
HBITMAP CreateGdiCompatibleBitmap(HDC dc, int width, int height);
HFONT CreateGdiFontIndirect(const LOGFONTA* font);
HDC CreateGdiMemoryDC(HDC compatibleWith);
// DeleteObject on `object` when it is not null; returns its result (FALSE for null).
BOOL DeleteGdiObject(HGDIOBJ object);
// DeleteDC on `dc` when it is not null; returns its result (FALSE for null).
BOOL DeleteMemoryDC(HDC dc);

// Owns one pen, brush, bitmap or font made by the Create* functions above.
template <typename Object>
class GdiObject {
public:
    GdiObject() = default;
    explicit GdiObject(Object o) : object(o) {}
    ~GdiObject() { Reset(); }
    GdiObject(GdiObject&& other) noexcept : object(other.Detach()) {}
    GdiObject& operator=(GdiObject&& other) noexcept {
        if (this != &other) Reset(other.Detach());
        return *this;
    }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;

    Object Get() const { return object; }
    bool Valid() const { return object != nullptr; }
    void Reset(Object o = nullptr) {
        if (object != nullptr) DeleteGdiObject(object);
        object = o;
    }
    Object Detach() {
        Object o = object;
        object = nullptr;
        return o;
    }

private:
    Object object = nullptr;
};

using PenObject = GdiObject<HPEN>;
using BrushObject = GdiObject<HBRUSH>;
using BitmapObject = GdiObject<HBITMAP>;
using FontObject = GdiObject<HFONT>;

// A memory device context, deleted with DeleteDC.
class MemoryDC {
public:
    MemoryDC() : dc(nullptr) {}
    explicit MemoryDC(HDC compatibleWith) : dc(CreateGdiMemoryDC(compatibleWith)) {}
    ~MemoryDC() { Reset(); }
    MemoryDC(const MemoryDC&) = delete;
    MemoryDC& operator=(const MemoryDC&) = delete;

    HDC Get() const { return dc; }
    bool Valid() const { return dc != nullptr; }
    // Deletes what is held and makes a new context compatible with `compatibleWith`
    // (the screen when null); Valid() tells whether that worked.
    void Create(HDC compatibleWith) {
        Reset();
        dc = CreateGdiMemoryDC(compatibleWith);
    }
    void Reset() {
        if (dc != nullptr) DeleteMemoryDC(dc);
        dc = nullptr;
    }

private:
    HDC dc;
};

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

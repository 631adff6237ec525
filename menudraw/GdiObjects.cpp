#include "menudraw/GdiObjects.h"

#include <atomic>

namespace {

// Menus are painted on whichever threads show them, so the count is atomic.
std::atomic<int32_t> liveGdiObjects{0};

template <typename Handle>
Handle Counted(Handle h) {
    if (h != nullptr) liveGdiObjects.fetch_add(1, std::memory_order_relaxed);
    return h;
}

BOOL Uncounted(BOOL deleted) {
    if (deleted) liveGdiObjects.fetch_sub(1, std::memory_order_relaxed);
    return deleted;
}

}  // namespace

int32_t LiveGdiObjectCount() { return liveGdiObjects.load(std::memory_order_relaxed); }

HPEN CreateGdiPen(int style, int width, COLORREF colour) { return Counted(CreatePen(style, width, colour)); }
HBRUSH CreateGdiSolidBrush(COLORREF colour) { return Counted(CreateSolidBrush(colour)); }

HBITMAP CreateGdiCompatibleBitmap(HDC dc, int width, int height) {
    return Counted(CreateCompatibleBitmap(dc, width, height));
}

HBITMAP CreateGdiBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits) {
    return Counted(CreateBitmap(width, height, planes, bitsPerPixel, bits));
}

HFONT CreateGdiFontIndirect(const LOGFONTW* font) { return Counted(CreateFontIndirectW(font)); }

HDC CreateGdiMemoryDC(HDC compatibleWith) { return Counted(CreateCompatibleDC(compatibleWith)); }

BOOL DeleteGdiObject(HGDIOBJ object) {
    if (object == nullptr) return FALSE;
    return Uncounted(DeleteObject(object));
}

BOOL DeleteMemoryDC(HDC dc) {
    if (dc == nullptr) return FALSE;
    return Uncounted(DeleteDC(dc));
}

WindowDC::WindowDC(HWND w) : window(w), dc(Counted(GetDC(w))) {}

void WindowDC::Release() {
    if (dc != nullptr) Uncounted(ReleaseDC(window, dc) == 1);
    dc = nullptr;
}

SelectionGuard::SelectionGuard(HDC d, HGDIOBJ object) : dc(d), previous(nullptr) {
    if (dc != nullptr && object != nullptr) {
        HGDIOBJ old = SelectObject(dc, object);
        // SelectObject reports failure as null (HGDI_ERROR only for regions).
        if (old != nullptr && old != HGDI_ERROR) previous = old;
    }
}

void SelectionGuard::Switch(HGDIOBJ object) {
    if (dc == nullptr || object == nullptr) return;
    HGDIOBJ old = SelectObject(dc, object);
    if (previous == nullptr && old != nullptr && old != HGDI_ERROR) previous = old;
}

void SelectionGuard::Restore() {
    if (previous != nullptr) SelectObject(dc, previous);
    previous = nullptr;
}

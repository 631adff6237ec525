#include "MenuTestSupport.h"

Canvas::Canvas(int w, int h, COLORREF fill) : width(w), height(h), dc(nullptr), bitmap(nullptr), previous(nullptr) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    dc = CreateCompatibleDC(nullptr);
    bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (dc != nullptr && bitmap != nullptr) {
        previous = SelectObject(dc, bitmap);
        HBRUSH brush = CreateSolidBrush(fill);
        RECT all = {0, 0, w, h};
        FillRect(dc, &all, brush);
        DeleteObject(brush);
    }
}

Canvas::~Canvas() {
    if (previous != nullptr) SelectObject(dc, previous);
    if (bitmap != nullptr) DeleteObject(bitmap);
    if (dc != nullptr) DeleteDC(dc);
}

int Canvas::Count(int left, int top, int right, int bottom, COLORREF colour) const {
    int n = 0;
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x)
            if (At(x, y) == colour) ++n;
    return n;
}

int Canvas::Differences(const Canvas& other) const {
    int n = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (At(x, y) != other.At(x, y)) ++n;
    return n;
}

HICON CreateSolidIcon(int width, int height, COLORREF colour) {
    HDC screen = GetDC(nullptr);
    HBITMAP colourBits = CreateCompatibleBitmap(screen, width, height);
    ReleaseDC(nullptr, screen);
    HBITMAP mask = CreateBitmap(width, height, 1, 1, nullptr);
    HICON icon = nullptr;
    if (colourBits != nullptr && mask != nullptr) {
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(dc, mask);
        PatBlt(dc, 0, 0, width, height, BLACKNESS);  // mask 0: opaque everywhere
        SelectObject(dc, colourBits);
        HBRUSH brush = CreateSolidBrush(colour);
        RECT all = {0, 0, width, height};
        FillRect(dc, &all, brush);
        DeleteObject(brush);
        SelectObject(dc, old);
        DeleteDC(dc);
        ICONINFO info = {};
        info.fIcon = TRUE;
        info.hbmMask = mask;
        info.hbmColor = colourBits;
        icon = CreateIconIndirect(&info);
    }
    if (colourBits != nullptr) DeleteObject(colourBits);
    if (mask != nullptr) DeleteObject(mask);
    return icon;
}

HWND CreateTestWindow(const char* title, WNDPROC procedure) {
    static int classNumber = 0;
    char className[64];
    wsprintfA(className, "ZentrikMenuTest%d", ++classNumber);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = procedure != nullptr ? procedure : DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = className;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    if (RegisterClassA(&wc) == 0) return nullptr;
    return CreateWindowExA(0, className, title, WS_OVERLAPPEDWINDOW, 10, 10, 300, 200, nullptr, nullptr,
                           wc.hInstance, nullptr);
}

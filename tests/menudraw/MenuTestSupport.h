// Fixtures of the owner-drawn menu tests: a 32-bit memory canvas whose
// pixels read back exactly, a solid-colour icon, a real top-level window,
// and a guard that restores the display settings a test changes.
#pragma once

#include <windows.h>

#include <cstdint>

#include "settings/Settings.h"

// A memory device context with a top-down 32-bit DIB section selected, filled
// with `fill`. GetPixel reads back exactly what was painted.
class Canvas {
public:
    Canvas(int width, int height, COLORREF fill);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    HDC Dc() const { return dc; }
    int Width() const { return width; }
    int Height() const { return height; }
    COLORREF At(int x, int y) const { return GetPixel(dc, x, y); }
    // Pixels of the rectangle [left, right) x [top, bottom) equal to `colour`.
    int Count(int left, int top, int right, int bottom, COLORREF colour) const;
    // Pixels of the whole canvas that differ from `other`'s at the same place.
    int Differences(const Canvas& other) const;

private:
    int width;
    int height;
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ previous;
};

// A width x height icon of one opaque colour. Destroy with DestroyIcon.
HICON CreateSolidIcon(int width, int height, COLORREF colour);

// A hidden top-level window of a class of its own whose procedure is
// DefWindowProcA unless one is given. (Hidden: under Wine 8 without a window
// manager, destroying a visible top-level window waits about 2 s for X.)
HWND CreateTestWindow(const char* title, WNDPROC procedure = nullptr);

// Puts GradientMenuBar, ButtonIcon and LargeIcon back as they were.
class DisplaySettingsGuard {
public:
    DisplaySettingsGuard()
        : gradient(theSettings.GradientMenuBar), button(theSettings.ButtonIcon), large(theSettings.LargeIcon) {}
    ~DisplaySettingsGuard() {
        theSettings.GradientMenuBar = gradient;
        theSettings.ButtonIcon = button;
        theSettings.LargeIcon = large;
    }
    DisplaySettingsGuard(const DisplaySettingsGuard&) = delete;
    DisplaySettingsGuard& operator=(const DisplaySettingsGuard&) = delete;

private:
    int32_t gradient, button, large;
};

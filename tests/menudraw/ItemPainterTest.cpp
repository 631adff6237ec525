// Painting primitives and whole items on real memory device contexts, read
// back pixel by pixel.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "MenuTestSupport.h"
#include "menudraw/GdiObjects.h"
#include "menudraw/Gradient.h"
#include "menudraw/ItemPainter.h"

namespace {

// A colour no system colour has, for "left untouched".
const COLORREF kUntouched = RGB(1, 2, 3);

TEST(FillHighlightGradient, PaintsTheColumnSequence) {
    const struct {
        const char* name;
        COLORREF start, end;
        int width;
        COLORREF columns[4];
    } cases[] = {
        {"navy to silver", RGB(0, 0, 128), RGB(192, 192, 192), 4,
         {RGB(0, 0, 128), RGB(48, 48, 144), RGB(96, 96, 160), RGB(144, 144, 176)}},
        {"falling red", RGB(200, 0, 0), RGB(0, 0, 0), 3, {RGB(200, 0, 0), RGB(134, 0, 0), RGB(68, 0, 0)}},
        {"one column", RGB(10, 20, 30), RGB(255, 255, 255), 1, {RGB(10, 20, 30)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Canvas canvas(12, 10, kUntouched);
        int before = LiveGdiObjectCount();
        FillHighlightGradient(canvas.Dc(), true, c.start, c.end, 3, 2, c.width, 5);
        EXPECT_EQ(LiveGdiObjectCount(), before) << "every column brush is deleted";
        for (int x = 0; x < canvas.Width(); ++x) {
            for (int y = 0; y < canvas.Height(); ++y) {
                bool inside = x >= 3 && x < 3 + c.width && y >= 2 && y < 7;
                COLORREF expected = inside ? c.columns[x - 3] : kUntouched;
                ASSERT_EQ(canvas.At(x, y), expected) << "at " << x << "," << y;
            }
        }
    }
}

// Wider than one row of pixels the painter copies at a time: every column,
// on both sides of the joins, has its colour of the sequence.
TEST(FillHighlightGradient, WideGradientHasEveryColumn) {
    const int width = 600;
    Canvas canvas(width + 4, 5, kUntouched);
    FillHighlightGradient(canvas.Dc(), true, RGB(250, 0, 30), RGB(0, 200, 255), 2, 1, width, 3);
    for (GradientSteps steps(RGB(250, 0, 30), RGB(0, 200, 255), width); !steps.Done(); steps.Next()) {
        for (int y = 1; y < 4; ++y) ASSERT_EQ(canvas.At(2 + steps.Column(), y), steps.Colour()) << steps.Column();
    }
    EXPECT_EQ(canvas.Count(0, 0, width + 4, 5, kUntouched), (width + 4) * 5 - width * 3);
}

TEST(FillHighlightGradient, PlainHighlightWhenGradientIsOff) {
    Canvas canvas(12, 10, kUntouched);
    FillHighlightGradient(canvas.Dc(), false, RGB(0, 0, 128), RGB(192, 192, 192), 3, 2, 4, 5);
    EXPECT_EQ(canvas.Count(3, 2, 7, 7, RGB(0, 0, 128)), 20) << "the start colour throughout";
    EXPECT_EQ(canvas.Count(0, 0, 12, 10, kUntouched), 120 - 20);
}

TEST(FillHighlightGradient, NothingForAnEmptyArea) {
    const struct {
        int w, h;
    } sizes[] = {{0, 5}, {4, 0}, {-3, 5}, {4, -1}, {0, 0}};
    for (int gradient = 0; gradient <= 1; ++gradient) {
        for (const auto& s : sizes) {
            Canvas canvas(12, 10, kUntouched);
            FillHighlightGradient(canvas.Dc(), gradient != 0, RGB(0, 0, 128), RGB(192, 192, 192), 6, 6, s.w, s.h);
            EXPECT_EQ(canvas.Count(0, 0, 12, 10, kUntouched), 120)
                << s.w << "x" << s.h << " gradient " << gradient;
        }
    }
}

TEST(DrawRaisedFrame, CornersAndEdges) {
    Canvas canvas(20, 16, kUntouched);
    HDC dc = canvas.Dc();
    const COLORREF light = GetSysColor(COLOR_BTNHIGHLIGHT);
    const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);
    ASSERT_NE(light, shadow);

    HGDIOBJ penBefore = GetCurrentObject(dc, OBJ_PEN);
    MoveToEx(dc, 17, 13, nullptr);
    int before = LiveGdiObjectCount();
    DrawRaisedFrame(dc, 2, 3, 7, 5);  // right = 8, bottom = 7
    EXPECT_EQ(LiveGdiObjectCount(), before) << "both pens deleted";
    EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), penBefore);
    POINT position = {};
    GetCurrentPositionEx(dc, &position);
    EXPECT_EQ(position.x, 17);
    EXPECT_EQ(position.y, 13);

    const struct {
        int x, y;
        COLORREF expected;
        const char* what;
    } pixels[] = {
        {2, 3, light, "top-left corner"},     {8, 3, light, "top-right corner"},
        {2, 7, shadow, "bottom-left corner"}, {8, 7, shadow, "bottom-right corner"},
        {2, 5, light, "left column"},         {5, 3, light, "top row"},
        {5, 7, shadow, "bottom row"},         {8, 5, shadow, "right column"},
        {2, 6, light, "left column above the bottom corner"},
        {8, 4, shadow, "right column below the top corner"},
        {5, 5, kUntouched, "inside"},         {1, 3, kUntouched, "left of the frame"},
        {9, 7, kUntouched, "right of the frame"}, {2, 8, kUntouched, "below the frame"},
        {2, 2, kUntouched, "above the frame"},
    };
    for (const auto& p : pixels) EXPECT_EQ(canvas.At(p.x, p.y), p.expected) << p.what;
    // Exactly the frame's 2 * 7 + 2 * 3 pixels changed.
    EXPECT_EQ(canvas.Count(0, 0, 20, 16, kUntouched), 20 * 16 - 20);
}

TEST(FillMenuBackground, FillsWithTheMenuColour) {
    Canvas canvas(10, 10, kUntouched);
    FillMenuBackground(canvas.Dc(), 1, 2, 5, 3);
    EXPECT_EQ(canvas.Count(1, 2, 6, 5, GetSysColor(COLOR_MENU)), 15);
    EXPECT_EQ(canvas.Count(0, 0, 10, 10, kUntouched), 100 - 15);
}

// --- Whole items -------------------------------------------------------------------

class ItemPainting : public ::testing::Test {
protected:
    static constexpr int kLeft = 5, kTop = 3, kWidth = 140, kHeight = 24, kIcon = 16;
    const COLORREF iconColour = RGB(200, 30, 40);

    void SetUp() override {
        icon = CreateSolidIcon(kIcon, kIcon, iconColour);
        ASSERT_NE(icon, nullptr);
        font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
        look = {};
        look.iconWidth = kIcon;
        look.iconHeight = kIcon;
        look.icon = icon;
        look.text = "Open with Wordpad";
        look.font = font;
    }
    void TearDown() override {
        if (icon != nullptr) DestroyIcon(icon);
    }
    // Item-relative pixel.
    COLORREF At(const Canvas& c, int x, int y) const { return c.At(kLeft + x, kTop + y); }

    HICON icon = nullptr;
    HFONT font = nullptr;
    ItemLook look;
};

TEST_F(ItemPainting, EveryCombinationOfStateButtonAndGradient) {
    const COLORREF menu = GetSysColor(COLOR_MENU);
    const COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT);
    const COLORREF light = GetSysColor(COLOR_BTNHIGHLIGHT);
    const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);
    ASSERT_NE(menu, highlight);
    ASSERT_NE(light, highlight);
    ASSERT_NE(shadow, highlight);
    const RECT item = {kLeft, kTop, kLeft + kWidth, kTop + kHeight};
    const int area = kIcon + 5;            // the button-style icon area
    const int frameTop = (kHeight - kIcon - 4) / 2;
    const int frameBottom = frameTop + kIcon + 3;
    const int iconTop = (kHeight - kIcon) / 2;

    for (int selected = 0; selected <= 1; ++selected) {
        for (int button = 0; button <= 1; ++button) {
            for (int gradient = 0; gradient <= 1; ++gradient) {
                SCOPED_TRACE(::testing::Message() << "selected " << selected << ", ButtonIcon " << button
                                                  << ", GradientMenuBar " << gradient);
                look.gradient = gradient != 0;
                look.selected = selected != 0;
                look.buttonIcon = button != 0;
                Canvas canvas(kLeft + kWidth + 5, kTop + kHeight + 5, kUntouched);
                int before = LiveGdiObjectCount();
                PaintItem(canvas.Dc(), item, look);
                EXPECT_EQ(LiveGdiObjectCount(), before);

                // The item and nothing else is painted.
                EXPECT_EQ(canvas.Count(0, 0, canvas.Width(), canvas.Height(), kUntouched),
                          canvas.Width() * canvas.Height() - kWidth * kHeight);
                // The icon, whole, in every state.
                EXPECT_EQ(canvas.Count(kLeft + 2, kTop + iconTop, kLeft + 2 + kIcon, kTop + iconTop + kIcon,
                                       iconColour),
                          kIcon * kIcon);
                // The name in the text colour of the state.
                COLORREF text = GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT);
                EXPECT_GT(canvas.Count(kLeft + kIcon + 8, kTop, kLeft + kWidth, kTop + kHeight, text), 10);

                if (!selected) {
                    EXPECT_EQ(At(canvas, 0, 0), menu);
                    EXPECT_EQ(At(canvas, area, 0), menu);
                    EXPECT_EQ(At(canvas, kWidth - 1, kHeight - 1), menu);
                    EXPECT_EQ(At(canvas, 0, frameTop), menu) << "no frame";
                    EXPECT_EQ(canvas.Count(kLeft, kTop, kLeft + kWidth, kTop + kHeight, highlight), 0);
                    continue;
                }
                int barLeft = button ? area : 0;
                // The highlight starts in the highlight colour at its left edge.
                EXPECT_EQ(At(canvas, barLeft, 0), highlight);
                EXPECT_EQ(At(canvas, barLeft, kHeight - 1), highlight);
                COLORREF last = highlight;
                if (gradient) {
                    GradientSteps steps(highlight, menu, kWidth - barLeft);
                    while (steps.Column() < kWidth - barLeft - 1) steps.Next();
                    last = steps.Colour();
                    EXPECT_NE(last, highlight) << "the right end runs toward the menu colour";
                }
                EXPECT_EQ(At(canvas, kWidth - 1, 0), last);
                EXPECT_EQ(At(canvas, kWidth - 1, kHeight - 1), last);
                if (button) {
                    EXPECT_EQ(At(canvas, 0, 0), menu) << "icon area in the menu colour";
                    EXPECT_EQ(At(canvas, area - 1, kHeight - 1), menu);
                    EXPECT_EQ(At(canvas, 0, frameTop), light) << "frame top-left";
                    EXPECT_EQ(At(canvas, area - 1, frameTop), light) << "frame top-right";
                    EXPECT_EQ(At(canvas, 0, frameBottom), shadow) << "frame bottom-left";
                    EXPECT_EQ(At(canvas, area - 1, frameBottom), shadow) << "frame bottom-right";
                } else {
                    EXPECT_EQ(At(canvas, 0, 0), highlight);
                    EXPECT_EQ(At(canvas, 0, frameTop), highlight) << "no frame";
                    EXPECT_EQ(At(canvas, 0, frameBottom), highlight) << "no frame";
                }
            }
        }
    }
}

TEST_F(ItemPainting, GreyedNameInTheGreyedColourSelectedOrNot) {
    const COLORREF grey = GetSysColor(COLOR_GRAYTEXT);
    ASSERT_NE(grey, GetSysColor(COLOR_MENUTEXT));
    ASSERT_NE(grey, GetSysColor(COLOR_HIGHLIGHTTEXT));
    const RECT item = {kLeft, kTop, kLeft + kWidth, kTop + kHeight};
    look.grayed = true;
    for (int selected = 0; selected <= 1; ++selected) {
        SCOPED_TRACE(selected ? "selected" : "not selected");
        look.selected = selected != 0;
        Canvas canvas(kLeft + kWidth + 5, kTop + kHeight + 5, kUntouched);
        PaintItem(canvas.Dc(), item, look);
        const COLORREF plain = GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT);
        EXPECT_GT(canvas.Count(kLeft + kIcon + 8, kTop, kLeft + kWidth, kTop + kHeight, grey), 10);
        EXPECT_EQ(canvas.Count(kLeft + kIcon + 8, kTop, kLeft + kWidth, kTop + kHeight, plain), 0);
    }
}

TEST_F(ItemPainting, ButtonItemNoWiderThanTheIconAreaGetsNoGradient) {
    look.gradient = true;
    look.selected = true;
    look.buttonIcon = true;
    look.text = "";
    const int width = kIcon + 5;
    Canvas canvas(kLeft + width + 5, kTop + kHeight + 5, kUntouched);
    RECT item = {kLeft, kTop, kLeft + width, kTop + kHeight};
    PaintItem(canvas.Dc(), item, look);
    EXPECT_EQ(canvas.Count(kLeft, kTop, kLeft + width, kTop + kHeight, GetSysColor(COLOR_HIGHLIGHT)), 0);
    EXPECT_EQ(At(canvas, 0, 0), GetSysColor(COLOR_MENU));
    EXPECT_EQ(At(canvas, 0, (kHeight - kIcon - 4) / 2), GetSysColor(COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(At(canvas, width - 1, (kHeight - kIcon - 4) / 2 + kIcon + 3), GetSysColor(COLOR_BTNSHADOW));
}

TEST_F(ItemPainting, NullIconLeavesTheRestInPlace) {
    look.gradient = true;
    look.icon = nullptr;
    look.selected = false;
    Canvas canvas(kLeft + kWidth, kTop + kHeight, kUntouched);
    RECT item = {kLeft, kTop, kLeft + kWidth, kTop + kHeight};
    PaintItem(canvas.Dc(), item, look);
    EXPECT_EQ(canvas.Count(kLeft, kTop, kLeft + kIcon + 8, kTop + kHeight, GetSysColor(COLOR_MENU)),
              (kIcon + 8) * kHeight);
    EXPECT_GT(canvas.Count(kLeft + kIcon + 8, kTop, kLeft + kWidth, kTop + kHeight, GetSysColor(COLOR_MENUTEXT)), 10);
}

// Painting straight into the item's context (the fallback when no off-screen
// bitmap can be had) gives the same pixels as the off-screen composition, and
// both leave the item's context as they found it.
TEST_F(ItemPainting, DirectAndOffScreenAgreeAndRestoreTheContext) {
    for (int selected = 0; selected <= 1; ++selected) {
        look.selected = selected != 0;
        look.buttonIcon = true;
        look.gradient = true;
        Canvas offScreen(kLeft + kWidth + 3, kTop + kHeight + 3, kUntouched);
        Canvas direct(kLeft + kWidth + 3, kTop + kHeight + 3, kUntouched);
        RECT item = {kLeft, kTop, kLeft + kWidth, kTop + kHeight};
        for (HDC dc : {offScreen.Dc(), direct.Dc()}) {
            SetTextColor(dc, RGB(9, 9, 9));
            SetBkMode(dc, OPAQUE);
            SetTextAlign(dc, TA_BASELINE | TA_RIGHT);
        }
        HGDIOBJ fontBefore = GetCurrentObject(direct.Dc(), OBJ_FONT);
        PaintItem(offScreen.Dc(), item, look);
        PaintItemContent(direct.Dc(), kLeft, kTop, kWidth, kHeight, look);
        EXPECT_EQ(offScreen.Differences(direct), 0) << "selected " << selected;
        for (HDC dc : {offScreen.Dc(), direct.Dc()}) {
            EXPECT_EQ(GetTextColor(dc), RGB(9, 9, 9));
            EXPECT_EQ(GetBkMode(dc), OPAQUE);
            EXPECT_EQ(GetTextAlign(dc), static_cast<UINT>(TA_BASELINE | TA_RIGHT));
        }
        EXPECT_EQ(GetCurrentObject(direct.Dc(), OBJ_FONT), fontBefore);
    }
}

// --- Measuring -----------------------------------------------------------------------

class ItemMeasuring : public ::testing::Test {
protected:
    void SetUp() override {
        window = CreateTestWindow("measure");
        ASSERT_NE(window, nullptr);
        font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    }
    void TearDown() override { DestroyWindow(window); }
    // The extent of `text` in `font`, measured here on a screen context.
    // The extent of the UTF-16 `text`.
    SIZE Extent(const std::wstring& text) {
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(dc, font);
        SIZE s = {};
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &s);
        SelectObject(dc, old);
        DeleteDC(dc);
        return s;
    }
    int AverageWidth() {
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(dc, font);
        TEXTMETRICA tm = {};
        GetTextMetricsA(dc, &tm);
        SelectObject(dc, old);
        DeleteDC(dc);
        return tm.tmAveCharWidth;
    }
    HWND window = nullptr;
    HFONT font = nullptr;
};

TEST_F(ItemMeasuring, WholeNameFollowedByTwoEms) {
    const int a = AverageWidth();
    ASSERT_GT(a, 0);
    const struct {
        const char* name;         // UTF-8
        std::wstring measured;    // what the width must come from
    } cases[] = {
        {"WWWW", L"WWWWMM"},
        {u8"Открыть в редакторе 山田", L"\u041e\u0442\u043a\u0440\u044b\u0442\u044c \u0432 "
                                         L"\u0440\u0435\u0434\u0430\u043a\u0442\u043e\u0440\u0435 \u5c71\u7530MM"},
        {nullptr, std::wstring(400, L'W') + L"MM"},  // past the path limit: all of it
    };
    const std::string longName(400, 'W');
    for (const auto& c : cases) {
        const char* name = c.name != nullptr ? c.name : longName.c_str();
        int before = LiveGdiObjectCount();
        ItemSize size = MeasureItemText(window, font, name, 16, 16);
        EXPECT_EQ(LiveGdiObjectCount(), before);
        SIZE extent = Extent(c.measured);
        EXPECT_EQ(size.width, (extent.cx > 16 * a ? extent.cx : 16 * a) + 16 + 8) << name;
        EXPECT_EQ(size.height, extent.cy > 20 ? extent.cy : 20) << name;
    }
}

TEST_F(ItemMeasuring, NoItemNarrowerThanSixteenAverageCharacters) {
    const int a = AverageWidth();
    for (const char* name : {"", "a", "ab", "Notepad"}) {
        ItemSize small = MeasureItemText(window, font, name, 16, 16);
        EXPECT_EQ(small.width, 16 * a + 16 + 8) << name;
        ItemSize large = MeasureItemText(window, font, name, 32, 32);
        EXPECT_EQ(large.width, 16 * a + 32 + 8) << name;
        EXPECT_EQ(large.height, 36) << name;
    }
}

TEST_F(ItemMeasuring, AWindowWithoutAContextStillMeasures) {
    // A destroyed owner has no context to borrow: the text is measured in a
    // context compatible with the screen.
    HWND gone = CreateTestWindow("gone");
    DestroyWindow(gone);
    int before = LiveGdiObjectCount();
    ItemSize size = MeasureItemText(gone, font, "Notepad", 16, 16);
    EXPECT_EQ(LiveGdiObjectCount(), before);
    EXPECT_EQ(size.width, MeasureItemText(window, font, "Notepad", 16, 16).width);
}

}  // namespace

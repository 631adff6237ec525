// The object-level calls of the painting: the menu font's life and
// DrawMenuItem's refusal without a font, on real OwnerDrawMenu objects. (The icon size following LargeIcon: MenuHookTest.cpp.)
#include <gtest/gtest.h>


#include "MenuTestSupport.h"
#include "catalogue/ActionItem.h"
#include "menudraw/GdiObjects.h"
#include "menudraw/MenuLook.h"
#include "menudraw/MenuPaint.h"
#include "menudraw/OwnerDrawMenu.h"
#include "tests/testsupport/ActionItemFile.h"

namespace {

// A menu on the heap, as the extension object embeds it; destroyed at the end.
class Object {
public:
    Object() : object(new OwnerDrawMenu(theSettings)) {}
    ~Object() { delete object; }
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;
    OwnerDrawMenu* operator->() const { return object; }
    OwnerDrawMenu* Get() const { return object; }

private:
    OwnerDrawMenu* object;
};

TEST(MenuPaint, ReleaseMenuFontDeletesOnlyAnOwnedFont) {
    Object object;
    LOGFONTW description = {};
    description.lfHeight = -12;
    lstrcpyW(description.lfFaceName, L"Tahoma");
    HFONT stock = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));

    // Owned: deleted.
    object->menuFont = CreateGdiFontIndirect(&description);
    ASSERT_NE(object->menuFont, nullptr);
    HFONT owned = object->menuFont;
    object->fontOwned = 1;
    int before = LiveGdiObjectCount();
    ReleaseMenuFont(object.Get());
    EXPECT_EQ(LiveGdiObjectCount(), before - 1);
    EXPECT_EQ(GetObjectType(owned), 0u) << "the owned font is gone";
    EXPECT_EQ(object->menuFont, nullptr);
    EXPECT_EQ(object->fontOwned, 0);

    // The stock font: cleared, never deleted.
    object->menuFont = stock;
    object->fontOwned = 0;
    ReleaseMenuFont(object.Get());
    EXPECT_EQ(object->menuFont, nullptr);
    EXPECT_EQ(GetObjectType(stock), static_cast<DWORD>(OBJ_FONT));

    // No font: nothing to do, twice over.
    ReleaseMenuFont(object.Get());
    EXPECT_EQ(object->menuFont, nullptr);
    EXPECT_EQ(object->fontOwned, 0);
}

TEST(MenuPaint, MeasureTakesTheSystemMenuFont) {
    Object object;
    HWND window = CreateTestWindow("measure");
    ASSERT_NE(window, nullptr);
    ActionItem* item = ReadActionItem("C:\\no such folder\\none.lnk");
    ASSERT_NE(item, nullptr);
    item->displayName.AssignExact("Notepad");
    MEASUREITEMSTRUCT measure = {};
    measure.CtlType = ODT_MENU;
    measure.itemData = reinterpret_cast<ULONG_PTR>(item);

    NONCLIENTMETRICSA metrics = {};
    metrics.cbSize = 340;
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, 0, &metrics, 0));

    int before = LiveGdiObjectCount();
    MeasureMenuItem(object.Get(), window, &measure);
    ASSERT_NE(object->menuFont, nullptr);
    EXPECT_EQ(object->fontOwned, 1);
    LOGFONTA font = {};
    ASSERT_EQ(GetObjectA(object->menuFont, sizeof font, &font), static_cast<int>(sizeof font));
    EXPECT_STREQ(font.lfFaceName, metrics.lfMenuFont.lfFaceName);
    EXPECT_EQ(font.lfHeight, metrics.lfMenuFont.lfHeight);
    EXPECT_GT(measure.itemWidth, 0u);

    // A second measure replaces the font: still one live font.
    HFONT first = object->menuFont;
    MeasureMenuItem(object.Get(), window, &measure);
    EXPECT_EQ(LiveGdiObjectCount(), before + 1);
    EXPECT_EQ(GetObjectType(first), 0u) << "the previous font is deleted";

    // DrawMenuItem paints with it; without it, it refuses.
    Canvas canvas(100, 20, RGB(1, 2, 3));
    DRAWITEMSTRUCT draw = {};
    draw.CtlType = ODT_MENU;
    draw.hDC = canvas.Dc();
    draw.rcItem = {0, 0, 100, 20};
    draw.itemData = reinterpret_cast<ULONG_PTR>(item);
    EXPECT_TRUE(DrawMenuItem(object.Get(), &draw));
    EXPECT_EQ(canvas.Count(0, 0, 100, 20, RGB(1, 2, 3)), 0);
    ReleaseMenuFont(object.Get());
    EXPECT_EQ(LiveGdiObjectCount(), before);
    Canvas untouched(100, 20, RGB(1, 2, 3));
    draw.hDC = untouched.Dc();
    EXPECT_FALSE(DrawMenuItem(object.Get(), &draw));
    EXPECT_EQ(untouched.Count(0, 0, 100, 20, RGB(1, 2, 3)), 100 * 20);

    ActionItem::Destroy(item);
    DestroyWindow(window);
}

}  // namespace

// The check-mark cell size is kept with the menu font it was worked out for:
// after the menu font changes (here for this process only, nothing saved),
// the size is the platform's new one, not the kept one.
TEST(MenuPaint, CheckMarkCellSizeFollowsTheMenuFont) {
    NONCLIENTMETRICSA original = {};
    original.cbSize = 340;  // the size every version of the platform fills
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, 0, &original, 0));
    int width = 0, height = 0;
    CheckMarkCellSize(DpiOfWindow(nullptr), &width, &height);
    EXPECT_EQ(GetSystemMetrics(SM_CXMENUCHECK), width);
    EXPECT_EQ(GetSystemMetrics(SM_CYMENUCHECK), height);

    NONCLIENTMETRICSA larger = original;
    larger.lfMenuFont.lfHeight = original.lfMenuFont.lfHeight < 0 ? -40 : 40;
    ASSERT_TRUE(SystemParametersInfoA(SPI_SETNONCLIENTMETRICS, 0, &larger, 0));
    const int changedWidth = GetSystemMetrics(SM_CXMENUCHECK);
    int afterWidth = 0, afterHeight = 0;
    CheckMarkCellSize(DpiOfWindow(nullptr), &afterWidth, &afterHeight);
    ASSERT_TRUE(SystemParametersInfoA(SPI_SETNONCLIENTMETRICS, 0, &original, 0));
    EXPECT_NE(width, changedWidth) << "the platform's check size follows the menu font";
    EXPECT_EQ(changedWidth, afterWidth);
    EXPECT_EQ(GetSystemMetrics(SM_CXMENUCHECK), width) << "the menu font was put back";
}

// High contrast, which Wine 8 never reports (SPI_GETHIGHCONTRAST has no
// HCF_HIGHCONTRASTON there), set through the mode readers: a selected item
// with the gradient and the button switched on still paints the system's
// selection colour edge to edge, with no button frame, and its name in the
// system's selected-text colour; an unselected one the system's menu colours.
TEST(MenuPaint, HighContrastPaintsSystemColoursWithoutGradientOrButton) {
    DisplaySettingsGuard display;
    theSettings.GradientMenuBar = 1;
    theSettings.ButtonIcon = 1;
    MenuModeReaders& readers = CurrentMenuModeReaders();
    const MenuModeReaders saved = readers;
    readers.highContrast = [] { return true; };
    Object object;
    object->ReadLook();
    readers = saved;
    ASSERT_EQ(MenuMode::kHighContrast, object->mode);

    HWND window = CreateTestWindow("contrast");
    ASSERT_NE(window, nullptr);
    ActionItem* item = ReadActionItem("C:\\no such folder\\none.lnk");
    ASSERT_NE(item, nullptr);
    item->displayName.AssignExact("Notepad");
    MEASUREITEMSTRUCT measure = {};
    measure.CtlType = ODT_MENU;
    measure.itemData = reinterpret_cast<ULONG_PTR>(item);
    MeasureMenuItem(object.Get(), window, &measure);
    const int w = static_cast<int>(measure.itemWidth), h = static_cast<int>(measure.itemHeight);

    for (const bool selected : {true, false}) {
        Canvas canvas(w, h, RGB(1, 2, 3));
        DRAWITEMSTRUCT draw = {};
        draw.CtlType = ODT_MENU;
        draw.hDC = canvas.Dc();
        draw.rcItem = {0, 0, w, h};
        draw.itemData = reinterpret_cast<ULONG_PTR>(item);
        draw.itemState = selected ? ODS_SELECTED : 0;
        ASSERT_TRUE(DrawMenuItem(object.Get(), &draw));
        const COLORREF fill = GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_MENU);
        const COLORREF text = GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT);
        EXPECT_EQ(fill, canvas.At(0, 0)) << selected;
        EXPECT_EQ(fill, canvas.At(0, h - 1)) << selected << ": no button frame";
        EXPECT_EQ(fill, canvas.At(w - 1, 0)) << selected << ": no gradient";
        EXPECT_GT(canvas.Count(0, 0, w, h, text), 10) << selected;
    }
    ActionItem::Destroy(item);
    DestroyWindow(window);
}

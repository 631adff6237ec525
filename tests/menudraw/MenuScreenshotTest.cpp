// End to end: the shell host (tools/ShellHost.cpp) loads a copy of the built
// Zentrik.dll from a library folder, builds the context menu of a real file,
// shows it with TrackPopupMenu on a real window, is driven by posted keys
// into the Zentrik submenu with its first action selected, and saves the
// screen while the menu is open. The screenshot's pixels must show the
// extension's own painting: the selected item's gradient from the highlight
// colour toward the menu colour, and the raised frame around its icon.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "menudraw/MenuLook.h"
#include "tests/extension/ExtensionTestSupport.h"
#include "tests/testsupport/Platform.h"
#include "tests/testsupport/Shortcut.h"
#include "tests/testsupport/TempDir.h"

namespace {

// A 24-bit bottom-up .bmp as the shell host writes it.
class Screenshot {
public:
    bool Load(const std::string& path) {
        std::string bytes;
        if (!ReadWholeFile(path, &bytes) || bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M') return false;
        auto u32 = [&](size_t at) {
            return static_cast<uint32_t>(static_cast<unsigned char>(bytes[at])) |
                   static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8 |
                   static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 16 |
                   static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 3])) << 24;
        };
        offset = u32(10);
        width = static_cast<int>(u32(18));
        height = static_cast<int>(u32(22));
        if (static_cast<unsigned char>(bytes[28]) != 24 || width <= 0 || height <= 0) return false;
        stride = (static_cast<size_t>(width) * 3 + 3) & ~static_cast<size_t>(3);
        if (bytes.size() < offset + stride * static_cast<size_t>(height)) return false;
        data = std::move(bytes);
        return true;
    }
    COLORREF At(int x, int y) const {
        if (x < 0 || y < 0 || x >= width || y >= height) return CLR_INVALID;
        size_t at = offset + static_cast<size_t>(height - 1 - y) * stride + static_cast<size_t>(x) * 3;
        auto b = [&](size_t i) { return static_cast<unsigned char>(data[at + i]); };
        return RGB(b(2), b(1), b(0));
    }

private:
    std::string data;
    size_t offset = 0, stride = 0;
    int width = 0, height = 0;
};

// The submenu's rectangle: the innermost (last printed) menu window of the
// shell host's output; false unless two menus were open.
bool SubmenuRect(const std::string& output, RECT* sub) {
    int menus = 0;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        long l, t, r, b;
        if (std::sscanf(line.c_str(), "menu window: %ld %ld %ld %ld", &l, &t, &r, &b) == 4) {
            *sub = {l, t, r, b};
            ++menus;
        }
    }
    return menus == 2;
}

// Sets a DWORD value under HKCU for the programs started after it, and puts
// back what was there (or removes it) at the end.
class UserValue {
public:
    UserValue(const char* key, const char* name, DWORD value) : key(key), name(name) {
        DWORD size = sizeof old;
        had = RegGetValueA(HKEY_CURRENT_USER, key, name, RRF_RT_REG_DWORD, nullptr, &old, &size) == ERROR_SUCCESS;
        set = RegSetKeyValueA(HKEY_CURRENT_USER, key, name, REG_DWORD, &value, sizeof value) == ERROR_SUCCESS;
    }
    ~UserValue() {
        if (had)
            RegSetKeyValueA(HKEY_CURRENT_USER, key, name, REG_DWORD, &old, sizeof old);
        else
            RegDeleteKeyValueA(HKEY_CURRENT_USER, key, name);
    }
    UserValue(const UserValue&) = delete;
    UserValue& operator=(const UserValue&) = delete;
    bool Set() const { return set; }

private:
    const char* key;
    const char* name;
    DWORD old = 0;
    bool had = false;
    bool set = false;
};

int Distance(COLORREF a, COLORREF b) {
    return std::abs(GetRValue(a) - GetRValue(b)) + std::abs(GetGValue(a) - GetGValue(b)) +
           std::abs(GetBValue(a) - GetBValue(b));
}

// The library both pictures show: a copy of the built library (its path
// into *dll), two actions in the EXT group, and `settings` as Zentrik.ini.
bool TwoActions(const ActionLibrary& library, const std::string& settings, std::string* dll) {
    *dll = library.CopyLibrary();
    return !dll->empty() && library.MakeGroup("EXT") &&
           library.AddAction("EXT", "Notepad editor", "C:\\windows\\notepad.exe") &&
           library.AddAction("EXT", "Registry", "C:\\windows\\regedit.exe") && library.WriteSettings(settings);
}

TEST(MenuScreenshot, SelectedItemShowsGradientAndFramedIcon) {
    ComApartment com;  // the shortcuts are written through the shell's link object
    ActionLibrary library;
    ASSERT_TRUE(library.Valid());
    std::string dll;
    ASSERT_TRUE(TwoActions(library, "[options]\nGradientMenuBar=1\nButtonIcon=1\nLargeIcon=0\n", &dll));
    const std::string file = library.AddFile("report.txt");
    const std::string shot = library / "menu.bmp";

    // down: the Zentrik entry; right: its submenu, first action selected.
    std::string command = "\"" + ExecutableDirectory() + "shell_host.exe\" --quiet --dll \"" + dll +
                          "\" --track down,right --step-ms 200 --hold-ms 700 --screenshot \"" + shot + "\" \"" +
                          file + "\"";
    std::string output;
    ASSERT_EQ(RunCaptured(command, &output, 60000), 0) << output;
    ASSERT_NE(output.find("screenshot: " + shot), std::string::npos) << output;

    // The innermost (last printed) menu window is the submenu.
    RECT sub = {};
    int menus = 0;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        long l, t, r, b;
        if (std::sscanf(line.c_str(), "menu window: %ld %ld %ld %ld", &l, &t, &r, &b) == 4) {
            sub = {l, t, r, b};
            ++menus;
        }
    }
    ASSERT_EQ(menus, 2) << "the shell's menu and the Zentrik submenu are open\n" << output;

    Screenshot screen;
    ASSERT_TRUE(screen.Load(shot));
    // Kept beside the test for a person to look at.
    CopyFileA(shot.c_str(), (ExecutableDirectory() + "menudraw_menu_screenshot.bmp").c_str(), FALSE);

    const COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT);
    const COLORREF menu = GetSysColor(COLOR_MENU);
    const COLORREF light = GetSysColor(COLOR_BTNHIGHLIGHT);
    const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);
    const int iw = GetSystemMetrics(SM_CXSMICON);
    const int ih = GetSystemMetrics(SM_CYSMICON);

    // The selected item's top row: the first row of the submenu with a pixel
    // of exactly the highlight colour; the gradient starts at that pixel.
    int top = -1, gradientLeft = -1;
    for (int y = sub.top; y < sub.bottom && top < 0; ++y) {
        for (int x = sub.left; x < sub.right; ++x) {
            if (screen.At(x, y) == highlight) {
                top = y;
                gradientLeft = x;
                break;
            }
        }
    }
    ASSERT_GE(top, 0) << "no highlight in the submenu";
    int bottom = top;
    while (bottom + 1 < sub.bottom && screen.At(gradientLeft, bottom + 1) == highlight) ++bottom;
    const int itemHeight = bottom - top + 1;
    EXPECT_GE(itemHeight, ih + 4);

    // Gradient: along the top row the colour runs from the highlight colour
    // toward the menu colour through many steps, each channel monotonic.
    int right = gradientLeft;
    while (right + 1 < sub.right && Distance(screen.At(right + 1, top), highlight) <= Distance(menu, highlight) &&
           Distance(screen.At(right + 1, top), menu) < Distance(screen.At(right, top), menu) + 3)
        ++right;
    std::set<COLORREF> steps;
    for (int x = gradientLeft; x <= right; ++x) steps.insert(screen.At(x, top));
    EXPECT_GE(right - gradientLeft, 60) << "gradient width";
    EXPECT_GE(steps.size(), 20u) << "distinct gradient colours";
    EXPECT_LT(Distance(screen.At(right, top), menu), Distance(screen.At(right, top), highlight))
        << "the right end is nearer the menu colour";

    // The icon area left of the gradient, iw + 5 wide, is a raised button:
    // highlight-coloured left column and top row, shadow-coloured bottom row
    // and right column, around an ih + 4 high frame.
    const int frameLeft = gradientLeft - (iw + 5);
    const int frameRight = gradientLeft - 1;
    const int frameTop = top + (itemHeight - ih - 4) / 2;
    const int frameBottom = frameTop + ih + 3;
    EXPECT_EQ(screen.At(frameLeft, frameTop), light) << "frame top-left";
    EXPECT_EQ(screen.At(frameRight, frameTop), light) << "frame top-right";
    EXPECT_EQ(screen.At(frameLeft, frameBottom), shadow) << "frame bottom-left";
    EXPECT_EQ(screen.At(frameRight, frameBottom), shadow) << "frame bottom-right";
    for (int y = frameTop; y < frameBottom; ++y) EXPECT_EQ(screen.At(frameLeft, y), light) << "left edge, row " << y;
    for (int y = frameTop + 1; y <= frameBottom; ++y)
        EXPECT_EQ(screen.At(frameRight, y), shadow) << "right edge, row " << y;
    for (int x = frameLeft + 1; x <= frameRight; ++x) EXPECT_EQ(screen.At(x, frameTop), light) << "top edge";
    for (int x = frameLeft; x < frameRight; ++x) EXPECT_EQ(screen.At(x, frameBottom), shadow) << "bottom edge";
    if (frameTop > top) {
        EXPECT_EQ(screen.At(frameLeft, top), menu) << "icon area in the menu colour";
    }
}

// The menu as the app mode and the display's scale make it, end to end: for
// light and dark at 100 % and 150 % (Wine takes the DPI of each program it
// starts from HKCU\Control Panel\Desktop LogPixels), the shell host shows
// the submenu with its first action selected, a plain selection bar and no
// button. Sampled from the screenshot: the selection colour and the item
// height (rows of it), the second item's background, text pixels of the
// mode's text colour, and the icon's width (the first columns differing
// from the background). Printed for the record.
TEST(MenuScreenshot, LightAndDarkAtOneAndOneAndAHalfScale) {
    ComApartment com;
    ActionLibrary library;
    ASSERT_TRUE(library.Valid());
    std::string dll;
    ASSERT_TRUE(TwoActions(library, "[options]\nGradientMenuBar=0\nButtonIcon=0\nLargeIcon=0\n", &dll));
    const std::string file = library.AddFile("report.txt");
    const std::string shot = library / "look.bmp";

    const struct {
        bool dark;
        DWORD dpi;
    } cases[] = {{false, 96}, {true, 96}, {false, 144}, {true, 144}};
    int lightHeight96 = 0, iconWidth96 = 0;
    for (const auto& c : cases) {
        const std::string name = std::string(c.dark ? "dark" : "light") + " at " + std::to_string(c.dpi) + " DPI";
        UserValue mode("Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize", "AppsUseLightTheme",
                       c.dark ? 0 : 1);
        UserValue dpi("Control Panel\\Desktop", "LogPixels", c.dpi);
        ASSERT_TRUE(mode.Set() && dpi.Set());
        std::string output;
        ASSERT_EQ(RunCaptured("\"" + ExecutableDirectory() + "shell_host.exe\" --quiet --dll \"" + dll +
                                  "\" --track down,right --step-ms 200 --hold-ms 700 --accessible --screenshot \"" + shot +
                                  "\" \"" + file + "\"",
                              &output, 60000),
                  0)
            << output;
        RECT sub = {};
        ASSERT_TRUE(SubmenuRect(output, &sub)) << name << "\n" << output;
        // What an accessibility client reads from the submenu's window (the
        // last one the host reports). Wine 8's oleacc has no menu proxy: the
        // client object of every menu window, the host's plain-text menu as
        // much as the owner-drawn submenu, reports no children there. The
        // item's own text that Windows' menu proxy reads is checked in
        // ContextMenuTest (LettersPickItemsThroughHandleMenuMsg2).
        const size_t lastMenu = output.rfind("accessible children:");
        ASSERT_NE(lastMenu, std::string::npos) << output;
        if (RunningOnWine()) {
            EXPECT_EQ(output.compare(lastMenu, 23, "accessible children: 0 "), 0) << output;
        } else {
            EXPECT_NE(output.find("accessible name 1: Notepad editor", lastMenu), std::string::npos) << output;
            EXPECT_NE(output.find("accessible name 2: Registry", lastMenu), std::string::npos) << output;
        }
        Screenshot screen;
        ASSERT_TRUE(screen.Load(shot)) << name;
        CopyFileA(shot.c_str(),
                  (ExecutableDirectory() + "menudraw_look_" + (c.dark ? "dark_" : "light_") + std::to_string(c.dpi) + ".bmp")
                      .c_str(),
                  FALSE);

        const MenuColours colours = ColoursOf(c.dark ? MenuMode::kDark : MenuMode::kLight);
        // The selected first item: the first row holding the selection colour.
        int top = -1, left = -1;
        for (int y = sub.top; y < sub.bottom && top < 0; ++y) {
            for (int x = sub.left; x < sub.right; ++x) {
                if (screen.At(x, y) == colours.highlight) {
                    top = y;
                    left = x;
                    break;
                }
            }
        }
        ASSERT_GE(top, 0) << name << ": no selection colour in the submenu";
        int height = 0;
        while (screen.At(left, top + height) == colours.highlight) ++height;
        // The second item, right below: background, text and icon.
        const int y0 = top + height;
        const COLORREF background = screen.At(left, y0 + 1);
        int textPixels = 0;
        for (int y = y0; y < y0 + height; ++y) {
            for (int x = left; x < sub.right - 4; ++x) textPixels += screen.At(x, y) == colours.text ? 1 : 0;
        }
        // The icon: the first run of columns holding a pixel other than the
        // background, up to the first column of background only.
        auto columnUsed = [&](int x) {
            for (int y = y0; y < y0 + height; ++y)
                if (screen.At(x, y) != background) return true;
            return false;
        };
        int iconLeft = left;
        while (iconLeft < sub.right && !columnUsed(iconLeft)) ++iconLeft;
        int iconRight = iconLeft;
        while (iconRight + 1 < sub.right && columnUsed(iconRight + 1)) ++iconRight;
        const int iconWidth = iconRight >= iconLeft ? iconRight - iconLeft + 1 : 0;
        std::printf("%s: selection %06lX, item height %d, background %06lX, text pixels %d of %06lX, icon %d px wide\n",
                    name.c_str(), static_cast<unsigned long>(colours.highlight), height,
                    static_cast<unsigned long>(background), textPixels, static_cast<unsigned long>(colours.text),
                    iconWidth);
        EXPECT_EQ(colours.background, background) << name;
        EXPECT_GT(textPixels, 10) << name << ": the name in the mode's text colour";
        EXPECT_GT(iconWidth, ScaleToDpi(10, c.dpi)) << name;
        EXPECT_LE(iconWidth, ScaleToDpi(16, c.dpi)) << name;
        if (c.dpi == 96 && !c.dark) {
            lightHeight96 = height;
            iconWidth96 = iconWidth;
        }
        if (c.dpi == 144 && !c.dark) {
            EXPECT_GE(height * 4, lightHeight96 * 5) << "the item grows with the scale";
            EXPECT_GT(iconWidth, iconWidth96) << "the icon grows with the scale";
        }
    }
}

}  // namespace

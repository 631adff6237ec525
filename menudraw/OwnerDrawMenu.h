// The state of one owner-drawn submenu of actions: the menu, whether and
// where it is shown, the font and icon size its items are measured and
// painted with, the actions it shows, the check-mark bitmap beside its popup
// entry and its registration with the thread's message hook.
//
// The context-menu object embeds one and fills it while it builds a menu;
// the hook (menudraw/MenuHook.h) finds it by its thread and the painter
// (menudraw/MenuPaint.h) measures and paints from it. It is used on the one
// thread that built the menu, so its fields need no lock.
#pragma once

#include <windows.h>

#include <cstdint>

#include "catalogue/ActionItem.h"
#include "menudraw/MenuLook.h"
#include "settings/Settings.h"

struct ThreadHookRecord;

// Room for actions in one submenu; every further matching action is left out.
constexpr int32_t kMaxMenuItems = 512;

class OwnerDrawMenu {
public:
    OwnerDrawMenu* nextOnThread;   // next menu registered on the same thread's hook record; null at the end
    HMENU subMenu;                 // the submenu; the shell's menu owns it once inserted
    int32_t menuActive;            // 1 while the submenu is shown (set by the menu hook)
    HWND ownerWindow;              // window showing the submenu; kNoOwnerWindow when none is known
    HFONT menuFont;                // font items are measured and painted with; null until the first measure
    int32_t fontOwned;             // 1 when menuFont was created for this menu and must be deleted
    int32_t iconWidth;             // item icon width in pixels (small or large size at dpi)
    int32_t iconHeight;            // item icon height in pixels
    UINT dpi;                      // DPI of the window showing the submenu (of the screen until it is known)
    MenuMode mode;                 // light, dark or high contrast: read when the menu is built
    MenuColours colours;           // the colours of mode, read with it
    HBRUSH backgroundBrush;        // the submenu's own background in the dark mode; null otherwise
    ActionItem** items;            // kMaxMenuItems borrowed pointers, menu order; null when not allocated
    HMENU* itemMenus;              // kMaxMenuItems: the menu holding items[k] (subMenu or a popup inside it); null when not allocated
    HICON* sizedIcons;             // kMaxMenuItems owned icons taken at the menu's icon size where the
                                   // action's shared icon has another size; null entries: none made
    int32_t itemCount;             // used entries of items, 0..kMaxMenuItems
    UINT firstCommandId;           // command id of items[0]; item k has firstCommandId + k
    HBITMAP checkBitmap;           // monochrome bitmap beside the popup entry; null when none
    ThreadHookRecord* hookRecord;  // the thread's hook record this menu is registered with; null when not
    const Settings* settings;      // display options read at each measure and paint; never null

    // ownerWindow when no window shows the submenu: all bits set.
    static HWND const kNoOwnerWindow;

    // Allocates the item array (null when that fails: the menu then never
    // holds actions) and sets the icon size from `options`, which must
    // outlive the menu.
    explicit OwnerDrawMenu(const Settings& options);
    // Reset(), then frees the item array.
    ~OwnerDrawMenu();
    OwnerDrawMenu(const OwnerDrawMenu&) = delete;
    OwnerDrawMenu& operator=(const OwnerDrawMenu&) = delete;

    // Registers with the calling thread's hook (RegisterMenuExtension) and
    // keeps the record; false, with hookRecord null, when no hook could be
    // had. A menu registered already stays so.
    bool Register();
    // Ends what belongs to one showing: unregisters from the hook, lets the
    // font go (ReleaseMenuFont), deletes the check-mark bitmap, the sized
    // icons and the background brush and empties the items (itemCount 0).
    // subMenu and firstCommandId stay.
    void Reset();

    // Reads the display mode (ReadMenuMode) and its colours for the menu
    // about to be built, and the DPI it will likely show at (DpiForNewMenu);
    // in the dark mode gives a submenu of owner-drawn items (registered, with
    // actions) a background brush of the dark colour (SetMenuInfo), kept
    // until Reset. Call once the submenu's items are in.
    void ReadLook();

    // Replaces checkBitmap with a newly drawn one for the system's check-mark
    // size at the menu's DPI (DrawCheckBitmap); leaves it null when the bitmap cannot be made.
    void CreateCheckBitmap();
    // Deletes checkBitmap, if any, and clears it.
    void DeleteCheckBitmap();

    // Whether command `itemId` is one of this menu's items and the item
    // there is `itemData` (the menu item data the hook sees).
    bool IsOwnItem(UINT itemId, ULONG_PTR itemData) const;
    // Whether command `itemId`, one of this menu's items, sits in `holder`:
    // subMenu, or the popup of a submenu recorded in itemMenus for it.
    bool HoldsItemIn(HMENU holder, UINT itemId) const;

    // The answer to WM_MENUCHAR for `key` typed in `menuShown`: an MNC_* code
    // in the high word and an item position in the low word (MenuKeys.h).
    // MNC_IGNORE (0) for another menu or one without actions. Observed with
    // Wine 8.0 driving the shell host: the menu runs the item of an
    // MNC_EXECUTE answer, but leaves the selection where it was on MNC_SELECT
    // (Windows moves it).
    LRESULT AnswerMenuChar(WCHAR key, HMENU menuShown) const;

private:
    // Sets `brush` (null: the system's) as the background of subMenu and of
    // every submenu popup inside it that is still a menu.
    void SetBackgrounds(HBRUSH brush);
};

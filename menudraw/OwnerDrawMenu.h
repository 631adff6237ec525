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
    int32_t iconWidth;             // item icon width in pixels (small or large system size)
    int32_t iconHeight;            // item icon height in pixels
    ActionItem** items;            // kMaxMenuItems borrowed pointers, menu order; null when not allocated
    HMENU* itemMenus;              // kMaxMenuItems: the menu holding items[k] (subMenu or a popup inside it); null when not allocated
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
    // font go (ReleaseMenuFont), deletes the check-mark bitmap and empties
    // the items (itemCount 0). subMenu and firstCommandId stay.
    void Reset();

    // Replaces checkBitmap with a newly drawn one for the system's check-mark
    // size (DrawCheckBitmap); leaves it null when the bitmap cannot be made.
    void CreateCheckBitmap();
    // Deletes checkBitmap, if any, and clears it.
    void DeleteCheckBitmap();

    // Whether command `itemId` is one of this menu's items and the item
    // there is `itemData` (the menu item data the hook sees).
    bool IsOwnItem(UINT itemId, ULONG_PTR itemData) const;
    // Whether command `itemId`, one of this menu's items, sits in `holder`:
    // subMenu, or the popup of a submenu recorded in itemMenus for it.
    bool HoldsItemIn(HMENU holder, UINT itemId) const;
};

#include "menudraw/OwnerDrawMenu.h"

#include <new>

#include "menudraw/GdiObjects.h"
#include "menudraw/MenuCharChoice.h"
#include "menudraw/MenuHook.h"
#include "menudraw/MenuPaint.h"
#include "toolkit/TextBuffer.h"
#include "toolkit/Utf8.h"
#include "toolkit/WideConvert.h"

namespace {

// One UTF-16 unit in the upper case of the user's language; 0 stays 0.
char16_t FoldKey(char16_t unit) {
    return static_cast<char16_t>(reinterpret_cast<ULONG_PTR>(CharUpperW(reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(unit)))));
}

}  // namespace

HWND const OwnerDrawMenu::kNoOwnerWindow = reinterpret_cast<HWND>(~static_cast<UINT_PTR>(0));

OwnerDrawMenu::OwnerDrawMenu(const Settings& options)
    : nextOnThread(nullptr),
      subMenu(nullptr),
      menuActive(0),
      ownerWindow(kNoOwnerWindow),
      menuFont(nullptr),
      fontOwned(0),
      iconWidth(0),
      iconHeight(0),
      dpi(DpiOfWindow(nullptr)),
      mode(MenuMode::kLight),
      colours(ColoursOf(MenuMode::kLight)),
      backgroundBrush(nullptr),
      items(new (std::nothrow) ActionItem*[kMaxMenuItems]),
      itemMenus(new (std::nothrow) HMENU[kMaxMenuItems]()),
      sizedIcons(new (std::nothrow) HICON[kMaxMenuItems]()),
      itemCount(0),
      firstCommandId(0),
      checkBitmap(nullptr),
      hookRecord(nullptr),
      settings(&options) {
    UpdateIconSize(this);
}

OwnerDrawMenu::~OwnerDrawMenu() {
    Reset();
    delete[] items;
    delete[] itemMenus;
    delete[] sizedIcons;
}

bool OwnerDrawMenu::Register() {
    if (hookRecord == nullptr) hookRecord = RegisterMenuExtension(this);
    return hookRecord != nullptr;
}

void OwnerDrawMenu::Reset() {
    if (hookRecord != nullptr) {
        UnregisterMenuExtension(hookRecord, this);
        hookRecord = nullptr;
    }
    ReleaseMenuFont(this);
    DeleteCheckBitmap();
    if (sizedIcons != nullptr) {
        for (int32_t k = 0; k < kMaxMenuItems; ++k) {
            if (sizedIcons[k] != nullptr) DestroyIcon(sizedIcons[k]);
            sizedIcons[k] = nullptr;
        }
    }
    if (backgroundBrush != nullptr) {
        // A submenu still alive gets the system's background back before
        // the brush goes.
        SetBackgrounds(nullptr);
        DeleteGdiObject(backgroundBrush);
        backgroundBrush = nullptr;
    }
    itemCount = 0;
}

void OwnerDrawMenu::ReadLook() {
    mode = ReadMenuMode();
    colours = ColoursOf(mode);
    dpi = DpiForNewMenu();
    UpdateIconSize(this);
    // Only a submenu of owner-drawn items is all drawn in the dark colours:
    // the system draws a text item (the grayed "(Empty)", or every item when
    // no hook could be had) in its own text colour, unreadable on dark.
    if (mode != MenuMode::kDark || subMenu == nullptr || hookRecord == nullptr || itemCount <= 0) return;
    if (backgroundBrush == nullptr) backgroundBrush = CreateGdiSolidBrush(colours.background);
    if (backgroundBrush == nullptr) return;
    SetBackgrounds(backgroundBrush);
}

void OwnerDrawMenu::SetBackgrounds(HBRUSH brush) {
    MENUINFO info = {};
    info.cbSize = sizeof info;
    info.fMask = MIM_BACKGROUND;
    info.hbrBack = brush;
    if (subMenu != nullptr && IsMenu(subMenu)) SetMenuInfo(subMenu, &info);
    if (itemMenus == nullptr || items == nullptr) return;
    // The popups of the submenus: each is the holder of its own items.
    for (int32_t k = 0; k < itemCount; ++k) {
        HMENU holder = itemMenus[k];
        if (holder != nullptr && holder != subMenu && IsMenu(holder)) SetMenuInfo(holder, &info);
    }
}

void OwnerDrawMenu::CreateCheckBitmap() {
    DeleteCheckBitmap();
    int width = 0, height = 0;
    CheckMarkCellSize(dpi, &width, &height);
    checkBitmap = DrawCheckBitmap(width, height);
}

void OwnerDrawMenu::DeleteCheckBitmap() {
    DeleteGdiObject(checkBitmap);
    checkBitmap = nullptr;
}

bool OwnerDrawMenu::IsOwnItem(UINT itemId, ULONG_PTR itemData) const {
    if (items == nullptr || itemCount <= 0) return false;
    // Unsigned: an id below firstCommandId wraps far above itemCount.
    const UINT index = itemId - firstCommandId;
    if (index >= static_cast<UINT>(itemCount)) return false;
    return reinterpret_cast<ULONG_PTR>(items[index]) == itemData;
}

bool OwnerDrawMenu::HoldsItemIn(HMENU holder, UINT itemId) const {
    if (holder == subMenu) return true;
    const UINT index = itemId - firstCommandId;
    return itemMenus != nullptr && index < static_cast<UINT>(itemCount) && itemMenus[index] == holder;
}

LRESULT OwnerDrawMenu::AnswerMenuChar(WCHAR key, HMENU menuShown) const {
    if (menuShown == nullptr || items == nullptr || itemCount <= 0) return MAKELRESULT(0, MNC_IGNORE);
    // The items a menu holds are inserted in slot order: the n-th item of
    // menuShown (subMenu or a submenu's popup) is at position n.
    char16_t keys[kMaxMenuItems];
    int32_t shown = 0;
    int32_t current = -1;
    for (int32_t k = 0; k < itemCount; ++k) {
        if (!HoldsItemIn(menuShown, firstCommandId + static_cast<UINT>(k)) ||
            (menuShown == subMenu && itemMenus != nullptr && itemMenus[k] != nullptr && itemMenus[k] != subMenu)) {
            continue;
        }
        HeapWide name;
        keys[shown] = 0;
        if (AssignUtf16Exact(name, items[k]->displayName.Text()) && name.Length() > 0) {
            const int32_t at = MnemonicPosition(name.Text());
            keys[shown] = FoldKey(name.Text()[at >= 0 ? at : 0]);
        }
        const UINT state = GetMenuState(menuShown, static_cast<UINT>(shown), MF_BYPOSITION);
        if (state != static_cast<UINT>(-1) && (state & MF_HILITE) != 0) current = shown;
        ++shown;
    }
    if (shown == 0) return MAKELRESULT(0, MNC_IGNORE);
    const MenuCharChoice choice = ChooseMenuItem(keys, shown, current, FoldKey(static_cast<char16_t>(key)));
    if (choice.index < 0) return MAKELRESULT(0, MNC_IGNORE);
    return MAKELRESULT(choice.index, choice.execute ? MNC_EXECUTE : MNC_SELECT);
}

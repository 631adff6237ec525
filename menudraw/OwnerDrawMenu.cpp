#include "menudraw/OwnerDrawMenu.h"

#include <new>

#include "menudraw/GdiObjects.h"
#include "menudraw/MenuHook.h"
#include "menudraw/MenuPaint.h"

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
      items(new (std::nothrow) ActionItem*[kMaxMenuItems]),
      itemMenus(new (std::nothrow) HMENU[kMaxMenuItems]()),
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
    itemCount = 0;
}

void OwnerDrawMenu::CreateCheckBitmap() {
    DeleteCheckBitmap();
    int width = 0, height = 0;
    CheckMarkCellSize(&width, &height);
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

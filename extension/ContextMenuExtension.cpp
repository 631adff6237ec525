#include "extension/ContextMenuExtension.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <new>

#include "catalogue/ActionCollector.h"
#include "catalogue/Shortcuts.h"
#include "extension/ModuleLifetime.h"
#include "settings/Settings.h"
#include "toolkit/Utf8.h"
#include "toolkit/WideConvert.h"

const wchar_t kErrorCaption[] = L"Zentrik Error";
const wchar_t kEmptyItemText[] = L"(Empty)";
const wchar_t kTooManyItemText[] = L"(Too many files)";

namespace {

// The name a selected file is matched against the groups' type lists with:
// only its extension counts, so "x" and the extension in UTF-8. An extension
// too long for a file name (past 255 units, from a drop list of another
// source) gives ".?", which no folder name holds whole as a type: such a
// file matches only the groups without a type list.
FixedText& AssignMatchName(FixedText& out, const char16_t* name) {
    const char16_t* dot = nullptr;
    for (const char16_t* p = name; *p != 0; ++p) {
        if (*p == u'\\' || *p == u'/') dot = nullptr;
        if (*p == u'.') dot = p;
    }
    out.Assign("x");
    if (dot == nullptr) return out;
    FixedText extension;
    if (!AssignUtf8(extension, dot) || extension.Length() > kFixedTextBytes - 1) extension.Assign(".?");
    out.Append(extension.Text());
    return out;
}

// Inserts a text item (or the popup, with `flags` MF_POPUP) whose caption is
// the UTF-8 `text`.
BOOL InsertTextItem(HMENU menu, UINT position, UINT flags, UINT_PTR id, const char* text) {
    HeapWide caption;
    if (!AssignUtf16Exact(caption, text)) return FALSE;
    return InsertMenuW(menu, position, MF_BYPOSITION | flags, id, AsWide(caption.Text()));
}

// Inserts an owner-drawn item for `item`: its item data is the action (what
// the hook measures and paints), and it keeps the action's name as its own
// text, which accessibility clients read (an owner-drawn item without one is
// silent to screen readers). Without the text's storage, the item goes in
// without it.
BOOL InsertOwnerDrawnItem(HMENU menu, UINT position, UINT id, ActionItem* item) {
    HeapWide name;
    const bool named = AssignUtf16Exact(name, item->displayName.Text());
    MENUITEMINFOW info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_DATA | (named ? MIIM_STRING : 0);
    info.fType = MFT_OWNERDRAW;
    info.wID = id;
    info.dwItemData = reinterpret_cast<ULONG_PTR>(item);
    info.dwTypeData = named ? AsWide(name.storage) : nullptr;
    return InsertMenuItemW(menu, position, TRUE, &info);
}

// The names of a drop list, read once from first to last. DragQueryFileW
// finds name i by walking the list from its first name, so reading n names
// through it costs n * n / 2 name lengths (6,552 names: 0.4 s under Wine 8,
// measured with selection_bench); a wide list is therefore walked here
// directly, inside the block's size, and only an ANSI one is read through
// DragQueryFileW.
class DropNames {
public:
    explicit DropNames(HGLOBAL block) : drop(static_cast<HDROP>(block)) {
        count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
        const SIZE_T size = GlobalSize(block);
        const auto* header = static_cast<const DROPFILES*>(GlobalLock(block));
        if (header == nullptr) return;
        locked = block;
        if (size < sizeof(DROPFILES) || !header->fWide || header->pFiles < sizeof(DROPFILES) ||
            header->pFiles >= size) {
            return;
        }
        next = reinterpret_cast<const wchar_t*>(reinterpret_cast<const BYTE*>(header) + header->pFiles);
        end = next + (size - header->pFiles) / sizeof(wchar_t);
    }
    ~DropNames() {
        if (locked != nullptr) GlobalUnlock(locked);
    }
    DropNames(const DropNames&) = delete;
    DropNames& operator=(const DropNames&) = delete;

    UINT Count() const { return count; }
    // Name `index` (called for 0, 1, 2, ... in turn) into `name`, whole;
    // false when its storage cannot be had.
    bool Read(UINT index, HeapWide& name) {
        if (next != nullptr) {
            const wchar_t* start = next;
            while (next < end && *next != 0) ++next;
            const int32_t length = static_cast<int32_t>(next - start);
            if (next < end) ++next;
            return name.AssignExact(AsUtf16(start), length);
        }
        const UINT length = DragQueryFileW(drop, index, nullptr, 0);
        if (!name.Reserve(static_cast<int32_t>(length) + 1)) return false;
        const UINT copied = DragQueryFileW(drop, index, AsWide(name.storage), length + 1);
        name.storage[copied <= length ? copied : 0] = 0;
        name.length = WideLength(name.storage);
        return true;
    }

private:
    HDROP drop;
    UINT count = 0;
    HGLOBAL locked = nullptr;
    const wchar_t* next = nullptr;  // the wide list's next name; null: read through DragQueryFileW
    const wchar_t* end = nullptr;   // end of the block
};

HRESULT IdentifiersUsed(UINT count) { return MAKE_HRESULT(SEVERITY_SUCCESS, 0, static_cast<USHORT>(count)); }

// How many command identifiers the shell granted, from idCmdFirst to
// idCmdLast inclusive; none when idCmdLast lies below idCmdFirst.
uint64_t IdentifiersGranted(UINT idCmdFirst, UINT idCmdLast) {
    return idCmdLast >= idCmdFirst ? static_cast<uint64_t>(idCmdLast) - idCmdFirst + 1 : 0;
}

}  // namespace

ContextMenuExtension::ContextMenuExtension()
    : refCount(1),
      selection(nullptr),
      selectionCount(0),
      menu(DefaultCatalogueSettings()),
      linkTargetCount(0),
      tooManyFiles(false) {
    ObjectCreated();
}

ContextMenuExtension::~ContextMenuExtension() {
    dataObject.Reset();
    ResetMenuState();
    ObjectDestroyed();
}

// --- IUnknown -----------------------------------------------------------------------

STDMETHODIMP ContextMenuExtension::QueryInterface(REFIID riid, void** ppv) {
    // IUnknown is answered with the first entry's interface.
    static const QITAB interfaces[] = {
        QITABENT(ContextMenuExtension, IShellExtInit),
        QITABENT(ContextMenuExtension, IContextMenu),
        QITABENT(ContextMenuExtension, IContextMenu2),
        QITABENT(ContextMenuExtension, IContextMenu3),
        {nullptr, 0},
    };
    return QISearch(this, interfaces, riid, ppv);
}

STDMETHODIMP_(ULONG) ContextMenuExtension::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refCount)); }

STDMETHODIMP_(ULONG) ContextMenuExtension::Release() {
    const LONG count = InterlockedDecrement(&refCount);
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
}

// --- IShellExtInit ------------------------------------------------------------------

STDMETHODIMP ContextMenuExtension::Initialize(PCIDLIST_ABSOLUTE, IDataObject* pdtobj, HKEY) {
    EnsureLibraryCatalogue();
    dataObject.Reset();
    if (pdtobj != nullptr) {
        pdtobj->AddRef();
        *dataObject.Receive() = pdtobj;
    }
    return S_OK;
}

// --- Menu building ------------------------------------------------------------------

STDMETHODIMP ContextMenuExtension::QueryContextMenu(HMENU hmenu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast,
                                                    UINT uFlags) {
    menu.firstCommandId = idCmdFirst;
    UINT nextId = idCmdFirst;
    ResetMenuState();
    if ((uFlags & (CMF_DEFAULTONLY | CMF_NOVERBS)) != 0) return IdentifiersUsed(0);

    HMENU subMenu = CreateMenu();
    menu.subMenu = subMenu;
    menu.menuActive = 0;
    menu.ownerWindow = OwnerDrawMenu::kNoOwnerWindow;
    if (subMenu == nullptr) return IdentifiersUsed(0);

    EnsureLibraryCatalogue();
    ReloadIfChanged();
    borrowed.Acquire();
    // Caption, empty item, measuring and painting follow the settings of the
    // load the menu shows: a reload meanwhile does not change them.
    const Settings& options = borrowed.HeldSettings();
    menu.settings = &options;
    const bool showEmpty = options.HideEmpty == 0;
    // An empty custom name would make a blank entry: the product's name instead.
    const bool ownName = options.UseMenuName != 0 && options.MenuName.Text()[0] != 0;
    const FixedText caption(ownName ? options.MenuName.Text() : kProductWord);
    int32_t count = 0;
    if (GatherSelection((uFlags & CMF_VERBSONLY) != 0)) count = CollectActions();

    // The shell shares one identifier range among all handlers: the actions
    // that would need an identifier beyond idCmdLast are left out (the last
    // ones in menu order).
    const uint64_t granted = IdentifiersGranted(idCmdFirst, idCmdLast);
    if (static_cast<uint64_t>(count) > granted) count = static_cast<int32_t>(granted);
    menu.itemCount = count;
    if (count == 0) {
        borrowed.Release();
        menu.settings = &DefaultCatalogueSettings();
    }

    if (count > 0) {
        const bool ownerDrawn = menu.Register();
        for (int32_t k = 0; k < count; ++k) {
            if (ownerDrawn) {
                InsertOwnerDrawnItem(subMenu, static_cast<UINT>(k), nextId, menu.items[k]);
            } else {
                InsertTextItem(subMenu, static_cast<UINT>(k), MF_STRING, nextId, menu.items[k]->displayName.Text());
            }
            ++nextId;
        }
    } else if ((showEmpty || tooManyFiles) && granted > 0) {
        // A selection too large to check says so whatever HideEmpty says:
        // its actions were not looked for, not found missing.
        InsertMenuW(subMenu, 0, MF_BYPOSITION | MF_STRING | MF_GRAYED, idCmdFirst,
                    tooManyFiles ? kTooManyItemText : kEmptyItemText);
        nextId = idCmdFirst + 1;
    }

    if (GetMenuItemCount(subMenu) > 0) {
        menu.ReadLook();
        menu.CreateCheckBitmap();
        if (InsertTextItem(hmenu, indexMenu, MF_POPUP, reinterpret_cast<UINT_PTR>(subMenu), caption.Text())) {
            if (menu.checkBitmap != nullptr)
                SetMenuItemBitmaps(hmenu, indexMenu, MF_BYPOSITION, menu.checkBitmap, menu.checkBitmap);
            return IdentifiersUsed(nextId - idCmdFirst);
        }
        // The shell's menu did not take the submenu: nothing of this menu
        // was inserted, so none of it may stay alive or answer later calls.
        ResetMenuState();
        nextId = idCmdFirst;
    }
    menu.DeleteCheckBitmap();
    DestroyMenu(subMenu);
    menu.subMenu = nullptr;
    return IdentifiersUsed(nextId - idCmdFirst);
}

STDMETHODIMP ContextMenuExtension::HandleMenuMsg(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    return HandleMenuMsg2(uMsg, wParam, lParam, nullptr);
}

STDMETHODIMP ContextMenuExtension::HandleMenuMsg2(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT* plResult) {
    LRESULT result = 0;
    HRESULT hr = S_OK;
    switch (uMsg) {
        case WM_MENUCHAR:
            result = menu.AnswerMenuChar(static_cast<WCHAR>(LOWORD(wParam)), reinterpret_cast<HMENU>(lParam));
            break;
        case WM_INITMENUPOPUP:
            break;
        case WM_MEASUREITEM:
        case WM_DRAWITEM:
            result = TRUE;
            break;
        default:
            hr = S_FALSE;
            break;
    }
    if (plResult != nullptr) *plResult = result;
    return hr;
}

bool ContextMenuExtension::GatherSelection(bool resolveShortcuts) {
    if (!dataObject) return false;
    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    if (FAILED(dataObject->GetData(&format, &medium))) return false;
    // Only a global handle can hold a drop list; any other medium is taken
    // as no handle.
    if (medium.tymed != TYMED_HGLOBAL || medium.hGlobal == nullptr) {
        ReleaseStgMedium(&medium);
        return false;
    }
    bool whole = true;
    {
        DropNames names(medium.hGlobal);
        const UINT count = names.Count();
        if (count > static_cast<UINT>(kMaxSelectedFiles)) {
            tooManyFiles = true;
            whole = false;
        }
        HeapWide name;
        for (UINT i = 0; i < count && whole; ++i) {
            // The drop list may hold names past the path limit: each is read
            // whole, never cut. A name that cannot be kept fails the whole
            // menu: no action is offered for a selection with a file left out.
            whole = names.Read(i, name);
            if (whole) whole = TakeSelected(name, resolveShortcuts);
        }
    }
    ReleaseStgMedium(&medium);
    return whole;
}

bool ContextMenuExtension::TakeSelected(const HeapWide& name, bool resolveShortcuts) {
    // A shortcut whose target is no file (an Internet shortcut, a link to a
    // shell folder), cannot be resolved or names nothing that exists stands
    // for itself: a name the link merely holds is never passed on as a file.
    HeapWide target;
    if (resolveShortcuts) {
        FixedText matchName;
        AssignMatchName(matchName, name.Text());
        if (IsShortcutFile(matchName.Text())) ResolveShortcutTarget(target, AsWide(name.Text()));
        if (!target.Empty() && GetFileAttributesW(AsWide(target.Text())) == INVALID_FILE_ATTRIBUTES) {
            target.FreeStorage();
        }
        if (!target.Empty() && linkTargetCount++ == 0 &&
            !firstLinkTarget.AssignExact(target.Text(), target.Length())) {
            return false;
        }
    }
    const HeapWide& taken = target.Empty() ? name : target;
    if (PushWide(&selection, taken.Text(), taken.Length()) == 0) return false;
    ++selectionCount;
    return true;
}

int32_t ContextMenuExtension::CollectActions() {
    static_assert(kMaxMenuItems <= kMaxCollectedActions, "the collector fills every slot of the menu");
    ActionCollector collector;
    for (const WideTextNode* node = selection; node != nullptr; node = node->next) {
        FixedText matchName;
        if (!collector.AddFile(AssignMatchName(matchName, node->text.Text()).Text())) break;
    }
    tooManyFiles = collector.TooMany();
    return collector.Collect(borrowed.FirstGroup(), menu.items, kMaxMenuItems);
}

void ContextMenuExtension::ResetMenuState() {
    FreeWideList(&selection);
    selectionCount = 0;
    linkTargetCount = 0;
    firstLinkTarget.FreeStorage();
    tooManyFiles = false;
    menu.Reset();
    // The items and the settings belong to the borrowed generation: they go
    // with it.
    borrowed.Release();
    menu.settings = &DefaultCatalogueSettings();
}

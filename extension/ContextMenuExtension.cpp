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

HRESULT IdentifiersUsed(UINT count) { return MAKE_HRESULT(SEVERITY_SUCCESS, 0, static_cast<USHORT>(count)); }

// How many command identifiers the shell granted, from idCmdFirst to
// idCmdLast inclusive; none when idCmdLast lies below idCmdFirst.
uint64_t IdentifiersGranted(UINT idCmdFirst, UINT idCmdLast) {
    return idCmdLast >= idCmdFirst ? static_cast<uint64_t>(idCmdLast) - idCmdFirst + 1 : 0;
}

}  // namespace

ContextMenuExtension::ContextMenuExtension()
    : refCount(1), selection(nullptr), selectionCount(0), menu(DefaultCatalogueSettings()) {
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
    const FixedText caption(options.UseMenuName != 0 ? options.MenuName.Text() : kProductWord);
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
                InsertMenuW(subMenu, static_cast<UINT>(k), MF_BYPOSITION | MF_OWNERDRAW, nextId,
                            reinterpret_cast<LPCWSTR>(menu.items[k]));
            } else {
                InsertTextItem(subMenu, static_cast<UINT>(k), MF_STRING, nextId, menu.items[k]->displayName.Text());
            }
            ++nextId;
        }
    } else if (showEmpty && granted > 0) {
        InsertMenuW(subMenu, 0, MF_BYPOSITION | MF_STRING | MF_GRAYED, idCmdFirst, kEmptyItemText);
        nextId = idCmdFirst + 1;
    }

    if (GetMenuItemCount(subMenu) > 0) {
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
    HDROP drop = static_cast<HDROP>(medium.hGlobal);
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    HeapWide name;
    for (UINT i = 0; i < count; ++i) {
        // The drop list may hold names past the path limit: each is read at
        // the length the list reports for it, never cut.
        const UINT length = DragQueryFileW(drop, i, nullptr, 0);
        if (!name.Reserve(static_cast<int32_t>(length) + 1)) continue;  // no room: the name is left out
        const UINT copied = DragQueryFileW(drop, i, AsWide(name.storage), length + 1);
        name.storage[copied <= length ? copied : 0] = 0;
        name.length = WideLength(name.storage);
        // A shortcut whose target is no file (an Internet shortcut, a link
        // to a shell folder) or that cannot be resolved stands for itself.
        HeapWide target;
        if (resolveShortcuts) {
            FixedText matchName;
            AssignMatchName(matchName, name.Text());
            if (IsShortcutFile(matchName.Text())) ResolveShortcutTarget(target, AsWide(name.Text()));
        }
        const HeapWide& taken = target.Empty() ? name : target;
        const int pushed = PushWide(&selection, taken.Text(), taken.Length());
        if (pushed) ++selectionCount;
    }
    ReleaseStgMedium(&medium);
    return true;
}

int32_t ContextMenuExtension::CollectActions() {
    static_assert(kMaxMenuItems <= kMaxCollectedActions, "the collector fills every slot of the menu");
    ActionCollector collector;
    for (const WideTextNode* node = selection; node != nullptr; node = node->next) {
        FixedText matchName;
        collector.AddFile(AssignMatchName(matchName, node->text.Text()).Text());
    }
    return collector.Collect(borrowed.FirstGroup(), menu.items, kMaxMenuItems);
}

void ContextMenuExtension::ResetMenuState() {
    FreeWideList(&selection);
    selectionCount = 0;
    menu.Reset();
    // The items and the settings belong to the borrowed generation: they go
    // with it.
    borrowed.Release();
    menu.settings = &DefaultCatalogueSettings();
}

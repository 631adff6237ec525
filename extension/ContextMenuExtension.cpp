#include "extension/ContextMenuExtension.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <cstring>
#include <new>

#include "catalogue/ActionCollector.h"
#include "catalogue/ActionOrder.h"
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
// `state` is MFS_GRAYED or 0; `popup` is the submenu the item opens, or null.
BOOL InsertOwnerDrawnItem(HMENU menu, UINT position, UINT id, ActionItem* item, UINT state, HMENU popup) {
    HeapWide name;
    const bool named = AssignUtf16Exact(name, item->displayName.Text());
    MENUITEMINFOW info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_DATA | MIIM_STATE | (named ? MIIM_STRING : 0) |
                 (popup != nullptr ? MIIM_SUBMENU : 0);
    info.fType = MFT_OWNERDRAW;
    info.fState = state;
    info.wID = id;
    info.hSubMenu = popup;
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

// True when the ID list at `offset` of the `size` bytes at `base` ends
// (with its zero terminator) inside them.
bool IdListInside(const BYTE* base, SIZE_T size, SIZE_T offset) {
    while (offset + sizeof(USHORT) <= size) {
        USHORT cb = 0;
        std::memcpy(&cb, base + offset, sizeof cb);
        if (cb == 0) return true;
        if (cb < sizeof(USHORT) || cb > size - offset) return false;
        offset += cb;
    }
    return false;
}

// The attributes the shell's own data object holds for its items, read
// from its ID lists (the "Shell IDList Array" format) without touching the
// file system: SHGetDataFromIDListW(SHGDFIL_FINDDATA) answers from the find
// data the shell keeps in a file-system item's ID. GetFileAttributesW for
// each name instead cost 50 us a name under Wine 8 (0.33 s for 6,552
// existing files, measured). Describes nothing when the format is missing
// or malformed.
class ShellItemAttributes {
public:
    // Reads the items of `data`; null describes nothing.
    explicit ShellItemAttributes(IDataObject* data) {
        if (data == nullptr) return;
        const CLIPFORMAT format = static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"Shell IDList Array"));
        FORMATETC request = {format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        if (format == 0 || FAILED(data->GetData(&request, &medium))) return;
        held = true;
        if (medium.tymed != TYMED_HGLOBAL || medium.hGlobal == nullptr) return;
        const SIZE_T size = GlobalSize(medium.hGlobal);
        list = static_cast<const CIDA*>(GlobalLock(medium.hGlobal));
        if (list == nullptr) return;
        if (size < sizeof(UINT) || (size - sizeof(UINT)) / sizeof(UINT) <= list->cidl) return;
        for (UINT i = 0; i <= list->cidl; ++i) {
            // An ID list reaching past the block: describe nothing.
            if (!IdListInside(reinterpret_cast<const BYTE*>(list), size, list->aoffset[i])) return;
        }
        IShellFolder* desktop = nullptr;
        if (FAILED(SHGetDesktopFolder(&desktop))) return;
        const auto* parent = reinterpret_cast<PCUIDLIST_RELATIVE>(reinterpret_cast<const BYTE*>(list) + list->aoffset[0]);
        if (parent->mkid.cb == 0) {
            folder = desktop;
        } else {
            if (FAILED(desktop->BindToObject(parent, nullptr, IID_IShellFolder, reinterpret_cast<void**>(&folder)))) {
                folder = nullptr;
            }
            desktop->Release();
        }
        if (folder != nullptr) count = list->cidl;
    }
    ~ShellItemAttributes() {
        if (folder != nullptr) folder->Release();
        if (list != nullptr) GlobalUnlock(medium.hGlobal);
        if (held) ReleaseStgMedium(&medium);
    }
    ShellItemAttributes(const ShellItemAttributes&) = delete;
    ShellItemAttributes& operator=(const ShellItemAttributes&) = delete;

    // How many items it describes; 0 when none.
    UINT Count() const { return count; }
    // The attributes of item `index` (below Count()) as its ID list holds
    // them; INVALID_FILE_ATTRIBUTES for an item with no find data (a drive,
    // a virtual item).
    DWORD Attributes(UINT index) const {
        const auto* item = reinterpret_cast<PCUITEMID_CHILD>(reinterpret_cast<const BYTE*>(list) + list->aoffset[index + 1]);
        WIN32_FIND_DATAW found = {};
        if (FAILED(SHGetDataFromIDListW(folder, item, SHGDFIL_FINDDATA, &found, sizeof found))) {
            return INVALID_FILE_ATTRIBUTES;
        }
        return found.dwFileAttributes;
    }

private:
    STGMEDIUM medium = {};           // the array as the data object gave it
    bool held = false;               // medium must be released
    const CIDA* list = nullptr;      // the locked array; null when not locked
    IShellFolder* folder = nullptr;  // the items' parent folder; null when it could not be bound
    UINT count = 0;                  // items described; 0 when none
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
      selectedFolders(nullptr),
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

STDMETHODIMP ContextMenuExtension::Initialize(PCIDLIST_ABSOLUTE pidlFolder, IDataObject* pdtobj, HKEY) {
    EnsureLibraryCatalogue();
    dataObject.Reset();
    backgroundFolder.FreeStorage();
    if (pdtobj != nullptr) {
        // A selection: pidlFolder, when given, is only the folder it lies in.
        pdtobj->AddRef();
        *dataObject.Receive() = pdtobj;
    } else if (pidlFolder != nullptr) {
        // The background of a folder window or of the desktop. The shell
        // refuses folders past MAX_PATH for ID lists (Wine 8, measured), so
        // a path of that size always fits; the desktop's ID list gives the
        // desktop's folder.
        wchar_t path[MAX_PATH] = L"";
        if (SHGetPathFromIDListW(pidlFolder, path) && path[0] != 0) {
            path[MAX_PATH - 1] = 0;
            backgroundFolder.AssignExact(AsUtf16(path), WideLength(AsUtf16(path)));
        }
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

    ActionItem** entries = new (std::nothrow) ActionItem*[kMaxCollectedActions];
    const int32_t collected = ListActions((uFlags & CMF_VERBSONLY) != 0, entries);
    // Caption, empty item, measuring and painting follow the settings of the
    // load the menu shows: a reload meanwhile does not change them.
    const Settings& options = borrowed.HeldSettings();
    const bool showEmpty = options.HideEmpty == 0;
    const FixedText caption(MenuCaption(options));
    // The shell shares one identifier range among all handlers: the entries
    // that would need an identifier beyond idCmdLast are left out (the last
    // ones in menu order).
    const uint64_t granted = IdentifiersGranted(idCmdFirst, idCmdLast);
    const int32_t limit = granted < static_cast<uint64_t>(kMaxMenuItems) ? static_cast<int32_t>(granted) : kMaxMenuItems;
    int32_t count = 0;
    if (collected > 0 && limit > 0 && menu.items != nullptr) {
        const bool ownerDrawn = menu.Register();
        AddEntries(subMenu, entries, collected, limit, ownerDrawn);
        count = menu.itemCount;
    }
    delete[] entries;
    nextId = idCmdFirst + static_cast<UINT>(count);
    if (count == 0) {
        menu.Reset();  // no item of it is shown: off the hook again
        borrowed.Release();
        menu.settings = &DefaultCatalogueSettings();
    }

    if (count == 0 && (showEmpty || tooManyFiles) && granted > 0) {
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

const char* MenuCaption(const Settings& options) {
    // An empty custom name would make a blank entry: the product's name instead.
    const bool ownName = options.UseMenuName != 0 && options.MenuName.Text()[0] != 0;
    return ownName ? options.MenuName.Text() : kProductWord;
}

int32_t ContextMenuExtension::ListActions(bool resolveShortcuts, ActionItem** entries) {
    EnsureLibraryCatalogue();
    ReloadIfChanged();
    borrowed.Acquire();
    menu.settings = &borrowed.HeldSettings();
    if (entries == nullptr || !GatherSelection(resolveShortcuts)) return 0;
    return CollectActions(entries);
}

int32_t ContextMenuExtension::ListFlatActions(bool resolveShortcuts) {
    ActionItem** entries = new (std::nothrow) ActionItem*[kMaxCollectedActions];
    const int32_t collected = ListActions(resolveShortcuts, entries);
    menu.itemCount = 0;
    if (collected > 0 && menu.items != nullptr) AddEntries(nullptr, entries, collected, kMaxMenuItems, false);
    delete[] entries;
    return menu.itemCount;
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
    if (!dataObject) {
        if (backgroundFolder.Empty()) return false;
        if (PushWide(&selection, backgroundFolder.Text(), backgroundFolder.Length()) == 0) return false;
        selectionCount = 1;
        return true;
    }
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
        if (whole && count > 0) {
            selectedFolders = new (std::nothrow) bool[count];
            whole = selectedFolders != nullptr;
        }
        // The shell's data object lists the same items in the same order in
        // both formats; any other count is not trusted.
        const ShellItemAttributes known(whole ? dataObject.Get() : nullptr);
        const bool described = known.Count() == count;
        HeapWide name;
        for (UINT i = 0; i < count && whole; ++i) {
            // The drop list may hold names past the path limit: each is read
            // whole, never cut. A name that cannot be kept fails the whole
            // menu: no action is offered for a selection with a file left out.
            whole = names.Read(i, name);
            if (whole) {
                whole = TakeSelected(name, resolveShortcuts, described ? known.Attributes(i) : INVALID_FILE_ATTRIBUTES,
                                     selectedFolders[i]);
            }
        }
    }
    ReleaseStgMedium(&medium);
    return whole;
}

bool ContextMenuExtension::TakeSelected(const HeapWide& name, bool resolveShortcuts, DWORD knownAttributes,
                                        bool& isFolder) {
    // A shortcut whose target is no file (an Internet shortcut, a link to a
    // shell folder), cannot be resolved or names nothing that exists stands
    // for itself: a name the link merely holds is never passed on as a file.
    HeapWide target;
    DWORD attributes = knownAttributes;
    if (resolveShortcuts) {
        FixedText matchName;
        AssignMatchName(matchName, name.Text());
        if (IsShortcutFile(matchName.Text())) ResolveShortcutTarget(target, AsWide(name.Text()));
        if (!target.Empty()) {
            attributes = GetFileAttributesW(AsWide(target.Text()));
            if (attributes == INVALID_FILE_ATTRIBUTES) target.FreeStorage();
        }
        if (!target.Empty() && linkTargetCount++ == 0 &&
            !firstLinkTarget.AssignExact(target.Text(), target.Length())) {
            return false;
        }
    }
    const HeapWide& taken = target.Empty() ? name : target;
    // A drop list carries no attributes: what the ID lists did not tell is
    // asked, whatever the name looks like ("notes.txt" may be a folder). A
    // name that cannot be read is taken as a file.
    if (target.Empty() && attributes == INVALID_FILE_ATTRIBUTES) attributes = GetFileAttributesW(AsWide(name.Text()));
    isFolder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (PushWide(&selection, taken.Text(), taken.Length()) == 0) return false;
    ++selectionCount;
    return true;
}

int32_t ContextMenuExtension::CollectActions(ActionItem** entries) {
    static_assert(kMaxMenuItems <= kMaxCollectedActions, "the collector fills every slot of the menu");
    ActionCollector collector;
    if (!dataObject) {
        collector.AddBackground();
        return collector.Collect(borrowed.FirstGroup(), entries, kMaxCollectedActions);
    }
    // The selection holds the names in reverse drop order.
    int32_t index = selectionCount;
    for (const WideTextNode* node = selection; node != nullptr; node = node->next) {
        if (selectedFolders[--index]) {
            collector.AddFolder();
            continue;
        }
        FixedText matchName;
        if (!collector.AddFile(AssignMatchName(matchName, node->text.Text()).Text())) break;
    }
    tooManyFiles = collector.TooMany();
    return collector.Collect(borrowed.FirstGroup(), entries, kMaxCollectedActions);
}

int32_t ContextMenuExtension::AddEntries(HMENU target, ActionItem** entries, int32_t count, int32_t limit,
                                         bool ownerDrawn) {
    int32_t inserted = 0;
    for (int32_t i = 0; i < count && menu.itemCount < limit; ++i) {
        ActionItem* entry = entries[i];
        if (entry == nullptr) continue;  // merged into an earlier submenu of the same name
        const int32_t slot = menu.itemCount;
        const UINT id = menu.firstCommandId + static_cast<UINT>(slot);
        menu.items[slot] = entry;
        if (menu.itemMenus != nullptr) menu.itemMenus[slot] = target;
        if (!entry->IsSubmenu()) {
            menu.itemCount = slot + 1;
            // An action whose program is not there is shown greyed.
            const UINT missing = entry->ProgramMissing() ? MF_GRAYED : 0;
            const BOOL done = target == nullptr ? TRUE
                              : ownerDrawn
                                  ? InsertOwnerDrawnItem(target, static_cast<UINT>(inserted), id, entry,
                                                         missing != 0 ? MFS_GRAYED : 0, nullptr)
                                  : InsertTextItem(target, static_cast<UINT>(inserted), MF_STRING | missing, id,
                                                   entry->displayName.Text());
            if (done) {
                ++inserted;
            } else {
                menu.itemCount = slot;
            }
            continue;
        }
        // A submenu shows the items of every submenu of the same name met
        // at this level (groups from several folders), sorted together; the
        // first one in menu order gives name, order and icon.
        ActionItem** children = new (std::nothrow) ActionItem*[kMaxCollectedActions];
        if (children == nullptr) continue;
        int32_t childCount = 0;
        for (int32_t j = i; j < count; ++j) {
            ActionItem* other = entries[j];
            if (other == nullptr || !other->IsSubmenu() ||
                CompareActionKeys(0, SortNameOf(*entry), 0, SortNameOf(*other)) != 0) {
                continue;
            }
            for (ActionItem* child = other->firstChild; child != nullptr && childCount < kMaxCollectedActions;
                 child = child->nextItem) {
                children[childCount++] = child;
            }
            if (j > i) entries[j] = nullptr;
        }
        SortActionsStable(children, childCount);
        menu.itemCount = slot + 1;
        HMENU popup = target != nullptr ? CreatePopupMenu() : nullptr;
        const int32_t shown =
            (target == nullptr || popup != nullptr) ? AddEntries(popup, children, childCount, limit, ownerDrawn) : 0;
        delete[] children;
        bool done = target == nullptr && shown > 0;
        if (shown > 0 && target != nullptr) {
            if (ownerDrawn) {
                done = InsertOwnerDrawnItem(target, static_cast<UINT>(inserted), id, entry, 0, popup) != FALSE;
            } else {
                HeapWide caption;
                MENUITEMINFOW info = {};
                info.cbSize = sizeof info;
                info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_SUBMENU | MIIM_DATA | MIIM_STRING;
                info.fType = MFT_STRING;
                info.wID = id;
                info.hSubMenu = popup;
                info.dwItemData = reinterpret_cast<ULONG_PTR>(entry);
                if (AssignUtf16Exact(caption, entry->displayName.Text())) {
                    info.dwTypeData = AsWide(caption.storage);
                    done = InsertMenuItemW(target, static_cast<UINT>(inserted), TRUE, &info) != FALSE;
                }
            }
        }
        if (done) {
            ++inserted;
        } else {
            // Nothing of it is shown: its identifiers are given back.
            if (popup != nullptr) DestroyMenu(popup);
            menu.itemCount = slot;
        }
    }
    return inserted;
}

void ContextMenuExtension::ResetMenuState() {
    FreeWideList(&selection);
    selectionCount = 0;
    delete[] selectedFolders;
    selectedFolders = nullptr;
    linkTargetCount = 0;
    firstLinkTarget.FreeStorage();
    tooManyFiles = false;
    menu.Reset();
    // The items and the settings belong to the borrowed generation: they go
    // with it.
    borrowed.Release();
    menu.settings = &DefaultCatalogueSettings();
}

#include "extension/ExplorerCommand.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <new>

#include "extension/ExplorerCommandList.h"
#include "extension/ModuleLifetime.h"
#include "extension/SelectionDropList.h"
#include "toolkit/ClassId.h"
#include "toolkit/Utf8.h"
#include "toolkit/WideConvert.h"

namespace {

// The longest tool tip handed out, as the classic menu's status texts.
constexpr UINT kToolTipCapacity = 261;

// Hands out the UTF-8 `text` as a CoTaskMem wide string.
HRESULT DupUtf8(const char* text, LPWSTR* out) {
    HeapWide wide;
    if (!AssignUtf16Exact(wide, text)) return E_OUTOFMEMORY;
    return SHStrDupW(AsWide(wide.Text()), out);
}

// The icon path of the shortcut `shortcutPath` (UTF-8): its icon location
// ("path,index"), else its target with index 0, into `out`. False when the
// link cannot be read or names neither.
bool ShortcutIconPath(const char* shortcutPath, wchar_t* out, int capacity) {
    HeapWide path;
    if (!AssignUtf16Exact(path, shortcutPath)) return false;
    ComPtr<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.Receive())))
        return false;
    ComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.Receive())) ||
        FAILED(file->Load(AsWide(path.Text()), STGM_READ))) {
        return false;
    }
    wchar_t location[MAX_PATH] = {};
    int index = 0;
    if (FAILED(link->GetIconLocation(location, MAX_PATH, &index)) || location[0] == 0) {
        index = 0;
        if (FAILED(link->GetPath(location, MAX_PATH, nullptr, SLGP_RAWPATH)) || location[0] == 0) return false;
    }
    return wnsprintfW(out, capacity, L"%s,%d", location, index) > 0;
}

// The icon path the shell gives the folder `folderPath` (UTF-8), as the
// classic menu shows a submenu with the folder's own icon, into `out`.
// False when the shell names none.
bool FolderIconPath(const char* folderPath, wchar_t* out, int capacity) {
    HeapWide path;
    if (!AssignUtf16Exact(path, folderPath)) return false;
    SHFILEINFOW info = {};
    if (SHGetFileInfoW(AsWide(path.Text()), 0, &info, sizeof info, SHGFI_ICONLOCATION) == 0 ||
        info.szDisplayName[0] == 0) {
        return false;
    }
    return wnsprintfW(out, capacity, L"%s,%d", info.szDisplayName, info.iIcon) > 0;
}

// The folder the browser behind `site` shows, as a new ID list (ILFree);
// null when the site offers no browser, view or folder. The shell's menu
// sites hand out their window's browser as the top-level browser service.
PIDLIST_ABSOLUTE SiteFolder(IUnknown* site) {
    if (site == nullptr) return nullptr;
    ComPtr<IShellBrowser> browser;
    ComPtr<IShellView> view;
    ComPtr<IFolderView> folderView;
    ComPtr<IPersistFolder2> folder;
    PIDLIST_ABSOLUTE id = nullptr;
    if (FAILED(IUnknown_QueryService(site, SID_STopLevelBrowser, IID_IShellBrowser, browser.Receive())) ||
        FAILED(browser->QueryActiveShellView(reinterpret_cast<IShellView**>(view.Receive()))) ||
        FAILED(view->QueryInterface(IID_IFolderView, folderView.Receive())) ||
        FAILED(folderView->GetFolder(IID_IPersistFolder2, folder.Receive())) || FAILED(folder->GetCurFolder(&id))) {
        return nullptr;
    }
    return id;
}

}  // namespace

ExplorerCommand::ExplorerCommand() : refCount(1), listing(nullptr), offset(-1), placeholder(nullptr) {
    ObjectCreated();
}

ExplorerCommand::~ExplorerCommand() {
    if (listing != nullptr) listing->Release();
    ObjectDestroyed();
}

// --- IUnknown -----------------------------------------------------------------------

STDMETHODIMP ExplorerCommand::QueryInterface(REFIID riid, void** ppv) {
    static const QITAB interfaces[] = {
        QITABENT(ExplorerCommand, IExplorerCommand),
        QITABENT(ExplorerCommand, IObjectWithSite),
        {nullptr, 0},
    };
    return QISearch(this, interfaces, riid, ppv);
}

STDMETHODIMP_(ULONG) ExplorerCommand::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refCount)); }

STDMETHODIMP_(ULONG) ExplorerCommand::Release() {
    const LONG count = InterlockedDecrement(&refCount);
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
}

// --- The listing ----------------------------------------------------------------------

bool ExplorerCommand::EnsureListing(IShellItemArray* items) {
    if (listing != nullptr && items == listedFor.Get()) return true;
    if (listing != nullptr) {
        listing->Release();
        listing = nullptr;
    }
    listedFor.Reset();
    DWORD count = 0;
    if (items != nullptr && FAILED(items->GetCount(&count))) count = 0;
    ContextMenuExtension* made = nullptr;
    if (count == 0) {
        // No item: the menu is for the background of a folder window or of
        // the desktop (the shell gives no array, or an empty one). The
        // folder is the one the window shows; without it nothing is offered.
        PIDLIST_ABSOLUTE folder = SiteFolder(site.Get());
        if (folder == nullptr) return false;
        made = new (std::nothrow) ContextMenuExtension;
        if (made != nullptr) made->Initialize(folder, nullptr, nullptr);
        ILFree(folder);
    } else {
        SelectionDropList* drop = SelectionDropList::FromItems(items);
        if (drop == nullptr) return false;
        made = new (std::nothrow) ContextMenuExtension;
        if (made != nullptr) made->Initialize(nullptr, drop, nullptr);
        drop->Release();
    }
    if (made == nullptr) return false;
    // The shell hands a command object the shortcut itself, not its target:
    // shortcuts stand for themselves, as in the classic menu outside
    // CMF_VERBSONLY.
    made->ListFlatActions(false);
    if (items != nullptr) {
        items->AddRef();
        *listedFor.Receive() = items;
    }
    listing = made;
    return true;
}

int32_t ExplorerCommand::BuildSubCommands(ExplorerCommandList& commands) {
    if (listing == nullptr) return 0;
    const int32_t count = listing->menu.itemCount;
    int32_t made = 0;
    // One subcommand per menu item, in menu order: the shell shows one level
    // only, so a submenu is a disabled heading before its own actions.
    for (int32_t k = 0; k < count && made < kMaxSubCommands; ++k) {
        ExplorerCommand* command = new (std::nothrow) ExplorerCommand;
        if (command == nullptr) break;
        listing->AddRef();
        command->listing = listing;
        command->offset = k;
        if (commands.Add(command)) ++made;
    }
    if (count == 0) {
        // As the classic submenu: a disabled "(Too many files)" whatever the
        // settings say, "(Empty)" unless an empty submenu is hidden (then the
        // root is hidden and not asked).
        const bool hideEmpty = listing->menu.settings->HideEmpty != 0;
        if (listing->tooManyFiles || !hideEmpty) {
            ExplorerCommand* command = new (std::nothrow) ExplorerCommand;
            if (command != nullptr) {
                command->placeholder = listing->tooManyFiles ? kTooManyItemText : kEmptyItemText;
                command->offset = 0;
                if (commands.Add(command)) ++made;
            }
        }
    }
    return made;
}

// --- IExplorerCommand ---------------------------------------------------------------

STDMETHODIMP ExplorerCommand::GetTitle(IShellItemArray* items, LPWSTR* out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (placeholder != nullptr) return SHStrDupW(placeholder, out);
    if (offset >= 0) {
        if (listing == nullptr || offset >= listing->menu.itemCount) return E_FAIL;
        return DupUtf8(listing->menu.items[offset]->displayName.Text(), out);
    }
    EnsureListing(items);
    return DupUtf8(MenuCaption(listing != nullptr ? *listing->menu.settings : DefaultCatalogueSettings()), out);
}

STDMETHODIMP ExplorerCommand::GetIcon(IShellItemArray*, LPWSTR* out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    wchar_t path[MAX_PATH + 16] = {};
    if (offset < 0) {
        if (instanceHandle == nullptr) return E_FAIL;
        const DWORD length = GetModuleFileNameW(instanceHandle, path, MAX_PATH);
        if (length == 0 || length >= MAX_PATH || !PathRemoveFileSpecW(path) ||
            wnsprintfW(path + lstrlenW(path), 32, L"\\Zentprops.exe,0") <= 0) {
            return E_FAIL;
        }
        return SHStrDupW(path, out);
    }
    if (placeholder != nullptr || listing == nullptr || offset >= listing->menu.itemCount) return E_FAIL;
    const ActionItem& item = *listing->menu.items[offset];
    if (!(item.IsSubmenu() ? FolderIconPath(item.shortcutPath.Text(), path, MAX_PATH + 16)
                           : ShortcutIconPath(item.shortcutPath.Text(), path, MAX_PATH + 16))) {
        return E_FAIL;
    }
    return SHStrDupW(path, out);
}

STDMETHODIMP ExplorerCommand::GetToolTip(IShellItemArray*, LPWSTR* out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (placeholder != nullptr || offset < 0 || listing == nullptr || offset >= listing->menu.itemCount)
        return E_NOTIMPL;
    wchar_t text[kToolTipCapacity] = {};
    listing->GetCommandString(static_cast<UINT_PTR>(offset), GCS_HELPTEXTW, nullptr, reinterpret_cast<LPSTR>(text),
                              kToolTipCapacity);
    if (text[0] == 0) return E_NOTIMPL;
    return SHStrDupW(text, out);
}

STDMETHODIMP ExplorerCommand::GetCanonicalName(GUID* out) {
    if (out == nullptr) return E_POINTER;
    *out = offset < 0 ? kExplorerCommandClassId : GUID_NULL;
    return S_OK;
}

STDMETHODIMP ExplorerCommand::GetState(IShellItemArray* items, BOOL okToBeSlow, EXPCMDSTATE* out) {
    if (out == nullptr) return E_POINTER;
    *out = ECS_ENABLED;
    if (placeholder != nullptr) {
        *out = ECS_DISABLED;
        return S_OK;
    }
    if (offset >= 0) {
        // As the classic menu: a missing program is greyed; a heading runs nothing.
        if (listing != nullptr && offset < listing->menu.itemCount &&
            (listing->menu.items[offset]->IsSubmenu() || listing->menu.items[offset]->ProgramMissing())) {
            *out = ECS_DISABLED;
        }
        return S_OK;
    }
    // The first load reads the whole library folder: not on a call that
    // must be quick; the shell asks again with okToBeSlow.
    if (!okToBeSlow && !CatalogueLoadedOnce()) return E_PENDING;
    if (!EnsureListing(items)) {
        *out = ECS_HIDDEN;
        return S_OK;
    }
    if (listing->menu.itemCount == 0 && !listing->tooManyFiles && listing->menu.settings->HideEmpty != 0)
        *out = ECS_HIDDEN;
    return S_OK;
}

STDMETHODIMP ExplorerCommand::Invoke(IShellItemArray*, IBindCtx*) {
    if (offset < 0 || placeholder != nullptr || listing == nullptr) return E_NOTIMPL;
    HWND owner = nullptr;
    if (site && FAILED(IUnknown_GetWindow(site.Get(), &owner))) owner = nullptr;
    CMINVOKECOMMANDINFO info = {};
    info.cbSize = sizeof info;
    info.hwnd = owner;
    info.lpVerb = MAKEINTRESOURCEA(offset);
    info.nShow = SW_SHOWNORMAL;
    return listing->InvokeCommand(&info);
}

STDMETHODIMP ExplorerCommand::GetFlags(EXPCMDFLAGS* out) {
    if (out == nullptr) return E_POINTER;
    *out = offset < 0 ? ECF_HASSUBCOMMANDS : ECF_DEFAULT;
    return S_OK;
}

STDMETHODIMP ExplorerCommand::EnumSubCommands(IEnumExplorerCommand** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (offset >= 0) return E_NOTIMPL;
    ExplorerCommandList* list = ExplorerCommandList::Create(kMaxSubCommands);
    if (list == nullptr) return E_OUTOFMEMORY;
    BuildSubCommands(*list);
    *out = list;
    return S_OK;
}

// --- IObjectWithSite ----------------------------------------------------------------

STDMETHODIMP ExplorerCommand::SetSite(IUnknown* unknown) {
    site.Reset();
    if (unknown != nullptr) {
        unknown->AddRef();
        *site.Receive() = unknown;
    }
    return S_OK;
}

STDMETHODIMP ExplorerCommand::GetSite(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (!site) return E_FAIL;
    return site->QueryInterface(riid, ppv);
}

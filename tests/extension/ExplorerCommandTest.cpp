// The Windows 11 command objects of Zentrik.dll against its classic menu: a
// copy of the built library in a library folder of the test's own, both
// classes taken from its DllGetClassObject, the selection given to the
// commands as the shell gives it (SHCreateShellItemArrayFromIDLists) and to
// the classic object as the shell's data object; a folder's background given
// to the commands as no selection and a site showing that folder, to the
// classic object as the folder's ID list.
#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "tests/extension/ExtensionTestSupport.h"
#include "tests/testsupport/Platform.h"
#include "toolkit/ClassId.h"

namespace {

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using CanUnloadNowFn = HRESULT(STDAPICALLTYPE*)();

std::string Narrow(const wchar_t* text) {
    if (text == nullptr) return "(none)";
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n - 1 : 0, '\0');
    if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], n, nullptr, nullptr);
    return out;
}

// The CoTaskMem text `get` hands out, taken over: its UTF-8 form, "(none)"
// for a failure.
template <class Get>
std::string Take(Get get) {
    wchar_t* text = nullptr;
    const HRESULT hr = get(&text);
    std::string out = SUCCEEDED(hr) ? Narrow(text) : "(none)";
    CoTaskMemFree(text);
    return out;
}

// The settings section of the user the test runs as.
std::string Section() {
    char user[256];
    DWORD size = sizeof user;
    return GetUserNameA(user, &size) ? std::string("[options.") + user + "]\n" : "[options]\n";
}

IShellItemArray* ItemArray(const std::vector<std::string>& files) {
    std::vector<PIDLIST_ABSOLUTE> ids;
    for (const std::string& f : files) ids.push_back(ILCreateFromPathW(WidePath(f).c_str()));
    IShellItemArray* items = nullptr;
    if (FAILED(SHCreateShellItemArrayFromIDLists(static_cast<UINT>(ids.size()),
                                                 const_cast<PCIDLIST_ABSOLUTE_ARRAY>(ids.data()), &items))) {
        items = nullptr;
    }
    for (PIDLIST_ABSOLUTE id : ids) ILFree(id);
    return items;
}

// Whether the icon path "file,index" (the form the shell takes from a
// command) gives an icon.
bool IconLoads(const std::string& iconPath) {
    const size_t comma = iconPath.rfind(',');
    if (comma == std::string::npos) return false;
    HICON icon = nullptr;
    if (SHDefExtractIconW(WidePath(iconPath.substr(0, comma)).c_str(), std::atoi(iconPath.c_str() + comma + 1), 0,
                          &icon, nullptr, 16) != S_OK || icon == nullptr) {
        return false;
    }
    DestroyIcon(icon);
    return true;
}

// A menu site as the shell gives one: its top-level browser service is the
// browser of the window the menu is for. Wine's ExplorerBrowser is a real
// browser with a real folder view but offers no services itself, so this
// site hands it out. On the stack; the counts only check the balance.
class BrowserSite final : public IServiceProvider {
public:
    explicit BrowserSite(IUnknown* browser) : browser(browser) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IServiceProvider)) return E_NOINTERFACE;
        *ppv = static_cast<IServiceProvider*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++references); }
    STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(--references); }
    STDMETHODIMP QueryService(REFGUID service, REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        return IsEqualGUID(service, SID_STopLevelBrowser) ? browser->QueryInterface(riid, ppv) : E_NOINTERFACE;
    }
    long references = 0;  // held by others

private:
    IUnknown* browser;
};

// What one menu offers, as lines comparable between the two kinds: the
// entry's state and caption, then per item its title, tool tip (status
// text) and enabled state.
struct Listing {
    std::string entry;                  // "hidden", or "shown <caption>"
    std::vector<std::string> items;     // "<title> | <status text> | enabled|disabled"
    std::vector<std::string> icons;     // command objects only: the icon paths
};

class ExplorerCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(library.Valid());
        ASSERT_TRUE(library.MakeGroup("EXT.txt"));
        ASSERT_TRUE(library.MakeGroup("EXT.png"));
        ASSERT_TRUE(library.MakeGroup("EXT.txt.png"));
        ASSERT_TRUE(library.AddRecorder("EXT.txt.png", "Both", "--both"));
        ASSERT_TRUE(library.AddRecorder("EXT.txt", "Text tool.(20)", "--text"));
        ASSERT_TRUE(library.AddRecorder("EXT.txt", "Another.(10)"));
        ASSERT_TRUE(library.MakeGroup("DIR"));
        ASSERT_TRUE(library.AddRecorder("DIR", "Folder tool"));
        ASSERT_TRUE(library.MakeGroup("EXT.log\\Convert"));
        ASSERT_TRUE(library.AddRecorder("EXT.log\\Convert", "To pdf"));
        ASSERT_TRUE(library.AddRecorder("EXT.log", "Plain"));
        ASSERT_TRUE(library.MakeGroup("BACKGROUND"));
        ASSERT_TRUE(library.AddRecorder("BACKGROUND", "Here tool", "--here"));
        ShortcutSpec withIcon;
        withIcon.target = RecorderPath();
        withIcon.iconPath = "C:\\windows\\system32\\shell32.dll";
        withIcon.iconIndex = 3;
        ASSERT_EQ(S_OK, WriteShortcut(library / "EXT.png\\Image tool.lnk", withIcon));
        ASSERT_TRUE(library.WriteSettings(Section() + "UseMenuName=1\nMenuName=My actions\n"));
        files = {library.AddFile("a.txt"), library.AddFile("b.png"), library.AddFile("c.zip"), library / "docs",
                 library.AddFile("d.log")};
        ASSERT_TRUE(CreateDirectoryA(files[3].c_str(), nullptr));
        dllPath = library.CopyLibrary();
        ASSERT_FALSE(dllPath.empty());
        module = LoadLibraryA(dllPath.c_str());
        ASSERT_NE(nullptr, module);
        getClassObject =
            reinterpret_cast<GetClassObjectFn>(reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
        canUnloadNow =
            reinterpret_cast<CanUnloadNowFn>(reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
        ASSERT_NE(nullptr, getClassObject);
        ASSERT_NE(nullptr, canUnloadNow);
    }
    void TearDown() override {
        if (module != nullptr) {
            EXPECT_EQ(S_OK, canUnloadNow()) << "every object was released";
            FreeLibrary(module);
        }
    }

    template <class I>
    I* Create(const CLSID& clsid, const IID& iid) {
        IClassFactory* factory = nullptr;
        if (FAILED(getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) return nullptr;
        I* object = nullptr;
        if (FAILED(factory->CreateInstance(nullptr, iid, reinterpret_cast<void**>(&object)))) object = nullptr;
        factory->Release();
        return object;
    }

    // The classic menu for `selection`, or for the background of `folder`
    // when given; `menuOut` keeps it for an invocation when given.
    Listing Classic(const std::vector<std::string>& selection, IContextMenu** menuOut = nullptr,
                    PCIDLIST_ABSOLUTE folder = nullptr) {
        Listing out;
        IShellExtInit* init = Create<IShellExtInit>(kExtensionClassId, IID_IShellExtInit);
        IDataObject* data = folder == nullptr ? ShellDataObject(selection) : nullptr;
        if (init == nullptr || (folder == nullptr && data == nullptr)) return out;
        init->Initialize(folder, data, nullptr);
        if (data != nullptr) data->Release();
        IContextMenu* menu = nullptr;
        init->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu));
        init->Release();
        HMENU popup = CreatePopupMenu();
        const HRESULT used = menu->QueryContextMenu(popup, 0, 1, 0x7FFF, CMF_NORMAL);
        out.entry = "hidden";
        HMENU sub = GetSubMenu(popup, 0);
        if (sub != nullptr) {
            wchar_t caption[128] = {};
            GetMenuStringW(popup, 0, caption, 128, MF_BYPOSITION);
            out.entry = "shown " + Narrow(caption);
            // A submenu is listed as the one level of the command objects
            // shows it: a disabled heading, then its own items.
            std::function<void(HMENU)> list = [&](HMENU from) {
                for (int k = 0; k < GetMenuItemCount(from); ++k) {
                    MENUITEMINFOW info = {};
                    info.cbSize = sizeof info;
                    info.fMask = MIIM_STATE | MIIM_ID | MIIM_FTYPE | MIIM_SUBMENU;
                    GetMenuItemInfoW(from, static_cast<UINT>(k), TRUE, &info);
                    const bool enabled = (info.fState & MFS_GRAYED) == 0;
                    wchar_t title[300] = {}, help[300] = {};
                    if (enabled) {
                        menu->GetCommandString(info.wID - 1, GCS_VERBW, nullptr, reinterpret_cast<LPSTR>(title), 300);
                        menu->GetCommandString(info.wID - 1, GCS_HELPTEXTW, nullptr, reinterpret_cast<LPSTR>(help),
                                               300);
                    } else {
                        GetMenuStringW(from, static_cast<UINT>(k), title, 300, MF_BYPOSITION);
                    }
                    out.items.push_back(Narrow(title) + " | " + (enabled ? Narrow(help) : "(none)") + " | " +
                                        (enabled && info.hSubMenu == nullptr ? "enabled" : "disabled"));
                    if (info.hSubMenu != nullptr) list(info.hSubMenu);
                }
            };
            list(sub);
        }
        EXPECT_TRUE(SUCCEEDED(used));
        DestroyMenu(popup);
        if (menuOut != nullptr) {
            *menuOut = menu;
        } else {
            menu->Release();
        }
        return out;
    }

    // The command line the first item of the classic `menu` starts, as
    // recorded in `record`; releases `menu`.
    static std::string FirstItemsLine(IContextMenu* menu, const std::string& record) {
        UseRecordFile(record);
        CMINVOKECOMMANDINFO info = {};
        info.cbSize = sizeof info;
        info.lpVerb = MAKEINTRESOURCEA(0);
        EXPECT_EQ(S_OK, menu->InvokeCommand(&info));
        menu->Release();
        return WaitForRecordedCommandLine(record);
    }

    // The command objects for `items` with `site`; `subOut` keeps the
    // subcommands.
    Listing Commands(IShellItemArray* items, std::vector<IExplorerCommand*>* subOut = nullptr,
                     IUnknown* site = nullptr) {
        Listing out;
        IExplorerCommand* root = Create<IExplorerCommand>(kExplorerCommandClassId, IID_IExplorerCommand);
        if (root == nullptr) return out;
        IObjectWithSite* withSite = nullptr;
        if (site != nullptr && SUCCEEDED(root->QueryInterface(IID_IObjectWithSite, reinterpret_cast<void**>(&withSite)))) {
            withSite->SetSite(site);
            withSite->Release();
        }
        EXPCMDSTATE state = 0;
        EXPECT_EQ(S_OK, root->GetState(items, TRUE, &state));
        EXPCMDFLAGS flags = 0;
        EXPECT_EQ(S_OK, root->GetFlags(&flags));
        EXPECT_EQ(static_cast<EXPCMDFLAGS>(ECF_HASSUBCOMMANDS), flags);
        out.entry = state == ECS_HIDDEN ? "hidden"
                                        : "shown " + Take([&](wchar_t** t) { return root->GetTitle(items, t); });
        IEnumExplorerCommand* list = nullptr;
        if (state != ECS_HIDDEN && SUCCEEDED(root->EnumSubCommands(&list))) {
            IExplorerCommand* sub = nullptr;
            ULONG fetched = 0;
            while (list->Next(1, &sub, &fetched) == S_OK && fetched == 1) {
                EXPCMDSTATE subState = 0;
                sub->GetState(items, TRUE, &subState);
                std::string line = Take([&](wchar_t** t) { return sub->GetTitle(items, t); });
                line += " | " + Take([&](wchar_t** t) { return sub->GetToolTip(items, t); });
                line += subState == ECS_ENABLED ? " | enabled" : " | disabled";
                out.items.push_back(line);
                out.icons.push_back(Take([&](wchar_t** t) { return sub->GetIcon(items, t); }));
                if (subOut != nullptr) {
                    subOut->push_back(sub);
                } else {
                    sub->Release();
                }
            }
            list->Release();
        }
        root->Release();
        return out;
    }

    ComApartment apartment;
    ActionLibrary library;
    std::vector<std::string> files;  // a.txt, b.png, c.zip, the folder docs, d.log
    std::string dllPath;
    HMODULE module = nullptr;
    GetClassObjectFn getClassObject = nullptr;
    CanUnloadNowFn canUnloadNow = nullptr;
};

TEST_F(ExplorerCommandTest, CommandsListWhatTheClassicMenuListsForEachSelection) {
    IShellItemArray* first = ItemArray({files[0]});
    ASSERT_NE(nullptr, first);
    {
        // Before anything loaded the catalogue, a quick answer is refused.
        IExplorerCommand* root = Create<IExplorerCommand>(kExplorerCommandClassId, IID_IExplorerCommand);
        ASSERT_NE(nullptr, root);
        EXPCMDSTATE state = 0;
        EXPECT_EQ(E_PENDING, root->GetState(first, FALSE, &state));
        root->Release();
    }
    const std::string recorderIcon = RecorderPath() + ",0";
    const std::string shellIcon = "C:\\windows\\system32\\shell32.dll,3";
    // Per selection the number of lines the classic menu lists (a check of
    // the fixture: every group matching all files gives its actions; a
    // submenu is a heading line and its own lines).
    const struct {
        std::vector<std::string> selection;
        size_t actions;
    } cases[] = {
        {{files[0]}, 3}, {{files[1]}, 2}, {{files[0], files[1]}, 1}, {{files[2]}, 0}, {{files[1], files[2]}, 0},
        {{files[3]}, 1}, {{files[3], files[0]}, 0}, {{files[4]}, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.selection.size() == 1 ? c.selection[0] : c.selection[0] + " +");
        const Listing classic = Classic(c.selection);
        IShellItemArray* items = ItemArray(c.selection);
        ASSERT_NE(nullptr, items);
        const Listing commands = Commands(items);
        items->Release();
        // The table, for the record: selection, then both listings.
        std::string names;
        for (const std::string& f : c.selection) names += " " + f.substr(f.rfind('\\') + 1);
        std::printf("selection%s\n  classic:  %s\n  commands: %s\n", names.c_str(), classic.entry.c_str(),
                    commands.entry.c_str());
        for (size_t k = 0; k < classic.items.size() || k < commands.items.size(); ++k) {
            std::printf("  classic:  %s\n  commands: %s  [icon %s]\n",
                        k < classic.items.size() ? classic.items[k].c_str() : "-",
                        k < commands.items.size() ? commands.items[k].c_str() : "-",
                        k < commands.icons.size() ? commands.icons[k].c_str() : "-");
        }
        EXPECT_EQ(c.actions, classic.items.size());
        EXPECT_EQ(classic.entry, commands.entry);
        EXPECT_EQ(classic.items, commands.items);
        ASSERT_EQ(commands.items.size(), commands.icons.size());
        for (size_t k = 0; k < commands.items.size(); ++k) {
            if (commands.items[k].rfind("Convert |", 0) == 0) {
                // A heading has its folder's icon, wherever the shell keeps it.
                EXPECT_TRUE(IconLoads(commands.icons[k])) << commands.icons[k];
                continue;
            }
            const bool image = commands.items[k].rfind("Image tool |", 0) == 0;
            EXPECT_EQ(image ? shellIcon : recorderIcon, commands.icons[k]) << commands.items[k];
        }
    }
    first->Release();
}

TEST_F(ExplorerCommandTest, EmptySubmenuShownWhenNotHiddenAndInvokeStartsTheClassicCommandLine) {
    ASSERT_TRUE(library.WriteSettings(Section() + "HideEmpty=0\n"));
    TempDir records("zkrec");
    const std::string record = records / "record.txt";
    const std::vector<std::string> both = {files[1], files[0]};

    // Nothing matches c.zip: the classic "(Empty)" item, disabled.
    IShellItemArray* zip = ItemArray({files[2]});
    ASSERT_NE(nullptr, zip);
    const Listing empty = Commands(zip);
    zip->Release();
    EXPECT_EQ(Classic({files[2]}).items, empty.items);
    ASSERT_EQ(1u, empty.items.size());

    IContextMenu* menu = nullptr;
    const Listing classic = Classic(both, &menu);
    ASSERT_NE(nullptr, menu);
    ASSERT_EQ(1u, classic.items.size());
    const std::string classicLine = FirstItemsLine(menu, record);
    ASSERT_FALSE(classicLine.empty());

    UseRecordFile(record);
    IShellItemArray* items = ItemArray(both);
    ASSERT_NE(nullptr, items);
    std::vector<IExplorerCommand*> subs;
    const Listing commands = Commands(items, &subs);
    ASSERT_EQ(classic.items, commands.items);
    ASSERT_EQ(1u, subs.size());
    EXPECT_EQ(S_OK, subs[0]->Invoke(items, nullptr));
    EXPECT_EQ(classicLine, WaitForRecordedCommandLine(record));
    for (IExplorerCommand* sub : subs) sub->Release();
    items->Release();
}

TEST_F(ExplorerCommandTest, TheBackgroundListsAndStartsTheSiteFoldersActions) {
    TempDir records("zkrec");
    const std::string record = records / "record.txt";
    PIDLIST_ABSOLUTE folder = ILCreateFromPathW(WidePath(library.Path()).c_str());
    ASSERT_NE(nullptr, folder);
    IContextMenu* menu = nullptr;
    const Listing classic = Classic({}, &menu, folder);
    ASSERT_NE(nullptr, menu);
    ASSERT_EQ(1u, classic.items.size()) << "the fixture's BACKGROUND action";
    const std::string classicLine = FirstItemsLine(menu, record);
    ASSERT_FALSE(classicLine.empty());

    // Without a site there is no folder, so nothing is offered.
    EXPECT_EQ("hidden", Commands(nullptr).entry);

    HWND window = CreateWindowExW(0, L"STATIC", L"folder", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr,
                                  nullptr, nullptr);
    ASSERT_NE(nullptr, window);
    IExplorerBrowser* browser = nullptr;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_ExplorerBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IExplorerBrowser,
                                     reinterpret_cast<void**>(&browser)));
    RECT area = {0, 0, 400, 300};
    FOLDERSETTINGS view = {FVM_DETAILS, 0};
    ASSERT_EQ(S_OK, browser->Initialize(window, &area, &view));
    ASSERT_EQ(S_OK, browser->BrowseToIDList(folder, SBSP_ABSOLUTE));
    BrowserSite site(browser);
    UseRecordFile(record);
    // The shell gives the background as no array (or an empty one, which
    // Wine cannot make).
    std::vector<IExplorerCommand*> subs;
    const Listing commands = Commands(nullptr, &subs, &site);
    EXPECT_EQ(classic.entry, commands.entry);
    EXPECT_EQ(classic.items, commands.items);
    ASSERT_EQ(1u, subs.size());
    EXPECT_EQ(S_OK, subs[0]->Invoke(nullptr, nullptr));
    EXPECT_EQ(classicLine, WaitForRecordedCommandLine(record));
    for (IExplorerCommand* sub : subs) sub->Release();
    EXPECT_EQ(0, site.references) << "every command let go of its site";
    browser->Destroy();
    browser->Release();
    DestroyWindow(window);
    ILFree(folder);
}

}  // namespace

// Zentrik.dll as a COM server: a copy of the built library in a library
// folder of the test's own, loaded with LoadLibraryA and driven through its
// exports only, as the shell does.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "tests/extension/ExtensionTestSupport.h"
#include "toolkit/ClassId.h"
#include "tests/testsupport/Platform.h"

namespace {

const CLSID kOtherClass = {0x5b1e0a42, 0x7c3d, 0x4f19, {0x9a, 0x6e, 0x2d, 0x8c, 0x41, 0xf0, 0xb7, 0xa4}};

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using CanUnloadNowFn = HRESULT(STDAPICALLTYPE*)();

// The library loaded from a folder, with its two exports.
class LoadedLibrary {
public:
    explicit LoadedLibrary(const std::string& path) : module(LoadLibraryA(path.c_str())) {
        if (module == nullptr) return;
        getClassObject =
            reinterpret_cast<GetClassObjectFn>(reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
        canUnloadNow =
            reinterpret_cast<CanUnloadNowFn>(reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
    }
    ~LoadedLibrary() {
        if (module != nullptr) FreeLibrary(module);
    }
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;
    bool Valid() const { return module != nullptr && getClassObject != nullptr && canUnloadNow != nullptr; }

    HMODULE module;
    GetClassObjectFn getClassObject = nullptr;
    CanUnloadNowFn canUnloadNow = nullptr;
};

class ComServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(library.Valid());
        dllPath = library.CopyLibrary();
        ASSERT_FALSE(dllPath.empty());
    }
    ComApartment apartment;
    ActionLibrary library;
    std::string dllPath;
};

TEST_F(ComServerTest, ExportsAreUndecorated) {
    LoadedLibrary dll(dllPath);
    ASSERT_TRUE(dll.Valid());
    EXPECT_EQ(S_OK, dll.canUnloadNow());
}

TEST_F(ComServerTest, ClassObjectRequests) {
    LoadedLibrary dll(dllPath);
    ASSERT_TRUE(dll.Valid());
    const struct {
        const CLSID* clsid;
        const IID* iid;
        HRESULT result;
    } cases[] = {
        {&kExtensionClassId, &IID_IClassFactory, S_OK},
        {&kExtensionClassId, &IID_IUnknown, S_OK},
        {&kExtensionClassId, &IID_IContextMenu, E_NOINTERFACE},
        {&kExtensionClassId, &IID_IClassFactory2, E_NOINTERFACE},
        {&kOtherClass, &IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE},
        {&CLSID_ShellLink, &IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE},
    };
    for (const auto& c : cases) {
        void* out = reinterpret_cast<void*>(1);
        EXPECT_EQ(c.result, dll.getClassObject(*c.clsid, *c.iid, &out));
        if (FAILED(c.result)) {
            EXPECT_EQ(nullptr, out);
            EXPECT_EQ(S_OK, dll.canUnloadNow()) << "no factory is left alive";
            continue;
        }
        ASSERT_NE(nullptr, out);
        IUnknown* unknown = static_cast<IUnknown*>(out);
        EXPECT_EQ(S_FALSE, dll.canUnloadNow());
        // Count 1 after the request: one more AddRef gives 2.
        EXPECT_EQ(2u, unknown->AddRef());
        EXPECT_EQ(1u, unknown->Release());
        IClassFactory* factory = nullptr;
        ASSERT_EQ(S_OK, unknown->QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(&factory)));
        EXPECT_EQ(out, static_cast<void*>(factory)) << "one interface for IUnknown and IClassFactory";
        void* none = reinterpret_cast<void*>(1);
        EXPECT_EQ(E_NOINTERFACE, unknown->QueryInterface(IID_IShellExtInit, &none));
        EXPECT_EQ(nullptr, none);
        EXPECT_EQ(1u, factory->Release());
        EXPECT_EQ(0u, unknown->Release());
        EXPECT_EQ(S_OK, dll.canUnloadNow());
    }
}

TEST_F(ComServerTest, FactoryCreatesObjectsAndUnloadFollowsLiveObjects) {
    LoadedLibrary dll(dllPath);
    ASSERT_TRUE(dll.Valid());
    IClassFactory* factory = nullptr;
    ASSERT_EQ(S_OK, dll.getClassObject(kExtensionClassId, IID_IClassFactory, reinterpret_cast<void**>(&factory)));

    void* out = reinterpret_cast<void*>(1);
    IUnknown* outer = factory;  // any object will do as a would-be outer object
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(outer, IID_IUnknown, &out));
    EXPECT_EQ(nullptr, out);
    out = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IDataObject, &out));
    EXPECT_EQ(nullptr, out);

    IContextMenu* menu = nullptr;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IContextMenu, reinterpret_cast<void**>(&menu)));
    EXPECT_EQ(S_FALSE, dll.canUnloadNow());
    // The object's identity: IUnknown and IShellExtInit are one pointer,
    // IContextMenu, IContextMenu2 and IContextMenu3 another; nothing else is offered.
    IUnknown* unknown = nullptr;
    IShellExtInit* init = nullptr;
    ASSERT_EQ(S_OK, menu->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)));
    ASSERT_EQ(S_OK, menu->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(&init)));
    EXPECT_EQ(static_cast<void*>(unknown), static_cast<void*>(init));
    EXPECT_NE(static_cast<void*>(unknown), static_cast<void*>(menu));
    for (const IID* iid : {&IID_IContextMenu2, &IID_IContextMenu3}) {
        void* same = nullptr;
        EXPECT_EQ(S_OK, init->QueryInterface(*iid, &same));
        EXPECT_EQ(static_cast<void*>(menu), same);
        if (same != nullptr) static_cast<IUnknown*>(same)->Release();
    }
    for (const IID* iid : {&IID_IClassFactory, &IID_IDataObject}) {
        void* none = reinterpret_cast<void*>(1);
        EXPECT_EQ(E_NOINTERFACE, init->QueryInterface(*iid, &none));
        EXPECT_EQ(nullptr, none);
    }
    EXPECT_EQ(4u, init->AddRef());
    EXPECT_EQ(3u, init->Release());
    init->Release();
    unknown->Release();

    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    EXPECT_EQ(0u, factory->Release());
    EXPECT_EQ(S_FALSE, dll.canUnloadNow()) << "the object is still alive";
    EXPECT_EQ(0u, menu->Release());
    EXPECT_EQ(S_OK, dll.canUnloadNow()) << "a server lock does not keep the library";
}

TEST_F(ComServerTest, VersionResource) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(dllPath.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(dllPath.c_str(), 0, size, block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(MAKELONG(6, 6), fixed->dwFileVersionMS);
    EXPECT_EQ(MAKELONG(1, 0), fixed->dwFileVersionLS);
    EXPECT_EQ(MAKELONG(5, 0), fixed->dwProductVersionMS);
    EXPECT_EQ(MAKELONG(1, 0), fixed->dwProductVersionLS);
    const struct {
        const char* key;
        const char* value;
    } strings[] = {
        {"FileDescription", "Zentrik"},
        {"FileVersion", "6, 6, 0, 1"},
        {"InternalName", "Zentrik"},
        {"LegalTrademarks", "Zentrik"},
        {"OriginalFilename", "Zentrik.dll"},
        {"ProductName", "Zentrik Context Menu Extension"},
        {"ProductVersion", "0, 5, 0, 1"},
    };
    for (const auto& s : strings) {
        char* value = nullptr;
        const std::string path = std::string("\\StringFileInfo\\040904b0\\") + s.key;
        ASSERT_TRUE(VerQueryValueA(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &length)) << s.key;
        EXPECT_STREQ(s.value, value);
    }
    char* copyright = nullptr;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\StringFileInfo\\040904b0\\LegalCopyright",
                               reinterpret_cast<void**>(&copyright), &length));
    EXPECT_GT(length, 1u);
}

// --- Loading on one thread, menus on another, unloading on a third ---------------

struct ThreadStep {
    std::string dll;
    HMODULE module;
    HRESULT comAfter;  // what CoInitializeEx asked on the thread right after the step
    double ms;         // how long LoadLibraryA took
};

// Loads the library on a thread without COM, then asks for a multithreaded
// apartment: S_OK unless the library initialised COM on the thread.
DWORD WINAPI LoadOnThread(void* param) {
    auto* p = static_cast<ThreadStep*>(param);
    LARGE_INTEGER frequency, before, after;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&before);
    p->module = LoadLibraryA(p->dll.c_str());
    QueryPerformanceCounter(&after);
    p->ms = 1000.0 * static_cast<double>(after.QuadPart - before.QuadPart) / frequency.QuadPart;
    p->comAfter = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(p->comAfter)) CoUninitialize();
    return 0;
}

// Unloads on a thread with a single-threaded apartment of its own: still
// there afterwards (S_FALSE) unless the library uninitialised it.
DWORD WINAPI UnloadOnThread(void* param) {
    auto* p = static_cast<ThreadStep*>(param);
    const HRESULT mine = CoInitialize(nullptr);
    FreeLibrary(p->module);
    p->comAfter = CoInitialize(nullptr);
    if (SUCCEEDED(p->comAfter)) CoUninitialize();
    if (SUCCEEDED(mine)) CoUninitialize();
    return 0;
}

void RunOnThread(LPTHREAD_START_ROUTINE routine, ThreadStep* step) {
    HANDLE thread = CreateThread(nullptr, 0, routine, step, 0, nullptr);
    ASSERT_NE(nullptr, thread);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 60000));
    CloseHandle(thread);
}

// The library does nothing at load but keep its module: a shortcut that
// cannot be opened while the library loads is read all the same by the first
// menu, and the threads that load and unload the library keep their COM as
// they had it.
TEST_F(ComServerTest, CatalogueLoadsAtFirstUseAndThreadsKeepTheirCom) {
    constexpr int kActions = 20;
    ASSERT_TRUE(library.MakeGroup("EXT"));
    for (int i = 0; i < kActions; ++i) ASSERT_TRUE(library.AddAction("EXT", "Tool " + std::to_string(i), RecorderPath()));
    const std::string file = library.AddFile("doc.txt");
    const std::string locked = library / "EXT\\Tool 0.lnk";
    HANDLE exclusive = CreateFileA(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, exclusive) << locked;

    ThreadStep load = {dllPath, nullptr, E_FAIL, 0};
    RunOnThread(LoadOnThread, &load);
    CloseHandle(exclusive);
    ASSERT_NE(nullptr, load.module);
    EXPECT_EQ(S_OK, load.comAfter) << "the library initialised COM on the thread that loaded it";
    std::printf("LoadLibraryA beside %d shortcuts: %.1f ms\n", kActions, load.ms);

    auto getClassObject = reinterpret_cast<GetClassObjectFn>(
        reinterpret_cast<void*>(GetProcAddress(load.module, "DllGetClassObject")));
    auto canUnloadNow =
        reinterpret_cast<CanUnloadNowFn>(reinterpret_cast<void*>(GetProcAddress(load.module, "DllCanUnloadNow")));
    ASSERT_NE(nullptr, getClassObject);
    ASSERT_NE(nullptr, canUnloadNow);
    for (int menuRound = 0; menuRound < 2; ++menuRound) {
        IClassFactory* factory = nullptr;
        ASSERT_EQ(S_OK, getClassObject(kExtensionClassId, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
        IShellExtInit* init = nullptr;
        ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IShellExtInit, reinterpret_cast<void**>(&init)));
        IDataObject* data = ShellDataObject({file});
        ASSERT_NE(nullptr, data);
        init->Initialize(nullptr, data, nullptr);
        IContextMenu* menu = nullptr;
        ASSERT_EQ(S_OK, init->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu)));
        HMENU popup = CreatePopupMenu();
        EXPECT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, kActions), menu->QueryContextMenu(popup, 0, 1, 0x7FFF, CMF_NORMAL))
            << "the first menu does not show the library as it is on disk";
        DestroyMenu(popup);
        menu->Release();
        init->Release();
        data->Release();
        factory->Release();
    }
    EXPECT_EQ(S_OK, canUnloadNow());

    ThreadStep unload = {dllPath, load.module, E_FAIL, 0};
    RunOnThread(UnloadOnThread, &unload);
    EXPECT_EQ(S_FALSE, unload.comAfter) << "the library uninitialised COM on the thread that unloaded it";
}

// --- Leaks over many menus ---------------------------------------------------------

// Counting wrappers put into the loaded library's import table: every heap
// block, kernel handle, GDI object and hook the library makes or frees goes
// through them. (Wine 8 answers GetGuiResources and GetProcessHandleCount
// with 0, so the platform's own counters cannot be used there.)
namespace counting {

CRITICAL_SECTION lock;
std::set<void*>* blocks;  // heap blocks the library allocated and has not freed
LONG handles, gdiObjects, hooks;
LONG allocations;  // blocks the library allocated while counted

void* (__cdecl* realMalloc)(size_t);
void* (__cdecl* realCalloc)(size_t, size_t);
void* (__cdecl* realRealloc)(void*, size_t);
void (__cdecl* realFree)(void*);
HANDLE(WINAPI* realCreateMutexA)(LPSECURITY_ATTRIBUTES, BOOL, LPCSTR);
BOOL(WINAPI* realCloseHandle)(HANDLE);
BOOL(WINAPI* realCreateProcessW)(LPCWSTR, LPWSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID,
                                 LPCWSTR, LPSTARTUPINFOW, LPPROCESS_INFORMATION);
HANDLE(WINAPI* realFindFirstFileW)(LPCWSTR, LPWIN32_FIND_DATAW);
BOOL(WINAPI* realFindClose)(HANDLE);
HANDLE(WINAPI* realFindFirstChangeNotificationW)(LPCWSTR, BOOL, DWORD);
BOOL(WINAPI* realFindCloseChangeNotification)(HANDLE);
HBITMAP(WINAPI* realCreateBitmap)(int, int, UINT, UINT, const void*);
HDC(WINAPI* realCreateCompatibleDC)(HDC);
HFONT(WINAPI* realCreateFontIndirectW)(const LOGFONTW*);
BOOL(WINAPI* realDeleteObject)(HGDIOBJ);
BOOL(WINAPI* realDeleteDC)(HDC);
HHOOK(WINAPI* realSetWindowsHookExW)(int, HOOKPROC, HINSTANCE, DWORD);
BOOL(WINAPI* realUnhookWindowsHookEx)(HHOOK);

void Track(void* p) {
    InterlockedIncrement(&allocations);
    EnterCriticalSection(&lock);
    blocks->insert(p);
    LeaveCriticalSection(&lock);
}
void Untrack(void* p) {
    EnterCriticalSection(&lock);
    blocks->erase(p);
    LeaveCriticalSection(&lock);
}

void* __cdecl Malloc(size_t n) {
    void* p = realMalloc(n);
    if (p != nullptr) Track(p);
    return p;
}
void* __cdecl Calloc(size_t n, size_t m) {
    void* p = realCalloc(n, m);
    if (p != nullptr) Track(p);
    return p;
}
void* __cdecl Realloc(void* old, size_t n) {
    void* p = realRealloc(old, n);
    if (p != nullptr || n == 0) {
        if (old != nullptr) Untrack(old);
        if (p != nullptr) Track(p);
    }
    return p;
}
void __cdecl Free(void* p) {
    if (p != nullptr) Untrack(p);
    realFree(p);
}
HANDLE WINAPI CreateMutexA_(LPSECURITY_ATTRIBUTES a, BOOL o, LPCSTR n) {
    HANDLE h = realCreateMutexA(a, o, n);
    if (h != nullptr) InterlockedIncrement(&handles);
    return h;
}
BOOL WINAPI CloseHandle_(HANDLE h) {
    BOOL ok = realCloseHandle(h);
    if (ok) InterlockedDecrement(&handles);
    return ok;
}
BOOL WINAPI CreateProcessW_(LPCWSTR a, LPWSTR c, LPSECURITY_ATTRIBUTES p, LPSECURITY_ATTRIBUTES t, BOOL i, DWORD f,
                            LPVOID e, LPCWSTR d, LPSTARTUPINFOW s, LPPROCESS_INFORMATION pi) {
    BOOL ok = realCreateProcessW(a, c, p, t, i, f, e, d, s, pi);
    if (ok) InterlockedExchangeAdd(&handles, 2);  // process and thread
    return ok;
}
HANDLE WINAPI FindFirstFileW_(LPCWSTR n, LPWIN32_FIND_DATAW d) {
    HANDLE h = realFindFirstFileW(n, d);
    if (h != INVALID_HANDLE_VALUE) InterlockedIncrement(&handles);
    return h;
}
BOOL WINAPI FindClose_(HANDLE h) {
    BOOL ok = realFindClose(h);
    if (ok) InterlockedDecrement(&handles);
    return ok;
}
HANDLE WINAPI FindFirstChangeNotificationW_(LPCWSTR n, BOOL s, DWORD f) {
    HANDLE h = realFindFirstChangeNotificationW(n, s, f);
    if (h != INVALID_HANDLE_VALUE) InterlockedIncrement(&handles);
    return h;
}
BOOL WINAPI FindCloseChangeNotification_(HANDLE h) {
    BOOL ok = realFindCloseChangeNotification(h);
    if (ok) InterlockedDecrement(&handles);
    return ok;
}
HBITMAP WINAPI CreateBitmap_(int w, int h, UINT p, UINT b, const void* bits) {
    HBITMAP r = realCreateBitmap(w, h, p, b, bits);
    if (r != nullptr) InterlockedIncrement(&gdiObjects);
    return r;
}
HDC WINAPI CreateCompatibleDC_(HDC dc) {
    HDC r = realCreateCompatibleDC(dc);
    if (r != nullptr) InterlockedIncrement(&gdiObjects);
    return r;
}
HFONT WINAPI CreateFontIndirectW_(const LOGFONTW* f) {
    HFONT r = realCreateFontIndirectW(f);
    if (r != nullptr) InterlockedIncrement(&gdiObjects);
    return r;
}
BOOL WINAPI DeleteObject_(HGDIOBJ o) {
    BOOL ok = realDeleteObject(o);
    if (ok) InterlockedDecrement(&gdiObjects);
    return ok;
}
BOOL WINAPI DeleteDC_(HDC dc) {
    BOOL ok = realDeleteDC(dc);
    if (ok) InterlockedDecrement(&gdiObjects);
    return ok;
}
HHOOK WINAPI SetWindowsHookExW_(int type, HOOKPROC proc, HINSTANCE module, DWORD thread) {
    HHOOK h = realSetWindowsHookExW(type, proc, module, thread);
    if (h != nullptr) InterlockedIncrement(&hooks);
    return h;
}
BOOL WINAPI UnhookWindowsHookEx_(HHOOK h) {
    BOOL ok = realUnhookWindowsHookEx(h);
    if (ok) InterlockedDecrement(&hooks);
    return ok;
}

// The import-table slot of `function` from `dll` in `module`; null when the
// module does not import it by name.
void** FindImport(HMODULE module, const char* dll, const char* function) {
    auto* base = reinterpret_cast<BYTE*>(module);
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (directory.VirtualAddress == 0) return nullptr;
    for (auto* import = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
         import->Name != 0; ++import) {
        if (lstrcmpiA(reinterpret_cast<char*>(base + import->Name), dll) != 0) continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (lstrcmpA(reinterpret_cast<char*>(byName->Name), function) == 0) {
                return reinterpret_cast<void**>(&slots->u1.Function);
            }
        }
    }
    return nullptr;
}

// Puts `wrapper` into the slot and the slot's old target into *real.
template <typename Fn>
bool Patch(HMODULE module, const char* dll, const char* function, Fn wrapper, Fn* real) {
    void** slot = FindImport(module, dll, function);
    if (slot == nullptr) return false;
    DWORD old = 0;
    if (!VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &old)) return false;
    *real = reinterpret_cast<Fn>(*slot);
    *slot = reinterpret_cast<void*>(wrapper);
    VirtualProtect(slot, sizeof(void*), old, &old);
    return true;
}

}  // namespace counting

TEST_F(ComServerTest, NothingGrowsOverAThousandMenusWithFiftyInvocations) {
    using namespace counting;
    ASSERT_TRUE(library.MakeGroup("EXT"));
    for (const char* name : {"Alpha", "Beta", "Gamma"}) ASSERT_TRUE(library.AddRecorder("EXT", name));
    const std::vector<std::string> files = {library.AddFile("one.txt"), library.AddFile("two with space.txt")};
    TempDir records("zkrec");
    UseRecordFile(records / "record.txt");

    LoadedLibrary dll(dllPath);
    ASSERT_TRUE(dll.Valid());
    IClassFactory* factory = nullptr;
    ASSERT_EQ(S_OK, dll.getClassObject(kExtensionClassId, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    IDataObject* data = ShellDataObject(files);
    ASSERT_NE(nullptr, data);

    // One cycle: object, selection, menu, help texts, maybe an invocation,
    // menu destroyed, object released.
    auto cycle = [&](bool invoke) {
        IShellExtInit* init = nullptr;
        ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IShellExtInit, reinterpret_cast<void**>(&init)));
        init->Initialize(nullptr, data, nullptr);
        IContextMenu* menu = nullptr;
        ASSERT_EQ(S_OK, init->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu)));
        HMENU popup = CreatePopupMenu();
        ASSERT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 3), menu->QueryContextMenu(popup, 0, 1, 0x7FFF, CMF_NORMAL));
        HMENU sub = GetSubMenu(popup, 0);
        char text[300];
        for (UINT k = 0; k < 3; ++k) {
            menu->GetCommandString(k, GCS_HELPTEXTA, nullptr, text, sizeof text);
            menu->GetCommandString(k, GCS_VERBA, nullptr, text, sizeof text);
        }
        if (invoke) {
            CMINVOKECOMMANDINFO info = {};
            info.cbSize = sizeof info;
            info.lpVerb = MAKEINTRESOURCEA(1);
            EXPECT_EQ(S_OK, menu->InvokeCommand(&info));
        }
        DestroyMenu(popup);
        EXPECT_FALSE(IsMenu(sub)) << "the submenu goes with the shell's menu";
        menu->Release();
        init->Release();
    };
    // Warm up before counting: whatever the runtime sets up once.
    for (int i = 0; i < 5; ++i) cycle(false);

    InitializeCriticalSection(&lock);
    blocks = new std::set<void*>;
    handles = gdiObjects = hooks = 0;
    HMODULE m = dll.module;
    ASSERT_TRUE(Patch(m, "msvcrt.dll", "malloc", &Malloc, &realMalloc));
    ASSERT_TRUE(Patch(m, "msvcrt.dll", "free", &Free, &realFree));
    Patch(m, "msvcrt.dll", "calloc", &Calloc, &realCalloc);
    Patch(m, "msvcrt.dll", "realloc", &Realloc, &realRealloc);
    ASSERT_TRUE(Patch(m, "kernel32.dll", "CloseHandle", &CloseHandle_, &realCloseHandle));
    ASSERT_TRUE(Patch(m, "kernel32.dll", "CreateProcessW", &CreateProcessW_, &realCreateProcessW));
    Patch(m, "kernel32.dll", "CreateMutexA", &CreateMutexA_, &realCreateMutexA);
    Patch(m, "kernel32.dll", "FindFirstFileW", &FindFirstFileW_, &realFindFirstFileW);
    Patch(m, "kernel32.dll", "FindClose", &FindClose_, &realFindClose);
    Patch(m, "kernel32.dll", "FindFirstChangeNotificationW", &FindFirstChangeNotificationW_,
          &realFindFirstChangeNotificationW);
    Patch(m, "kernel32.dll", "FindCloseChangeNotification", &FindCloseChangeNotification_,
          &realFindCloseChangeNotification);
    ASSERT_TRUE(Patch(m, "gdi32.dll", "CreateBitmap", &CreateBitmap_, &realCreateBitmap));
    ASSERT_TRUE(Patch(m, "gdi32.dll", "CreateCompatibleDC", &CreateCompatibleDC_, &realCreateCompatibleDC));
    ASSERT_TRUE(Patch(m, "gdi32.dll", "DeleteObject", &DeleteObject_, &realDeleteObject));
    ASSERT_TRUE(Patch(m, "gdi32.dll", "DeleteDC", &DeleteDC_, &realDeleteDC));
    Patch(m, "gdi32.dll", "CreateFontIndirectW", &CreateFontIndirectW_, &realCreateFontIndirectW);
    const bool hooked = Patch(m, "user32.dll", "SetWindowsHookExW", &SetWindowsHookExW_, &realSetWindowsHookExW) &&
                        Patch(m, "user32.dll", "UnhookWindowsHookEx", &UnhookWindowsHookEx_, &realUnhookWindowsHookEx);

    constexpr int kCycles = 1000;
    constexpr int kInvocations = 50;
    allocations = 0;
    for (int i = 0; i < kCycles && !HasFatalFailure(); ++i) cycle(i % (kCycles / kInvocations) == 0);
    EnterCriticalSection(&lock);
    const size_t liveBlocks = blocks->size();
    LeaveCriticalSection(&lock);
    std::printf("after %d menus and %d invocations: %zu heap blocks (of %ld allocated), %ld handles, "
                "%ld GDI objects, %ld hooks (hook calls %s)\n",
                kCycles, kInvocations, liveBlocks, static_cast<long>(allocations), static_cast<long>(handles),
                static_cast<long>(gdiObjects), static_cast<long>(hooks), hooked ? "counted" : "not imported");
    EXPECT_EQ(0u, liveBlocks);
    EXPECT_GT(allocations, kCycles) << "the wrappers saw the library's allocations";
    EXPECT_EQ(0, handles);
    EXPECT_EQ(0, gdiObjects);
    EXPECT_EQ(0, hooks);

    data->Release();
    factory->Release();
    EXPECT_EQ(S_OK, dll.canUnloadNow());
    // The wrappers stay in the table until the library is unloaded; the
    // set is left to the process's end.
}

}  // namespace

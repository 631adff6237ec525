// shell_host: plays the shell's part for a right-click on real files, so the
// extension can be exercised where the system shell does not load context
// menu handlers (Wine's does not).
//
// It does what the shell does: takes the shell's own data object for the
// files (SHParseDisplayName -> SHBindToParent -> GetUIObjectOf), creates the
// extension (through the registry with CoCreateInstance when it is
// registered, else from a DLL through its exported DllGetClassObject), calls
// Initialize and QueryContextMenu on a real popup menu, and then, as asked:
// prints the menu tree and help texts, shows the menu with TrackPopupMenu on a
// real window driven by posted keys (the window hands the menu messages
// WM_MENUCHAR, WM_INITMENUPOPUP, WM_MEASUREITEM and WM_DRAWITEM to the
// extension's IContextMenu3 when it has one, as the shell's window does),
// and invokes an item chosen by caption.
//
// Usage:
//   shell_host [options] file...
//     --dll PATH        load the extension from PATH (default: registry, then
//                       Zentrik.dll beside this program)
//     --com             require creation through the registry
//     --flags N         QueryContextMenu flags (default 0, CMF_NORMAL)
//     --first N         first command identifier (default 100)
//     --last N          last command identifier (default 0x7FFF)
//     --invoke CAPTION  invoke the item whose caption is CAPTION
//     --invoke-twice    invoke the chosen item a second time and print the result
//     --track KEYS      show the menu and post KEYS (comma list of down, up,
//                       right, left, return, escape, or a letter a-z typed
//                       as a character) one per --step-ms
//     --step-ms N       delay between posted keys (default 150)
//     --hold-ms N       keep the menu open N ms after the last key (default 0)
//     --screenshot FILE when the hold is over, with the menu still open: save
//                       the screen as a 24-bit .bmp and print the rectangle
//                       of every open menu window ("menu window: l t r b",
//                       innermost last)
//     --accessible      with --screenshot: also print what an accessibility
//                       client reads from each menu window, innermost last
//                       (AccessibleObjectFromWindow, OBJID_CLIENT: "accessible
//                       children: N", then "accessible name k: NAME" or
//                       "accessible name k: failed 0x...")
//     --close-boxes     close message boxes that appear, printing their text;
//                       a question (Yes/No) is answered as --answer says
//     --answer yes|no   the answer to questions (default no)
//     --no-ui           invoke with CMIC_MASK_FLAG_NO_UI
//     --quiet           do not print the menu tree
//     --shell-menu      build the menu as the shell does: the shell folder's
//                       own context menu for the files (GetUIObjectOf with
//                       IID_IContextMenu: Open, Cut, Copy, Delete,
//                       Properties...) first, then the extension's items
//                       merged into the same menu at the end of the shell's
//                       first group, with command identifiers above the
//                       shell's; only the extension's items are invoked
//     --files-utf8 LIST the files are the lines of the UTF-8 text file LIST
//                       (paths of any length); file arguments may then be
//                       left out
//     --own-drop        hand over the files in a wide CF_HDROP drop list of
//                       the host's own, as drag sources other than the
//                       shell's folders do (no cut at MAX_PATH)
//     --background DIR  a right-click on the empty space of folder DIR
//                       ("desktop": of the desktop): Initialize gets the
//                       folder's ID list and no data object; no files
// Arguments are read in UTF-16 and every text it prints is UTF-8: captions,
// verbs and help texts are asked for in their wide forms (GCS_VERBW,
// GCS_HELPTEXTW), message boxes read with GetWindowTextW.
// Exit code: 0 on success, 2 on usage errors, 3 when the extension or the
// data object cannot be had.

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <oleacc.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "toolkit/ClassId.h"
#include "tools/DropListObject.h"
#include "toolkit/Utf8.h"
#include "toolkit/WideConvert.h"

namespace {

struct Options {
    std::string dll;
    bool requireCom = false;
    UINT flags = 0;
    UINT first = 100;
    UINT last = 0x7FFF;
    std::string invoke;
    bool invokeTwice = false;
    std::vector<WPARAM> keys;
    UINT stepMs = 150;
    UINT holdMs = 0;
    std::string screenshot;
    bool accessible = false;
    bool closeBoxes = false;
    bool quiet = false;
    bool shellMenu = false;
    std::vector<std::string> files;  // UTF-8, as every text here
    bool ownDrop = false;
    std::string background;  // folder whose empty space is clicked; empty: a selection of files
    bool answerYes = false;
    bool noUi = false;
};

// Reads the lines of a UTF-8 text file (CR LF or LF) into `lines`.
bool ReadLines(const char* path, std::vector<std::string>& lines) {
    FILE* f = std::fopen(path, "rb");
    if (f == nullptr) return false;
    std::string text;
    char chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) text.append(chunk, got);
    std::fclose(f);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) lines.push_back(line);
        start = end + 1;
    }
    return true;
}

std::wstring Widen(const std::string& text) {
    HeapWide wide;
    AssignUtf16Exact(wide, text.c_str());
    return AsWide(wide.Text());
}

std::string Utf8(const wchar_t* wide) {
    HeapText text;
    AssignUtf8Exact(text, AsUtf16(wide));
    return text.Text();
}

// The extension's text for command `offset` (GCS_VERBW or GCS_HELPTEXTW) in UTF-8.
std::string CommandString(IContextMenu* cm, UINT offset, UINT type) {
    wchar_t text[600] = L"";
    cm->GetCommandString(offset, type, nullptr, reinterpret_cast<LPSTR>(text), 600);
    text[599] = 0;
    return Utf8(text);
}

template <class T>
void SafeRelease(T*& p) {
    if (p != nullptr) {
        p->Release();
        p = nullptr;
    }
}

UINT ParseNumber(const char* text) { return static_cast<UINT>(std::strtoul(text, nullptr, 0)); }

constexpr WPARAM kCharKey = 0x10000;  // a --track entry that is a typed letter, not a virtual key

bool ParseKeys(const char* list, std::vector<WPARAM>& keys) {
    const struct {
        const char* name;
        WPARAM key;
    } names[] = {{"down", VK_DOWN},     {"up", VK_UP},         {"right", VK_RIGHT},
                 {"left", VK_LEFT},     {"return", VK_RETURN}, {"escape", VK_ESCAPE}};
    std::string all = list;
    size_t pos = 0;
    while (pos <= all.size()) {
        size_t comma = all.find(',', pos);
        std::string word = all.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
        bool known = false;
        for (const auto& n : names) {
            if (word == n.name) {
                keys.push_back(n.key);
                known = true;
            }
        }
        // A single letter is typed as a character (WM_CHAR), flagged above
        // the virtual-key range.
        if (!known && word.size() == 1 && word[0] >= 'a' && word[0] <= 'z') {
            keys.push_back(kCharKey | static_cast<WPARAM>(word[0]));
            known = true;
        }
        if (!known) return false;
        if (comma == std::string::npos) break;
        pos = comma + 1;
    }
    return true;
}

bool ParseOptions(const std::vector<std::string>& argv, Options& o) {
    const int argc = static_cast<int>(argv.size());
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i].c_str() : nullptr; };
        const char* v = nullptr;
        if (a == "--dll" && (v = next())) o.dll = v;
        else if (a == "--com") o.requireCom = true;
        else if (a == "--flags" && (v = next())) o.flags = ParseNumber(v);
        else if (a == "--first" && (v = next())) o.first = ParseNumber(v);
        else if (a == "--last" && (v = next())) o.last = ParseNumber(v);
        else if (a == "--invoke" && (v = next())) o.invoke = v;
        else if (a == "--invoke-twice") o.invokeTwice = true;
        else if (a == "--track" && (v = next())) {
            if (!ParseKeys(v, o.keys)) return false;
        } else if (a == "--step-ms" && (v = next())) o.stepMs = ParseNumber(v);
        else if (a == "--hold-ms" && (v = next())) o.holdMs = ParseNumber(v);
        else if (a == "--screenshot" && (v = next())) o.screenshot = v;
        else if (a == "--close-boxes") o.closeBoxes = true;
        else if (a == "--accessible") o.accessible = true;
        else if (a == "--quiet") o.quiet = true;
        else if (a == "--shell-menu") o.shellMenu = true;
        else if (a == "--files-utf8" && (v = next())) {
            if (!ReadLines(v, o.files)) return false;
        } else if (a == "--own-drop") o.ownDrop = true;
        else if (a == "--background" && (v = next())) o.background = v;
        else if (a == "--answer" && (v = next())) {
            if (std::strcmp(v, "yes") != 0 && std::strcmp(v, "no") != 0) return false;
            o.answerYes = std::strcmp(v, "yes") == 0;
        } else if (a == "--no-ui") o.noUi = true;
        else if (a.rfind("--", 0) == 0) return false;
        else o.files.push_back(a);
    }
    return true;
}

// --- The shell's data object ------------------------------------------------------

// A drop list of wide names (tools/DropListObject.h).
HRESULT GetOwnDropList(const std::vector<std::string>& files, IDataObject** out) {
    std::wstring names;
    for (const std::string& file : files) names += Widen(file) + L'\0';
    names += L'\0';
    *out = NewWideDropList(names);
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

// All files must lie in one folder, as in a shell view. With `shellMenu`
// not null, also the folder's own context menu for the same items.
HRESULT GetDataObject(const std::vector<std::string>& files, HWND owner, IDataObject** out,
                      IContextMenu** shellMenu) {
    *out = nullptr;
    if (shellMenu != nullptr) *shellMenu = nullptr;
    std::vector<PIDLIST_ABSOLUTE> absolute;
    std::vector<PCUITEMID_CHILD> children;
    IShellFolder* parent = nullptr;
    HRESULT hr = S_OK;
    for (const std::string& file : files) {
        const std::wstring wide = Widen(file);
        if (wide.empty()) {
            hr = E_INVALIDARG;
            break;
        }
        PIDLIST_ABSOLUTE pidl = nullptr;
        hr = SHParseDisplayName(wide.c_str(), nullptr, &pidl, 0, nullptr);
        if (FAILED(hr)) {
            std::fprintf(stderr, "shell_host: cannot parse %s (0x%08lX)\n", file.c_str(), static_cast<unsigned long>(hr));
            break;
        }
        absolute.push_back(pidl);
        PCUITEMID_CHILD child = nullptr;
        IShellFolder* folder = nullptr;
        hr = SHBindToParent(pidl, IID_IShellFolder, reinterpret_cast<void**>(&folder), &child);
        if (FAILED(hr)) break;
        if (parent == nullptr) {
            parent = folder;
        } else {
            folder->Release();
        }
        children.push_back(child);
    }
    if (SUCCEEDED(hr) && parent != nullptr) {
        hr = parent->GetUIObjectOf(owner, static_cast<UINT>(children.size()), children.data(), IID_IDataObject,
                                   nullptr, reinterpret_cast<void**>(out));
        if (SUCCEEDED(hr) && shellMenu != nullptr) {
            hr = parent->GetUIObjectOf(owner, static_cast<UINT>(children.size()), children.data(), IID_IContextMenu,
                                       nullptr, reinterpret_cast<void**>(shellMenu));
            if (FAILED(hr)) SafeRelease(*out);
        }
    }
    SafeRelease(parent);
    for (PIDLIST_ABSOLUTE p : absolute) CoTaskMemFree(p);
    return hr;
}

// --- The extension ------------------------------------------------------------------

HRESULT CreateExtension(const Options& o, IShellExtInit** out, HMODULE* library) {
    *out = nullptr;
    *library = nullptr;
    if (o.dll.empty()) {
        HRESULT hr = CoCreateInstance(kExtensionClassId, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit,
                                      reinterpret_cast<void**>(out));
        if (SUCCEEDED(hr)) {
            std::printf("created: through the registry (CoCreateInstance)\n");
            return hr;
        }
        if (o.requireCom) {
            std::fprintf(stderr, "shell_host: CoCreateInstance failed (0x%08lX)\n", static_cast<unsigned long>(hr));
            return hr;
        }
    }
    std::string path = o.dll;
    if (path.empty()) {
        wchar_t self[MAX_PATH] = L"";
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        path = Utf8(self);
        path.erase(path.find_last_of("\\/") + 1);
        path += "Zentrik.dll";
    }
    *library = LoadLibraryW(Widen(path).c_str());
    if (*library == nullptr) {
        std::fprintf(stderr, "shell_host: cannot load %s (error %lu)\n", path.c_str(), GetLastError());
        return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
    }
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto get = reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(*library, "DllGetClassObject")));
    if (get == nullptr) return E_NOINTERFACE;
    IClassFactory* factory = nullptr;
    HRESULT hr = get(kExtensionClassId, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (SUCCEEDED(hr)) {
        hr = factory->CreateInstance(nullptr, IID_IShellExtInit, reinterpret_cast<void**>(out));
        factory->Release();
    }
    if (SUCCEEDED(hr)) std::printf("created: from %s (DllGetClassObject)\n", path.c_str());
    return hr;
}

// --- Printing -------------------------------------------------------------------------

std::string FlagText(UINT type, UINT state) {
    std::string s;
    if (type & MFT_OWNERDRAW) s += " ownerdraw";
    if (type & MFT_SEPARATOR) s += " separator";
    if (state & MFS_GRAYED) s += " grayed";
    if (state & MFS_CHECKED) s += " checked";
    return s;
}

void PrintMenu(HMENU menu, IContextMenu* cm, const Options& o, int depth) {
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        wchar_t text[600] = L"";
        MENUITEMINFOW mii = {};
        mii.cbSize = sizeof mii;
        mii.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_DATA | MIIM_STRING | MIIM_CHECKMARKS;
        mii.dwTypeData = text;
        mii.cch = 600;
        if (!GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &mii)) continue;
        std::string caption = Utf8(text);
        if ((mii.fType & MFT_OWNERDRAW) && caption.empty() && cm != nullptr && mii.wID >= o.first) {
            // Owner-drawn items carry no text of their own; the verb is the name.
            caption = CommandString(cm, mii.wID - o.first, GCS_VERBW);
        }
        std::printf("%*s[%d] \"%s\"", depth * 2, "", i, caption.c_str());
        if (mii.hSubMenu != nullptr) {
            std::printf(" popup%s%s\n", FlagText(mii.fType, mii.fState).c_str(),
                        mii.hbmpChecked != nullptr ? " checkbitmap" : "");
            PrintMenu(mii.hSubMenu, cm, o, depth + 1);
            continue;
        }
        std::printf(" id=%u%s", mii.wID, FlagText(mii.fType, mii.fState).c_str());
        if (cm != nullptr && mii.wID >= o.first) {
            std::printf(" help=\"%s\"", CommandString(cm, mii.wID - o.first, GCS_HELPTEXTW).c_str());
        }
        std::printf("\n");
    }
}

// Finds the command identifier of the item captioned `caption` anywhere in the tree.
bool FindCommand(HMENU menu, IContextMenu* cm, const Options& o, UINT* id) {
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        wchar_t text[600] = L"";
        MENUITEMINFOW mii = {};
        mii.cbSize = sizeof mii;
        mii.fMask = MIIM_FTYPE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
        mii.dwTypeData = text;
        mii.cch = 600;
        if (!GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &mii)) continue;
        if (mii.hSubMenu != nullptr) {
            if (FindCommand(mii.hSubMenu, cm, o, id)) return true;
            continue;
        }
        std::string caption = Utf8(text);
        if (caption.empty() && mii.wID >= o.first) caption = CommandString(cm, mii.wID - o.first, GCS_VERBW);
        if (caption == o.invoke) {
            *id = mii.wID;
            return true;
        }
    }
    return false;
}

// --- Unattended driving -------------------------------------------------------------

HWND g_owner = nullptr;
std::vector<WPARAM> g_keys;
size_t g_nextKey = 0;
UINT g_holdMs = 0;
std::string g_screenshot;
bool g_closeBoxes = false;
WPARAM g_answer = IDNO;
bool g_accessible = false;
IContextMenu3* g_menu3 = nullptr;  // the extension's, while its menu is shown; null when it has none

BOOL CALLBACK PrintChildText(HWND child, LPARAM) {
    char cls[64] = "";
    GetClassNameA(child, cls, sizeof cls);
    if (lstrcmpiA(cls, "Static") == 0) {
        wchar_t text[2048] = L"";
        GetWindowTextW(child, text, 2048);
        if (text[0] != 0) std::printf("messagebox text: %s\n", Utf8(text).c_str());
    }
    return TRUE;
}

// Closes the message boxes of this thread, printing caption and text.
BOOL CALLBACK CloseBox(HWND window, LPARAM) {
    char cls[64] = "";
    GetClassNameA(window, cls, sizeof cls);
    if (lstrcmpA(cls, "#32770") != 0 || !IsWindowVisible(window)) return TRUE;
    wchar_t caption[256] = L"";
    GetWindowTextW(window, caption, 256);
    std::printf("messagebox caption: %s\n", Utf8(caption).c_str());
    EnumChildWindows(window, PrintChildText, 0);
    const bool question = GetDlgItem(window, IDYES) != nullptr;
    if (question) std::printf("messagebox answer: %s\n", g_answer == IDYES ? "yes" : "no");
    std::fflush(stdout);
    PostMessageA(window, WM_COMMAND, question ? g_answer : IDOK, 0);
    return TRUE;
}

void CALLBACK BoxTimer(HWND, UINT, UINT_PTR, DWORD) {
    EnumThreadWindows(GetCurrentThreadId(), CloseBox, 0);
}

// Prints the screen rectangle of a visible menu window (class "#32768").
// Popup menus are top-level windows; EnumWindows goes from the top of the
// z-order, so the menu opened last comes first: printed in reverse below.
std::vector<RECT> g_menuWindows;
std::vector<HWND> g_menuHandles;  // the same windows, innermost first
BOOL CALLBACK CollectMenuWindow(HWND window, LPARAM) {
    char cls[16] = "";
    GetClassNameA(window, cls, sizeof cls);
    RECT r;
    if (lstrcmpA(cls, "#32768") == 0 && IsWindowVisible(window) && GetWindowRect(window, &r)) {
        g_menuHandles.push_back(window);
        g_menuWindows.push_back(r);
    }
    return TRUE;
}

// What a screen reader asks a menu window for: its client object's
// children and their names.
void PrintAccessibleNames(HWND menuWindow) {
    IAccessible* object = nullptr;
    HRESULT hr = AccessibleObjectFromWindow(menuWindow, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                            reinterpret_cast<void**>(&object));
    if (FAILED(hr) || object == nullptr) {
        std::printf("accessible object: failed 0x%08lX\n", static_cast<unsigned long>(hr));
        return;
    }
    long children = 0;
    hr = object->get_accChildCount(&children);
    std::printf("accessible children: %ld (0x%08lX)\n", children, static_cast<unsigned long>(hr));
    for (long k = 1; k <= children && k <= 64; ++k) {
        VARIANT child;
        VariantInit(&child);
        child.vt = VT_I4;
        child.lVal = k;
        BSTR name = nullptr;
        hr = object->get_accName(child, &name);
        if (SUCCEEDED(hr) && name != nullptr)
            std::printf("accessible name %ld: %s\n", k, Utf8(name).c_str());
        else
            std::printf("accessible name %ld: failed 0x%08lX\n", k, static_cast<unsigned long>(hr));
        if (name != nullptr) SysFreeString(name);
    }
    object->Release();
}
void PrintMenuWindows() {
    g_menuWindows.clear();
    g_menuHandles.clear();
    EnumWindows(CollectMenuWindow, 0);
    for (size_t i = g_menuWindows.size(); i-- > 0;) {
        const RECT& r = g_menuWindows[i];
        std::printf("menu window: %ld %ld %ld %ld\n", static_cast<long>(r.left), static_cast<long>(r.top),
                    static_cast<long>(r.right), static_cast<long>(r.bottom));
    }
}

// Copies the whole screen into a 24-bit bottom-up DIB and writes it as a .bmp.
bool SaveScreen(const std::string& path) {
    const int w = GetSystemMetrics(SM_CXSCREEN);
    const int h = GetSystemMetrics(SM_CYSCREEN);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    const DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
    info.bmiHeader.biSizeImage = stride * static_cast<DWORD>(h);
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    bool ok = dib != nullptr && screen != nullptr && memory != nullptr;
    if (ok) {
        HGDIOBJ old = SelectObject(memory, dib);
        ok = BitBlt(memory, 0, 0, w, h, screen, 0, 0, SRCCOPY | CAPTUREBLT) != FALSE;
        GdiFlush();
        SelectObject(memory, old);
    }
    if (ok) {
        BITMAPFILEHEADER file = {};
        file.bfType = 0x4D42;  // "BM"
        file.bfOffBits = sizeof file + sizeof info.bmiHeader;
        file.bfSize = file.bfOffBits + info.bmiHeader.biSizeImage;
        HANDLE out = CreateFileW(Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ok = out != INVALID_HANDLE_VALUE;
        if (ok) {
            DWORD written = 0;
            ok = WriteFile(out, &file, sizeof file, &written, nullptr) && written == sizeof file &&
                 WriteFile(out, &info.bmiHeader, sizeof info.bmiHeader, &written, nullptr) &&
                 written == sizeof info.bmiHeader &&
                 WriteFile(out, bits, info.bmiHeader.biSizeImage, &written, nullptr) &&
                 written == info.bmiHeader.biSizeImage;
            CloseHandle(out);
        }
    }
    if (memory != nullptr) DeleteDC(memory);
    if (screen != nullptr) ReleaseDC(nullptr, screen);
    if (dib != nullptr) DeleteObject(dib);
    return ok;
}

void CALLBACK KeyTimer(HWND, UINT, UINT_PTR id, DWORD) {
    if (g_nextKey < g_keys.size()) {
        // The menu's modal loop reads keys from the thread's queue.
        const WPARAM key = g_keys[g_nextKey];
        if ((key & kCharKey) != 0)
            PostMessageA(g_owner, WM_CHAR, key & 0xFFFF, 0);
        else
            PostMessageA(g_owner, WM_KEYDOWN, key, 0);
        ++g_nextKey;
        if (g_nextKey == g_keys.size() && g_holdMs > 0) {
            KillTimer(nullptr, id);
            SetTimer(nullptr, 0, g_holdMs, KeyTimer);
        }
        return;
    }
    KillTimer(nullptr, id);
    if (!g_screenshot.empty()) {
        PrintMenuWindows();
        std::printf("screenshot: %s\n", SaveScreen(g_screenshot) ? g_screenshot.c_str() : "failed");
        // Outermost first, as the menu windows are printed.
        for (size_t i = g_menuHandles.size(); g_accessible && i-- > 0;) PrintAccessibleNames(g_menuHandles[i]);
        std::fflush(stdout);
    }
    // Done: close whatever is still open.
    PostMessageA(g_owner, WM_CANCELMODE, 0, 0);
}

LRESULT CALLBACK OwnerProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (g_menu3 != nullptr &&
        (m == WM_MENUCHAR || m == WM_INITMENUPOPUP || m == WM_MEASUREITEM || m == WM_DRAWITEM)) {
        LRESULT result = 0;
        if (g_menu3->HandleMenuMsg2(m, wp, lp, &result) == S_OK) {
            if (m == WM_MENUCHAR) {
                std::printf("WM_MENUCHAR '%c': 0x%08lX\n", static_cast<char>(LOWORD(wp)), static_cast<unsigned long>(result));
                std::fflush(stdout);
            }
            if (m == WM_MENUCHAR && HIWORD(result) != MNC_IGNORE) return result;
        }
    }
    return DefWindowProcA(w, m, wp, lp);
}

HWND CreateOwnerWindow() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = OwnerProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "ZentrikShellHost";
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    RegisterClassA(&wc);
    return CreateWindowExA(0, wc.lpszClassName, "shell host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 300,
                           nullptr, nullptr, wc.hInstance, nullptr);
}

HRESULT Invoke(IContextMenu* cm, UINT offset, HWND owner, bool noUi) {
    CMINVOKECOMMANDINFO ici = {};
    ici.cbSize = sizeof ici;
    if (noUi) ici.fMask = CMIC_MASK_FLAG_NO_UI;
    ici.hwnd = owner;
    ici.lpVerb = MAKEINTRESOURCEA(offset);
    ici.nShow = SW_SHOWNORMAL;
    return cm->InvokeCommand(&ici);
}

int Run(const Options& o) {
    g_owner = CreateOwnerWindow();
    if (g_owner == nullptr) {
        std::fprintf(stderr, "shell_host: cannot create the owner window\n");
        return 3;
    }
    g_closeBoxes = o.closeBoxes;
    g_answer = o.answerYes ? IDYES : IDNO;
    if (o.closeBoxes) SetTimer(nullptr, 0, 300, BoxTimer);

    IDataObject* data = nullptr;
    IContextMenu* shellMenu = nullptr;
    PIDLIST_ABSOLUTE folder = nullptr;  // the clicked background's folder, as the shell gives it
    HRESULT hr = S_OK;
    if (!o.background.empty()) {
        hr = o.background == "desktop" ? SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, &folder)
                                       : SHParseDisplayName(Widen(o.background).c_str(), nullptr, &folder, 0, nullptr);
    } else if (o.ownDrop) {
        hr = GetOwnDropList(o.files, &data);
    } else {
        hr = GetDataObject(o.files, g_owner, &data, o.shellMenu ? &shellMenu : nullptr);
    }
    if (FAILED(hr)) {
        std::fprintf(stderr, "shell_host: no data object (0x%08lX)\n", static_cast<unsigned long>(hr));
        return 3;
    }
    IShellExtInit* init = nullptr;
    HMODULE library = nullptr;
    hr = CreateExtension(o, &init, &library);
    if (FAILED(hr)) {
        std::fprintf(stderr, "shell_host: no extension (0x%08lX)\n", static_cast<unsigned long>(hr));
        SafeRelease(shellMenu);
        SafeRelease(data);
        CoTaskMemFree(folder);
        return 3;
    }
    IContextMenu* cm = nullptr;
    hr = init->Initialize(folder, data, nullptr);
    std::printf("Initialize: 0x%08lX\n", static_cast<unsigned long>(hr));
    if (SUCCEEDED(hr)) hr = init->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&cm));

    int exitCode = 0;
    HMENU menu = CreatePopupMenu();
    // `eo` is `o` with the extension's first identifier: above the shell's
    // when the shell's own menu comes first.
    Options eo = o;
    UINT position = 0;
    if (shellMenu != nullptr && menu != nullptr) {
        hr = shellMenu->QueryContextMenu(menu, 0, o.first, o.last, o.flags);
        UINT used = SUCCEEDED(hr) ? HRESULT_CODE(hr) : 0;
        std::printf("shell QueryContextMenu: 0x%08lX (%u identifiers)\n", static_cast<unsigned long>(hr), used);
        eo.first = o.first + used;
        // Handlers go after the shell's first group (Open...), as the
        // shell merges them: before its first separator.
        int count = GetMenuItemCount(menu);
        position = count > 0 ? static_cast<UINT>(count) : 0;
        for (int i = 0; i < count; ++i) {
            if (GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & MF_SEPARATOR) {
                position = static_cast<UINT>(i);
                break;
            }
        }
    }
    if (cm != nullptr && menu != nullptr) {
        hr = cm->QueryContextMenu(menu, position, eo.first, o.last, o.flags);
        std::printf("QueryContextMenu: 0x%08lX (%u identifiers)\n", static_cast<unsigned long>(hr),
                    static_cast<unsigned>(HRESULT_CODE(hr)));
        if (shellMenu != nullptr) std::printf("merged: from identifier %u at position %u\n", eo.first, position);
        if (!o.quiet) PrintMenu(menu, cm, eo, 0);

        UINT chosen = 0;
        if (!o.keys.empty()) {
            g_keys = o.keys;
            g_nextKey = 0;
            g_holdMs = o.holdMs;
            g_screenshot = o.screenshot;
            g_accessible = o.accessible;
            if (FAILED(cm->QueryInterface(IID_IContextMenu3, reinterpret_cast<void**>(&g_menu3)))) g_menu3 = nullptr;
            SetTimer(nullptr, 0, o.stepMs, KeyTimer);
            SetForegroundWindow(g_owner);
            chosen = static_cast<UINT>(
                TrackPopupMenu(menu, TPM_RETURNCMD | TPM_LEFTALIGN | TPM_TOPALIGN, 20, 20, 0, g_owner, nullptr));
            std::printf("tracked: chose id %u\n", chosen);
            SafeRelease(g_menu3);
        }
        if (!o.invoke.empty() && !FindCommand(menu, cm, eo, &chosen)) {
            std::printf("invoke: no item captioned \"%s\"\n", o.invoke.c_str());
            exitCode = 1;
        }
        if (chosen >= eo.first) {
            hr = Invoke(cm, chosen - eo.first, g_owner, o.noUi);
            std::printf("InvokeCommand(%u): 0x%08lX\n", chosen - eo.first, static_cast<unsigned long>(hr));
            if (o.invokeTwice) {
                hr = Invoke(cm, chosen - eo.first, g_owner, o.noUi);
                std::printf("InvokeCommand again: 0x%08lX\n", static_cast<unsigned long>(hr));
            }
        } else if (chosen != 0) {
            std::printf("chosen id %u is the shell's own; not invoked\n", chosen);
        }
    }
    if (menu != nullptr) DestroyMenu(menu);
    SafeRelease(cm);
    SafeRelease(init);
    SafeRelease(shellMenu);
    SafeRelease(data);
    CoTaskMemFree(folder);
    DestroyWindow(g_owner);
    if (library != nullptr) {
        using CanUnload = HRESULT(STDAPICALLTYPE*)();
        auto canUnload = reinterpret_cast<CanUnload>(reinterpret_cast<void*>(GetProcAddress(library, "DllCanUnloadNow")));
        if (canUnload != nullptr) std::printf("DllCanUnloadNow: 0x%08lX\n", static_cast<unsigned long>(canUnload()));
        FreeLibrary(library);
    }
    return exitCode;
}

}  // namespace

int main() {
    // The arguments in UTF-16, as the system has them, then in UTF-8.
    std::vector<std::string> args;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 0; wide != nullptr && i < count; ++i) args.push_back(Utf8(wide[i]));
    if (wide != nullptr) LocalFree(wide);
    Options o;
    if (!ParseOptions(args, o) || (o.files.empty() && o.background.empty())) {
        std::fprintf(stderr, "usage: shell_host [--dll PATH] [--com] [--flags N] [--invoke CAPTION] "
                             "[--track KEYS] [--step-ms N] [--hold-ms N] [--screenshot FILE] [--close-boxes] [--quiet] "
                             "[--shell-menu] [--background DIR|desktop] file...\n");
        return 2;
    }
    // The shell's threads are single-threaded apartments.
    HRESULT init = OleInitialize(nullptr);
    int code = Run(o);
    std::fflush(stdout);
    if (SUCCEEDED(init)) OleUninitialize();
    return code;
}

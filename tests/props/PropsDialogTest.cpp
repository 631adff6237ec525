// The settings program driven for real: Zentprops.exe is copied with the
// extension library into a fresh folder, started as a process, and its dialog
// is worked through window messages to its controls. What it stores is read
// back from the registry (this process's view) and from Zentrik.ini beside
// the copied program.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include "props/PropsResources.h"
#include "props/Registration.h"
#include "tests/props/PropsDriver.h"
#include "tests/props/RegistryState.h"
#include "settings/Settings.h"
#include "tests/testsupport/Platform.h"
#include "tests/testsupport/TempDir.h"
#include "toolkit/ClassId.h"
#include "toolkit/Paths.h"

namespace {

const DWORD kStartTimeoutMs = 15000;
// WM_KEYF1: what the system makes of F1 on a window; DefWindowProc turns it
// into WM_HELP for that window, which a control passes to its dialog.
const UINT kKeyF1Message = 0x004D;
const DWORD kExitTimeoutMs = 10000;

std::string UserName() {
    char name[257] = {};  // UNLEN + 1
    DWORD size = sizeof name;
    if (!GetUserNameA(name, &size)) return "";
    return name;
}

// A version string of the library beside the tests, read here on its own.
std::string LibraryVersionString(const char* key) {
    std::string path = ExecutableDirectory() + ZK_PROPS_LIBRARY;
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    std::string block(size, '\0');
    if (size == 0 || !GetFileVersionInfoA(path.c_str(), 0, size, &block[0])) return "";
    void* value = nullptr;
    UINT length = 0;
    std::string query = std::string("\\StringFileInfo\\040904B0\\") + key;
    if (!VerQueryValueA(&block[0], query.c_str(), &value, &length) || value == nullptr) return "";
    return static_cast<const char*>(value);
}

HWND WaitForProgramBox(DWORD processId, HWND dialog, DWORD timeoutMs);
std::string BoxText(HWND box);

// Under Wine no folder is one only administrators may change (see
// props/FolderSecurity.h): the program registers for the current user, in
// the keys read back here.
RegistrationEntries Registered() { return ReadRegistration(OwnView(), RegistrationScope::User); }

class PropsDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder_.Valid());
        program_ = folder_ / "Zentprops.exe";
        ASSERT_TRUE(CopyFileA((ExecutableDirectory() + "Zentprops.exe").c_str(), program_.c_str(), FALSE));
        ASSERT_TRUE(
            CopyFileA((ExecutableDirectory() + ZK_PROPS_LIBRARY).c_str(), (folder_ / "Zentrik.dll").c_str(), FALSE));
        EraseRegistration(OwnView());
        EraseRegistration(OwnView(), RegistrationScope::User);
    }

    // Starts the copy and waits for its dialog. A copy shows its dialog only
    // while no other copy holds the single-copy mutex, so an earlier copy's
    // mutex is waited out first. When no dialog comes, the failure says why:
    // the start itself failing (retried once: measured under Wine, a copy
    // that meets the mutex needs 240 ms or more from the start to its exit,
    // so a test that gave up after 9 ms never ran the program), or the
    // program ending, with its exit code.
    HWND Open(PropsProcess& process) {
        EXPECT_TRUE(WaitUntilNoCopyRuns(kExitTimeoutMs)) << "an earlier copy still holds the single-copy mutex";
        for (int attempt = 1;; ++attempt) {
            DWORD started = GetTickCount();
            if (process.Start(program_)) break;
            DWORD error = GetLastError();
            std::printf("PropsDialogTest: CreateProcessA failed with error %lu after %lu ms (attempt %d)\n", error,
                        GetTickCount() - started, attempt);
            if (attempt == 2) {
                ADD_FAILURE() << "CreateProcessA of " << program_ << " failed with error " << error;
                return nullptr;
            }
            Sleep(500);
        }
        DWORD started = GetTickCount();
        HWND dialog = process.WaitForDialog(kStartTimeoutMs);
        DWORD code = 0;
        if (dialog == nullptr && process.WaitForExit(0, &code)) {
            ADD_FAILURE() << "no dialog: the program ended with exit code " << code << " after "
                          << GetTickCount() - started << " ms";
        }
        return dialog;
    }

    // Apply where the program answers with a message: switching the
    // extension on where it was not registered for the user (it says why it
    // registers for the current user only), or a registration that fails.
    // The box is read and closed; returns its text.
    std::string ApplyAndCloseReason(const PropsProcess& process, HWND dialog) const {
        PostMessageA(dialog, WM_COMMAND, IDC_APPLY, 0);
        HWND box = WaitForProgramBox(process.Id(), dialog, kStartTimeoutMs);
        if (box == nullptr) return "<no message>";
        std::string text = BoxText(box);
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        for (DWORD start = GetTickCount(); IsWindow(box) && GetTickCount() - start < kStartTimeoutMs;) Sleep(20);
        SendMessageA(dialog, WM_NULL, 0, 0);  // the Apply handler has returned
        return text;
    }

    std::string IniFile() const { return folder_ / "Zentrik.ini"; }
    std::string UserSection() const { return "options." + UserName(); }

    // The value of `key`, or "<none>" when the file lacks it.
    std::string Stored(const std::string& section, const char* key) const {
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, IniFile().c_str());
        char value[512] = {};
        GetPrivateProfileStringA(section.c_str(), key, "<none>", value, sizeof value, IniFile().c_str());
        return value;
    }

    void ExpectStoredOptions(const char* gradient, const char* large, const char* button, const char* overlay,
                             const char* useName, const char* hide, const std::string& name) const {
        std::string section = UserSection();
        EXPECT_EQ(Stored(section, "GradientMenuBar"), gradient);
        EXPECT_EQ(Stored(section, "LargeIcon"), large);
        EXPECT_EQ(Stored(section, "ButtonIcon"), button);
        EXPECT_EQ(Stored(section, "LinkOverlay"), overlay);
        EXPECT_EQ(Stored(section, "UseMenuName"), useName);
        EXPECT_EQ(Stored(section, "HideEmpty"), hide);
        EXPECT_EQ(Stored(section, "MenuName"), name);
        EXPECT_EQ(Stored(section, "DefaultOrder"), "<none>");
    }

    SavedRegistration savedRegistration_;  // restored last
    TempDir folder_{"zkprops"};
    std::string program_;
};

TEST_F(PropsDialogTest, OpensCentredWithAboutLinesAndTheStoredState) {
    ASSERT_FALSE(UserName().empty());
    WritePrivateProfileStringA(UserSection().c_str(), "GradientMenuBar", "0", IniFile().c_str());
    WritePrivateProfileStringA(UserSection().c_str(), "LargeIcon", "1", IniFile().c_str());
    WritePrivateProfileStringA(UserSection().c_str(), "UseMenuName", "1", IniFile().c_str());
    WritePrivateProfileStringA(UserSection().c_str(), "MenuName", "Stored Name", IniFile().c_str());
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, IniFile().c_str());
    std::string iniBefore;
    ASSERT_TRUE(ReadWholeFile(IniFile(), &iniBefore));
    SetRegistration(1);
    RegistrationEntries registryBefore = Registered();

    PropsProcess process;
    HWND dialog = Open(process);
    ASSERT_NE(dialog, nullptr);

    RECT work;
    RECT frame;
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0));
    ASSERT_TRUE(GetWindowRect(dialog, &frame));
    LONG width = frame.right - frame.left;
    LONG height = frame.bottom - frame.top;
    EXPECT_EQ(frame.left, (work.left + work.right - width) / 2);
    EXPECT_EQ(frame.top, (work.top + work.bottom - height) / 2);

    EXPECT_EQ(ControlText(dialog, IDC_ABOUT_NAME), "Zentrik Context Menu Extension");
    EXPECT_EQ(ControlText(dialog, IDC_ABOUT_VERSION), "Version 0.5.6");
    std::string copyright = LibraryVersionString("LegalCopyright");
    EXPECT_FALSE(copyright.empty());
    EXPECT_EQ(ControlText(dialog, IDC_ABOUT_COPYRIGHT), copyright);
    EXPECT_EQ(ControlText(dialog, IDC_ABOUT_RIGHTS), "All rights reserved");

    const struct {
        int id;
        bool checked;
    } kExpected[] = {
        {IDC_ENABLE, true},       {IDC_HIDE_EMPTY, true},   {IDC_LARGE_ICON, true},    {IDC_GRADIENT, false},
        {IDC_BUTTON_ICON, true},  {IDC_LINK_OVERLAY, true}, {IDC_USE_MENU_NAME, true},
    };
    for (const auto& box : kExpected) EXPECT_EQ(IsChecked(dialog, box.id), box.checked) << box.id;
    EXPECT_EQ(ControlText(dialog, IDC_MENU_NAME), "Stored Name");
    EXPECT_TRUE(IsEnabled(dialog, IDC_MENU_NAME));
    // Wine 8 reports a build older than Windows 11's 22000: the Windows 11
    // menu does not apply, its box is greyed and unchecked.
    EXPECT_FALSE(IsEnabled(dialog, IDC_WIN11_MENU));
    EXPECT_FALSE(IsChecked(dialog, IDC_WIN11_MENU));
    EXPECT_FALSE(IsEnabled(dialog, IDC_APPLY));

    // Cancel stores nothing: file and registry stay byte for byte.
    Click(dialog, IDC_ENABLE);
    Click(dialog, IDC_LARGE_ICON);
    Click(dialog, IDCANCEL);
    DWORD code = 0;
    ASSERT_TRUE(process.WaitForExit(kExitTimeoutMs, &code));
    EXPECT_EQ(code, 1u);
    std::string iniAfter;
    ASSERT_TRUE(ReadWholeFile(IniFile(), &iniAfter));
    EXPECT_EQ(iniAfter, iniBefore);
    EXPECT_TRUE(Registered() == registryBefore);
}

TEST_F(PropsDialogTest, ApplyIsEnabledExactlyWhileAControlDiffersFromTheStoredState) {
    PropsProcess process;
    HWND dialog = Open(process);
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(IsEnabled(dialog, IDC_APPLY));
    EXPECT_FALSE(IsEnabled(dialog, IDC_MENU_NAME));  // UseMenuName defaults to 0

    const int kBoxes[] = {IDC_ENABLE,  IDC_HIDE_EMPTY,   IDC_LARGE_ICON,    IDC_GRADIENT,
                          IDC_BUTTON_ICON, IDC_LINK_OVERLAY, IDC_USE_MENU_NAME};
    for (int id : kBoxes) {
        bool before = IsChecked(dialog, id);
        Click(dialog, id);
        EXPECT_NE(IsChecked(dialog, id), before) << id;
        EXPECT_TRUE(IsEnabled(dialog, IDC_APPLY)) << id;
        Click(dialog, id);
        EXPECT_FALSE(IsEnabled(dialog, IDC_APPLY)) << id;
    }

    // The edit box counts whether or not it is enabled; the comparison is
    // by length, then byte for byte, with case.
    const struct {
        const char* text;
        bool differs;
    } kTexts[] = {{"Other", true}, {"Zentrik", false}, {"zentrik", true}, {"Zentrik ", true}, {"", true},
                  {"Zentrik", false}};
    for (const auto& row : kTexts) {
        SetControlText(dialog, IDC_MENU_NAME, row.text);
        EXPECT_EQ(IsEnabled(dialog, IDC_APPLY), row.differs) << '"' << row.text << '"';
    }

    // "Use custom menu name" enables the edit box; unchecking it again
    // disables the box but keeps its text.
    SetControlText(dialog, IDC_MENU_NAME, "Kept");
    Click(dialog, IDC_USE_MENU_NAME);
    EXPECT_TRUE(IsEnabled(dialog, IDC_MENU_NAME));
    Click(dialog, IDC_USE_MENU_NAME);
    EXPECT_FALSE(IsEnabled(dialog, IDC_MENU_NAME));
    EXPECT_EQ(ControlText(dialog, IDC_MENU_NAME), "Kept");

    Click(dialog, IDCANCEL);
    DWORD code = 0;
    ASSERT_TRUE(process.WaitForExit(kExitTimeoutMs, &code));
    EXPECT_EQ(code, 1u);
    EXPECT_EQ(GetFileAttributesA(IniFile().c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(ReadRegistration(OwnView()).classKey);
}

TEST_F(PropsDialogTest, ApplyStoresRegistrationAndUserSectionAndCancelKeepsIt) {
    PropsProcess process;
    HWND dialog = Open(process);
    ASSERT_NE(dialog, nullptr);

    SetCheck(dialog, IDC_ENABLE, true);
    SetCheck(dialog, IDC_GRADIENT, false);
    SetCheck(dialog, IDC_LARGE_ICON, true);
    SetCheck(dialog, IDC_USE_MENU_NAME, true);
    SetControlText(dialog, IDC_MENU_NAME, "My Menu");
    ASSERT_TRUE(IsEnabled(dialog, IDC_APPLY));
    EXPECT_NE(ApplyAndCloseReason(process, dialog).find("current user only"), std::string::npos);
    EXPECT_FALSE(IsEnabled(dialog, IDC_APPLY));

    // The registration names the library beside the started program.
    RegistrationEntries entries = Registered();
    EXPECT_TRUE(SameText(entries.className, "Zentrik.dll"));
    EXPECT_TRUE(SameText(entries.serverPath, folder_ / "Zentrik.dll")) << entries.serverPath.data;
    EXPECT_TRUE(SameText(entries.threadingModel, "Apartment"));
    EXPECT_TRUE(SameText(entries.handlerClass, kClassIdText));
    ExpectStoredOptions("0", "1", "1", "1", "1", "1", "My Menu");
    char shared[64];
    EXPECT_EQ(GetPrivateProfileSectionA("options", shared, sizeof shared, IniFile().c_str()), 0u);

    // A half registration (the class key without the handler key) reads as
    // disabled: the checked box differs from it, and Apply writes the
    // entries again although the class key is still there.
    std::string handler = std::string("Software\\Classes\\") + kHandlersKeyPath + "\\" + kHandlerKeyName;
    ASSERT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, handler.c_str()), ERROR_SUCCESS);
    Click(dialog, IDC_ENABLE);
    Click(dialog, IDC_ENABLE);
    EXPECT_TRUE(IsEnabled(dialog, IDC_APPLY));
    Click(dialog, IDC_BUTTON_ICON);
    ApplyAndCloseReason(process, dialog);
    EXPECT_TRUE(SameText(Registered().handlerClass, kClassIdText));
    EXPECT_FALSE(IsEnabled(dialog, IDC_APPLY));
    ExpectStoredOptions("0", "1", "0", "1", "1", "1", "My Menu");

    // Cancel after Apply keeps what Apply stored.
    Click(dialog, IDC_ENABLE);
    Click(dialog, IDC_GRADIENT);
    SetControlText(dialog, IDC_MENU_NAME, "Not stored");
    Click(dialog, IDCANCEL);
    DWORD code = 0;
    ASSERT_TRUE(process.WaitForExit(kExitTimeoutMs, &code));
    EXPECT_EQ(code, 1u);
    EXPECT_TRUE(Registered().classKey);
    ExpectStoredOptions("0", "1", "0", "1", "1", "1", "My Menu");
}

TEST_F(PropsDialogTest, OkStoresUnregistersAndExitsWithZero) {
    SetRegistration(1);
    PropsProcess process;
    HWND dialog = Open(process);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(IsChecked(dialog, IDC_ENABLE));
    Click(dialog, IDC_ENABLE);
    Click(dialog, IDC_HIDE_EMPTY);
    Click(dialog, IDOK);
    DWORD code = 99;
    ASSERT_TRUE(process.WaitForExit(kExitTimeoutMs, &code));
    EXPECT_EQ(code, 0u);
    // Disabled means gone: the class key together with its InprocServer32,
    // and the handler key.
    RegistrationEntries entries = Registered();
    EXPECT_FALSE(entries.classKey);
    EXPECT_FALSE(entries.serverKey);
    EXPECT_FALSE(entries.handlerKey);
    ExpectStoredOptions("1", "0", "1", "1", "0", "0", "Zentrik");

    // Opened again, the dialog shows what OK stored.
    PropsProcess again;
    dialog = Open(again);
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(IsChecked(dialog, IDC_ENABLE));
    EXPECT_FALSE(IsChecked(dialog, IDC_HIDE_EMPTY));
    Click(dialog, IDCANCEL);
    ASSERT_TRUE(again.WaitForExit(kExitTimeoutMs, &code));
}

TEST_F(PropsDialogTest, NameOver63CharactersIsStoredAndShownCutTo63) {
    PropsProcess process;
    HWND dialog = Open(process);
    ASSERT_NE(dialog, nullptr);
    Click(dialog, IDC_USE_MENU_NAME);
    for (size_t length : {64u, 100u, 300u}) {
        std::string name;
        for (size_t i = 0; i < length; ++i) name.push_back(static_cast<char>('a' + i % 26));
        SetControlText(dialog, IDC_MENU_NAME, name);
        Click(dialog, IDC_APPLY);
        EXPECT_EQ(Stored(UserSection(), "MenuName"), name.substr(0, 63)) << length;
        EXPECT_EQ(ControlText(dialog, IDC_MENU_NAME), name.substr(0, 63)) << length;
        EXPECT_FALSE(IsEnabled(dialog, IDC_APPLY)) << length;
    }
    Click(dialog, IDOK);
    DWORD code = 99;
    ASSERT_TRUE(process.WaitForExit(kExitTimeoutMs, &code));
    EXPECT_EQ(code, 0u);
}

// A folder whose name holds Cyrillic, CJK and a character outside every
// code page, holding copies of the program and the library; removed with
// the wide calls (the shared helpers list folders in the ANSI code page).
class UnicodeFolder {
public:
    UnicodeFolder(const std::string& parent, const char* name) : path_(parent + name + "\\") {
        std::wstring wide = WideFromUtf8(path_);
        created_ = CreateDirectoryW(wide.c_str(), nullptr) != FALSE;
        for (const char* file : {"Zentprops.exe", ZK_PROPS_LIBRARY}) {
            std::string to = file == std::string("Zentprops.exe") ? file : "Zentrik.dll";
            copied_ = copied_ && CopyFileW(WideFromUtf8(ExecutableDirectory() + file).c_str(),
                                           WideFromUtf8(path_ + to).c_str(), FALSE);
        }
    }
    ~UnicodeFolder() {
        std::wstring wide = WideFromUtf8(path_);
        WIN32_FIND_DATAW found;
        HANDLE find = FindFirstFileW((wide + L"*").c_str(), &found);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileW((wide + found.cFileName).c_str());
            } while (FindNextFileW(find, &found));
            FindClose(find);
        }
        RemoveDirectoryW(wide.c_str());
    }
    bool Valid() const { return created_ && copied_; }
    std::string operator/(const char* name) const { return path_ + name; }

private:
    std::string path_;  // UTF-8, with the trailing backslash
    bool created_ = false;
    bool copied_ = true;
};

// The InprocServer32 path of this process's view, read with the wide call.
std::wstring RegisteredServerPath() {
    std::wstring key = std::wstring(L"Software\\Classes\\CLSID\\") + WideFromUtf8(kClassIdText) + L"\\InprocServer32";
    HKEY server = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_QUERY_VALUE, &server) != ERROR_SUCCESS) return L"<none>";
    wchar_t data[1024] = {};
    DWORD size = sizeof data - sizeof(wchar_t);
    DWORD type = 0;
    LSTATUS result = RegQueryValueExW(server, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(server);
    if (result != ERROR_SUCCESS || type != REG_SZ) return L"<unreadable>";
    return std::wstring(data, size / sizeof(wchar_t));  // with the stored terminator
}

// Installed in a folder outside the ANSI code page, the program registers
// the library there by its exact path, reads its version lines, and stores
// a menu name in any script whole, cut after 63 characters, where the
// library reads it.
TEST_F(PropsDialogTest, FolderAndMenuNameOutsideTheCodePageAreKeptWhole) {
    UnicodeFolder install(folder_.Path(), "Дмитрий 山田 😀");
    ASSERT_TRUE(install.Valid());

    std::wstring program = WideFromUtf8(install / "Zentprops.exe");
    std::wstring commandLine = L"\"" + program + L"\" /enable /quiet";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    ASSERT_TRUE(CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &started));
    EXPECT_EQ(WaitForSingleObject(started.hProcess, kExitTimeoutMs), WAIT_OBJECT_0);
    DWORD code = 99;
    GetExitCodeProcess(started.hProcess, &code);
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(RegisteredServerPath(), WideFromUtf8(install / "Zentrik.dll") + L'\0');

    PropsProcess process;
    ASSERT_TRUE(process.Start(install / "Zentprops.exe"));
    HWND dialog = process.WaitForDialog(kStartTimeoutMs);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(ControlText(dialog, IDC_ABOUT_VERSION), "Version 0.5.6");
    EXPECT_TRUE(IsChecked(dialog, IDC_ENABLE));
    SetCheck(dialog, IDC_USE_MENU_NAME, true);

    std::string sixtyThree;
    for (int i = 0; i < 21; ++i) sixtyThree += "Я山😀";
    const struct {
        std::string typed;
        std::string stored;
    } kNames[] = {{"Мои действия 😀 山田", "Мои действия 😀 山田"}, {sixtyThree + "😀Я", sixtyThree}};
    for (const auto& row : kNames) {
        SCOPED_TRACE(row.stored);
        SetControlText(dialog, IDC_MENU_NAME, row.typed);
        EXPECT_TRUE(IsEnabled(dialog, IDC_APPLY));
        Click(dialog, IDC_APPLY);
        EXPECT_EQ(ControlText(dialog, IDC_MENU_NAME), row.stored);
        EXPECT_FALSE(IsEnabled(dialog, IDC_APPLY));
        Settings read;
        ReadSettingsFor(read, (install / "Zentrik.ini").c_str(), SettingsScope::Library, CurrentUserName().Text());
        EXPECT_EQ(read.UseMenuName, 1);
        EXPECT_EQ(std::string(read.MenuName.Text()), row.stored);
    }
    Click(dialog, IDOK);
    ASSERT_TRUE(process.WaitForExit(kExitTimeoutMs, &code));
    EXPECT_EQ(code, 0u);
}

TEST_F(PropsDialogTest, SecondCopyExitsAtOnceWithZeroAndShowsNothing) {
    PropsProcess first;
    HWND dialog = Open(first);
    ASSERT_NE(dialog, nullptr);
    PropsProcess second;
    ASSERT_TRUE(second.Start(program_));
    DWORD code = 99;
    ASSERT_TRUE(second.WaitForExit(kExitTimeoutMs, &code));
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(CountPropsDialogs(), 1);
    EXPECT_TRUE(IsWindow(dialog));

    Click(dialog, IDCANCEL);
    ASSERT_TRUE(first.WaitForExit(kExitTimeoutMs, &code));
    EXPECT_EQ(code, 1u);
    // The first copy closed its mutex on the way out: a new copy runs.
    PropsProcess third;
    dialog = Open(third);
    ASSERT_NE(dialog, nullptr);
    Click(dialog, IDCANCEL);
    ASSERT_TRUE(third.WaitForExit(kExitTimeoutMs, &code));
}

// The button opens the program's folder, where the group folders lie, in a
// shell folder window (Wine's explorer.exe, captioned with the folder's name),
// and stores nothing.
TEST_F(PropsDialogTest, OpenActionsFolderShowsTheProgramsFolder) {
    PropsProcess process;
    HWND dialog = Open(process);
    ASSERT_NE(dialog, nullptr);
    std::string folder = folder_.Path().substr(0, folder_.Path().size() - 1);
    std::string name = folder.substr(folder.find_last_of('\\') + 1);
    Click(dialog, IDC_OPEN_FOLDER);
    HWND window = nullptr;
    for (DWORD start = GetTickCount(); window == nullptr && GetTickCount() - start < kStartTimeoutMs; Sleep(50)) {
        window = FindWindowA(nullptr, name.c_str());
    }
    EXPECT_NE(window, nullptr) << name;
    if (window != nullptr) PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsEnabled(dialog, IDC_APPLY));
    Click(dialog, IDCANCEL);
    DWORD code = 99;
    ASSERT_TRUE(process.WaitForExit(kExitTimeoutMs, &code));
    EXPECT_EQ(code, 1u);
    EXPECT_EQ(GetFileAttributesA(IniFile().c_str()), INVALID_FILE_ATTRIBUTES);
}

// A top-level window of `processId` captioned "Zentrik Properties" other
// than `dialog` (a message box of the program), waited for up to `timeoutMs`.
struct BoxSearch {
    DWORD processId;
    HWND dialog;
    HWND found;
};
BOOL CALLBACK FindProgramBox(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<BoxSearch*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char caption[64] = {};
    GetWindowTextA(window, caption, sizeof caption);
    if (owner != search->processId || window == search->dialog || lstrcmpA(caption, kPropsCaption) != 0) return TRUE;
    if (!IsWindowVisible(window)) return TRUE;
    search->found = window;
    return FALSE;
}
HWND WaitForProgramBox(DWORD processId, HWND dialog, DWORD timeoutMs) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < timeoutMs; Sleep(50)) {
        BoxSearch search{processId, dialog, nullptr};
        EnumWindows(FindProgramBox, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) return search.found;
    }
    return nullptr;
}
BOOL CALLBACK AppendStaticText(HWND child, LPARAM context) {
    char text[512] = {};
    GetWindowTextA(child, text, sizeof text);
    *reinterpret_cast<std::string*>(context) += text;
    return TRUE;
}
std::string BoxText(HWND box) {
    std::string text;
    EnumChildWindows(box, AppendStaticText, reinterpret_cast<LPARAM>(&text));
    return text;
}

// In a folder everyone may change (Wine: the Unix bits 0777, set through
// SetNamedSecurityInfo), Apply registers for the current user only and the
// dialog says why.
TEST_F(PropsDialogTest, ApplyInAFolderOpenToEveryoneEnablesForTheUserAndSaysWhy) {
    PSECURITY_DESCRIPTOR open = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(A;OICI;FA;;;WD)", SDDL_REVISION_1, &open,
                                                                     nullptr));
    BOOL present = FALSE, defaulted = FALSE;
    PACL list = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(open, &present, &list, &defaulted));
    std::string folder = folder_.Path().substr(0, folder_.Path().size() - 1);
    DWORD result = SetNamedSecurityInfoA(&folder[0], SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                         list, nullptr);
    LocalFree(open);
    ASSERT_EQ(result, static_cast<DWORD>(ERROR_SUCCESS));

    PropsProcess process;
    HWND dialog = Open(process);
    ASSERT_NE(dialog, nullptr);
    SetCheck(dialog, IDC_ENABLE, true);
    std::string text = ApplyAndCloseReason(process, dialog);
    EXPECT_NE(text.find("current user only: users other than administrators may change"), std::string::npos) << text;

    EXPECT_FALSE(ReadRegistration(OwnView()).classKey);
    const std::string userClass = std::string("Software\\Classes\\CLSID\\") + kClassIdText;
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, userClass.c_str(), 0, KEY_QUERY_VALUE, &key), ERROR_SUCCESS);
    if (key != nullptr) RegCloseKey(key);
    Click(dialog, IDCANCEL);
    DWORD code = 99;
    ASSERT_TRUE(process.WaitForExit(kExitTimeoutMs, &code));
    SetRegistration(0);  // the current user's keys go too
}

// A registration that fails is reported with its step, as /enable reports
// it: here the user's class key is volatile, so its InprocServer32 (not
// volatile) cannot be made under it (ERROR_CHILD_MUST_BE_VOLATILE, step 3).
TEST_F(PropsDialogTest, ApplyThatFailsSaysWhichStepFailed) {
    const std::string userClass = std::string("Software\\Classes\\CLSID\\") + kClassIdText;
    HKEY volatileKey = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, userClass.c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                              nullptr, &volatileKey, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(volatileKey);

    PropsProcess process;
    HWND dialog = Open(process);
    ASSERT_NE(dialog, nullptr);
    SetCheck(dialog, IDC_ENABLE, true);
    std::string text = ApplyAndCloseReason(process, dialog);
    EXPECT_NE(text.find("could not be enabled: registry step 3 failed"), std::string::npos) << text;
    EXPECT_FALSE(IsChecked(dialog, IDC_ENABLE));  // reloaded from what is registered: nothing
    Click(dialog, IDCANCEL);
    DWORD code = 99;
    ASSERT_TRUE(process.WaitForExit(kExitTimeoutMs, &code));
    RegDeleteKeyA(HKEY_CURRENT_USER, userClass.c_str());
}

// The help viewer's window, of whatever process runs it; null when none.
HWND WaitForHelpViewer(DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        if (HWND viewer = FindWindowA("MS_WINHELP", nullptr)) return viewer;
        if (GetTickCount() - start > timeoutMs) return nullptr;
        Sleep(50);
    }
}

// Ends the help viewer that a help request of the dialog started.
void EndHelpViewer(HWND viewer) {
    DWORD id = 0;
    GetWindowThreadProcessId(viewer, &id);
    if (HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id)) {
        TerminateProcess(process, 0);
        WaitForSingleObject(process, 5000);
        CloseHandle(process);
    }
}

// F1 on a control (WM_HELP) and a right click (WM_CONTEXTMENU) both go to
// the help system. Wine 8's WinHelpA starts its viewer ("winhlp32.exe -x")
// when none runs and then drops HELP_WM_HELP and HELP_CONTEXTMENU as unknown
// commands (measured: it returns FALSE and sends the viewer nothing), so the
// topic table cannot be observed here; that the viewer starts shows that the
// dialog made the call.
TEST_F(PropsDialogTest, HelpRequestsStartTheHelpSystem) {
    if (HWND stale = FindWindowA("MS_WINHELP", nullptr)) EndHelpViewer(stale);
    PropsProcess process;
    HWND dialog = Open(process);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(FindWindowA("MS_WINHELP", nullptr), nullptr);

    const struct {
        const char* request;
        UINT message;
    } kRequests[] = {{"WM_CONTEXTMENU", WM_CONTEXTMENU}, {"F1 (WM_HELP)", kKeyF1Message}};
    for (const auto& row : kRequests) {
        HWND control = GetDlgItem(dialog, IDC_LARGE_ICON);
        if (row.message == WM_CONTEXTMENU) {
            PostMessageA(dialog, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(control), MAKELPARAM(10, 10));
        } else {
            PostMessageA(control, kKeyF1Message, 0, 0);
        }
        HWND viewer = WaitForHelpViewer(kStartTimeoutMs);
        EXPECT_NE(viewer, nullptr) << row.request;
        if (viewer != nullptr) EndHelpViewer(viewer);
        EXPECT_TRUE(IsWindow(dialog)) << row.request;
    }
    Click(dialog, IDCANCEL);
    DWORD code = 99;
    ASSERT_TRUE(process.WaitForExit(kExitTimeoutMs, &code));
    EXPECT_EQ(code, 1u);
}

}  // namespace

#include "props/ActionsFolder.h"

#include <shellapi.h>

#include "props/CommandLine.h"
#include "toolkit/Paths.h"
#include "toolkit/UserActionsFolder.h"
#include "toolkit/Utf8.h"
#include "toolkit/WideConvert.h"

namespace {

// Whether the user may create a file in `folder` (no trailing backslash):
// a uniquely named file is made there and removed again. Asked of the file
// system itself, so every kind of access list or read-only medium counts.
bool MayCreateFilesIn(const char* folder) {
    HeapWide wide;
    if (!AssignUtf16Exact(wide, folder)) return false;
    wchar_t probe[MAX_PATH + 1] = {};
    if (wide.Length() > MAX_PATH - 14 || GetTempFileNameW(AsWide(wide.storage), L"zk", 0, probe) == 0) return false;
    DeleteFileW(probe);
    return true;
}

}  // namespace

bool ChooseActionsFolder(FixedText& folder) {
    DirectoryOfNoSlash(folder, ProgramDirectory().Text());
    if (!folder.Empty() && MayCreateFilesIn(folder.Text())) return true;
    FixedText user;
    UserActionsFolder(user);
    DirectoryOfNoSlash(folder, user.Text());
    if (folder.Empty()) return false;
    HeapWide wide;
    if (!AssignUtf16Exact(wide, folder.Text())) return false;
    return CreateDirectoryW(AsWide(wide.storage), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

// The folder is named without its trailing backslash: Wine 8 hands a
// folder to explorer.exe as "C:\...\folder\", whose \" its argument parsing
// reads as a quote (measured: the command line ended in folder").
bool ShowActionsFolder(HWND owner) {
    FixedText folder;
    if (ChooseActionsFolder(folder)) {
        HeapWide wide;
        if (AssignUtf16Exact(wide, folder.Text()) &&
            reinterpret_cast<INT_PTR>(ShellExecuteW(owner, L"open", AsWide(wide.storage), nullptr, nullptr,
                                                    SW_SHOWNORMAL)) > 32) {
            return true;
        }
    }
    FixedText text("The actions folder ");
    text.Append(folder.Text()).Append(" could not be opened.");
    ShowMessage(owner, text.Text(), MB_OK | MB_ICONERROR);
    return false;
}

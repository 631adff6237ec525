#include "catalogue/ActionItem.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cstring>
#include <new>

#include "catalogue/CommandLine.h"
#include "catalogue/Shortcuts.h"
#include "settings/Settings.h"
#include "toolkit/Paths.h"
#include "toolkit/WideConvert.h"

namespace {

// Stores a getter's result: forced terminator, recount, trim and unquote.
void TakeLinkText(FixedText& buffer) {
    buffer.Recount();
    buffer.TrimAndUnquote();
}

}  // namespace

ActionItem::ActionItem(const char* shortcutPath)
    : nextItem(nullptr), order(theSettings.DefaultOrder), showCommand(SW_SHOWDEFAULT) {
    ShellLinkFile shortcut(shortcutPath);
    if (!shortcut.Loaded()) return;
    IShellLinkA* link = shortcut.Link();

    // Each getter is offered 261 bytes (capacity + 1) and counts only on S_OK.
    FixedText buffer;
    if (link->GetArguments(buffer.storage, kFixedTextCapacity + 1) == S_OK) {
        TakeLinkText(buffer);
        arguments.AssignExact(buffer.Text());
    }
    if (link->GetWorkingDirectory(buffer.storage, kFixedTextCapacity + 1) == S_OK) {
        TakeLinkText(buffer);
        if (!buffer.Empty()) workingDirectory.AssignExact(buffer.Text());
    }
    int show = 0;
    showCommand = link->GetShowCmd(&show) == S_OK ? show : SW_SHOWDEFAULT;
    WIN32_FIND_DATAA findData;
    if (link->GetPath(buffer.storage, kFixedTextCapacity + 1, &findData, 0) == S_OK) {
        TakeLinkText(buffer);
        targetPath.AssignExact(buffer.Text());
    }

    SHFILEINFOA info;
    std::memset(&info, 0, sizeof info);
    if (SHGetFileInfoA(shortcutPath, 0, &info, sizeof info, SHGFI_DISPLAYNAME) != 0) {
        FixedText shown(info.szDisplayName);
        FixedText suffix;
        ExtensionOf(suffix, shown.Text());
        if (ParseOrderSuffix(suffix, &order)) {
            FixedText base;
            BaseNameOf(base, shown.Text());
            displayName.AssignExact(base.Text());
        } else {
            displayName.AssignExact(shown.Text());
        }
    }

    RefreshIcon(shortcutPath);

    FixedText extension;
    ExtensionOf(extension, shortcutPath);
    extension.MakeUpper();
    if (std::strcmp(extension.Text(), ".PIF") == 0) pifPath.AssignExact(shortcutPath);
}

ActionItem::~ActionItem() { ReleaseIcon(); }

ActionItem* ActionItem::Create(const char* shortcutPath) {
    void* raw = TextHeapAllocate(sizeof(ActionItem));
    if (raw == nullptr) return nullptr;
    return new (raw) ActionItem(shortcutPath);
}

void ActionItem::Destroy(ActionItem* item) {
    if (item == nullptr) return;
    item->~ActionItem();
    TextHeapRelease(item);
}

void ActionItem::RefreshIcon(const char* shortcutPath) {
    ReleaseIcon();
    SHFILEINFOA info;
    std::memset(&info, 0, sizeof info);
    const UINT size = theSettings.LargeIcon != 0 ? 0 : SHGFI_SMALLICON;
    if (theSettings.LinkOverlay != 0) {
        if (SHGetFileInfoA(shortcutPath, 0, &info, sizeof info, SHGFI_ICON | size) != 0) icon.Reset(info.hIcon);
    } else {
        DWORD_PTR list = SHGetFileInfoA(shortcutPath, 0, &info, sizeof info, SHGFI_SYSICONINDEX | size);
        if (list != 0) icon.Reset(ImageList_GetIcon(reinterpret_cast<HIMAGELIST>(list), info.iIcon, ILD_TRANSPARENT));
    }
}

void ActionItem::ReleaseIcon() { icon.Reset(); }

LaunchOutcome ActionItem::LaunchAction(const WideTextNode* files, HeapWide& commandLine) const {
    LaunchOutcome outcome = {LaunchResult::kStartFailed, ERROR_NOT_ENOUGH_MEMORY, -1, 0};
    commandLine.FreeStorage();
    HeapWide program;
    HeapWide target;
    HeapWide argumentText;
    HeapWide directory;
    if (!AssignWideFromAnsi(program, pifPath.Empty() ? targetPath.Text() : pifPath.Text()) ||
        !AssignWideFromAnsi(target, targetPath.Text()) || !AssignWideFromAnsi(argumentText, arguments.Text()) ||
        !AssignWideFromAnsi(directory, workingDirectory.Text())) {
        return outcome;
    }
    // A .PIF names the program it starts: a batch file behind it is run by
    // the interpreter just the same.
    const bool interpreter =
        InterpreterParses(program.Text()) || (!pifPath.Empty() && InterpreterParses(target.Text()));
    const LineOutcome line = ComposeCommandLine(commandLine, program.Text(), argumentText.Text(), files, interpreter);
    outcome.lineLength = line.length;
    switch (line.result) {
    case LineResult::kComposed:
        break;
    case LineResult::kNoMemory:
        return outcome;
    case LineResult::kTooLong:
        outcome.result = LaunchResult::kTooLong;
        outcome.errorCode = 0;
        return outcome;
    case LineResult::kNameRefused:
        outcome.result = LaunchResult::kNameRefused;
        outcome.errorCode = 0;
        outcome.refusedIndex = line.refusedIndex;
        return outcome;
    }

    STARTUPINFOW startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(showCommand & 0xFFFF);
    PROCESS_INFORMATION process;
    std::memset(&process, 0, sizeof process);
    if (!CreateProcessW(nullptr, AsWide(commandLine.storage), nullptr, nullptr, FALSE,
                        CREATE_NEW_CONSOLE | CREATE_DEFAULT_ERROR_MODE, nullptr,
                        directory.Empty() ? nullptr : AsWide(directory.Text()), &startup, &process)) {
        outcome.errorCode = GetLastError();
        return outcome;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    outcome.result = LaunchResult::kStarted;
    outcome.errorCode = 0;
    return outcome;
}

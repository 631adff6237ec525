#include "catalogue/ActionItem.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cstring>
#include <new>

#include "catalogue/CommandLine.h"
#include "catalogue/Shortcuts.h"
#include "settings/Settings.h"
#include "toolkit/Paths.h"

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

int ActionItem::LaunchAction(const TextListNode* files, int32_t filesLength, HeapText& commandLine,
                             DWORD* errorCode) const {
    const char* program = pifPath.Empty() ? targetPath.Text() : pifPath.Text();
    if (!ComposeCommandLine(commandLine, program, arguments.Text(), files, filesLength)) {
        *errorCode = ERROR_NOT_ENOUGH_MEMORY;
        return 0;
    }

    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(showCommand & 0xFFFF);
    PROCESS_INFORMATION process;
    std::memset(&process, 0, sizeof process);
    if (!CreateProcessA(nullptr, commandLine.storage, nullptr, nullptr, FALSE,
                        CREATE_NEW_CONSOLE | CREATE_DEFAULT_ERROR_MODE, nullptr,
                        workingDirectory.Empty() ? nullptr : workingDirectory.Text(), &startup, &process)) {
        *errorCode = GetLastError();
        return 0;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 1;
}

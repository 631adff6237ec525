#include "catalogue/ActionItem.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cstring>
#include <new>

#include "catalogue/CommandLine.h"
#include "catalogue/ProgramPath.h"
#include "catalogue/Shortcuts.h"
#include "settings/Settings.h"
#include "toolkit/NameCase.h"
#include "toolkit/Paths.h"
#include "toolkit/Utf8.h"
#include "toolkit/WideConvert.h"

volatile LONG ActionItem::shortcutsRead = 0;
ElevatedStarter ActionItem::elevatedStarter = ShellExecuteExW;

namespace {

// Stores a link text read whole: trimmed and unquoted, exactly sized.
void TakeLinkText(HeapText& field, HeapText& read) {
    read.TrimAndUnquote();
    field.AssignExact(read.Text());
}

// The shell's icon for the shortcut file at `path` as the settings ask for
// it (see EnsureIcon); null when none can be had. The caller owns it.
HICON ExtractShortcutIcon(const char* path, const Settings& settings) {
    HeapWide wide;
    if (!AssignUtf16Exact(wide, path)) return nullptr;
    SHFILEINFOW info;
    std::memset(&info, 0, sizeof info);
    const UINT size = settings.LargeIcon != 0 ? 0 : SHGFI_SMALLICON;
    if (settings.LinkOverlay != 0) {
        return SHGetFileInfoW(AsWide(wide.Text()), 0, &info, sizeof info, SHGFI_ICON | size) != 0 ? info.hIcon
                                                                                                : nullptr;
    }
    DWORD_PTR list = SHGetFileInfoW(AsWide(wide.Text()), 0, &info, sizeof info, SHGFI_SYSICONINDEX | size);
    return list != 0 ? ImageList_GetIcon(reinterpret_cast<HIMAGELIST>(list), info.iIcon, ILD_TRANSPARENT) : nullptr;
}

// Copies a text whole; false when its storage could not be had.
bool CopyText(HeapText& to, const HeapText& from) {
    if (from.Empty()) return true;
    to.AssignExact(from.Text());
    return to.Length() == from.Length();
}

}  // namespace

FileStamp StampOf(const WIN32_FIND_DATAW& entry) {
    return FileStamp{entry.nFileSizeLow, entry.nFileSizeHigh, entry.ftLastWriteTime, true};
}

FileStamp StampOfFile(const char* path) {
    HeapWide wide;
    if (!AssignUtf16Exact(wide, path)) return FileStamp{0, 0, {0, 0}, false};
    WIN32_FIND_DATAW entry;
    FindHandle found(FindFirstFileW(AsWide(wide.Text()), &entry));
    if (!found.Valid()) return FileStamp{0, 0, {0, 0}, false};
    return StampOf(entry);
}

bool SameStamp(const FileStamp& a, const FileStamp& b) {
    return a.exists == b.exists && a.sizeLow == b.sizeLow && a.sizeHigh == b.sizeHigh &&
           a.lastWrite.dwLowDateTime == b.lastWrite.dwLowDateTime &&
           a.lastWrite.dwHighDateTime == b.lastWrite.dwHighDateTime;
}

HICON SharedIcon::Get() const {
    return static_cast<HICON>(InterlockedCompareExchangePointer(const_cast<void* volatile*>(&handle), nullptr, nullptr));
}

HICON SharedIcon::Publish(HICON icon) {
    if (icon == nullptr) return Get();
    void* kept = InterlockedCompareExchangePointer(&handle, icon, nullptr);
    if (kept == nullptr) return icon;
    DestroyIcon(icon);  // another thread published first
    return static_cast<HICON>(kept);
}

void SharedIcon::Reset(HICON icon) {
    HICON old = static_cast<HICON>(InterlockedExchangePointer(&handle, icon));
    if (old != nullptr) DestroyIcon(old);
}

ActionItem::ActionItem(const char* shortcutPath, ShellLinkReader& reader, int32_t defaultOrder)
    : nextItem(nullptr),
      order(defaultOrder),
      showCommand(SW_SHOWDEFAULT),
      stamp{0, 0, {0, 0}, false},
      iconMissing(0),
      runAsAdministrator(false),
      firstChild(nullptr) {
    Read(shortcutPath, reader);
}

void ActionItem::Read(const char* path, ShellLinkReader& reader) {
    if (!reader.Load(path)) return;
    IShellLinkW* link = reader.Link();
    shortcutPath.AssignExact(path);

    // Each text is read whole (no cut at the path limit) and counts only on
    // S_OK. The arguments are trimmed only: the quotes in them are the
    // program's to read, as when the shell itself starts the shortcut.
    HeapText read;
    if (ReadLinkArguments(read, link)) {
        read.Trim();
        arguments.AssignExact(read.Text());
    }
    if (ReadLinkWorkingDirectory(read, link)) {
        read.TrimAndUnquote();
        if (!read.Empty()) workingDirectory.AssignExact(read.Text());
    }
    int show = 0;
    showCommand = link->GetShowCmd(&show) == S_OK ? show : SW_SHOWDEFAULT;
    if (ReadLinkPath(read, link)) TakeLinkText(targetPath, read);
    if (ReadLinkDescription(read, link)) {
        read.Trim();
        if (!read.Empty()) comment.AssignExact(read.Text());
    }
    runAsAdministrator = (ReadLinkFlags(link) & SLDF_RUNAS_USER) != 0;

    HeapWide widePath;
    SHFILEINFOW info;
    std::memset(&info, 0, sizeof info);
    if (AssignUtf16Exact(widePath, path) &&
        SHGetFileInfoW(AsWide(widePath.Text()), 0, &info, sizeof info, SHGFI_DISPLAYNAME) != 0) {
        info.szDisplayName[MAX_PATH - 1] = 0;
        FixedText shown;
        AssignUtf8(shown, AsUtf16(info.szDisplayName));
        TakeShownName(shown.Text());
    }

    FixedText extension;
    ExtensionOf(extension, path);
    extension.MakeUpper();
    if (std::strcmp(extension.Text(), ".PIF") == 0) pifPath.AssignExact(path);
    InterlockedIncrement(&shortcutsRead);
}

void ActionItem::TakeShownName(const char* shown) {
    FixedText suffix;
    ExtensionOf(suffix, shown);
    if (ParseOrderSuffix(suffix, &order)) {
        FixedText base;
        BaseNameOf(base, shown);
        displayName.AssignExact(base.Text());
    } else {
        displayName.AssignExact(shown);
    }
    FixedText folded(displayName.Text());
    if (MakeNameLowerBeyondAscii(folded) && std::strcmp(folded.Text(), displayName.Text()) != 0) {
        sortName.AssignExact(folded.Text());
    }
}

ActionItem::~ActionItem() {
    while (firstChild != nullptr) {
        ActionItem* child = firstChild;
        firstChild = child->nextItem;
        Destroy(child);
    }
    ReleaseIcon();
}

ActionItem* ActionItem::CreateSubmenu(const char* folderPath, const char* folderName, int32_t defaultOrder) {
    void* raw = TextHeapAllocate(sizeof(ActionItem));
    if (raw == nullptr) return nullptr;
    ActionItem* item = new (raw) ActionItem(defaultOrder, SW_SHOWDEFAULT, FileStamp{0, 0, {0, 0}, false});
    item->TakeShownName(folderName);
    item->shortcutPath.AssignExact(folderPath);
    if (item->displayName.Empty() || item->shortcutPath.Length() != static_cast<int32_t>(std::strlen(folderPath))) {
        Destroy(item);
        return nullptr;
    }
    return item;
}

ActionItem* ActionItem::Create(const char* shortcutPath, ShellLinkReader& reader, int32_t defaultOrder) {
    void* raw = TextHeapAllocate(sizeof(ActionItem));
    if (raw == nullptr) return nullptr;
    return new (raw) ActionItem(shortcutPath, reader, defaultOrder);
}

ActionItem* ActionItem::CreateCopy(const ActionItem& from) {
    void* raw = TextHeapAllocate(sizeof(ActionItem));
    if (raw == nullptr) return nullptr;
    // An empty reader-less read: every field empty, then the copies.
    ActionItem* item = new (raw) ActionItem(from.order, from.showCommand, from.stamp);
    item->runAsAdministrator = from.runAsAdministrator;
    if (!CopyText(item->displayName, from.displayName) || !CopyText(item->pifPath, from.pifPath) ||
        !CopyText(item->arguments, from.arguments) || !CopyText(item->targetPath, from.targetPath) ||
        !CopyText(item->workingDirectory, from.workingDirectory) || !CopyText(item->shortcutPath, from.shortcutPath) ||
        !CopyText(item->sortName, from.sortName) || !CopyText(item->comment, from.comment)) {
        Destroy(item);
        return nullptr;
    }
    return item;
}

ActionItem::ActionItem(int32_t copiedOrder, int32_t copiedShowCommand, const FileStamp& copiedStamp)
    : nextItem(nullptr),
      order(copiedOrder),
      showCommand(copiedShowCommand),
      stamp(copiedStamp),
      iconMissing(0),
      runAsAdministrator(false),
      firstChild(nullptr) {}

void ActionItem::Destroy(ActionItem* item) {
    if (item == nullptr) return;
    item->~ActionItem();
    TextHeapRelease(item);
}

HICON ActionItem::EnsureIcon(const Settings& settings) {
    HICON kept = icon.Get();
    if (kept != nullptr || InterlockedCompareExchange(&iconMissing, 0, 0) != 0) return kept;
    if (shortcutPath.Empty()) return nullptr;  // a link that never loaded has nothing to show
    HICON made;
    {
        ComScope com;
        made = ExtractShortcutIcon(shortcutPath.Text(), settings);
    }
    if (made == nullptr) {
        InterlockedExchange(&iconMissing, 1);
        return nullptr;
    }
    return icon.Publish(made);
}

void ActionItem::ReleaseIcon() { icon.Reset(); }

bool ActionItem::ProgramMissing() const {
    if (!pifPath.Empty() || targetPath.Empty()) return false;  // a .PIF is its own program
    HeapWide path;
    if (!AssignUtf16Exact(path, targetPath.Text())) return false;
    const char16_t* text = path.Text();
    // Only "X:\..." is looked at: a UNC name is on the network, and a name
    // without a drive is searched for by the system.
    const bool drive = ((text[0] >= u'A' && text[0] <= u'Z') || (text[0] >= u'a' && text[0] <= u'z')) &&
                       text[1] == u':' && (text[2] == u'\\' || text[2] == u'/');
    if (!drive) return false;
    const wchar_t root[4] = {static_cast<wchar_t>(text[0]), L':', L'\\', 0};
    // GetDriveTypeW answers from the system's own table, without the device.
    const UINT type = GetDriveTypeW(root);
    if (type != DRIVE_FIXED && type != DRIVE_RAMDISK) return false;
    return GetFileAttributesW(AsWide(text)) == INVALID_FILE_ATTRIBUTES && GetLastError() != ERROR_ACCESS_DENIED;
}

bool ActionItem::PrepareLaunch(LaunchPlan& plan) const {
    HeapWide target;
    if (!AssignUtf16Exact(plan.program, pifPath.Empty() ? targetPath.Text() : pifPath.Text()) ||
        !AssignUtf16Exact(target, targetPath.Text()) || !AssignUtf16Exact(plan.arguments, arguments.Text()) ||
        !AssignUtf16Exact(plan.directory, workingDirectory.Text())) {
        return false;
    }
    // The reader is decided on the program the platform runs (its full, long
    // name), the line keeps the program as the link holds it. A .PIF names
    // the program it starts: a batch file behind it is run by the
    // interpreter just the same.
    HeapWide resolved;
    if (!ResolveProgramPath(resolved, plan.program.Text())) return false;
    plan.reader = ReaderOf(resolved.Text(), plan.arguments.Text());
    if (plan.reader == LineReader::kProgram && !pifPath.Empty()) {
        if (!ResolveProgramPath(resolved, target.Text())) return false;
        plan.reader = ReaderOf(resolved.Text(), plan.arguments.Text());
    }
    return true;
}

LaunchOutcome ActionItem::LaunchAction(const WideTextNode* files, HeapWide& commandLine) const {
    commandLine.FreeStorage();
    LaunchPlan plan;
    if (!PrepareLaunch(plan)) {
        return LaunchOutcome{LaunchResult::kStartFailed, ERROR_NOT_ENOUGH_MEMORY, -1, 0, kCommandLineLimit - 1};
    }
    return StartLine(plan, files, -1, commandLine, nullptr);
}

LaunchOutcome ActionItem::StartLine(const LaunchPlan& plan, const WideTextNode* files, int32_t fileCount,
                                    HeapWide& commandLine, HWND owner) const {
    LaunchOutcome outcome = {LaunchResult::kStartFailed, ERROR_NOT_ENOUGH_MEMORY, -1, 0, kCommandLineLimit - 1};
    const LineOutcome line =
        ComposeCommandLine(commandLine, plan.program.Text(), plan.arguments.Text(), files, plan.reader, fileCount);
    outcome.lineLength = line.length;
    outcome.lineLimit = line.limit;
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
    case LineResult::kProgramRefused:
        outcome.result = LaunchResult::kProgramRefused;
        outcome.errorCode = 0;
        return outcome;
    case LineResult::kPlaceholderRefused:
        outcome.result = LaunchResult::kPlaceholderRefused;
        outcome.errorCode = 0;
        return outcome;
    }

    if (runAsAdministrator) {
        // The line is "PROGRAM" PARAMETERS: the parameters start behind the
        // quoted program and its space.
        const int32_t skip = plan.program.Length() + 3;
        SHELLEXECUTEINFOW info;
        std::memset(&info, 0, sizeof info);
        info.cbSize = sizeof info;
        info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
        info.hwnd = owner;
        info.lpVerb = L"runas";
        info.lpFile = AsWide(plan.program.Text());
        info.lpParameters = AsWide(commandLine.Text() + (skip <= commandLine.Length() ? skip : commandLine.Length()));
        info.lpDirectory = plan.directory.Empty() ? nullptr : AsWide(plan.directory.Text());
        info.nShow = showCommand;
        if (!elevatedStarter(&info)) {
            outcome.errorCode = GetLastError();
            if (outcome.errorCode == ERROR_CANCELLED) {
                outcome.result = LaunchResult::kCancelled;
                outcome.errorCode = 0;
            }
            return outcome;
        }
        outcome.result = LaunchResult::kStarted;
        outcome.errorCode = 0;
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
                        plan.directory.Empty() ? nullptr : AsWide(plan.directory.Text()), &startup, &process)) {
        outcome.errorCode = GetLastError();
        return outcome;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    outcome.result = LaunchResult::kStarted;
    outcome.errorCode = 0;
    return outcome;
}

#include "extension/ActionLauncher.h"

#include <new>

#include "catalogue/CommandLine.h"
#include "extension/ContextMenuExtension.h"
#include "extension/InvocationText.h"
#include "toolkit/Utf8.h"
#include "toolkit/WideConvert.h"

namespace {

const wchar_t kQuestionCaption[] = L"Zentrik";

// The name a selected file is passed as: its short path name, or its long
// name when no short name can be had (the file has gone, the volume keeps
// none, or the conversion fails). Pushed at the head of `list`; false when
// the node cannot be had.
bool PushPassedName(WideTextNode** list, const WideTextNode& longName) {
    const wchar_t* path = AsWide(longName.text.Text());
    const DWORD needed = GetShortPathNameW(path, nullptr, 0);
    HeapWide shortName;
    if (needed != 0 && shortName.Reserve(static_cast<int32_t>(needed))) {
        const DWORD written = GetShortPathNameW(path, AsWide(shortName.storage), needed);
        if (written != 0 && written < needed) {
            return PushWide(list, shortName.Text(), static_cast<int32_t>(written)) != 0;
        }
    }
    return PushWide(list, longName.text.Text(), longName.text.Length()) != 0;
}

// The node `index` places behind `list`, or null.
const WideTextNode* NodeAt(const WideTextNode* list, int32_t index) {
    for (; list != nullptr && index > 0; --index) list = list->next;
    return list;
}

// The text of the message box for a run that did not start; `refused` is
// the long name of a refused file.
void ComposeFailureMessage(WideBuffer& message, const ActionItem& item, const LaunchOutcome& outcome,
                           const WideTextNode* refused, int32_t fileCount, const HeapWide& commandLine) {
    HeapWide displayName;
    AssignUtf16Exact(displayName, item.displayName.Text());
    switch (outcome.result) {
    case LaunchResult::kNameRefused:
        ComposeNameRefused(message, displayName.Text(), refused != nullptr ? refused->text.Text() : u"");
        break;
    case LaunchResult::kProgramRefused: {
        HeapWide program;
        AssignUtf16Exact(program, item.pifPath.Empty() ? item.targetPath.Text() : item.pifPath.Text());
        ComposeProgramRefused(message, displayName.Text(), program.Text());
        break;
    }
    case LaunchResult::kPlaceholderRefused:
        ComposePlaceholderRefused(message, displayName.Text());
        break;
    case LaunchResult::kTooLong:
        ComposeLineTooLong(message, displayName.Text(), fileCount, outcome.lineLength, outcome.lineLimit);
        break;
    default: {
        // The system text may hold inserts such as "%1": taken as it is,
        // never expanded (there are no arguments to expand them from).
        wchar_t* systemText = nullptr;
        const DWORD systemLength = FormatMessageW(
            FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
            outcome.errorCode, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPWSTR>(&systemText), 0,
            nullptr);
        ComposeLaunchFailure(message, displayName.Text(), static_cast<int32_t>(outcome.errorCode),
                             systemLength != 0 ? AsUtf16(systemText) : nullptr, commandLine.Text());
        if (systemText != nullptr) LocalFree(systemText);
        break;
    }
    }
}

// The error a failure gives without UI.
HRESULT ResultOf(const LaunchOutcome& outcome) {
    switch (outcome.result) {
    case LaunchResult::kStarted:
    case LaunchResult::kCancelled:
        return S_OK;
    case LaunchResult::kTooLong:
        return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
    case LaunchResult::kNameRefused:
    case LaunchResult::kProgramRefused:
    case LaunchResult::kPlaceholderRefused:
        return HRESULT_FROM_WIN32(ERROR_BAD_ARGUMENTS);
    case LaunchResult::kStartFailed:
        break;
    }
    return outcome.errorCode != 0 ? HRESULT_FROM_WIN32(outcome.errorCode) : E_FAIL;
}

// One click of an action: the passed names, how they are cut into runs,
// and the reporting.
class Launch {
public:
    Launch(const ActionItem& item, const WideTextNode* names, HWND owner, DWORD flags)
        : item(item), longNames(names), owner(owner), noUi((flags & kLaunchNoUi) != 0) {}
    ~Launch() { FreeWideList(&passed); }
    Launch(const Launch&) = delete;
    Launch& operator=(const Launch&) = delete;

    HRESULT Run();

private:
    // Fills `passed` with the short names in the order of longNames; false
    // when memory runs short (a name is never left out).
    bool PassNames();
    // Shows the failure of a run whose first file is `first` (or returns it
    // without UI); `files` as the message counts them.
    HRESULT Fail(const LaunchOutcome& outcome, int32_t first, int32_t files);
    // Asks `question`; true for Yes. Never asked without UI.
    bool Ask(const WideBuffer& question) const;
    // Composes the line of `count` files from `first` without starting it.
    LaunchOutcome Check(int32_t first, int32_t count);
    // Starts the runs: `runSize` files each from the start (the last run the
    // rest), or when `runSize` is 0 cut where each line is full.
    HRESULT StartRuns(int32_t runSize);

    const ActionItem& item;
    const WideTextNode* longNames;  // the caller's names, in order
    HWND owner;                     // parent of boxes and prompts
    bool noUi;                      // kLaunchNoUi
    WideTextNode* passed = nullptr; // the names passed, in the same order
    int32_t fileCount = 0;          // nodes in passed
    LaunchPlan plan;                // the action's texts and reader
    HeapWide commandLine;           // the last line composed
};

bool Launch::PassNames() {
    // Each converted name is pushed at the head: first reversed into a
    // scratch list, then reversed again into `passed`.
    WideTextNode* reversed = nullptr;
    bool whole = true;
    for (const WideTextNode* node = longNames; node != nullptr && whole; node = node->next) {
        whole = PushPassedName(&reversed, *node);
    }
    for (const WideTextNode* node = reversed; node != nullptr && whole; node = node->next) {
        whole = PushWide(&passed, node->text.Text(), node->text.Length()) != 0;
        if (whole) ++fileCount;
    }
    FreeWideList(&reversed);
    return whole;
}

bool Launch::Ask(const WideBuffer& question) const {
    return MessageBoxW(owner, AsWide(question), kQuestionCaption, MB_ICONQUESTION | MB_YESNO) == IDYES;
}

HRESULT Launch::Fail(const LaunchOutcome& outcome, int32_t first, int32_t files) {
    if (outcome.result == LaunchResult::kStarted || outcome.result == LaunchResult::kCancelled) return S_OK;
    if (noUi) return ResultOf(outcome);
    FixedWide<kInvokeBufferCapacity> message;
    const int32_t refused = outcome.refusedIndex >= 0 ? first + outcome.refusedIndex : -1;
    ComposeFailureMessage(message, item, outcome, refused >= 0 ? NodeAt(longNames, refused) : nullptr, files,
                          commandLine);
    MessageBoxW(owner, AsWide(message), kErrorCaption, MB_ICONERROR | MB_OK);
    return S_OK;
}

LaunchOutcome Launch::Check(int32_t first, int32_t count) {
    const LineOutcome line = ComposeCommandLine(commandLine, plan.program.Text(), plan.arguments.Text(),
                                                NodeAt(passed, first), plan.reader, count);
    LaunchOutcome outcome = {LaunchResult::kStarted, 0, line.refusedIndex, line.length, line.limit};
    switch (line.result) {
    case LineResult::kComposed:
        break;
    case LineResult::kNoMemory:
        outcome.result = LaunchResult::kStartFailed;
        outcome.errorCode = ERROR_NOT_ENOUGH_MEMORY;
        break;
    case LineResult::kTooLong:
        outcome.result = LaunchResult::kTooLong;
        break;
    case LineResult::kNameRefused:
        outcome.result = LaunchResult::kNameRefused;
        break;
    case LineResult::kProgramRefused:
        outcome.result = LaunchResult::kProgramRefused;
        break;
    case LineResult::kPlaceholderRefused:
        outcome.result = LaunchResult::kPlaceholderRefused;
        break;
    }
    return outcome;
}

HRESULT Launch::StartRuns(int32_t runSize) {
    int32_t first = 0;
    do {
        int32_t count = runSize;
        if (count == 0) {
            count = FilesThatFit(plan.program.Text(), plan.arguments.Text(), NodeAt(passed, first), plan.reader);
        }
        const LaunchOutcome outcome = item.StartLine(plan, NodeAt(passed, first), count, commandLine, owner);
        if (outcome.result == LaunchResult::kCancelled) return S_OK;  // the rest is declined with it
        if (outcome.result != LaunchResult::kStarted) return Fail(outcome, first, count);
        first += count;
    } while (first < fileCount);
    return S_OK;
}

HRESULT Launch::Run() {
    if (!PassNames() || !item.PrepareLaunch(plan)) {
        return Fail(LaunchOutcome{LaunchResult::kStartFailed, ERROR_NOT_ENOUGH_MEMORY, -1, 0, kCommandLineLimit - 1}, 0,
                    fileCount);
    }
    HeapWide displayName;
    AssignUtf16Exact(displayName, item.displayName.Text());
    FixedWide<kInvokeBufferCapacity> question;

    if (PlaceholdersOf(plan.arguments.Text()) == Placeholders::kEachFile && fileCount > 1) {
        // One run per file: every line is composed before the first starts.
        for (int32_t i = 0; i < fileCount; ++i) {
            const LaunchOutcome outcome = Check(i, 1);
            if (outcome.result != LaunchResult::kStarted) return Fail(outcome, i, 1);
        }
        if (fileCount > kRunsAsked) {
            if (noUi) return HRESULT_FROM_WIN32(ERROR_CANCELLED);
            ComposeManyRunsQuestion(question, displayName.Text(), fileCount);
            if (!Ask(question)) return S_OK;
        }
        return StartRuns(1);
    }

    const LaunchOutcome whole = Check(0, fileCount);
    if (whole.result != LaunchResult::kTooLong || fileCount < 2) {
        if (whole.result != LaunchResult::kStarted) return Fail(whole, 0, fileCount);
        return StartRuns(fileCount > 0 ? fileCount : 1);
    }
    // Past the limit: as many files as fit each time, in order.
    int32_t runs = 0;
    int32_t most = 0;
    for (int32_t first = 0; first < fileCount; ++runs) {
        const int32_t fit = FilesThatFit(plan.program.Text(), plan.arguments.Text(), NodeAt(passed, first), plan.reader);
        if (fit == 0) return Fail(Check(first, 1), first, 1);  // a name that alone does not fit
        if (fit > most) most = fit;
        first += fit;
    }
    if (noUi) return Fail(whole, 0, fileCount);
    ComposeBatchQuestion(question, displayName.Text(), fileCount, runs, most);
    if (!Ask(question)) return S_OK;
    return StartRuns(0);
}

}  // namespace

HRESULT RunAction(const ActionItem& item, const WideTextNode* names, HWND owner, DWORD flags) {
    Launch launch(item, names, owner, flags);
    return launch.Run();
}

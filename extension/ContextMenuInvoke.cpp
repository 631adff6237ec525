// ContextMenuExtension: running the picked action, and the texts the shell
// asks for while an item is highlighted.
#include <cstring>

#include "extension/ContextMenuExtension.h"
#include "catalogue/CommandLine.h"
#include "extension/InvocationText.h"
#include "toolkit/Utf8.h"
#include "toolkit/WideConvert.h"

namespace {

// Largest number of characters (UTF-16 units, or bytes of the ANSI form)
// GetCommandString copies out, terminator not counted.
constexpr UINT kCommandStringLimit = 260;

// Copies at most `limit` units of `text` and a terminator to `out`, never
// ending on the first half of a surrogate pair.
void CopyWideOut(wchar_t* out, const HeapWide& text, UINT limit) {
    UINT count = static_cast<UINT>(text.Length()) < limit ? static_cast<UINT>(text.Length()) : limit;
    if (count > 0 && count < static_cast<UINT>(text.Length()) && text.Text()[count - 1] >= 0xD800 &&
        text.Text()[count - 1] <= 0xDBFF) {
        --count;
    }
    std::memcpy(out, text.Text(), count * sizeof(wchar_t));
    out[count] = 0;
}

// Copies the ANSI form of `text` (a character the code page lacks becomes
// '?') to `out`: at most `limit` bytes and a terminator, never ending on a
// lead byte. Nothing but the terminator when it cannot be converted.
void CopyAnsiOut(char* out, const HeapWide& text, UINT limit) {
    out[0] = 0;
    if (text.Empty()) return;
    // No look-alikes for missing characters; a UTF-8 code page takes no flag.
    const DWORD flags = GetACP() == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const int bytes =
        WideCharToMultiByte(CP_ACP, flags, AsWide(text.Text()), text.Length(), nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return;
    char* ansi = static_cast<char*>(TextHeapAllocate(static_cast<size_t>(bytes)));
    if (ansi == nullptr) return;
    WideCharToMultiByte(CP_ACP, flags, AsWide(text.Text()), text.Length(), ansi, bytes, nullptr, nullptr);
    UINT count = 0;
    while (count < static_cast<UINT>(bytes)) {
        const UINT step = IsDBCSLeadByte(static_cast<BYTE>(ansi[count])) && count + 1 < static_cast<UINT>(bytes) ? 2 : 1;
        if (count + step > limit) break;
        count += step;
    }
    // A UTF-8 code page has no lead bytes in that sense: a cut must not end
    // before a continuation byte (10xxxxxx) of the character it falls in.
    if (flags == 0) {
        while (count > 0 && count < static_cast<UINT>(bytes) && (static_cast<BYTE>(ansi[count]) & 0xC0) == 0x80) {
            --count;
        }
    }
    std::memcpy(out, ansi, count);
    out[count] = 0;
    TextHeapRelease(ansi);
}

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

// The text of the message box for an action that did not start.
void ComposeFailureMessage(WideBuffer& message, const ActionItem& item, const LaunchOutcome& outcome,
                           const WideTextNode* longNames, const WideTextNode* passedNames, int32_t fileCount,
                           const HeapWide& commandLine) {
    HeapWide displayName;
    AssignUtf16Exact(displayName, item.displayName.Text());
    switch (outcome.result) {
    case LaunchResult::kNameRefused: {
        // The file is named as the user knows it: by its long name. The long
        // names are in reverse drop order, the refused index counts in drop
        // order over the passed names. When a name was left out for want of
        // memory the two lists no longer pair up, and the passed name is
        // shown instead.
        int32_t longCount = 0;
        for (const WideTextNode* node = longNames; node != nullptr; node = node->next) ++longCount;
        const WideTextNode* node = passedNames;
        int32_t skip = outcome.refusedIndex;
        if (longCount == fileCount) {
            node = longNames;
            skip = fileCount - 1 - outcome.refusedIndex;
        }
        for (; skip > 0 && node != nullptr; --skip) node = node->next;
        ComposeNameRefused(message, displayName.Text(), node != nullptr ? node->text.Text() : u"");
        break;
    }
    case LaunchResult::kProgramRefused: {
        HeapWide program;
        AssignUtf16Exact(program, item.pifPath.Empty() ? item.targetPath.Text() : item.pifPath.Text());
        ComposeProgramRefused(message, displayName.Text(), program.Text());
        break;
    }
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

}  // namespace

STDMETHODIMP ContextMenuExtension::InvokeCommand(CMINVOKECOMMANDINFO* pici) {
    HRESULT result = E_INVALIDARG;
    // A verb whose bits above the low 16 are set is a string: no item of ours.
    const UINT_PTR verb = pici != nullptr ? reinterpret_cast<UINT_PTR>(pici->lpVerb) : ~static_cast<UINT_PTR>(0);
    const UINT offset = static_cast<UINT>(verb & 0xFFFF);
    if ((verb >> 16) == 0 && offset < static_cast<UINT>(menu.itemCount) && !menu.items[offset]->IsSubmenu()) {
        // The selection holds the names in reverse drop order; pushing each
        // converted name at the head again restores the drop order. The long
        // names are kept until the action has run, for the message.
        // A name that cannot be had for want of memory fails the action: it
        // is never started with a file left out.
        WideTextNode* longNames = selection;
        const int32_t fileCount = selectionCount;
        selection = nullptr;
        selectionCount = 0;
        bool whole = true;
        for (const WideTextNode* node = longNames; node != nullptr && whole; node = node->next) {
            whole = PushPassedName(&selection, *node);
            if (whole) ++selectionCount;
        }

        const ActionItem* item = menu.items[offset];
        HeapWide commandLine;
        const LaunchOutcome outcome =
            whole ? item->LaunchAction(selection, commandLine)
                  : LaunchOutcome{LaunchResult::kStartFailed, ERROR_NOT_ENOUGH_MEMORY, -1, 0, kCommandLineLimit - 1};
        if (outcome.result != LaunchResult::kStarted) {
            FixedWide<kInvokeBufferCapacity> message;
            ComposeFailureMessage(message, *item, outcome, longNames, selection, fileCount, commandLine);
            MessageBoxW(pici->hwnd, AsWide(message), kErrorCaption, MB_ICONERROR | MB_OK);
        }
        FreeWideList(&longNames);
        result = S_OK;
    }
    ResetMenuState();
    menu.itemCount = 0;
    return result;
}

STDMETHODIMP ContextMenuExtension::GetCommandString(UINT_PTR idCmd, UINT uType, UINT*, LPSTR pszName, UINT cchMax) {
    if (idCmd >= static_cast<UINT_PTR>(menu.itemCount)) return S_OK;
    const ActionItem* item = menu.items[idCmd];
    if (pszName == nullptr || cchMax == 0) return S_OK;
    // Composed in UTF-16: the wide forms give it whole, the ANSI forms as
    // far as the code page holds it.
    HeapWide text;
    if ((uType == GCS_HELPTEXTA || uType == GCS_HELPTEXTW) && item->IsSubmenu()) {
        HeapWide name;
        if (AssignUtf16Exact(name, item->displayName.Text()) && text.Reserve(name.Length() + 16)) {
            text.AppendAscii("Actions in ");
            text.Append(name.Text());
        }
    } else if (uType == GCS_HELPTEXTA || uType == GCS_HELPTEXTW) {
        // A shortcut selected with CMF_VERBSONLY stands for its target: the
        // text names the file that will be used in its place.
        const char* target = item->targetPath.Text();
        if (text.Reserve(Utf16LengthOf(target) + firstLinkTarget.Length() + 80)) {
            text.AppendAscii("Open ");
            text.AppendDecimal(selectionCount);
            text.AppendAscii(" file(s) with ");
            AppendUtf16(text, target);
            if (linkTargetCount > 0) {
                text.AppendAscii(linkTargetCount == 1 ? "; shortcut target: " : "; shortcut targets: ");
                text.Append(firstLinkTarget.Text());
                if (linkTargetCount > 1) {
                    text.AppendAscii(" and ");
                    text.AppendDecimal(linkTargetCount - 1);
                    text.AppendAscii(" more");
                }
            }
        }
    } else {
        AssignUtf16Exact(text, item->displayName.Text());
    }
    const UINT limit = cchMax - 1 < kCommandStringLimit ? cchMax - 1 : kCommandStringLimit;
    if ((uType & GCS_UNICODE) != 0) {
        // A wide request gives a buffer of cchMax UTF-16 characters.
        CopyWideOut(reinterpret_cast<wchar_t*>(pszName), text, limit);
    } else {
        CopyAnsiOut(pszName, text, limit);
    }
    return S_OK;
}

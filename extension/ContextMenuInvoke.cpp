// ContextMenuExtension: running the picked action, and the texts the shell
// asks for while an item is highlighted.
#include <cstring>

#include "extension/ContextMenuExtension.h"
#include "extension/ActionLauncher.h"
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

// Turns a list around in place: the selection is kept last added first.
WideTextNode* Reversed(WideTextNode* list) {
    WideTextNode* turned = nullptr;
    while (list != nullptr) {
        WideTextNode* next = list->next;
        list->next = turned;
        turned = list;
        list = next;
    }
    return turned;
}

}  // namespace

STDMETHODIMP ContextMenuExtension::InvokeCommand(CMINVOKECOMMANDINFO* pici) {
    HRESULT result = E_INVALIDARG;
    // A verb whose bits above the low 16 are set is a string: no item of ours.
    const UINT_PTR verb = pici != nullptr ? reinterpret_cast<UINT_PTR>(pici->lpVerb) : ~static_cast<UINT_PTR>(0);
    const UINT offset = static_cast<UINT>(verb & 0xFFFF);
    if ((verb >> 16) == 0 && offset < static_cast<UINT>(menu.itemCount) && !menu.items[offset]->IsSubmenu()) {
        // The selection holds the names in reverse drop order: the action
        // gets them in drop order.
        selection = Reversed(selection);
        const DWORD flags = (pici->fMask & CMIC_MASK_FLAG_NO_UI) != 0 ? static_cast<DWORD>(kLaunchNoUi) : 0u;
        result = RunAction(*menu.items[offset], selection, pici->hwnd, flags);
    }
    ResetMenuState();
    menu.itemCount = 0;
    return result;
}

STDMETHODIMP ContextMenuExtension::GetCommandString(UINT_PTR idCmd, UINT uType, UINT*, LPSTR pszName, UINT cchMax) {
    if (idCmd >= static_cast<UINT_PTR>(menu.itemCount)) return E_INVALIDARG;
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
    } else if ((uType == GCS_HELPTEXTA || uType == GCS_HELPTEXTW) && item->ProgramMissing()) {
        if (text.Reserve(Utf16LengthOf(item->targetPath.Text()) + 40)) {
            text.AppendAscii("Program not found: ");
            AppendUtf16(text, item->targetPath.Text());
        }
    } else if ((uType == GCS_HELPTEXTA || uType == GCS_HELPTEXTW) && !item->comment.Empty()) {
        AssignUtf16Exact(text, item->comment.Text());
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

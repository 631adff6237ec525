// ContextMenuExtension: running the picked action, and the texts the shell
// asks for while an item is highlighted.
#include <cstring>

#include "extension/ContextMenuExtension.h"
#include "extension/InvocationText.h"

namespace {

// Largest number of characters GetCommandString copies out, terminator not
// counted.
constexpr UINT kCommandStringLimit = kFixedTextCapacity;
// Capacity of the buffer the help text is composed in.
constexpr int32_t kHelpTextCapacity = 515;

// The argument a selected file is passed as: its short path name, or its
// long name when no short name can be had (the file has gone, the volume
// keeps none, or the conversion fails); either in double quotes when it
// holds a space. `conversion` is the 519-character buffer of the call.
void ComposeFileArgument(TextBuffer& argument, TextBuffer& conversion, const char* longName) {
    const DWORD result =
        GetShortPathNameA(longName, conversion.storage, static_cast<DWORD>(kInvokeBufferCapacity + 1));
    if (result == 0 || result > static_cast<DWORD>(kInvokeBufferCapacity)) {
        AssignFileArgument(argument, longName);
        return;
    }
    conversion.Recount();
    AssignFileArgument(argument, conversion.Text());
}

}  // namespace

STDMETHODIMP ContextMenuExtension::InvokeCommand(CMINVOKECOMMANDINFO* pici) {
    HRESULT result = E_INVALIDARG;
    // A verb whose bits above the low 16 are set is a string: no item of ours.
    const UINT_PTR verb = pici != nullptr ? reinterpret_cast<UINT_PTR>(pici->lpVerb) : ~static_cast<UINT_PTR>(0);
    const UINT offset = static_cast<UINT>(verb & 0xFFFF);
    if ((verb >> 16) == 0 && offset < static_cast<UINT>(menu.itemCount)) {
        char conversionStore[kInvokeBufferCapacity + 1];
        TextOver buffer(conversionStore, kInvokeBufferCapacity);
        // Room for a name of the buffer's size and its two quotes.
        char argumentStore[kInvokeBufferCapacity + 3];
        TextOver argument(argumentStore, kInvokeBufferCapacity + 2);

        // The selection holds the names in reverse drop order; pushing each
        // converted name at the head again restores the drop order.
        TextListNode* detached = selection;
        selection = nullptr;
        selectionCount = 0;
        int32_t filesLength = 0;
        while (detached != nullptr) {
            TextListNode* node = detached;
            detached = node->next;
            ComposeFileArgument(argument, buffer, node->text.Text());
            TextListNode::Destroy(node);
            if (PushText(&selection, argument.Text())) {
                ++selectionCount;
                filesLength += selection->text.Length() + 1;
            }
        }

        const ActionItem* item = menu.items[offset];
        HeapText commandLine;
        DWORD error = 0;
        if (!item->LaunchAction(selection, filesLength, commandLine, &error)) {
            char* systemText = nullptr;
            const DWORD systemLength =
                FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, error,
                               MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&systemText), 0,
                               nullptr);
            ComposeLaunchFailure(buffer, item->displayName.Text(), static_cast<int32_t>(error),
                                 systemLength != 0 ? systemText : nullptr, commandLine.Text());
            if (systemText != nullptr) LocalFree(systemText);
            MessageBoxA(pici->hwnd, buffer.Text(), kErrorCaption, MB_ICONERROR | MB_OK);
        }
        commandLine.FreeStorage();
        result = S_OK;
    }
    ResetMenuState();
    menu.itemCount = 0;
    return result;
}

STDMETHODIMP ContextMenuExtension::GetCommandString(UINT_PTR idCmd, UINT uType, UINT*, LPSTR pszName, UINT cchMax) {
    if (idCmd >= static_cast<UINT_PTR>(menu.itemCount)) return S_OK;
    const ActionItem* item = menu.items[idCmd];
    char textStore[kHelpTextCapacity + 1];
    TextOver text(textStore, kHelpTextCapacity);
    if (uType == GCS_HELPTEXTA || uType == GCS_HELPTEXTW) {
        text.Assign("Open ");
        text.AppendDecimal(selectionCount);
        text.Append(" file(s) with ");
        text.Append(item->targetPath.Text());
    } else {
        text.Assign(item->displayName.Text());
    }
    if (pszName == nullptr || cchMax == 0) return S_OK;

    FixedText copy(text.Text());  // never more than 260 characters
    const UINT limit = cchMax - 1 < kCommandStringLimit ? cchMax - 1 : kCommandStringLimit;
    if ((uType & GCS_UNICODE) != 0) {
        // A wide request gives a buffer of cchMax UTF-16 characters.
        wchar_t wide[kCommandStringLimit + 1];
        int length = 0;
        if (copy.Length() > 0) {
            length = MultiByteToWideChar(CP_ACP, 0, copy.Text(), copy.Length(), wide,
                                         static_cast<int>(kCommandStringLimit));
        }
        const UINT count = static_cast<UINT>(length) < limit ? static_cast<UINT>(length) : limit;
        wchar_t* out = reinterpret_cast<wchar_t*>(pszName);
        std::memcpy(out, wide, count * sizeof(wchar_t));
        out[count] = 0;
        return S_OK;
    }
    const UINT count = static_cast<UINT>(copy.Length()) < limit ? static_cast<UINT>(copy.Length()) : limit;
    std::memcpy(pszName, copy.Text(), count);
    pszName[count] = 0;
    return S_OK;
}

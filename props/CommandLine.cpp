#include "props/CommandLine.h"

#include <cstring>

#include "props/ActionsFolder.h"
#include "props/ModernMenu.h"
#include "props/PackageCommand.h"
#include "props/Registration.h"
#include "toolkit/TextBuffer.h"
#include "toolkit/Utf8.h"
#include "toolkit/WideConvert.h"

namespace {

const wchar_t kCaption[] = L"Zentrik Properties";
const char kUsage[] =
    "Usage: Zentprops.exe [/enable | /disable | /actions] [/quiet]\r\n\r\n"
    "  (none)     show the settings dialog\r\n"
    "  /enable    switch the Zentrik context menu on\r\n"
    "  /disable   switch it off\r\n"
    "  /actions   open the folder where you add actions\r\n"
    "  /quiet     show no message; the exit code tells the outcome";

bool SameSwitch(const char* word, size_t length, const char* name) {
    if (length != std::strlen(name)) return false;
    for (size_t i = 0; i < length; ++i) {
        char c = word[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != name[i]) return false;
    }
    return true;
}

// Writes the line to the standard output when there is one.
void WriteOutput(const char* text) {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out == nullptr || out == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(out, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
    WriteFile(out, "\r\n", 2, &written, nullptr);
}

void Report(const SwitchRequest& request, HWND owner, const char* text, bool failed) {
    WriteOutput(text);
    if (!request.quiet) ShowMessage(owner, text, MB_OK | (failed ? MB_ICONERROR : MB_ICONINFORMATION));
}

}  // namespace

void ShowMessage(HWND owner, const char* text, UINT flags) {
    FixedWide<> wide;
    AppendUtf16(wide, text);
    MessageBoxW(owner, AsWide(wide), kCaption, flags);
}

SwitchRequest ParseSwitches(const char* commandLine) {
    SwitchRequest request{SwitchAction::ShowDialog, false};
    bool enable = false, disable = false, actions = false, unknown = false, any = false;
    const char* p = commandLine != nullptr ? commandLine : "";
    while (*p != '\0') {
        while (*p == ' ' || *p == '\t') ++p;
        if (*p == '\0') break;
        const char* word = p;
        while (*p != '\0' && *p != ' ' && *p != '\t') ++p;
        size_t length = static_cast<size_t>(p - word);
        any = true;
        if (length < 2 || (word[0] != '/' && word[0] != '-')) {
            unknown = true;
        } else if (SameSwitch(word + 1, length - 1, "enable")) {
            enable = true;
        } else if (SameSwitch(word + 1, length - 1, "disable")) {
            disable = true;
        } else if (SameSwitch(word + 1, length - 1, "actions")) {
            actions = true;
        } else if (SameSwitch(word + 1, length - 1, "quiet")) {
            request.quiet = true;
        } else {
            unknown = true;
        }
    }
    if (!any) return request;
    if (unknown || static_cast<int>(enable) + static_cast<int>(disable) + static_cast<int>(actions) != 1) {
        request.action = SwitchAction::Usage;
    } else if (actions) {
        request.action = SwitchAction::OpenActions;
    } else {
        request.action = enable ? SwitchAction::Enable : SwitchAction::Disable;
    }
    return request;
}

int RunSwitches(const SwitchRequest& request, HWND owner) {
    if (request.action == SwitchAction::OpenActions) return ShowActionsFolder(owner) ? 0 : kExitActionsFolder;
    if (request.action != SwitchAction::Enable && request.action != SwitchAction::Disable) {
        WriteOutput(kUsage);
        if (!request.quiet) ShowMessage(owner, kUsage, MB_OK | MB_ICONWARNING);
        return kExitUsage;
    }
    bool enable = request.action == SwitchAction::Enable;
    FixedText why;
    RegistrationOutcome outcome = SetRegistration(enable ? 1 : 0, &why);
    FixedText text;
    DescribeOutcome(outcome, enable, why.Text(), text);
    int code = outcome.succeeded ? 0 : kExitStepBase + outcome.failedStep;
    // The Windows 11 menu goes with the classic one: registered once the
    // classic menu is (unless the user switched it off in the dialog),
    // removed whenever the extension is switched off.
    if (ModernMenuApplies() && (enable ? outcome.succeeded && ModernMenuWanted() : true)) {
        const uint32_t packageCode = SetModernMenu(enable);
        FixedText sentence;
        DescribePackageOutcome(packageCode, enable, sentence);
        text.Append("\r\n").Append(sentence.Text());
        if (packageCode != 0 && code == 0) code = kExitModernMenu;
    }
    Report(request, owner, text.Text(), code != 0);
    return code;
}

void DescribeOutcome(const RegistrationOutcome& outcome, bool enable, const char* why, TextBuffer& out) {
    if (!outcome.succeeded) {
        out.Assign(enable ? "Zentrik could not be enabled" : "Zentrik could not be disabled");
        out.Append(": registry step ").AppendDecimal(outcome.failedStep).Append(" failed.");
        return;
    }
    if (!enable) {
        out.Assign("Zentrik is disabled.");
    } else if (outcome.folderOpen && why != nullptr && why[0] != 0) {
        out.Assign(why);
    } else if (outcome.scope == RegistrationScope::User) {
        out.Assign("Zentrik is enabled for the current user (HKEY_CURRENT_USER\\Software\\Classes).");
    } else {
        out.Assign("Zentrik is enabled for all users.");
    }
}

#include "props/PropertiesDialog.h"

#include "props/ActionsFolder.h"
#include "props/CommandLine.h"
#include "props/ModernMenu.h"
#include "props/PackageCommand.h"
#include "props/PropsResources.h"
#include "props/Registration.h"
#include "settings/Settings.h"
#include "toolkit/Paths.h"
#include "toolkit/Utf8.h"
#include "toolkit/WideConvert.h"

namespace {

const char kHelpFileName[] = "Zentrik.hlp";

// Context help: control id, topic id, ... ending with a pair of zeros. The
// help system takes the table whole.
DWORD g_helpTable[] = {
    IDC_ENABLE, 101,         IDC_GRADIENT, 102,        IDC_LARGE_ICON, 103,        IDC_BUTTON_ICON, 104,
    IDC_LINK_OVERLAY, 105,   IDC_USE_MENU_NAME, 106,   IDC_MENU_NAME, 107,         IDC_HIDE_EMPTY, 108,
    IDC_APPLY, 201,          IDC_PROGRAM_ICON, 10001,          IDC_ABOUT_NAME, 10002,      IDC_ABOUT_VERSION, 10002,
    IDC_ABOUT_COPYRIGHT, 10002, IDC_ABOUT_RIGHTS, 10002, IDC_WIN11_MENU, 109, 0, 0,
};

// The option check boxes and the Settings flag each one shows.
struct OptionBox {
    int id;
    int32_t Settings::*flag;
};
const OptionBox kOptionBoxes[] = {
    {IDC_GRADIENT, &Settings::GradientMenuBar}, {IDC_LARGE_ICON, &Settings::LargeIcon},
    {IDC_BUTTON_ICON, &Settings::ButtonIcon},   {IDC_LINK_OVERLAY, &Settings::LinkOverlay},
    {IDC_USE_MENU_NAME, &Settings::UseMenuName}, {IDC_HIDE_EMPTY, &Settings::HideEmpty},
};

// Empty when the program's directory is not known: a file of the current
// directory would be another file.
FixedText& ProgramFile(FixedText& out, const char* name) {
    if (ProgramDirectory().Empty()) {
        out.Assign("");
        return out;
    }
    return CombinePath(out, ProgramDirectory().Text(), name);
}

// The help call with the help file beside the program; nothing when there is
// no such path.
void ShowHelp(HWND window, UINT command) {
    FixedText helpFile;
    ProgramFile(helpFile, kHelpFileName);
    FixedWide<> path;
    if (helpFile.Empty() || !AppendUtf16(path, helpFile.Text())) return;
    WinHelpW(window, AsWide(path), command, reinterpret_cast<ULONG_PTR>(g_helpTable));
}

}  // namespace

INT_PTR PropertiesDialog::Run(HINSTANCE instance) {
    return DialogBoxParamW(instance, L"APPDIALOG", nullptr, Procedure, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK PropertiesDialog::Procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    }
    auto* self = reinterpret_cast<PropertiesDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (self == nullptr) return FALSE;
    switch (message) {
        case WM_INITDIALOG:
            self->dialog_ = dialog;
            self->OnInitDialog();
            return TRUE;
        case WM_COMMAND:
            self->OnCommand(wParam);
            return TRUE;
        case WM_HELP:
            self->OnHelp(reinterpret_cast<const HELPINFO*>(lParam));
            return TRUE;
        case WM_CONTEXTMENU:
            self->OnContextMenu(reinterpret_cast<HWND>(wParam));
            return TRUE;
        default:
            return FALSE;
    }
}

void PropertiesDialog::OnInitDialog() {
    CentreInWorkArea();
    LoadIntoControls();
    UpdateEnabling();
    SetItemText(IDC_ABOUT_NAME, about_.productName.Text());
    SetItemText(IDC_ABOUT_VERSION, about_.version.Text());
    SetItemText(IDC_ABOUT_COPYRIGHT, about_.copyright.Text());
}

// Only the whole wParam counts: a notification other than a plain click
// (code 0) never matches OK, Cancel or Apply, but still updates the enabling.
void PropertiesDialog::OnCommand(WPARAM wParam) {
    if (wParam == IDOK || wParam == IDC_APPLY) {
        StoreFromControls();
        LoadIntoControls();
    }
    if (wParam == IDOK || wParam == IDCANCEL) {
        EndDialog(dialog_, wParam == IDOK ? 0 : 1);
    }
    if (wParam == IDC_OPEN_FOLDER) OpenActionsFolder();
    UpdateEnabling();
}

void PropertiesDialog::OnHelp(const HELPINFO* info) {
    if (info == nullptr || info->iContextType != HELPINFO_WINDOW) return;
    ShowHelp(static_cast<HWND>(info->hItemHandle), HELP_WM_HELP);
}

void PropertiesDialog::OnContextMenu(HWND window) { ShowHelp(window, HELP_CONTEXTMENU); }

// Left edge (work.left + work.right - width) / 2, top likewise; C++ division
// truncates toward zero as the placement rule asks.
void PropertiesDialog::CentreInWorkArea() {
    RECT work;
    RECT frame;
    if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0)) return;
    if (!GetWindowRect(dialog_, &frame)) return;
    int width = frame.right - frame.left;
    int height = frame.bottom - frame.top;
    SetWindowPos(dialog_, nullptr, (work.left + work.right - width) / 2, (work.top + work.bottom - height) / 2, 0,
                 0, SWP_NOSIZE | SWP_NOZORDER);
}

void PropertiesDialog::LoadIntoControls() {
    SetChecked(IDC_ENABLE, IsRegistered());
    // Greyed and unchecked where the Windows 11 menu does not apply (an
    // older Windows, Wine 8 included; the x86 copy on 64-bit Windows).
    const bool modern = ModernMenuApplies();
    EnableWindow(GetDlgItem(dialog_, IDC_WIN11_MENU), modern ? TRUE : FALSE);
    SetChecked(IDC_WIN11_MENU, modern && ModernMenuWanted());
    FixedText settingsFile;
    ProgramFile(settingsFile, kSettingsFileName);
    ReadSettings(settingsFile.Text(), SettingsScope::Program);
    for (const OptionBox& box : kOptionBoxes) SetChecked(box.id, theSettings.*box.flag != 0);
    SetItemText(IDC_MENU_NAME, theSettings.MenuName.Text());
}

// Registers or unregisters on every store, whether or not the box changed,
// so that Apply repairs a registration damaged meanwhile. A failure is
// shown with the step that failed, as the switches report it, and so is the
// reason for a registration for the current user only whenever a store
// makes it so (not again on every Apply while it stays so).
void PropertiesDialog::StoreFromControls() {
    bool enable = IsChecked(IDC_ENABLE);
    RegistrationScope before = RegisteredScope();
    FixedText why;
    RegistrationOutcome outcome = SetRegistration(enable ? 1 : 0, &why);
    if (!outcome.succeeded || (outcome.folderOpen && before != RegistrationScope::User)) {
        FixedText text;
        DescribeOutcome(outcome, enable, why.Text(), text);
        ShowMessage(dialog_, text.Text(), MB_OK | (outcome.succeeded ? MB_ICONINFORMATION : MB_ICONERROR));
    }
    StoreModernMenu(before != RegistrationScope::None, enable && outcome.succeeded);
    for (const OptionBox& box : kOptionBoxes) theSettings.*box.flag = IsChecked(box.id) ? 1 : 0;
    FixedText name;
    ReadMenuNameEdit(name);
    theSettings.SetMenuName(name.Text());  // cut after 63 characters
    WriteSettings();
}

// The package is registered while the extension is on and the box is
// checked: registered or removed when that changes (also when it changed
// through the extension's own box), and the outcome shown either way, since
// registering may need an Explorer restart and a failure leaves only the
// classic menu.
void PropertiesDialog::StoreModernMenu(bool wasOn, bool isOn) {
    if (!ModernMenuApplies()) return;
    const bool wantedBefore = ModernMenuWanted();
    const bool wanted = IsChecked(IDC_WIN11_MENU);
    if (wanted != wantedBefore) KeepModernMenuWanted(wanted);
    const bool before = wasOn && wantedBefore;
    const bool after = isOn && wanted;
    if (before == after) return;
    const uint32_t code = SetModernMenu(after);
    FixedText text;
    DescribePackageOutcome(code, after, text);
    ShowMessage(dialog_, text.Text(), MB_OK | (code == 0 ? MB_ICONINFORMATION : MB_ICONERROR));
}

void PropertiesDialog::UpdateEnabling() {
    bool differs = IsChecked(IDC_ENABLE) != IsRegistered();
    if (ModernMenuApplies() && IsChecked(IDC_WIN11_MENU) != ModernMenuWanted()) differs = true;
    for (const OptionBox& box : kOptionBoxes) {
        bool unchecked = IsDlgButtonChecked(dialog_, box.id) == BST_UNCHECKED;
        if (unchecked != (theSettings.*box.flag == 0)) differs = true;
    }
    // Equal UTF-8 bytes are equal characters.
    FixedText name;
    ReadMenuNameEdit(name);
    const TextBuffer& stored = theSettings.MenuName;
    if (name.Length() != stored.Length()) {
        differs = true;
    } else {
        for (int32_t i = 0; i < name.Length(); ++i) {
            if (name.Text()[i] != stored.Text()[i]) differs = true;
        }
    }
    EnableWindow(GetDlgItem(dialog_, IDC_APPLY), differs ? TRUE : FALSE);
    EnableWindow(GetDlgItem(dialog_, IDC_MENU_NAME), IsChecked(IDC_USE_MENU_NAME) ? TRUE : FALSE);
}

bool PropertiesDialog::IsChecked(int id) const { return IsDlgButtonChecked(dialog_, id) == BST_CHECKED; }

void PropertiesDialog::SetChecked(int id, bool checked) {
    CheckDlgButton(dialog_, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

// A UTF-8 text shown in UTF-16; the texts shown here (menu name, About
// lines) are FixedTexts at most, so they always fit.
void PropertiesDialog::SetItemText(int id, const char* text) {
    FixedWide<> wide;
    AppendUtf16(wide, text);
    SetDlgItemTextW(dialog_, id, AsWide(wide));
}

// Up to kSettingsTextUnits UTF-16 units of the edit box (the terminator
// forced behind them), in UTF-8. A FixedText holds all but a last character
// of three bytes in a box filled to the limit; the menu name keeps far fewer.
void PropertiesDialog::ReadMenuNameEdit(FixedText& text) const {
    wchar_t units[kSettingsTextUnits + 1];
    UINT count = GetDlgItemTextW(dialog_, IDC_MENU_NAME, units, kSettingsTextUnits + 1);
    units[kSettingsTextUnits] = 0;
    AssignUtf8(text, AsUtf16(units), static_cast<int32_t>(count <= kSettingsTextUnits ? count : kSettingsTextUnits));
}

// Where this user adds actions (props/ActionsFolder.h), in a folder window.
void PropertiesDialog::OpenActionsFolder() { ShowActionsFolder(dialog_); }

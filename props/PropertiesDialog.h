// The "Zentrik Properties" dialog (resource APPDIALOG): the extension's
// on/off switch and the display options of the settings file.
//
// The dialog compares its controls with the stored state (the registration
// and the Settings record as last read) and enables Apply only while they
// differ. OK and Apply store everything and reload the controls from what
// was stored; Cancel stores nothing, so the state of the last Apply stays.
//
// The dialog is a Unicode window: its texts go in and out in UTF-16 and are
// UTF-8 in the program (the menu name, the About lines), so a name in any
// script is shown and stored as typed.
//
// "Open actions folder" shows the library's folder, where the group folders
// with the user's actions live, in the shell.
#pragma once

#include <windows.h>

#include "props/AboutTexts.h"

class PropertiesDialog {
public:
    explicit PropertiesDialog(const AboutTexts& about) : about_(about) {}

    // Runs the modal dialog with no owner. Returns 0 after OK, 1 after Cancel
    // or the close box, -1 when the dialog cannot be created.
    INT_PTR Run(HINSTANCE instance);

private:
    static INT_PTR CALLBACK Procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

    void OnInitDialog();
    void OnCommand(WPARAM wParam);
    void OnHelp(const HELPINFO* info);
    void OnContextMenu(HWND window);

    void CentreInWorkArea();
    void LoadIntoControls();
    void StoreFromControls();
    // Registers or removes the Windows 11 package after the extension went
    // from on (`wasOn`) to `isOn` or the box changed; keeps the box's choice.
    // Does nothing where that menu does not apply.
    void StoreModernMenu(bool wasOn, bool isOn);
    void UpdateEnabling();
    void OpenActionsFolder();

    bool IsChecked(int id) const;
    void SetChecked(int id, bool checked);
    void SetItemText(int id, const char* text);
    void ReadMenuNameEdit(FixedText& text) const;

    const AboutTexts& about_;
    HWND dialog_ = nullptr;
};

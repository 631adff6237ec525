#include "tests/testsupport/ActionItemFile.h"

#include "catalogue/Shortcuts.h"
#include "settings/Settings.h"

ActionItem* ReadActionItem(const char* shortcutPath) {
    ShellLinkReader reader;
    return ActionItem::Create(shortcutPath, reader, theSettings.DefaultOrder);
}

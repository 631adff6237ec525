// Action items read from one shortcut file, outside a catalogue load.
#pragma once

#include "catalogue/ActionItem.h"

// Reads the shortcut file at `shortcutPath` (UTF-8) into a new item through
// a link object of its own, as a catalogue load reads it, with theSettings'
// DefaultOrder. A path that names no shortcut gives an item with every text
// empty. Null when the item cannot be allocated; ActionItem::Destroy frees it.
ActionItem* ReadActionItem(const char* shortcutPath);

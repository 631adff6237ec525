// Which item of a menu a typed letter picks, the rule of the shell's own
// menus: the item whose key is the letter; among several, the first one
// after the selected item (wrapping round), one more on each further press;
// a letter only one item has runs that item. An item's key is its mnemonic
// (the unit after a single '&': "Save &as" has 'a', "R&&D" has none) or,
// without one, the first unit of its name.
//
// Platform-free: folding letters to one case is the caller's.
#pragma once

#include <cstdint>

// Position of the mnemonic in `name` (terminated): the unit after the first
// '&' that is not doubled and not last; -1 when there is none.
int32_t MnemonicPosition(const char16_t* name);

struct MenuCharChoice {
    int32_t index;  // the item picked, 0-based; -1: none has the key
    bool execute;   // true: the only item with the key, run it; false: select it
};

// `keys` holds count folded item keys (0: the item has none), `current` the
// selected item (-1: none) and `key` the folded letter typed.
MenuCharChoice ChooseMenuItem(const char16_t* keys, int32_t count, int32_t current, char16_t key);

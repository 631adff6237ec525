#include "menudraw/MenuCharChoice.h"

int32_t MnemonicPosition(const char16_t* name) {
    for (int32_t i = 0; name[i] != 0; ++i) {
        if (name[i] != u'&') continue;
        if (name[i + 1] == 0) return -1;
        if (name[i + 1] != u'&') return i + 1;
        ++i;  // "&&" is a plain '&'
    }
    return -1;
}

MenuCharChoice ChooseMenuItem(const char16_t* keys, int32_t count, int32_t current, char16_t key) {
    MenuCharChoice choice = {-1, false};
    if (key == 0) return choice;
    int32_t matches = 0;
    for (int32_t k = 0; k < count; ++k) {
        if (keys[k] == key) ++matches;
    }
    if (matches == 0) return choice;
    if (current < -1 || current >= count) current = -1;
    for (int32_t step = 1; step <= count; ++step) {
        const int32_t k = (current + step) % count;
        if (keys[k] == key) {
            choice.index = k;
            break;
        }
    }
    choice.execute = matches == 1;
    return choice;
}

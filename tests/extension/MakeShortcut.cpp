// make_shortcut [--icon-from-target] LINK TARGET [ARGUMENTS]: writes a real
// shell link through the shell's link object, for the packages' starter
// library and the demo. --icon-from-target stores the target's first icon as
// the link's icon location (Wine 8 shows a generic icon for a link without
// one, Windows the target's).
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "tests/testsupport/Shortcut.h"

int main(int argc, char** argv) {
    bool iconFromTarget = argc > 1 && std::strcmp(argv[1], "--icon-from-target") == 0;
    if (iconFromTarget) {
        --argc;
        ++argv;
    }
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: make_shortcut [--icon-from-target] LINK TARGET [ARGUMENTS]\n");
        return 2;
    }
    ComApartment apartment;
    ShortcutSpec linkSpec;
    linkSpec.target = argv[2];
    if (argc == 4) linkSpec.arguments = argv[3];
    if (iconFromTarget) linkSpec.iconPath = linkSpec.target;
    const HRESULT hr = WriteShortcut(argv[1], linkSpec);
    if (FAILED(hr)) {
        std::fprintf(stderr, "make_shortcut: cannot write %s (0x%08lX)\n", argv[1], static_cast<unsigned long>(hr));
        return 1;
    }
    return 0;
}

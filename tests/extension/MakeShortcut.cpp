// make_shortcut LINK TARGET [ARGUMENTS]: writes a real shell link through the
// shell's link object, for the demo's sample action library.
#include <windows.h>

#include <cstdio>
#include <string>

#include "tests/testsupport/Shortcut.h"

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: make_shortcut LINK TARGET [ARGUMENTS]\n");
        return 2;
    }
    ComApartment apartment;
    ShortcutSpec linkSpec;
    linkSpec.target = argv[2];
    if (argc == 4) linkSpec.arguments = argv[3];
    const HRESULT hr = WriteShortcut(argv[1], linkSpec);
    if (FAILED(hr)) {
        std::fprintf(stderr, "make_shortcut: cannot write %s (0x%08lX)\n", argv[1], static_cast<unsigned long>(hr));
        return 1;
    }
    return 0;
}

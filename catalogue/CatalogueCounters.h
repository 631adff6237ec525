// How much work the catalogue has done, for tests and diagnostics; the
// catalogue keeps the counts (interlocked), nothing else changes them.
#pragma once

#include <windows.h>

struct CatalogueCounters {
    LONG loads;             // folder scans since the process started
    LONG generationsAlive;  // generations built and not yet freed
    LONG shortcutsRead;     // shortcut files read through a link object (copies of unchanged ones not counted)
};

// The counts as they are now.
CatalogueCounters ReadCatalogueCounters();

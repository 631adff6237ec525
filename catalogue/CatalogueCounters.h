// How much work the catalogue has done, for tests and diagnostics; the
// catalogue keeps the counts (interlocked), nothing else changes them.
#pragma once

#include <windows.h>

struct CatalogueCounters {
    LONG loads;             // folder scans since the process started
    LONG generationsAlive;  // generations built and not yet freed
};

// The counts as they are now.
CatalogueCounters ReadCatalogueCounters();

// The process-wide catalogue of action groups, loaded from a library folder
// (the extension passes the folder of its own module file) and reloaded from
// the same folder when that folder's tree changes.
//
// Layout the loader reads (the library folder, e.g. C:\TOOLS\ACT\, and the
// user's own actions folder, %APPDATA%\Zentrik\, alike):
//   - every entry, file or folder, whose name parses as a group (EXT...,
//     VERB..., DIR, BACKGROUND) becomes a group; a folder's shortcut files
//     are its actions, and a folder inside it is a submenu of such actions
//     (ActionItem.h), down to kMaxSubmenuDepth levels;
//   - a shortcut directly in the directory that points at one of its group
//     folders widens that group by the shortcut's own name (EXT.htm.lnk ->
//     the types of "EXT.htm"; DIR.lnk -> folders; BACKGROUND.lnk -> the
//     background);
//   - "Zentrik.ini" there holds the settings, re-read by every load.
// Groups are kept in the reverse of the listing's order, items likewise;
// that order decides among actions that sort equal. The library folder's
// groups come first, then the user folder's: a group of the same name in
// both stays two groups, whose actions a menu shows side by side.
//
// Reading on demand. A load lists the folders only: the group names say
// which selections a group serves. A group's shortcuts are read when a menu
// first asks for them (ActionGroup::Items, ReadGroupItems) and kept in the
// generation; a reload re-reads only the groups the previous generation had
// read, copying what did not change, and leaves the others to be read on
// demand.
//
// Generations. Every load builds a new CatalogueGeneration and makes it the
// current one; the previous generation is freed only when nobody holds it
// any more. A generation is held by the catalogue while it is current and
// by each reader that acquired it, counted with interlocked operations. So
// a menu that borrowed ActionItem pointers shows and runs exactly the
// actions it was built from, whatever another thread reloads meanwhile.
//
// Readers' contract (the context-menu object):
//   1. ReloadIfChanged();                      // once per menu build
//   2. CatalogueGeneration* g = AcquireCatalogue();   // may be null
//   3. walk g->firstGroup / nextGroup, MatchesKey, Items() / nextItem,
//      keep ActionItem pointers, without any lock (Items() takes the
//      catalogue's lock only the first time a group is read);
//   4. ReleaseCatalogue(g) when those pointers are dropped (the menu's next
//      reset or its destruction). After that no pointer into g may be used.
// Everything reachable from a generation is read-only for readers. The
// CatalogueReader class below does 2 and 4 for an owner.
//
// Settings. Each generation carries the settings its load read; a menu
// reads those of the generation it holds, so a reload never changes what a
// shown menu captions, measures or paints with. The library never writes
// theSettings.
//
// Reloads. A reload after a change reads only what changed (BuildGeneration
// with the previous generation) and gives the catalogue a full load would.
//
// Locking. catalogueLock is a RecursiveLock (toolkit/Win32Handles.h) made
// usable at the library's process attach (CreateCatalogueLock) and given
// back at its detach (CloseCatalogueLock). Load, free, reload check and
// acquire take it; readers never hold it while they walk. Without the lock
// (creation failed) the operations run unguarded.
#pragma once

#include <windows.h>

#include "catalogue/ActionGroup.h"
#include "catalogue/ActionItem.h"
#include "settings/Settings.h"
#include "toolkit/TextBuffer.h"
#include "toolkit/Win32Handles.h"

// A shortcut directly in the library (or user) folder as one load found and
// resolved it; the next load reuses the target when the file is unchanged.
struct FolderShortcut {
    FolderShortcut* next;  // next of the same load; null at the end
    HeapText fileName;     // the file's full path: the folder as kept and the name as listed
    FileStamp stamp;       // the file as listed when it was resolved
    HeapText target;       // its link target, upper-cased; empty when it could not be read
};

// One load's groups and settings with the count of those who hold them.
struct CatalogueGeneration {
    ActionGroup* firstGroup;    // head of this load's groups, linked by nextGroup; null when none
    volatile LONG holders;      // 1 while current, + 1 per reader; freed at 0
    LONG loadNumber;            // which load built it (1 for the first of the process)
    Settings settings;          // the options this load read: what its menus caption, measure and paint with
    FileStamp settingsStamp;    // the settings file as it was when read
    FolderShortcut* shortcuts;  // the folder's shortcuts and their targets (the aliases' source)
};

struct Catalogue {
    CatalogueGeneration* current = nullptr;  // the newest load; null before the first load and after a free
    RecursiveLock catalogueLock;             // not Created() when it could not be made
    ChangeNotificationHandle changeWatch;  // watch on the folder's tree; invalid when none
    ChangeNotificationHandle userWatch;    // watch on the user folder's tree, or on its parent while it is missing
    FixedText folder;                      // the library folder as given (UTF-8), ending in a backslash; set by each load
    FixedText userFolder;                  // the user's actions folder, ending in a backslash; empty when none
    volatile LONG loaded = 0;              // 1 once a load has run (LoadCatalogueOnFirstUse)
};

extern Catalogue theCatalogue;

// Submenu folders deeper than this many levels below a group folder are
// not read.
constexpr int32_t kMaxSubmenuDepth = 8;

// Creates / closes catalogueLock (the library's start-up and exit object).
void CreateCatalogueLock();
void CloseCatalogueLock();

// Frees the current catalogue, reads the settings and scans `libraryFolder`
// and `userFolder` (UTF-8, with or without a trailing backslash; cut to a
// FixedText; null or empty: none) into a new generation, which becomes
// current, and (re)starts the change watches on them. A folder that cannot
// be listed gives no groups. Reports nothing.
void LoadCatalogue(const char* libraryFolder, const char* userFolder = nullptr);
// LoadCatalogue(libraryFolder, userFolder) unless a load has run already in
// this process; several threads may ask at once, one of them loads.
void LoadCatalogueOnFirstUse(const char* libraryFolder, const char* userFolder = nullptr);
// Whether a load has run in this process (no lock taken).
bool CatalogueLoadedOnce();

// Builds a generation from the UTF-8 `libraryFolder` and `userFolder` (null:
// none; each normalised as the
// catalogue keeps it: unchanged, ending in a backslash; upper-cased copies
// serve comparisons only). With `previous` (a
// generation of the same folder, held by the caller), only what changed since
// it is read: the settings file when its stamp differs, and the shortcut
// files that are new or whose size or last write differ; every other action
// is copied from `previous`, and so are the targets of unchanged shortcuts of
// the folder. Groups are read only when `previous` had read them (else on
// demand). The result equals a load without `previous` in everything a
// menu shows. Null when the record cannot be allocated. Touches neither the
// current catalogue nor the watch; the caller owns the result (one holder).
CatalogueGeneration* BuildGeneration(const char* libraryFolder, const CatalogueGeneration* previous,
                                     const char* userFolder = nullptr);

// Reads the shortcuts and submenus of `group`'s folder into it unless that
// was done already, and marks it read; any thread, any number at once (one
// reads, under catalogueLock). What cannot be read is left out.
void ReadGroupItems(ActionGroup& group);

// Reads the catalogue's folder again on top of the current generation
// (BuildGeneration with it as `previous`), makes the result current and
// restarts the change watch. Loads in full when nothing is current.
void ReloadCatalogue();

// Drops the catalogue's hold on the current generation (its groups are
// destroyed now, or by the last reader's release) and leaves none current.
void FreeCatalogue();
// When the change watch has fired: closes it and loads again from the same
// folder (ReloadCatalogue: only what changed is read; it opens a new
// watch). Otherwise costs one zero-time-out wait and scans nothing.
void ReloadIfChanged();

// Watches the catalogue's folder, subtree included, for file and
// folder names, sizes and last writes; replaces (closing) any watch held.
// A failure leaves no watch, and no reload happens until the next load.
// The user folder is watched the same way; while it does not exist, its
// parent is watched (folder names only) so that its creation is seen.
void StartChangeWatch();
void CloseChangeWatch();
// True when a watch is held and has been signalled (either). Never blocks.
bool ChangeWatchSignalled();

// The current generation with one more holder, or null when no catalogue
// is loaded. Pass the result (null too) to ReleaseCatalogue exactly once.
CatalogueGeneration* AcquireCatalogue();
// Drops one holder; the last one destroys the generation's groups and items.
void ReleaseCatalogue(CatalogueGeneration* generation);

// The options a menu uses when it holds no generation: the defaults, never
// written.
const Settings& DefaultCatalogueSettings();

// Move-only owner of one acquired generation.
class CatalogueReader {
public:
    CatalogueReader() = default;
    ~CatalogueReader() { Release(); }
    CatalogueReader(CatalogueReader&& other) noexcept : generation(other.generation) { other.generation = nullptr; }
    CatalogueReader& operator=(CatalogueReader&& other) noexcept {
        if (this != &other) {
            Release();
            generation = other.generation;
            other.generation = nullptr;
        }
        return *this;
    }
    CatalogueReader(const CatalogueReader&) = delete;
    CatalogueReader& operator=(const CatalogueReader&) = delete;

    // Releases what is held, then holds the current generation (if any).
    void Acquire() {
        Release();
        generation = AcquireCatalogue();
    }
    void Release() {
        ReleaseCatalogue(generation);
        generation = nullptr;
    }
    // First group of the held generation; null when nothing is held.
    ActionGroup* FirstGroup() const { return generation != nullptr ? generation->firstGroup : nullptr; }
    const CatalogueGeneration* Generation() const { return generation; }
    // The held generation's settings, or the defaults when nothing is held.
    const Settings& HeldSettings() const {
        return generation != nullptr ? generation->settings : DefaultCatalogueSettings();
    }

private:
    CatalogueGeneration* generation = nullptr;
};

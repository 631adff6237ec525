#include "catalogue/Catalogue.h"

#include <cstring>
#include <new>

#include "catalogue/CatalogueCounters.h"
#include "catalogue/Shortcuts.h"
#include "settings/Settings.h"
#include "toolkit/Paths.h"

Catalogue theCatalogue;

namespace {

// The watch's filter: file names, folder names, sizes and last writes.
constexpr DWORD kChangeFilter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                                FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE;
static_assert(kChangeFilter == 27, "the watch filter is 27");

volatile LONG g_loads = 0;
volatile LONG g_generationsAlive = 0;

bool IsDotEntry(const char* name) { return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0; }

CatalogueGeneration* NewGeneration() {
    void* raw = TextHeapAllocate(sizeof(CatalogueGeneration));
    if (raw == nullptr) return nullptr;
    CatalogueGeneration* generation = new (raw) CatalogueGeneration;
    generation->firstGroup = nullptr;
    generation->holders = 1;  // the catalogue's own hold while current
    generation->loadNumber = 0;
    InterlockedIncrement(&g_generationsAlive);
    return generation;
}

void DestroyGeneration(CatalogueGeneration* generation) {
    while (generation->firstGroup != nullptr) {
        ActionGroup* group = generation->firstGroup;
        generation->firstGroup = group->nextGroup;
        ActionGroup::Destroy(group);
    }
    generation->~CatalogueGeneration();
    TextHeapRelease(generation);
    InterlockedDecrement(&g_generationsAlive);
}

// The folder as the catalogue keeps it: upper-cased and ending in a
// backslash (none is added to an empty text).
void NormaliseFolder(FixedText& folder, const char* libraryFolder) {
    folder.Assign(libraryFolder != nullptr ? libraryFolder : "");
    if (!folder.Empty()) {
        const char last = folder.Text()[folder.Length() - 1];
        if (last != '\\' && last != '/') {
            // Room for the backslash: a folder of 260 bytes is cut by one.
            if (folder.Length() >= kFixedTextCapacity) folder.Truncate(kFixedTextCapacity - 1);
            folder.Append("\\");
        }
    }
    folder.MakeUpper();
}

// Reads the shortcuts directly inside one group folder into the group.
void LoadGroupItems(ActionGroup& group, const FixedText& moduleDirectory, const char* folderName) {
    FixedText folder(moduleDirectory.Text());
    folder.Append(folderName).Append("\\");
    FixedText pattern;
    CombinePath(pattern, folder.Text(), "*.*");
    WIN32_FIND_DATAA entry;
    FindHandle listing(FindFirstFileA(pattern.Text(), &entry));
    if (!listing.Valid()) return;
    do {
        if (!IsShortcutFile(entry.cFileName)) continue;
        FixedText path;
        CombinePath(path, folder.Text(), entry.cFileName);
        ActionItem* item = ActionItem::Create(path.Text());
        if (item == nullptr) continue;
        if (item->displayName.Empty()) {
            ActionItem::Destroy(item);
            continue;
        }
        group.AddItem(item);
    } while (FindNextFileA(listing.Get(), &entry));
}

// First scan: every entry that names a group becomes one, with its items.
ActionGroup* ScanGroups(const FixedText& moduleDirectory) {
    ActionGroup* head = nullptr;
    FixedText pattern;
    CombinePath(pattern, moduleDirectory.Text(), "*.*");
    WIN32_FIND_DATAA entry;
    FindHandle listing(FindFirstFileA(pattern.Text(), &entry));
    if (!listing.Valid()) return head;
    do {
        if (IsDotEntry(entry.cFileName)) continue;
        ActionGroup* group = ActionGroup::Create(entry.cFileName);
        if (group == nullptr) continue;
        if (group->kind == NotAGroup) {
            ActionGroup::Destroy(group);
            continue;
        }
        LoadGroupItems(*group, moduleDirectory, entry.cFileName);
        group->nextGroup = head;
        head = group;
    } while (FindNextFileA(listing.Get(), &entry));
    return head;
}

// Second scan: shortcuts in the directory that point at one of its groups
// widen that group by their own name.
void ScanAliases(const FixedText& moduleDirectory, ActionGroup* groups) {
    FixedText pattern;
    CombinePath(pattern, moduleDirectory.Text(), "*.*");
    WIN32_FIND_DATAA entry;
    FindHandle listing(FindFirstFileA(pattern.Text(), &entry));
    if (!listing.Valid()) return;
    do {
        if (!IsShortcutFile(entry.cFileName)) continue;
        FixedText shortcut;
        CombinePath(shortcut, moduleDirectory.Text(), entry.cFileName);
        FixedText target;
        ResolveShortcutTarget(target, shortcut.Text());
        target.MakeUpper();

        FixedText targetDirectory;
        DirectoryOf(targetDirectory, target.Text());
        if (targetDirectory.Length() != moduleDirectory.Length() ||
            std::memcmp(targetDirectory.Text(), moduleDirectory.Text(), moduleDirectory.Length()) != 0) {
            continue;
        }
        FixedText targetName;
        FileNameOf(targetName, target.Text());
        targetName.MakeUpper();

        for (ActionGroup* group = groups; group != nullptr; group = group->nextGroup) {
            if (group->name.Length() == targetName.Length() &&
                std::memcmp(group->name.Text(), targetName.Text(), targetName.Length()) == 0) {
                FixedText alias;
                BaseNameOf(alias, entry.cFileName);
                group->AddAliasFilter(alias.Text());
                break;
            }
        }
    } while (FindNextFileA(listing.Get(), &entry));
}

void DropHold(CatalogueGeneration* generation) {
    if (generation != nullptr && InterlockedDecrement(&generation->holders) == 0) DestroyGeneration(generation);
}

}  // namespace

void CreateCatalogueLock() {
    if (theCatalogue.catalogueLock == nullptr) theCatalogue.catalogueLock = CreateMutexA(nullptr, FALSE, nullptr);
}

void CloseCatalogueLock() {
    if (theCatalogue.catalogueLock != nullptr) {
        CloseHandle(theCatalogue.catalogueLock);
        theCatalogue.catalogueLock = nullptr;
    }
}

void LoadCatalogue(const char* libraryFolder) {
    MutexLock lock(theCatalogue.catalogueLock);
    FreeCatalogue();

    // libraryFolder may be the catalogue's own folder (a reload): copy first.
    FixedText moduleDirectory;
    NormaliseFolder(moduleDirectory, libraryFolder);
    theCatalogue.folder.Assign(moduleDirectory.Text());

    // The watch starts before anything is read, so that a change made while
    // this load reads the directory is not lost: it fires the new watch and
    // the next check loads again.
    StartChangeWatch();

    FixedText settingsFile;
    CombinePath(settingsFile, moduleDirectory.Text(), kSettingsFileName);
    ReadSettings(settingsFile.Text(), SettingsScope::Library);

    const LONG loadNumber = InterlockedIncrement(&g_loads);
    CatalogueGeneration* generation = NewGeneration();
    if (generation == nullptr) return;  // no memory for the record: an empty catalogue
    generation->loadNumber = loadNumber;
    generation->firstGroup = ScanGroups(moduleDirectory);
    ScanAliases(moduleDirectory, generation->firstGroup);
    theCatalogue.current = generation;
}

void FreeCatalogue() {
    MutexLock lock(theCatalogue.catalogueLock);
    CatalogueGeneration* generation = theCatalogue.current;
    theCatalogue.current = nullptr;
    DropHold(generation);
}

void ReloadIfChanged() {
    MutexLock lock(theCatalogue.catalogueLock);
    if (ChangeWatchSignalled()) {
        CloseChangeWatch();
        LoadCatalogue(theCatalogue.folder.Text());
    }
}

void StartChangeWatch() {
    FixedText directory;
    DirectoryOfNoSlash(directory, theCatalogue.folder.Text());
    theCatalogue.changeWatch.Reset(FindFirstChangeNotificationA(directory.Text(), TRUE, kChangeFilter));
}

void CloseChangeWatch() { theCatalogue.changeWatch.Reset(); }

bool ChangeWatchSignalled() {
    return theCatalogue.changeWatch.Valid() && WaitForSingleObject(theCatalogue.changeWatch.Get(), 0) == WAIT_OBJECT_0;
}

CatalogueGeneration* AcquireCatalogue() {
    MutexLock lock(theCatalogue.catalogueLock);
    CatalogueGeneration* generation = theCatalogue.current;
    if (generation != nullptr) InterlockedIncrement(&generation->holders);
    return generation;
}

void ReleaseCatalogue(CatalogueGeneration* generation) { DropHold(generation); }

CatalogueCounters ReadCatalogueCounters() {
    CatalogueCounters counters;
    counters.loads = InterlockedCompareExchange(&g_loads, 0, 0);
    counters.generationsAlive = InterlockedCompareExchange(&g_generationsAlive, 0, 0);
    return counters;
}

#include "catalogue/Catalogue.h"

#include <cstring>
#include <new>

#include "catalogue/CatalogueCounters.h"
#include "catalogue/Shortcuts.h"
#include "settings/Settings.h"
#include "toolkit/NameCase.h"
#include "toolkit/Paths.h"
#include "toolkit/Utf8.h"
#include "toolkit/WideConvert.h"

Catalogue theCatalogue;

namespace {

// The watch's filter: file names, folder names, sizes and last writes.
constexpr DWORD kChangeFilter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                                FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE;
static_assert(kChangeFilter == 27, "the watch filter is 27");

volatile LONG g_loads = 0;
volatile LONG g_generationsAlive = 0;

bool IsDotEntry(const char* name) { return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0; }

const Settings defaultSettings;

CatalogueGeneration* NewGeneration() {
    void* raw = TextHeapAllocate(sizeof(CatalogueGeneration));
    if (raw == nullptr) return nullptr;
    CatalogueGeneration* generation = new (raw) CatalogueGeneration;
    generation->firstGroup = nullptr;
    generation->holders = 1;  // the catalogue's own hold while current
    generation->loadNumber = 0;
    generation->settingsStamp = FileStamp{0, 0, {0, 0}, false};
    generation->shortcuts = nullptr;
    InterlockedIncrement(&g_generationsAlive);
    return generation;
}

void DestroyGeneration(CatalogueGeneration* generation) {
    while (generation->firstGroup != nullptr) {
        ActionGroup* group = generation->firstGroup;
        generation->firstGroup = group->nextGroup;
        ActionGroup::Destroy(group);
    }
    while (generation->shortcuts != nullptr) {
        FolderShortcut* shortcut = generation->shortcuts;
        generation->shortcuts = shortcut->next;
        shortcut->~FolderShortcut();
        TextHeapRelease(shortcut);
    }
    generation->~CatalogueGeneration();
    TextHeapRelease(generation);
    InterlockedDecrement(&g_generationsAlive);
}

// The entries of one folder, listed in UTF-16, each name given in UTF-8.
class FolderListing {
public:
    // Lists `folder` (ending in a backslash); no entries when it cannot.
    explicit FolderListing(const FixedText& folder) {
        FixedText pattern;
        CombinePath(pattern, folder.Text(), "*.*");
        HeapWide wide;
        if (!pattern.Empty() && AssignUtf16Exact(wide, pattern.Text())) {
            handle.Reset(FindFirstFileW(AsWide(wide.Text()), &entry));
        }
        pending = handle.Valid();
    }

    // Moves to the next entry (the first call to the first); false at the
    // end. A name has at most 255 units, so it always fits.
    bool Next() {
        if (!pending && (!handle.Valid() || !FindNextFileW(handle.Get(), &entry))) return false;
        pending = false;
        entry.cFileName[MAX_PATH - 1] = 0;
        AssignUtf8(name, AsUtf16(entry.cFileName));
        return true;
    }
    const char* Name() const { return name.Text(); }
    const WIN32_FIND_DATAW& Entry() const { return entry; }

private:
    FindHandle handle;
    WIN32_FIND_DATAW entry;
    FixedText name;
    bool pending;
};

// The folder as the catalogue keeps it: as the platform gave it (never
// upper-cased: it is handed to the platform) and ending in a backslash
// (none is added to an empty text).
void NormaliseFolder(FixedText& folder, const char* libraryFolder) {
    folder.Assign(libraryFolder != nullptr ? libraryFolder : "");
    if (!folder.Empty()) {
        const char last = folder.Text()[folder.Length() - 1];
        if (last != '\\' && last != '/') {
            // Room for the backslash: a folder that fills the buffer is cut by one.
            if (folder.Length() >= kFixedTextBytes) folder.Truncate(kFixedTextBytes - 1);
            folder.Append("\\");
        }
    }
}

// IsShortcutFile for the names of one load, asked of the registry once per
// extension: a library's shortcuts share a handful of extensions, and each
// question costs four registry calls. Extensions are kept as listed (the
// question is the same for other cases, but is asked again then).
class ShortcutTypes {
public:
    bool Is(const char* name) {
        FixedText extension;
        ExtensionOf(extension, name);
        for (int i = 0; i < count; ++i) {
            if (std::strcmp(known[i].Text(), extension.Text()) == 0) return answers[i];
        }
        const bool answer = IsShortcutFile(name) != 0;
        if (count < kKept) {
            known[count].Assign(extension.Text());
            answers[count] = answer;
            ++count;
        }
        return answer;
    }

private:
    static constexpr int kKept = 8;
    FixedText known[kKept];
    bool answers[kKept] = {};
    int count = 0;
};

// The items of a group of the previous load in the order its folder was
// listed (the reverse of the group's list), with a cursor: a listing in the
// same order as before finds each unchanged file at the cursor.
class PreviousItems {
public:
    explicit PreviousItems(const ActionItem* head) {
        for (const ActionItem* item = head; item != nullptr; item = item->nextItem) ++count;
        if (count == 0) return;
        items = new (std::nothrow) const ActionItem*[count];
        if (items == nullptr) {
            count = 0;  // no room: everything is read again
            return;
        }
        int32_t i = count;
        for (const ActionItem* item = head; item != nullptr; item = item->nextItem) items[--i] = item;
    }
    ~PreviousItems() { delete[] items; }
    PreviousItems(const PreviousItems&) = delete;
    PreviousItems& operator=(const PreviousItems&) = delete;

    // The previous item read from `path`, or null.
    const ActionItem* Find(const char* path) {
        for (int32_t step = 0; step < count; ++step) {
            const int32_t i = (cursor + step) % count;
            if (std::strcmp(items[i]->shortcutPath.Text(), path) == 0) {
                cursor = i + 1 < count ? i + 1 : 0;
                return items[i];
            }
        }
        return nullptr;
    }

private:
    const ActionItem** items = nullptr;
    int32_t count = 0;
    int32_t cursor = 0;
};

// The group of the previous load read from the same folder, or null.
const ActionGroup* PreviousGroup(const CatalogueGeneration* previous, const HeapText& folder) {
    if (previous == nullptr) return nullptr;
    for (const ActionGroup* group = previous->firstGroup; group != nullptr; group = group->nextGroup) {
        if (group->folder.Length() == folder.Length() &&
            std::memcmp(group->folder.Text(), folder.Text(), folder.Length()) == 0)
            return group;
    }
    return nullptr;
}

// Whether two folders as the catalogue keeps them name the same one (a
// library installed in the user's own actions folder is read once).
bool SameFolder(const FixedText& a, const FixedText& b) {
    FixedText upperA(a.Text());
    FixedText upperB(b.Text());
    return MakeNameUpper(upperA) && MakeNameUpper(upperB) && std::strcmp(upperA.Text(), upperB.Text()) == 0;
}

bool IsFolderEntry(const WIN32_FIND_DATAW& entry) { return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

// Reads the shortcuts directly inside `folder` (ending in a backslash) and,
// while `depth` is below kMaxSubmenuDepth, its folders as submenus, each
// put at the head of `head`. A file listed as it was among `previousHead`'s
// items is copied from there; a submenu without any action is dropped.
void LoadFolderItems(ActionItem*& head, const FixedText& folder, ShellLinkReader& reader, ShortcutTypes& types,
                     int32_t defaultOrder, const ActionItem* previousHead, int32_t depth) {
    FolderListing listing(folder);
    PreviousItems previous(previousHead);
    while (listing.Next()) {
        if (IsDotEntry(listing.Name())) continue;
        FixedText path;
        CombinePath(path, folder.Text(), listing.Name());
        if (path.Empty()) continue;
        if (IsFolderEntry(listing.Entry())) {
            if (depth >= kMaxSubmenuDepth) continue;
            ActionItem* submenu = ActionItem::CreateSubmenu(path.Text(), listing.Name(), defaultOrder);
            if (submenu == nullptr) continue;
            const ActionItem* before = previous.Find(path.Text());
            FixedText inner(path.Text());
            inner.Append("\\");
            if (inner.Length() == path.Length() + 1) {
                LoadFolderItems(submenu->firstChild, inner, reader, types, defaultOrder,
                                before != nullptr ? before->firstChild : nullptr, depth + 1);
            }
            if (!submenu->IsSubmenu()) {
                ActionItem::Destroy(submenu);
                continue;
            }
            submenu->nextItem = head;
            head = submenu;
            continue;
        }
        if (!types.Is(listing.Name())) continue;
        const FileStamp stamp = StampOf(listing.Entry());
        const ActionItem* before = previous.Find(path.Text());
        ActionItem* item = nullptr;
        if (before != nullptr && !before->IsSubmenu() && SameStamp(before->stamp, stamp)) {
            item = ActionItem::CreateCopy(*before);
        }
        if (item == nullptr) {
            item = ActionItem::Create(path.Text(), reader, defaultOrder);
            if (item == nullptr) continue;
            item->stamp = stamp;
        }
        if (item->displayName.Empty()) {
            ActionItem::Destroy(item);
            continue;
        }
        item->nextItem = head;
        head = item;
    }
}

// First scan of one root folder: every entry that names a group becomes
// one. Its items are read now only when `previous` had read them (copying
// what did not change); else they are read when first needed.
ActionGroup* ScanGroups(const FixedText& moduleDirectory, ShellLinkReader& reader, ShortcutTypes& types,
                        int32_t defaultOrder, const CatalogueGeneration* previous) {
    ActionGroup* head = nullptr;
    FolderListing listing(moduleDirectory);
    while (listing.Next()) {
        if (IsDotEntry(listing.Name())) continue;
        ActionGroup* group = ActionGroup::Create(listing.Name());
        if (group == nullptr) continue;
        FixedText folder(moduleDirectory.Text());
        folder.Append(listing.Name()).Append("\\");
        group->folder.AssignExact(folder.Text());
        if (group->kind == NotAGroup || group->folder.Length() != folder.Length()) {
            ActionGroup::Destroy(group);
            continue;
        }
        group->defaultOrder = defaultOrder;
        const ActionGroup* before = PreviousGroup(previous, group->folder);
        if (before != nullptr && InterlockedCompareExchange(const_cast<volatile LONG*>(&before->itemsRead), 0, 0) != 0) {
            LoadFolderItems(group->firstItem, folder, reader, types, defaultOrder, before->firstItem, 0);
        } else {
            group->itemsRead = 0;
        }
        group->nextGroup = head;
        head = group;
    }
    return head;
}

// The upper-cased target of the folder's shortcut `fileName`: from the
// previous load when the file is listed as it was then, else read through
// `reader` (empty when the link cannot be loaded). Records it in `generation`.
void ResolveFolderShortcut(FixedText& target, const FixedText& moduleDirectory, const char* fileName,
                           const FileStamp& stamp, ShellLinkReader& reader, CatalogueGeneration& generation,
                           const CatalogueGeneration* previous) {
    target.Assign("");
    // Kept by full path: the library folder and the user folder may hold
    // shortcuts of the same name.
    FixedText shortcut;
    CombinePath(shortcut, moduleDirectory.Text(), fileName);
    if (shortcut.Empty()) return;
    bool known = false;
    for (const FolderShortcut* s = previous != nullptr ? previous->shortcuts : nullptr; s != nullptr; s = s->next) {
        if (std::strcmp(s->fileName.Text(), shortcut.Text()) == 0) {
            if (SameStamp(s->stamp, stamp)) {
                target.Assign(s->target.Text());
                known = true;
            }
            break;
        }
    }
    if (!known) {
        wchar_t path[kPathUnitLimit + 1] = {};
        if (reader.Load(shortcut.Text()) &&
            reader.Link()->GetPath(path, kPathUnitLimit + 1, nullptr, 0) == S_OK) {
            path[kPathUnitLimit] = 0;
            AssignUtf8(target, AsUtf16(path));
        }
        if (!MakeNameUpper(target)) target.Assign("");
    }
    // Kept for the next load; without room it is simply read again then.
    void* raw = TextHeapAllocate(sizeof(FolderShortcut));
    if (raw == nullptr) return;
    FolderShortcut* record = new (raw) FolderShortcut;
    record->fileName.AssignExact(shortcut.Text());
    record->target.AssignExact(target.Text());
    record->stamp = stamp;
    if (record->fileName.Length() != shortcut.Length() ||
        record->target.Length() != target.Length()) {
        record->~FolderShortcut();
        TextHeapRelease(record);
        return;
    }
    record->next = generation.shortcuts;
    generation.shortcuts = record;
}

// Second scan: shortcuts in the directory that point at one of its groups
// (the list from `groups` on, the ones ScanGroups made of that directory)
// widen that group by their own name.
void ScanAliases(const FixedText& moduleDirectory, ActionGroup* groups, ShellLinkReader& reader, ShortcutTypes& types,
                 CatalogueGeneration& generation, const CatalogueGeneration* previous) {
    // Compared with the targets, which are upper-cased: a copy.
    FixedText upperDirectory(moduleDirectory.Text());
    if (!MakeNameUpper(upperDirectory)) return;
    FolderListing listing(moduleDirectory);
    while (listing.Next()) {
        if (!types.Is(listing.Name())) continue;
        FixedText target;
        ResolveFolderShortcut(target, moduleDirectory, listing.Name(), StampOf(listing.Entry()), reader, generation,
                              previous);

        FixedText targetDirectory;
        DirectoryOf(targetDirectory, target.Text());
        if (targetDirectory.Length() != upperDirectory.Length() ||
            std::memcmp(targetDirectory.Text(), upperDirectory.Text(), upperDirectory.Length()) != 0) {
            continue;
        }
        FixedText targetName;
        FileNameOf(targetName, target.Text());

        for (ActionGroup* group = groups; group != nullptr; group = group->nextGroup) {
            if (group->name.Length() == targetName.Length() &&
                std::memcmp(group->name.Text(), targetName.Text(), targetName.Length()) == 0) {
                FixedText alias;
                BaseNameOf(alias, listing.Name());
                group->AddAliasFilter(alias.Text());
                break;
            }
        }
    }
}

void DropHold(CatalogueGeneration* generation) {
    if (generation != nullptr && InterlockedDecrement(&generation->holders) == 0) DestroyGeneration(generation);
}

}  // namespace

void CreateCatalogueLock() { theCatalogue.catalogueLock.Create(); }

void CloseCatalogueLock() { theCatalogue.catalogueLock.Destroy(); }

CatalogueGeneration* BuildGeneration(const char* libraryFolder, const CatalogueGeneration* previous,
                                     const char* userFolder) {
    FixedText moduleDirectory;
    NormaliseFolder(moduleDirectory, libraryFolder);
    FixedText userDirectory;
    NormaliseFolder(userDirectory, userFolder);
    // The shell's link object and file information need COM on this thread;
    // the shell's own thread has it, and then this only counts.
    ComScope com;
    CatalogueGeneration* generation = NewGeneration();
    if (generation == nullptr) return nullptr;
    generation->loadNumber = InterlockedIncrement(&g_loads);

    FixedText settingsFile;
    CombinePath(settingsFile, moduleDirectory.Text(), kSettingsFileName);
    generation->settingsStamp = StampOfFile(settingsFile.Text());
    if (previous != nullptr && SameStamp(previous->settingsStamp, generation->settingsStamp)) {
        CopySettings(generation->settings, previous->settings);
    } else {
        ReadSettingsFor(generation->settings, settingsFile.Text(), SettingsScope::Library, CurrentUserName().Text());
    }
    // Items take their order from DefaultOrder: when it changed, none of the
    // previous ones can be kept. The icon options need nothing here: icons
    // are made per generation when shown.
    const CatalogueGeneration* itemSource =
        previous != nullptr && previous->settings.DefaultOrder == generation->settings.DefaultOrder ? previous : nullptr;

    ShellLinkReader reader;
    ShortcutTypes types;
    ActionGroup* library = ScanGroups(moduleDirectory, reader, types, generation->settings.DefaultOrder, itemSource);
    ScanAliases(moduleDirectory, library, reader, types, *generation, previous);
    ActionGroup* user = nullptr;
    if (!userDirectory.Empty() && !SameFolder(userDirectory, moduleDirectory)) {
        user = ScanGroups(userDirectory, reader, types, generation->settings.DefaultOrder, itemSource);
        ScanAliases(userDirectory, user, reader, types, *generation, previous);
    }
    // The library's groups first, then the user's.
    ActionGroup** tail = &library;
    while (*tail != nullptr) tail = &(*tail)->nextGroup;
    *tail = user;
    generation->firstGroup = library;
    return generation;
}

void ReadGroupItems(ActionGroup& group) {
    if (InterlockedCompareExchange(&group.itemsRead, 0, 0) != 0) return;
    LockHold lock(theCatalogue.catalogueLock);
    if (group.itemsRead != 0) return;  // another thread read it while this one waited
    ComScope com;
    ShellLinkReader reader;
    ShortcutTypes types;
    FixedText folder(group.folder.Text());
    LoadFolderItems(group.firstItem, folder, reader, types, group.defaultOrder, nullptr, 0);
    // Published only now: readers look at firstItem after seeing 1 here.
    InterlockedExchange(&group.itemsRead, 1);
}

void LoadCatalogue(const char* libraryFolder, const char* userFolder) {
    LockHold lock(theCatalogue.catalogueLock);
    FreeCatalogue();
    InterlockedExchange(&theCatalogue.loaded, 1);

    // The folders may be the catalogue's own (a reload): copy first.
    FixedText moduleDirectory;
    NormaliseFolder(moduleDirectory, libraryFolder);
    FixedText userDirectory;
    NormaliseFolder(userDirectory, userFolder);
    theCatalogue.folder.Assign(moduleDirectory.Text());
    theCatalogue.userFolder.Assign(userDirectory.Text());

    // The watch starts before anything is read, so that a change made while
    // this load reads the directory is not lost: it fires the new watch and
    // the next check loads again.
    StartChangeWatch();
    theCatalogue.current = BuildGeneration(moduleDirectory.Text(), nullptr, userDirectory.Text());
}

void LoadCatalogueOnFirstUse(const char* libraryFolder, const char* userFolder) {
    LockHold lock(theCatalogue.catalogueLock);
    if (!CatalogueLoadedOnce()) LoadCatalogue(libraryFolder, userFolder);
}

bool CatalogueLoadedOnce() { return InterlockedCompareExchange(&theCatalogue.loaded, 0, 0) != 0; }

void ReloadCatalogue() {
    LockHold lock(theCatalogue.catalogueLock);
    CatalogueGeneration* previous = theCatalogue.current;
    if (previous == nullptr) {
        LoadCatalogue(theCatalogue.folder.Text(), theCatalogue.userFolder.Text());
        return;
    }
    StartChangeWatch();  // before reading, as in LoadCatalogue
    theCatalogue.current = BuildGeneration(theCatalogue.folder.Text(), previous, theCatalogue.userFolder.Text());
    DropHold(previous);
}

void FreeCatalogue() {
    LockHold lock(theCatalogue.catalogueLock);
    CatalogueGeneration* generation = theCatalogue.current;
    theCatalogue.current = nullptr;
    DropHold(generation);
}

void ReloadIfChanged() {
    LockHold lock(theCatalogue.catalogueLock);
    if (ChangeWatchSignalled()) {
        CloseChangeWatch();
        ReloadCatalogue();
    }
}

namespace {

// A watch on `folder` (ending in a backslash) and its tree; invalid when
// none can be had.
HANDLE WatchFolder(const char* folder, BOOL subtree, DWORD filter) {
    FixedText directory;
    DirectoryOfNoSlash(directory, folder);
    HeapWide wide;
    if (directory.Empty() || !AssignUtf16Exact(wide, directory.Text())) return INVALID_HANDLE_VALUE;
    return FindFirstChangeNotificationW(AsWide(wide.Text()), subtree, filter);
}

}  // namespace

void StartChangeWatch() {
    theCatalogue.changeWatch.Reset(WatchFolder(theCatalogue.folder.Text(), TRUE, kChangeFilter));
    theCatalogue.userWatch.Reset();
    if (theCatalogue.userFolder.Empty()) return;
    HANDLE user = WatchFolder(theCatalogue.userFolder.Text(), TRUE, kChangeFilter);
    if (user == INVALID_HANDLE_VALUE) {
        // The folder is missing (made on first use): its parent's folder
        // names tell when it appears.
        FixedText parent;
        DirectoryOfNoSlash(parent, theCatalogue.userFolder.Text());
        FixedText parentFolder;
        DirectoryOf(parentFolder, parent.Text());
        user = WatchFolder(parentFolder.Text(), FALSE, FILE_NOTIFY_CHANGE_DIR_NAME);
    }
    theCatalogue.userWatch.Reset(user);
}

void CloseChangeWatch() {
    theCatalogue.changeWatch.Reset();
    theCatalogue.userWatch.Reset();
}

bool ChangeWatchSignalled() {
    // One wait for both: every menu asks, and each wait is a call into the
    // kernel (under Wine a round trip to its server).
    HANDLE watches[2];
    DWORD count = 0;
    if (theCatalogue.changeWatch.Valid()) watches[count++] = theCatalogue.changeWatch.Get();
    if (theCatalogue.userWatch.Valid()) watches[count++] = theCatalogue.userWatch.Get();
    if (count == 0) return false;
    return WaitForMultipleObjects(count, watches, FALSE, 0) < WAIT_OBJECT_0 + count;
}

CatalogueGeneration* AcquireCatalogue() {
    LockHold lock(theCatalogue.catalogueLock);
    CatalogueGeneration* generation = theCatalogue.current;
    if (generation != nullptr) InterlockedIncrement(&generation->holders);
    return generation;
}

void ReleaseCatalogue(CatalogueGeneration* generation) { DropHold(generation); }

const Settings& DefaultCatalogueSettings() { return defaultSettings; }

CatalogueCounters ReadCatalogueCounters() {
    CatalogueCounters counters;
    counters.loads = InterlockedCompareExchange(&g_loads, 0, 0);
    counters.generationsAlive = InterlockedCompareExchange(&g_generationsAlive, 0, 0);
    counters.shortcutsRead = InterlockedCompareExchange(&ActionItem::shortcutsRead, 0, 0);
    return counters;
}

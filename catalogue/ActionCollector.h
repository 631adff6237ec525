// The actions one menu shows for one selection: every group of a catalogue
// generation that matches all selected items gives all its actions, the
// first ones met in catalogue order up to the menu's room, sorted by order
// number and then by name (CompareActionItems), equal ones in the order met.
//
// Usage, once per menu build:
//   ActionCollector collector;
//   for each selected file: collector.AddFile(name);
//   for each selected folder: collector.AddFolder();
//   for a folder's empty space: collector.AddBackground();
//   int32_t n = collector.Collect(generation->firstGroup, items, room);
//
// Each selected file's match key is prepared once (files of the same type
// share one, found through a hash table) and each group is tested against
// the keys, so matching costs files + groups × distinct types, never
// groups × files × path length or files × types. At most
// kMaxSelectedTypes distinct types are checked: a selection of more is too
// large to check on the shell's thread, and gathers nothing (TooMany). The sort is a
// stable merge sort over the collected pointers in a fixed buffer: O(n log n)
// comparisons and no allocation.
#pragma once

#include <cstdint>

#include "catalogue/ActionGroup.h"
#include "catalogue/GroupName.h"

class ActionItem;

// The most actions one Collect gathers; a larger room is taken as this one.
constexpr int32_t kMaxCollectedActions = 512;
// The most distinct file types (match keys) one selection may have.
constexpr int32_t kMaxSelectedTypes = 1024;

class ActionCollector {
public:
    ActionCollector() = default;
    ~ActionCollector();
    ActionCollector(const ActionCollector&) = delete;
    ActionCollector& operator=(const ActionCollector&) = delete;

    // Adds one selected file by its name; only its extension part counts.
    // False when its key cannot be kept (no memory, or a type beyond
    // kMaxSelectedTypes, then TooMany): the selection is then incomplete,
    // and Collect gathers nothing rather than offer an action that may not
    // apply to that file. Once false, every later call is false too.
    bool AddFile(const char* name);
    // True once a file brought more than kMaxSelectedTypes types.
    bool TooMany() const { return tooMany; }
    // Adds a selected folder or drive root: from now on only groups offered
    // for folders match. Its name plays no part. Cannot fail.
    void AddFolder() { folders = true; }
    // Adds the folder whose empty space was clicked: from now on only groups
    // offered for the background match. Cannot fail.
    void AddBackground() { background = true; }

    // Fills items[0 .. n-1] with the actions of every group from `firstGroup`
    // on that matches every added file by its type, is offered for folders
    // when a folder was added and for the background when that was added
    // (every group when nothing was added),
    // taking the first min(room, kMaxCollectedActions) met in catalogue
    // order, and sorts them stably by CompareActionItems. Returns n; 0 when
    // `items` is null or a file could not be added. Reads the matching groups' items (ActionGroup::Items), nothing else.
    int32_t Collect(const ActionGroup* firstGroup, ActionItem** items, int32_t room) const;

private:
    bool Matches(const ActionGroup& group) const;

    PreparedMatchKey* keys = nullptr;  // distinct keys of the added files; null until the first
    int32_t keyCount = 0;              // used entries of keys
    int32_t keyRoom = 0;               // allocated entries of keys
    int32_t* slots = nullptr;          // hash table of key index + 1 (0: free), kTypeSlots entries; null until the first
    bool incomplete = false;           // a file's key could not be kept
    bool tooMany = false;              // a file's type was one beyond kMaxSelectedTypes
    bool folders = false;              // a folder or drive root was added
    bool background = false;           // a folder's empty space was added
};

// Sorts items[0 .. count-1] stably by CompareActionItems (count at most
// kMaxCollectedActions; a larger count is left unsorted beyond that).
void SortActionsStable(ActionItem** items, int32_t count);

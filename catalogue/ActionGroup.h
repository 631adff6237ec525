// One group folder of the library's directory: its kind, its type lists and
// its actions (see catalogue/GroupName.h for the name grammar).
//
// A group is built by the catalogue load from a folder name, widened only by
// AddAliasFilter during that same load, and read-only afterwards: any number
// of threads may call MatchesKey on it at once. It owns its items, its
// type-list nodes and its name.
//
// Items are read when first needed. A group the load made from a folder
// starts with itemsRead 0 and its folder; the first Items() reads the
// folder's shortcuts and submenus under the catalogue's lock, publishes
// them and sets itemsRead 1; every later call only reads. A group made
// without a folder (Create) has nothing to read: itemsRead is 1 and AddItem
// fills it.
#pragma once

#include <windows.h>

#include <cstdint>

#include "catalogue/GroupName.h"
#include "toolkit/TextBuffer.h"

class ActionItem;

class ActionGroup {
public:
    ActionGroup* nextGroup;   // next group of the same catalogue load; null at the end
    ActionItem* firstItem;    // head of the items, linked by nextItem; added at the head
    TextListNode* typeLists;  // head of the type-list texts; alias lists are added at the head
    GroupKind kind;           // what the group matches among files (FolderGroup, BackgroundGroup: none)
    bool forFolders;          // offered for selected folders and drive roots: DIR, or a DIR alias
    bool forBackground;       // offered for a folder's or the desktop's empty space: BACKGROUND, or such an alias
    HeapText name;            // folder name as listed, upper-cased (toolkit/NameCase.h), exactly sized
    HeapText folder;          // the group folder's full path (UTF-8) ending in a backslash; empty for Create's groups
    int32_t defaultOrder;     // order of the items read without an order suffix
    volatile LONG itemsRead;  // 1 once firstItem is complete; 0 while the folder is still to be read

    // Copies and upper-cases the UTF-8 `folderName` and parses it. A TypeListGroup gets
    // its own list as the first node; when that node cannot be allocated the
    // group keeps its kind and matches no file. When the name's storage
    // cannot be allocated the name is empty and the kind NotAGroup.
    explicit ActionGroup(const char* folderName);
    // Destroys the items, then the list nodes, then the name.
    ~ActionGroup();
    ActionGroup(const ActionGroup&) = delete;
    ActionGroup& operator=(const ActionGroup&) = delete;

    // Allocates (from the text heap) and constructs a group; null when it
    // cannot be allocated.
    static ActionGroup* Create(const char* folderName);
    // Destroys and frees a group made by Create; null is ignored.
    static void Destroy(ActionGroup* group);

    // Puts `item` at the head of the items; the group owns it from now on.
    void AddItem(ActionItem* item);

    // The head of the items (linked by nextItem), read from the folder first
    // when that has not been done yet (ReadGroupItems, catalogue/Catalogue.h);
    // any thread may ask. Null when the group has none.
    ActionItem* Items() const;

    // Widens the group by an alias name (a shortcut's file name without its
    // extension, UTF-8). A DIR alias adds folders, a BACKGROUND alias the
    // background, to a group of any kind. Among files an all-files group
    // stays as it is; an alias that parses as all files makes the group
    // all-files; one with types makes it a type-list group (a verb, folder
    // or background group too) and adds its list at the head. A verb or
    // non-group alias changes nothing.
    void AddAliasFilter(const char* alias);

    // 1 when the file whose match key is `key` (PrepareMatchKey with
    // MakeNameUpper: only its extension counts) belongs to the group, else 0.
    // All-files groups match every file; verb, folder and background groups
    // none (a folder is asked through forFolders, never by its name). A
    // menu asks this of every group.
    int MatchesKey(const PreparedMatchKey& key) const;
};

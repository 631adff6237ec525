#include "catalogue/ActionGroup.h"

#include <cstring>
#include <new>

#include "catalogue/ActionItem.h"
#include "catalogue/Catalogue.h"
#include "toolkit/NameCase.h"

ActionGroup::ActionGroup(const char* folderName)
    : nextGroup(nullptr),
      firstItem(nullptr),
      typeLists(nullptr),
      kind(NotAGroup),
      forFolders(false),
      forBackground(false),
      defaultOrder(0),
      itemsRead(1) {
    // Upper-cased first: the upper-case form of a letter beyond ASCII may
    // take more bytes. A name that cannot be had whole (too long, or no
    // room for its block) must not become a different group: it is empty.
    FixedText upper;
    if (static_cast<size_t>(upper.Assign(folderName).Length()) == std::strlen(folderName) && MakeNameUpper(upper)) {
        name.AssignExact(upper.Text());
        if (name.Length() != upper.Length()) name.FreeStorage();
    }
    char list[kTypeListBufferSize];
    kind = ParseGroupName(name, list);
    if (kind == TypeListGroup) PushText(&typeLists, list);
    forFolders = kind == FolderGroup;
    forBackground = kind == BackgroundGroup;
}

ActionGroup::~ActionGroup() {
    while (firstItem != nullptr) {
        ActionItem* item = firstItem;
        firstItem = item->nextItem;
        ActionItem::Destroy(item);
    }
    FreeTextList(&typeLists);
    name.FreeStorage();
    folder.FreeStorage();
}

ActionGroup* ActionGroup::Create(const char* folderName) {
    void* raw = TextHeapAllocate(sizeof(ActionGroup));
    if (raw == nullptr) return nullptr;
    return new (raw) ActionGroup(folderName);
}

void ActionGroup::Destroy(ActionGroup* group) {
    if (group == nullptr) return;
    group->~ActionGroup();
    TextHeapRelease(group);
}

void ActionGroup::AddItem(ActionItem* item) {
    item->nextItem = firstItem;
    firstItem = item;
}

ActionItem* ActionGroup::Items() const {
    ActionGroup* self = const_cast<ActionGroup*>(this);
    if (InterlockedCompareExchange(&self->itemsRead, 0, 0) == 0) ReadGroupItems(*self);
    return firstItem;
}

void ActionGroup::AddAliasFilter(const char* alias) {
    FixedText aliasName(alias);
    if (!MakeNameUpper(aliasName)) return;
    char list[kTypeListBufferSize];
    switch (ParseGroupName(aliasName, list)) {
    case AllFilesGroup:
        kind = AllFilesGroup;
        break;
    case TypeListGroup:
        if (kind == AllFilesGroup) break;  // already every file
        kind = TypeListGroup;
        PushText(&typeLists, list);
        break;
    case FolderGroup:
        forFolders = true;
        break;
    case BackgroundGroup:
        forBackground = true;
        break;
    default:
        break;
    }
}

int ActionGroup::MatchesKey(const PreparedMatchKey& key) const {
    if (kind == AllFilesGroup) return 1;
    if (kind != TypeListGroup) return 0;
    return TypeListsHoldKey(typeLists, key);
}

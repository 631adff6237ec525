#include "catalogue/ActionCollector.h"

#include <cstring>
#include <new>

#include "catalogue/ActionItem.h"
#include "toolkit/NameCase.h"

namespace {

constexpr int32_t kFirstKeyRoom = 4;
// Entries of the hash table: a power of two, at least twice the keys it
// holds, so that a probe run stays short.
constexpr int32_t kTypeSlots = 2 * kMaxSelectedTypes;
static_assert((kTypeSlots & (kTypeSlots - 1)) == 0, "the probe masks with kTypeSlots - 1");

// FNV-1a over the key's bytes.
uint32_t HashKey(const char* text) {
    uint32_t hash = 2166136261u;
    for (; *text != 0; ++text) hash = (hash ^ static_cast<unsigned char>(*text)) * 16777619u;
    return hash;
}
// Runs of this many items are insertion-sorted before the merges.
constexpr int32_t kInsertionRun = 8;

// True when b must come before a: only a strictly smaller b moves ahead,
// which is what keeps equal items in the order met.
bool Before(const ActionItem* b, const ActionItem* a) { return CompareActionItems(*b, *a) < 0; }

}  // namespace

ActionCollector::~ActionCollector() {
    delete[] keys;
    delete[] slots;
}

bool ActionCollector::AddFile(const char* name) {
    if (incomplete || tooMany) return false;
    if (slots == nullptr) {
        slots = new (std::nothrow) int32_t[kTypeSlots]();
        if (slots == nullptr) {
            incomplete = true;
            return false;
        }
    }
    PreparedMatchKey key;
    PrepareMatchKey(key, name, MakeNameUpper);
    uint32_t slot = HashKey(key.text) & (kTypeSlots - 1);
    for (; slots[slot] != 0; slot = (slot + 1) & (kTypeSlots - 1)) {
        if (std::strcmp(keys[slots[slot] - 1].text, key.text) == 0) return true;
    }
    if (keyCount == kMaxSelectedTypes) {
        tooMany = true;
        return false;
    }
    if (keyCount == keyRoom) {
        const int32_t room = keyRoom == 0 ? kFirstKeyRoom : keyRoom * 2;
        PreparedMatchKey* grown = new (std::nothrow) PreparedMatchKey[room];
        if (grown == nullptr) {
            incomplete = true;
            return false;
        }
        if (keyCount > 0) std::memcpy(grown, keys, sizeof(PreparedMatchKey) * static_cast<size_t>(keyCount));
        delete[] keys;
        keys = grown;
        keyRoom = room;
    }
    keys[keyCount++] = key;
    slots[slot] = keyCount;
    return true;
}

bool ActionCollector::Matches(const ActionGroup& group) const {
    if (folders && !group.forFolders) return false;
    if (background && !group.forBackground) return false;
    for (int32_t i = 0; i < keyCount; ++i) {
        if (!group.MatchesKey(keys[i])) return false;
    }
    return true;
}

int32_t ActionCollector::Collect(const ActionGroup* firstGroup, ActionItem** items, int32_t room) const {
    if (items == nullptr || incomplete || tooMany) return 0;
    if (room > kMaxCollectedActions) room = kMaxCollectedActions;
    int32_t n = 0;
    for (const ActionGroup* group = firstGroup; group != nullptr && n < room; group = group->nextGroup) {
        if (!Matches(*group)) continue;
        for (ActionItem* item = group->Items(); item != nullptr && n < room; item = item->nextItem) items[n++] = item;
    }
    SortActionsStable(items, n);
    return n;
}

void SortActionsStable(ActionItem** items, int32_t count) {
    if (count > kMaxCollectedActions) count = kMaxCollectedActions;
    for (int32_t start = 0; start < count; start += kInsertionRun) {
        const int32_t end = start + kInsertionRun < count ? start + kInsertionRun : count;
        for (int32_t k = start + 1; k < end; ++k) {
            ActionItem* item = items[k];
            int32_t i = k;
            while (i > start && Before(item, items[i - 1])) {
                items[i] = items[i - 1];
                --i;
            }
            items[i] = item;
        }
    }
    if (count <= kInsertionRun) return;
    // Bottom-up merges, alternating between the items and a scratch buffer.
    ActionItem* scratch[kMaxCollectedActions];
    ActionItem** from = items;
    ActionItem** to = scratch;
    for (int32_t width = kInsertionRun; width < count; width *= 2) {
        for (int32_t left = 0; left < count; left += 2 * width) {
            const int32_t middle = left + width < count ? left + width : count;
            const int32_t right = left + 2 * width < count ? left + 2 * width : count;
            int32_t a = left, b = middle, out = left;
            while (a < middle && b < right) to[out++] = Before(from[b], from[a]) ? from[b++] : from[a++];
            while (a < middle) to[out++] = from[a++];
            while (b < right) to[out++] = from[b++];
        }
        ActionItem** swap = from;
        from = to;
        to = swap;
    }
    if (from != items) std::memcpy(items, from, sizeof(ActionItem*) * static_cast<size_t>(count));
}

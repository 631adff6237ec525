// The menu's actions for a selection, over a randomized catalogue built in
// memory: the collected order must equal a plain stable sort of the first
// 512 actions met in the groups that match every selected file.
#include "catalogue/ActionCollector.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "catalogue/ActionItem.h"
#include "tests/catalogue/CatalogueFixture.h"
#include "tests/testsupport/ActionItemFile.h"

namespace {

// Groups of a catalogue generation, linked as a load links them; destroyed
// (with their items) at the end.
class Groups {
public:
    ~Groups() {
        while (first != nullptr) {
            ActionGroup* group = first;
            first = group->nextGroup;
            ActionGroup::Destroy(group);
        }
    }
    ActionGroup* Add(const char* name) {
        ActionGroup* group = ActionGroup::Create(name);
        if (group == nullptr) return nullptr;
        group->nextGroup = first;
        first = group;
        return group;
    }
    ActionGroup* first = nullptr;
};

TEST(ActionCollector, OrderIsAStableSortOfTheFirst512MetInMatchingGroups) {
    // Few orders and few names, in mixed case, so that ties (equal order and
    // names equal but for case) are everywhere.
    const char* const groupNames[] = {"EXT", "EXT.txt", "EXT.doc", "EXT.txt.log", "VERB", "EXT.%", "EXT.log"};
    const char* const itemNames[] = {"a", "A", "b", "B", "_x", "ax", "Ax", "tool", "Tool", ""};
    const std::vector<std::vector<std::string>> selections = {
        {}, {"C:\\docs\\a.txt"}, {"a.txt", "B.TXT", "c.log"}, {"C:\\x.y\\readme"}, {"a.txt", "a.doc"}};

    bool capped = false;
    for (unsigned seed = 1; seed <= 3; ++seed) {
        std::mt19937 random(seed);
        Groups groups;
        for (int g = 0; g < 14; ++g) {
            ActionGroup* group = groups.Add(groupNames[random() % 7]);
            ASSERT_NE(group, nullptr);
            const int count = static_cast<int>(random() % 160);
            for (int i = 0; i < count; ++i) {
                ActionItem* item = ReadActionItem("C:\\no such folder\\none.lnk");
                ASSERT_NE(item, nullptr);
                item->order = static_cast<int32_t>(random() % 4) - 1;
                item->displayName.AssignExact(itemNames[random() % 10]);
                group->AddItem(item);
            }
        }
        for (const std::vector<std::string>& files : selections) {
            // Reference: the groups that match every file, in catalogue
            // order, their items as met, the first 512, std::stable_sort.
            std::vector<ActionItem*> expected;
            for (ActionGroup* group = groups.first; group != nullptr; group = group->nextGroup) {
                bool all = true;
                for (const std::string& file : files) all = all && GroupMatchesFile(*group, file.c_str()) == 1;
                if (!all) continue;
                for (ActionItem* item = group->Items(); item != nullptr; item = item->nextItem) {
                    if (expected.size() < 512) expected.push_back(item);
                    else capped = true;
                }
            }
            std::stable_sort(expected.begin(), expected.end(),
                             [](const ActionItem* a, const ActionItem* b) { return CompareActionItems(*a, *b) < 0; });

            ActionCollector collector;
            for (const std::string& file : files) ASSERT_TRUE(collector.AddFile(file.c_str()));
            std::vector<ActionItem*> items(kMaxCollectedActions + 8, nullptr);
            const int32_t n = collector.Collect(groups.first, items.data(), static_cast<int32_t>(items.size()));
            items.resize(static_cast<size_t>(n));
            EXPECT_EQ(items, expected) << "seed " << seed << ", " << files.size() << " files";
        }
    }
    EXPECT_TRUE(capped) << "no selection had more than 512 matching actions";
}

}  // namespace

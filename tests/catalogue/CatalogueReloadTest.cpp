// Reloading after a change reads only what changed: over a random sequence
// of edits to a library, every load built on top of the previous one must
// equal a load from nothing in everything a menu shows, and read far fewer
// shortcuts.
#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueCounters.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "catalogue/ActionItem.h"
#include "catalogue/Shortcuts.h"
#include "settings/Settings.h"
#include "tests/catalogue/CatalogueFixture.h"

namespace {

// Everything of a generation a menu shows or runs, in catalogue order.
std::string Snapshot(const CatalogueGeneration* g) {
    std::ostringstream out;
    const Settings& s = g->settings;
    out << "settings " << s.GradientMenuBar << s.LargeIcon << s.ButtonIcon << s.LinkOverlay << s.UseMenuName
        << s.HideEmpty << " " << s.DefaultOrder << " [" << s.MenuName.Text() << "]\n";
    for (const ActionGroup* group = g->firstGroup; group != nullptr; group = group->nextGroup) {
        out << group->name.Text() << " kind=" << group->kind << " lists=";
        for (const TextListNode* list = group->typeLists; list != nullptr; list = list->next) out << list->text.Text() << "|";
        out << "\n";
        for (const ActionItem* item = group->Items(); item != nullptr; item = item->nextItem) {
            out << "  " << item->displayName.Text() << " (" << item->order << ") target=" << item->targetPath.Text()
                << " args=" << item->arguments.Text() << " dir=" << item->workingDirectory.Text()
                << " show=" << item->showCommand << " pif=" << item->pifPath.Text() << "\n";
        }
    }
    return out.str();
}

class CatalogueReloadTest : public LibraryTest {
protected:
    // One random edit of the library; returns what it did, for the message.
    std::string Edit(std::mt19937& random) {
        auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
        const std::string group = kGroups[pick(kGroupCount)];
        const std::string name = kNames[pick(kNameCount)];
        const std::string link = group + "\\" + name + ".lnk";
        switch (pick(9)) {
        case 0:
        case 1: {  // add or rewrite a shortcut; same-length arguments, sometimes a working directory
            Folder(group);
            ShortcutSpec linkSpec;
            linkSpec.target = pick(2) ? "C:\\windows\\notepad.exe" : "C:\\windows\\regedit.exe";
            linkSpec.arguments = "-a" + std::to_string(pick(10));
            if (pick(2)) linkSpec.workingDirectory = "C:\\windows";
            EXPECT_TRUE(SUCCEEDED(WriteShortcut(At(link), linkSpec))) << link;
            return "write " + link + " " + linkSpec.arguments;
        }
        case 2:
            DeleteFileA(At(link).c_str());
            return "delete " + link;
        case 3: {
            const std::string to = group + "\\" + kNames[pick(kNameCount)] + ".lnk";
            MoveFileA(At(link).c_str(), At(to).c_str());
            return "rename " + link + " to " + to;
        }
        case 4: {  // rename or remove a whole group folder
            const std::string to = kGroups[pick(kGroupCount)];
            if (MoveFileA(At(group).c_str(), At(to).c_str())) return "rename folder " + group + " to " + to;
            for (const std::string& entry : ListingOrder(At(group))) DeleteFileA(At(group + "\\" + entry).c_str());
            RemoveDirectoryA(At(group).c_str());
            return "remove folder " + group;
        }
        case 5: {  // settings: order, icons, caption
            const std::string ini = "[options]\r\nDefaultOrder=" + std::to_string(100 + pick(3)) +
                                    "\r\nLinkOverlay=" + std::to_string(pick(2)) + "\r\nMenuName=M" +
                                    std::to_string(pick(5)) + "\r\nUseMenuName=1\r\n";
            EXPECT_TRUE(library.WriteFile("Zentrik.ini", ini));
            return "settings " + ini;
        }
        case 6: {  // an alias shortcut in the folder, pointing at a group or elsewhere
            const std::string alias = std::string(pick(2) ? "EXT.htm" : "EXT.doc.rtf") + ".lnk";
            Shortcut(alias, pick(4) ? At(kGroups[pick(kGroupCount)]) : "C:\\windows");
            return "alias " + alias;
        }
        case 7: {
            const std::string alias = std::string(pick(2) ? "EXT.htm" : "EXT.doc.rtf") + ".lnk";
            DeleteFileA(At(alias).c_str());
            return "remove alias " + alias;
        }
        default:  // something that is no action at all
            EXPECT_TRUE(library.WriteFile("notes.txt", std::to_string(pick(1000))));
            return "notes.txt";
        }
    }

    static constexpr int kGroupCount = 4;
    static constexpr int kNameCount = 6;
    const char* const kGroups[kGroupCount] = {"EXT", "EXT.txt", "VERB", "EXT.txt.log"};
    const char* const kNames[kNameCount] = {"Alpha", "beta.(5)", "Gamma.(5)", "alpha copy", "Tool.(-2)", "Same"};
};

TEST_F(CatalogueReloadTest, ReloadOnThePreviousLoadEqualsAFullLoad) {
    const unsigned seed = GetTickCount();
    std::mt19937 random(seed);
    std::mt19937 setup(7);
    for (int i = 0; i < 10; ++i) Edit(setup);  // a library to start from

    CatalogueGeneration* chained = BuildGeneration(library.Path().c_str(), nullptr);
    ASSERT_NE(chained, nullptr);
    // Read as a menu reads it: a group nobody asked for is read only when
    // first needed, and a reload on top of it leaves it unread as well.
    Snapshot(chained);
    LONG readsChained = 0;
    LONG readsFull = 0;
    std::string history;
    for (int step = 0; step < 40; ++step) {
        const std::string edit = Edit(random);
        history += edit + "\n";

        LONG before = ReadCatalogueCounters().shortcutsRead;
        CatalogueGeneration* next = BuildGeneration(library.Path().c_str(), chained);
        ASSERT_NE(next, nullptr);
        const std::string got = Snapshot(next);
        const LONG reads = ReadCatalogueCounters().shortcutsRead - before;
        readsChained += reads;
        if (edit == "notes.txt") {
            EXPECT_EQ(reads, 0) << "a file that is no shortcut made the reload read shortcuts";
        }
        ReleaseCatalogue(chained);
        chained = next;

        // A full load reads its groups when they are first looked at: the
        // snapshot counts with it.
        before = ReadCatalogueCounters().shortcutsRead;
        CatalogueGeneration* full = BuildGeneration(library.Path().c_str(), nullptr);
        ASSERT_NE(full, nullptr);
        const std::string expected = Snapshot(full);
        readsFull += ReadCatalogueCounters().shortcutsRead - before;
        ReleaseCatalogue(full);
        ASSERT_EQ(got, expected) << "seed " << seed << ", after step " << step << ":\n" << history;
    }
    ReleaseCatalogue(chained);
    std::printf("[ reload   ] seed %u: %ld shortcuts read by the chained reloads, %ld by full loads\n", seed,
                static_cast<long>(readsChained), static_cast<long>(readsFull));
    EXPECT_LT(readsChained * 3, readsFull);
}

// One link object serves a whole load: what one shortcut set must not show
// up in the next one read, which lacks it.
TEST_F(CatalogueReloadTest, OneLinkObjectReadsEachShortcutAsItsOwn) {
    Folder("EXT");
    ShortcutSpec full;
    full.target = "C:\\windows\\notepad.exe";
    full.arguments = "-full";
    full.workingDirectory = "C:\\windows";
    ShortcutSpec bare;
    bare.setTarget = false;
    ASSERT_TRUE(SUCCEEDED(WriteShortcut(At("EXT\\A full.lnk"), full)));
    ASSERT_TRUE(SUCCEEDED(WriteShortcut(At("EXT\\B bare.lnk"), bare)));
    ASSERT_TRUE(SUCCEEDED(WriteShortcut(At("EXT\\C full.lnk"), full)));
    Load();
    CatalogueReader reader;
    reader.Acquire();
    ASSERT_NE(reader.FirstGroup(), nullptr);
    int checked = 0;
    for (const ActionItem* item = reader.FirstGroup()->Items(); item != nullptr; item = item->nextItem) {
        ShellLinkReader own;  // a link object of its own
        ActionItem alone(item->shortcutPath.Text(), own, theSettings.DefaultOrder);
        EXPECT_STREQ(item->arguments.Text(), alone.arguments.Text()) << item->displayName.Text();
        EXPECT_STREQ(item->workingDirectory.Text(), alone.workingDirectory.Text()) << item->displayName.Text();
        EXPECT_STREQ(item->targetPath.Text(), alone.targetPath.Text()) << item->displayName.Text();
        ++checked;
    }
    EXPECT_EQ(checked, 3);
}

}  // namespace

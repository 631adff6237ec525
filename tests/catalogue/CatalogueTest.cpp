#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueCounters.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "settings/Settings.h"
#include "tests/catalogue/CatalogueFixture.h"

namespace {

using Names = std::vector<std::string>;

// The expected Describe() line of a group.
std::string Line(const std::string& name, int kind, const std::string& lists, const std::string& items) {
    return name + " kind=" + std::to_string(kind) + " lists=[" + lists + "] items=[" + items + "]\n";
}

// Lines in catalogue order: the reverse of the directory listing's order of
// the entries they came from.
std::string InCatalogueOrder(const std::string& folder, const std::vector<std::pair<std::string, std::string>>& lines) {
    std::string out;
    Names listing = ListingOrder(folder);
    for (auto it = listing.rbegin(); it != listing.rend(); ++it) {
        for (const auto& entry : lines) {
            if (Upper(*it) == entry.first) out += entry.second;
        }
    }
    return out;
}

class CatalogueTest : public LibraryTest {
protected:
    // The example library: EXT\Notepad.lnk, EXT.txt.log\Viewer.(5).lnk and
    // readme.txt, VERB\Print.lnk, Misc\X.lnk, the alias EXT.htm.lnk pointing
    // at EXT.txt.log, and the settings file.
    void MakeExampleLibrary() {
        ASSERT_TRUE(library.WriteFile("Zentrik.ini", "[options]\r\nLargeIcon=0\r\n"));
        Folder("EXT");
        Shortcut("EXT\\Notepad.lnk", "C:\\windows\\notepad.exe");
        Folder("EXT.txt.log");
        Shortcut("EXT.txt.log\\Viewer.(5).lnk", "C:\\windows\\notepad.exe", "/view");
        ASSERT_TRUE(library.WriteFile("EXT.txt.log\\readme.txt", "not a shortcut"));
        Folder("VERB");
        Shortcut("VERB\\Print.lnk", "C:\\windows\\notepad.exe", "/p");
        Folder("Misc");
        Shortcut("Misc\\X.lnk", "C:\\windows\\notepad.exe");
        Shortcut("EXT.htm.lnk", At("EXT.txt.log"));
    }
};

TEST_F(CatalogueTest, ExampleLibraryLoadsIntoTheDescribedCatalogue) {
    MakeExampleLibrary();
    Load();
    EXPECT_EQ(theCatalogue.folder.Text(), library.Path());  // as given: never upper-cased
    EXPECT_EQ(DescribeCurrent(),
              InCatalogueOrder(library.Path(),
                               {{"EXT", Line("EXT", AllFilesGroup, "", "Notepad(10000)")},
                                {"EXT.TXT.LOG", Line("EXT.TXT.LOG", TypeListGroup, ";.HTM;|;.TXT;.LOG;", "Viewer(5)")},
                                {"VERB", Line("VERB", VerbGroup, "", "Print(10000)")},
                                {"EXT.HTM.LNK", Line("EXT.HTM.LNK", TypeListGroup, ";.HTM;.LNK;", "")}}));

    struct Case {
        Names files;
        Names menu;
    } cases[] = {
        {{"C:\\docs\\a.txt"}, {"Viewer", "Notepad"}},
        {{"C:\\web\\page.htm"}, {"Viewer", "Notepad"}},
        {{"C:\\docs\\a.txt", "C:\\docs\\b.doc"}, {"Notepad"}},
        {{"C:\\docs\\b.doc"}, {"Notepad"}},
        {{"C:\\docs\\run.log"}, {"Viewer", "Notepad"}},
        {{}, {"Viewer", "Notepad", "Print"}},  // no files: every group is used
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CurrentMenuFor(c.files), c.menu) << (c.files.empty() ? "(no files)" : c.files[0]);
    }
}

TEST_F(CatalogueTest, ItemsCarryWhatTheirShortcutsHold) {
    MakeExampleLibrary();
    Load();
    CatalogueReader reader;
    reader.Acquire();
    const ActionItem* viewer = nullptr;
    for (const ActionGroup* g = reader.FirstGroup(); g != nullptr; g = g->nextGroup) {
        if (std::string(g->name.Text()) == "EXT.TXT.LOG") viewer = g->Items();
    }
    ASSERT_NE(viewer, nullptr);
    EXPECT_STREQ(viewer->displayName.Text(), "Viewer");
    EXPECT_STREQ(viewer->arguments.Text(), "/view");
    EXPECT_EQ(Upper(viewer->targetPath.Text()), "C:\\WINDOWS\\NOTEPAD.EXE");
    EXPECT_EQ(viewer->icon.Get(), nullptr) << "icons are made when a menu shows the action";
}

TEST_F(CatalogueTest, DirectoryWithOnlyTheLibraryGivesAnEmptyCatalogue) {
    ASSERT_TRUE(library.WriteFile("Zentrik.ini", "[options]\r\n"));
    Load();
    CatalogueReader reader;
    reader.Acquire();
    ASSERT_NE(reader.Generation(), nullptr);
    EXPECT_EQ(reader.FirstGroup(), nullptr);
    EXPECT_EQ(CurrentMenuFor({"C:\\a.txt"}), Names{});
}

TEST_F(CatalogueTest, WhatIsAndIsNotAGroup) {
    Folder("Tools");
    Shortcut("Tools\\T.lnk", "C:\\windows\\notepad.exe");
    ASSERT_TRUE(library.WriteFile("EXT.txt", "a plain file named like a group"));
    ASSERT_TRUE(library.WriteFile("notes.txt", "nothing"));
    Folder("ext.doc");  // lower case: the group is EXT.DOC
    Shortcut("ext.doc\\Word.lnk", "C:\\windows\\notepad.exe");
    ASSERT_TRUE(library.WriteFile("ext.doc\\readme.txt", "ignored"));
    Folder("ext.doc\\deeper");
    Shortcut("ext.doc\\deeper\\Deep.lnk", "C:\\windows\\notepad.exe");  // a sub-folder is a submenu
    Folder("EXT.empty");
    Folder("VERBOSE");
    Shortcut("VERBOSE\\V.lnk", "C:\\windows\\notepad.exe");
    Load();
    EXPECT_EQ(DescribeCurrent(),
              InCatalogueOrder(library.Path(), {{"EXT.TXT", Line("EXT.TXT", TypeListGroup, ";.TXT;", "")},
                                                {"EXT.DOC", Line("EXT.DOC", TypeListGroup, ";.DOC;", "Word(10000) deeper(10000)")},
                                                {"EXT.EMPTY", Line("EXT.EMPTY", TypeListGroup, ";.EMPTY;", "")}}));
}

TEST_F(CatalogueTest, AliasShortcuts) {
    // Each case builds its own library: the group folders, the alias
    // shortcut (name -> target) and the files whose menu is checked.
    struct Case {
        const char* what;
        const char* group;      // a folder with one action "Act"
        const char* aliasName;  // shortcut in the library directory
        std::string target;     // relative to the library unless absolute
        Names matching;         // files that get "Act"
        Names notMatching;      // files that do not
    } cases[] = {
        {"widens a type group", "EXT.txt", "EXT.htm.lnk", "EXT.txt", {"a.htm", "a.txt"}, {"a.doc"}},
        {"target case does not matter", "ext.txt", "EXT.htm.lnk", "Ext.Txt", {"a.htm", "a.txt"}, {"a.doc"}},
        {"named EXT: all files", "EXT.txt", "EXT.lnk", "EXT.txt", {"a.htm", "a.doc", "README"}, {}},
        {"turns a verb group into a type group", "VERB", "EXT.htm.lnk", "VERB", {"a.htm"}, {"a.txt"}},
        {"all-files group stays so", "EXT", "EXT.htm.lnk", "EXT", {"a.doc", "a.htm"}, {}},
        {"an ordinary name changes nothing", "EXT.txt", "Readme.lnk", "EXT.txt", {"a.txt"}, {"a.htm", "README"}},
        {"a verb name changes nothing", "EXT.txt", "VERB.htm.lnk", "EXT.txt", {"a.txt"}, {"a.htm"}},
        {"a target outside the library is ignored", "EXT.txt", "EXT.htm.lnk", "C:\\windows", {"a.txt"}, {"a.htm"}},
        {"a sub-folder of a group is ignored", "EXT.txt", "EXT.htm.lnk", "EXT.txt\\sub", {"a.txt"}, {"a.htm"}},
        {"a target naming no group is ignored", "EXT.txt", "EXT.htm.lnk", "Nothing", {"a.txt"}, {"a.htm"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir lib("zka");
        ASSERT_TRUE(lib.Valid());
        ASSERT_TRUE(lib.WriteFile("Zentrik.dll", "MZ"));
        ASSERT_TRUE(lib.MakeFolder(c.group));
        ASSERT_TRUE(lib.MakeFolder(std::string(c.group) + "\\sub"));
        ShortcutSpec act;
        act.target = "C:\\windows\\notepad.exe";
        ASSERT_TRUE(SUCCEEDED(WriteShortcut(lib / (std::string(c.group) + "\\Act.lnk"), act)));
        ShortcutSpec alias;
        alias.target = c.target.size() > 1 && c.target[1] == ':' ? c.target : lib / c.target;
        ASSERT_TRUE(SUCCEEDED(WriteShortcut(lib / c.aliasName, alias)));

        LoadCatalogue(lib.Path().c_str());
        for (const std::string& file : c.matching) EXPECT_EQ(CurrentMenuFor({file}), Names{"Act"}) << file;
        for (const std::string& file : c.notMatching) EXPECT_EQ(CurrentMenuFor({file}), Names{}) << file;
        CloseChangeWatch();
        FreeCatalogue();
    }
}

TEST_F(CatalogueTest, ReloadKeepsOnlyTheSecondScan) {
    MakeExampleLibrary();
    Load();
    ASSERT_EQ(CurrentMenuFor({"a.txt"}), (Names{"Viewer", "Notepad"}));

    ASSERT_TRUE(DeleteFileA(At("EXT\\Notepad.lnk").c_str()));
    Shortcut("EXT\\Editor.(1).lnk", "C:\\windows\\notepad.exe");
    ASSERT_TRUE(DeleteFileA(At("EXT.htm.lnk").c_str()));
    Load();
    EXPECT_EQ(CurrentMenuFor({"a.txt"}), (Names{"Editor", "Viewer"}));
    EXPECT_EQ(CurrentMenuFor({"page.htm"}), (Names{"Editor"}));
    EXPECT_EQ(ReadCatalogueCounters().generationsAlive, 1);
}

TEST_F(CatalogueTest, SettingsAreReadByEveryLoad) {
    Folder("EXT");
    Shortcut("EXT\\Tool.lnk", "C:\\windows\\notepad.exe");
    ASSERT_TRUE(library.WriteFile("Zentrik.ini", "[options]\r\nDefaultOrder=77\r\nHideEmpty=0\r\n"));
    Load();
    CatalogueReader first;
    first.Acquire();
    EXPECT_EQ(first.HeldSettings().HideEmpty, 0);
    EXPECT_EQ(theSettings.HideEmpty, 1) << "a load wrote the process-wide record";
    EXPECT_EQ(DescribeCurrent(), Line("EXT", AllFilesGroup, "", "Tool(77)"));
    ASSERT_TRUE(library.WriteFile("Zentrik.ini", "[options]\r\nDefaultOrder=5\r\n"));
    Load();
    CatalogueReader second;
    second.Acquire();
    EXPECT_EQ(second.HeldSettings().HideEmpty, 1);
    EXPECT_EQ(first.HeldSettings().HideEmpty, 0) << "a reload wrote the settings a held load reads";

    EXPECT_EQ(DescribeCurrent(), Line("EXT", AllFilesGroup, "", "Tool(5)"));
}

TEST_F(CatalogueTest, AReaderKeepsItsGenerationAcrossReloads) {
    MakeExampleLibrary();
    Load();
    CatalogueReader menu;
    menu.Acquire();
    const CatalogueGeneration* built = menu.Generation();
    ASSERT_NE(built, nullptr);
    const std::string before = Describe(built);
    const LONG number = built->loadNumber;

    // Change everything and reload twice while the menu still holds its items.
    RemoveTree(At("EXT"));
    Folder("EXT.doc");
    Shortcut("EXT.doc\\Other.lnk", "C:\\windows\\notepad.exe");
    Load();
    Load();
    EXPECT_EQ(ReadCatalogueCounters().generationsAlive, 2);  // the held one and the current one
    EXPECT_EQ(Describe(built), before) << "the held generation changed under its reader";
    EXPECT_EQ(built->loadNumber, number);
    EXPECT_EQ(MenuFor(built, {"a.txt"}), (Names{"Viewer", "Notepad"}));
    EXPECT_EQ(CurrentMenuFor({"a.txt"}), Names{"Viewer"});
    EXPECT_EQ(CurrentMenuFor({"a.doc"}), Names{"Other"});

    // Moving the reader hands the hold over; releasing it frees the old one.
    CatalogueReader moved(std::move(menu));
    EXPECT_EQ(menu.Generation(), nullptr);
    EXPECT_EQ(ReadCatalogueCounters().generationsAlive, 2);
    moved.Release();
    EXPECT_EQ(ReadCatalogueCounters().generationsAlive, 1);

    // Freeing the catalogue while a reader holds it defers the destruction too.
    CatalogueReader last;
    last.Acquire();
    FreeCatalogue();
    EXPECT_EQ(AcquireCatalogue(), nullptr);
    EXPECT_EQ(ReadCatalogueCounters().generationsAlive, 1);
    EXPECT_EQ(MenuFor(last.Generation(), {"a.doc"}), Names{"Other"});
    last.Release();
    EXPECT_EQ(ReadCatalogueCounters().generationsAlive, 0);
    ReleaseCatalogue(nullptr);  // harmless
}

TEST_F(CatalogueTest, AllocationFailuresSkipWhatCannotBeHad) {
    MakeExampleLibrary();
    struct Case {
        const char* what;
        size_t size;
        const char* expected;  // Describe() without any group order: sorted lines
    } cases[] = {
        {"no items", sizeof(ActionItem), "EXT kind=2 lists=[] items=[]\nEXT.HTM.LNK kind=3 lists=[;.HTM;.LNK;] items=[]\n"
                                         "EXT.TXT.LOG kind=3 lists=[;.HTM;|;.TXT;.LOG;] items=[]\nVERB kind=1 lists=[] items=[]\n"},
        {"no groups", sizeof(ActionGroup), ""},
        {"no generation", sizeof(CatalogueGeneration), "<none>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string described;
        {
            // Items are read when first looked at: the description reads them.
            ScopedTextHeap heap(HeapFailingSize(c.size));
            Load();
            described = DescribeCurrent();
            EXPECT_GE(RefusedRequests(), 1);
        }
        if (described != "<none>") {
            // Compare as sorted lines: the listing order is not the point here.
            std::vector<std::string> lines;
            size_t start = 0;
            while (start < described.size()) {
                size_t end = described.find('\n', start);
                lines.push_back(described.substr(start, end - start + 1));
                start = end + 1;
            }
            std::sort(lines.begin(), lines.end());
            described.clear();
            for (const std::string& l : lines) described += l;
        }
        EXPECT_EQ(described, c.expected);
    }
}

TEST_F(CatalogueTest, NamesAtAndOverThePathLimit) {
    // The library directory's length decides how long a name may be: full
    // paths of at most 259 bytes load; from 260 on the path cannot be formed
    // and the shortcut is dropped; a group folder whose listing path is too
    // long stays as a group without items.
    Folder("EXT");
    const std::string groupFolder = At("EXT\\");
    const size_t room = 259 - groupFolder.size();  // longest name: full path of 259
    ASSERT_GT(room, 10u);
    auto nameOf = [](size_t length, char fill) { return std::string(length - 4, fill) + ".lnk"; };
    ShortcutSpec linkSpec;
    linkSpec.target = "C:\\windows\\notepad.exe";
    ASSERT_TRUE(WriteShortcutLongName(groupFolder, nameOf(room, 'a'), linkSpec));
    ASSERT_TRUE(WriteShortcutLongName(groupFolder, nameOf(room + 1, 'b'), linkSpec));
    ASSERT_TRUE(WriteShortcutLongName(groupFolder, nameOf(std::min<size_t>(room + 20, 255), 'c'), linkSpec));
    // A group folder name of 255 bytes: a valid group whose items path is too long.
    const std::string longGroup = "EXT." + std::string(251, 'g');
    ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + WidePath(At(longGroup))).c_str(), nullptr));

    Load();
    CatalogueReader reader;
    reader.Acquire();
    int groups = 0;
    for (const ActionGroup* g = reader.FirstGroup(); g != nullptr; g = g->nextGroup) {
        ++groups;
        if (std::string(g->name.Text()) == "EXT") {
            ASSERT_NE(g->Items(), nullptr) << "the 259-byte path did not load";
            EXPECT_EQ(std::string(g->Items()->displayName.Text()), std::string(room - 4, 'a'));
            EXPECT_EQ(g->Items()->nextItem, nullptr) << "a path of 260 bytes or more was loaded";
        } else {
            EXPECT_EQ(std::string(g->name.Text()), Upper(longGroup));
            EXPECT_EQ(g->kind, TypeListGroup);
            EXPECT_EQ(g->Items(), nullptr);
            EXPECT_TRUE(GroupMatchesFile(*g, ("x." + std::string(251, 'G')).c_str()));
        }
    }
    EXPECT_EQ(groups, 2);
}

TEST_F(CatalogueTest, CorruptShortcutsAreDropped) {
    Folder("EXT");
    ASSERT_TRUE(library.WriteFile("EXT\\zero.lnk", ""));
    std::string noise;
    for (int i = 0; i < 512; ++i) noise += static_cast<char>((i * 7919 + 13) & 0xFF);
    ASSERT_TRUE(library.WriteFile("EXT\\noise.lnk", noise));
    Folder("EXT\\folder.lnk");  // a folder named like a shortcut
    ASSERT_TRUE(library.WriteFile("EXT\\gone-target.exe", "x"));
    Shortcut("EXT\\Stale.lnk", At("EXT\\gone-target.exe"));
    ASSERT_TRUE(DeleteFileA(At("EXT\\gone-target.exe").c_str()));
    ASSERT_TRUE(library.WriteFile("EXT.htm.lnk", noise));  // an unreadable alias
    Shortcut("Good.lnk", "C:\\windows\\notepad.exe");     // an alias pointing nowhere useful
    Load();
    // Only the shortcut whose target has gone remains: it reads fine and
    // fails only when started.
    EXPECT_EQ(DescribeCurrent(), InCatalogueOrder(library.Path(),
                                                  {{"EXT", Line("EXT", AllFilesGroup, "", "Stale(10000)")},
                                                   {"EXT.HTM.LNK", Line("EXT.HTM.LNK", TypeListGroup, ";.HTM;.LNK;", "")}}));
}

TEST_F(CatalogueTest, FolderIsKeptWithOneTrailingBackslashAndReloadsFromThere) {
    Folder("EXT");
    Shortcut("EXT\\Notepad.lnk", "C:\\windows\\notepad.exe");
    std::string bare = library.Path();
    bare.pop_back();
    for (const std::string& given : {bare, library.Path()}) {
        SCOPED_TRACE(given);
        LoadCatalogue(given.c_str());
        EXPECT_EQ(theCatalogue.folder.Text(), library.Path());  // as given: never upper-cased
        EXPECT_EQ(CurrentMenuFor({"a.txt"}), Names{"Notepad"});
    }
    // A reload goes back to the same folder, whatever the current directory.
    Shortcut("EXT\\Viewer.lnk", "C:\\windows\\notepad.exe");
    const LONG loads = ReadCatalogueCounters().loads;
    for (int i = 0; i < 50 && ReadCatalogueCounters().loads == loads; ++i) {
        ReloadIfChanged();
        if (ReadCatalogueCounters().loads == loads) Sleep(20);
    }
    EXPECT_EQ(theCatalogue.folder.Text(), library.Path());  // as given: never upper-cased
    EXPECT_EQ(CurrentMenuFor({"a.txt"}), (Names{"Notepad", "Viewer"}));
}

TEST_F(CatalogueTest, UnlistableDirectoryGivesEmptyCatalogueAndNoWatch) {
    LoadCatalogue((library / "no such folder").c_str());
    EXPECT_FALSE(theCatalogue.changeWatch.Valid());
    EXPECT_FALSE(ChangeWatchSignalled());
    CatalogueReader reader;
    reader.Acquire();
    ASSERT_NE(reader.Generation(), nullptr);
    EXPECT_EQ(reader.FirstGroup(), nullptr);
    const LONG loads = ReadCatalogueCounters().loads;
    ReloadIfChanged();
    EXPECT_EQ(ReadCatalogueCounters().loads, loads);
}

TEST_F(CatalogueTest, LettersBeyondAsciiCompareAsTheFileSystemComparesNames) {
    // One group per case, its one action named after the case.
    const struct {
        const char* group;
        const char* file;
        bool offered;
    } cases[] = {
        {u8"EXT.ÄÖ", u8"x.äö", true},
        {u8"EXT.ДОК", u8"отчёт.док", true},
        {u8"ext(lower).док", u8"ОТЧЁТ.ДОК", true},
        {u8"EXT.日本", u8"x.日本", true},
        {"EXT.txt", "x.TXT", true},          // a-z as always
        {u8"EXT.ß", "x.SS", false},          // one letter to one letter: no expansion
        {u8"EXT.\u0131", "x.I", false},      // nor the dotless i an ASCII I
    };
    for (size_t k = 0; k < sizeof cases / sizeof cases[0]; ++k) {
        Folder(cases[k].group);
        Shortcut(std::string(cases[k].group) + "\\" + std::to_string(k) + ".lnk", "C:\\windows\\notepad.exe");
    }
    // Letters beyond ASCII sort by their lower case; ASCII exactly as ever.
    Folder("EXT");
    for (const char* name : {u8"Яблоко", "Zebra", u8"Ärger", "_x", u8"арбуз", "ax", u8"Äpfel"}) {
        Shortcut(std::string("EXT\\") + name + ".lnk", "C:\\windows\\notepad.exe");
    }
    Load();
    for (size_t k = 0; k < sizeof cases / sizeof cases[0]; ++k) {
        const Names menu = CurrentMenuFor({cases[k].file});
        const bool offered = std::find(menu.begin(), menu.end(), std::to_string(k)) != menu.end();
        EXPECT_EQ(cases[k].offered, offered) << cases[k].group << " for " << cases[k].file;
    }
    EXPECT_EQ(CurrentMenuFor({"x.none"}),
              (Names{"_x", "ax", "Zebra", u8"Äpfel", u8"Ärger", u8"арбуз", u8"Яблоко"}));
}

}  // namespace

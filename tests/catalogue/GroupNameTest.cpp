#include "catalogue/GroupName.h"

#include "tests/catalogue/TypeListMatch.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct NameCase {
    const char* name;  // as typed
    GroupKind kind;
    const char* list;  // compiled list; null when none is written
};

// Parses the upper-cased name; returns the list text or "<untouched>" when
// the buffer was not written.
GroupKind Parse(const char* typed, std::string* list) {
    FixedText name(typed);
    name.MakeUpper();
    char buffer[kTypeListBufferSize];
    std::memset(buffer, '#', sizeof buffer);
    buffer[sizeof buffer - 1] = 0;
    GroupKind kind = ParseGroupName(name, buffer);
    *list = buffer[0] == '#' ? "<untouched>" : buffer;
    return kind;
}

TEST(ParseGroupName, NameTable) {
    const NameCase cases[] = {
        {"EXT", AllFilesGroup, nullptr},
        {"ext(all files)", AllFilesGroup, nullptr},
        {"EXT(x)", AllFilesGroup, nullptr},
        {"EXT.txt", TypeListGroup, ";.TXT;"},
        {"ext.TXT", TypeListGroup, ";.TXT;"},
        {"Ext.txt", TypeListGroup, ";.TXT;"},
        {"EXT.txt.doc", TypeListGroup, ";.TXT;.DOC;"},
        {"EXT(Text).txt.log", TypeListGroup, ";.TXT;.LOG;"},
        {"EXT().txt", TypeListGroup, ";.TXT;"},
        {"EXT.%", TypeListGroup, ";.;"},
        {"EXT.txt.%", TypeListGroup, ";.TXT;.;"},
        {"EXT.a%%b", TypeListGroup, ";.A%B;"},
        {"EXT.c%x", TypeListGroup, ";.CX;"},
        {"EXT.%%%", TypeListGroup, ";.%;"},
        {"EXT.tar.gz", TypeListGroup, ";.TAR;.GZ;"},
        {"EXT.txt(old)", TypeListGroup, ";.TXT(OLD);"},
        {"EXT.", TypeListGroup, ";.;"},
        {"EXT..txt", TypeListGroup, ";.;.TXT;"},
        {"VERB", VerbGroup, nullptr},
        {"verb(open)", VerbGroup, nullptr},
        {"VERB(open).x", VerbGroup, nullptr},
        {"VERB.anything", VerbGroup, nullptr},
        {"DIR", FolderGroup, nullptr},
        {"dir(Folders)", FolderGroup, nullptr},
        {"BACKGROUND", BackgroundGroup, nullptr},
        {"Background(here)", BackgroundGroup, nullptr},
        {"DIRECTORY", NotAGroup, nullptr},
        {"DIR.txt", NotAGroup, nullptr},
        {"DIR(x).txt", NotAGroup, nullptr},
        {"DIR(x", NotAGroup, nullptr},
        {"BACKGROUND.x", NotAGroup, nullptr},
        {"VERBOSE", NotAGroup, nullptr},
        {"EXTRA.txt", NotAGroup, nullptr},
        {"EXT(a.b).txt", NotAGroup, nullptr},
        {"EXT(abc", NotAGroup, nullptr},
        {"EXT(x", NotAGroup, nullptr},
        {"Tools", NotAGroup, nullptr},
        {"", NotAGroup, nullptr},
        {"(EXT)", NotAGroup, nullptr},
        {".EXT", NotAGroup, nullptr},
    };
    for (const NameCase& c : cases) {
        std::string list;
        EXPECT_EQ(Parse(c.name, &list), c.kind) << c.name;
        EXPECT_EQ(list, c.list != nullptr ? c.list : "<untouched>") << c.name;
    }
}

TEST(ParseGroupName, LongestNameFitsTheListBuffer) {
    // A whole FixedText of which everything after EXT is "." or "%": the
    // worst case for the list's growth.
    const size_t dotCount = kFixedTextBytes - 3;
    std::string dots = "EXT" + std::string(dotCount, '.');
    std::string list;
    ASSERT_EQ(Parse(dots.c_str(), &list), TypeListGroup);
    EXPECT_EQ(list.size(), 2u * dotCount + 1);
    EXPECT_EQ(list.substr(0, 6), ";.;.;.");
}

TEST(ParseGroupName, NameBeyondThePathLimitIsCutNotOverrun) {
    // A TextBuffer can be longer than any folder name; the list then stops
    // at the buffer's last byte, still terminated.
    char storage[2001];
    TextOver name(storage, 2000);
    name.Assign(("EXT" + std::string(1997, '.')).c_str());
    char buffer[kTypeListBufferSize + 16];
    std::memset(buffer, 'Z', sizeof buffer);
    ASSERT_EQ(ParseGroupName(name, buffer), TypeListGroup);
    EXPECT_EQ(std::strlen(buffer), static_cast<size_t>(kTypeListBufferSize - 1));
    for (size_t i = kTypeListBufferSize; i < sizeof buffer; ++i) ASSERT_EQ(buffer[i], 'Z') << i;
}

struct MatchCase {
    const char* lists[2];  // up to two list texts, null for none
    const char* path;
    int expected;
};

TEST(TypeListsMatch, KeysAgainstLists) {
    const MatchCase cases[] = {
        {{";.TXT;.DOC;", nullptr}, "C:\\notes.txt", 1},
        {{";.TXT;.DOC;", nullptr}, "C:\\NOTES.TXT", 1},
        {{";.TX;", nullptr}, "C:\\notes.txt", 0},
        {{";.TEXT;", nullptr}, "C:\\notes.txt", 0},
        {{";.TXT;", nullptr}, "C:\\notes.text", 0},
        {{";.;", nullptr}, "C:\\README", 1},
        {{";.TXT;.;", nullptr}, "C:\\README", 1},
        {{";.TXT;", nullptr}, "C:\\README", 0},
        {{";.;", nullptr}, "C:\\ends-in-dot.", 1},
        {{";.;", nullptr}, "C:\\A.B\\FILE", 1},
        {{";.B;", nullptr}, "C:\\A.B\\FILE", 0},
        {{";.GZ;", nullptr}, "archive.tar.gz", 1},
        {{";.TAR;.GZ;", nullptr}, "archive.tar.gz", 1},
        {{";.TAR.GZ;", nullptr}, "archive.tar.gz", 0},
        {{";.HTM;", ";.TXT;.LOG;"}, "page.htm", 1},
        {{";.HTM;", ";.TXT;.LOG;"}, "a.log", 1},
        {{";.HTM;", ";.TXT;.LOG;"}, "b.doc", 0},
        {{";.A%B;", nullptr}, "x.a%b", 1},
        {{nullptr, nullptr}, "a.txt", 0},
        {{"", nullptr}, "a.txt", 0},
    };
    for (const MatchCase& c : cases) {
        TextListNode* lists = nullptr;
        // Pushed in reverse so that lists[0] is the head.
        for (int i = 1; i >= 0; --i) {
            if (c.lists[i] != nullptr) {
                ASSERT_EQ(PushText(&lists, c.lists[i]), 1);
            }
        }
        EXPECT_EQ(TypeListsMatch(lists, c.path, FoldAsciiUpper), c.expected) << c.path << " in " << (c.lists[0] ? c.lists[0] : "(none)");
        FreeTextList(&lists);
    }
}

TEST(TypeListsMatch, LongExtensionsCompareWhole) {
    // Keys past the search table's 255 bytes: an extension of 253 bytes
    // and more must not match a longer type it is the start of.
    for (const size_t length : {252u, 253u, 300u, 700u}) {
        const std::string type(length, 'A');
        const std::string path = "C:\\x." + type;
        TextListNode* lists = nullptr;
        ASSERT_EQ(PushText(&lists, (";." + type + "B;").c_str()), 1);
        EXPECT_EQ(TypeListsMatch(lists, path.c_str(), FoldAsciiUpper), 0) << length;
        ASSERT_EQ(PushText(&lists, (";.X;." + type + ";").c_str()), 1);
        EXPECT_EQ(TypeListsMatch(lists, path.c_str(), FoldAsciiUpper), 1) << length;
        FreeTextList(&lists);
    }
}

TEST(TypeListsMatch, CompiledNamesMatchAsTheirNamesSay) {
    // End to end through the grammar: the name's list matches its files.
    struct Case {
        const char* group;
        const char* path;
        int expected;
    } cases[] = {
        {"EXT.txt.doc", "notes.TXT", 1}, {"EXT.txt.doc", "notes.docx", 0}, {"EXT.%", "Makefile", 1},
        {"EXT.txt.%", "Makefile", 1},    {"EXT.txt", "Makefile", 0},      {"EXT.a%%b", "f.A%B", 1},
        {"EXT.c%x", "f.cx", 1},          {"EXT.c%x", "f.c%x", 0},         {"EXT.gz", "a.tar.gz", 1},
    };
    for (const Case& c : cases) {
        std::string list;
        ASSERT_EQ(Parse(c.group, &list), TypeListGroup) << c.group;
        TextListNode* lists = nullptr;
        ASSERT_EQ(PushText(&lists, list.c_str()), 1);
        EXPECT_EQ(TypeListsMatch(lists, c.path, FoldAsciiUpper), c.expected) << c.group << " / " << c.path;
        FreeTextList(&lists);
    }
}

}  // namespace

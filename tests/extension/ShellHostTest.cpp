// End to end through the shell host: a real process plays the shell's part
// for a right-click on real files (tools/ShellHost.cpp) and loads a copy of
// the built Zentrik.dll from a library folder laid out as a user does.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/extension/ExtensionTestSupport.h"
#include "tests/testsupport/Platform.h"

namespace {

// What one run of the shell host printed.
struct HostRun {
    int exitCode;
    std::string output;
    // The popup entries of the shell's menu: "caption" of every "[i] ... popup" line.
    std::vector<std::string> popups;
    // The submenu items: "caption|id|flags" (flags: the words after the id).
    std::vector<std::string> items;
    std::vector<std::string> helps;

    bool Contains(const std::string& text) const { return output.find(text) != std::string::npos; }
};

// The caption between the first pair of double quotes of a line.
std::string Caption(const std::string& line) {
    const size_t open = line.find('"');
    const size_t close = line.find("\" ", open + 1);
    if (open == std::string::npos || close == std::string::npos) return std::string();
    return line.substr(open + 1, close - open - 1);
}

HostRun RunHost(const std::string& dll, const std::vector<std::string>& files, const std::string& options = "") {
    std::string command = "\"" + ExecutableDirectory() + "shell_host.exe\" --dll \"" + dll + "\" " + options;
    for (const std::string& f : files) command += " \"" + f + "\"";
    HostRun run;
    run.exitCode = RunCaptured(command, &run.output);
    // The host's text-mode output turns every "\n" into "\r\n".
    std::string plain;
    for (char ch : run.output) {
        if (ch != '\r') plain += ch;
    }
    run.output = plain;
    size_t start = 0;
    while (start < run.output.size()) {
        size_t end = run.output.find('\n', start);
        if (end == std::string::npos) end = run.output.size();
        std::string line = run.output.substr(start, end - start);
        start = end + 1;
        if (line.rfind("[", 0) == 0 && line.find(" popup") != std::string::npos) {
            run.popups.push_back(Caption(line));
        } else if (line.rfind("  [", 0) == 0) {
            const size_t id = line.find(" id=");
            std::string rest = id == std::string::npos ? std::string() : line.substr(id + 4);
            const size_t help = rest.find(" help=");
            std::string helpText = help == std::string::npos ? std::string() : rest.substr(help + 7);
            if (!helpText.empty() && helpText.back() == '"') helpText.pop_back();
            if (help != std::string::npos) rest = rest.substr(0, help);
            const size_t space = rest.find(' ');
            std::string idText = rest.substr(0, space);
            std::string flags = space == std::string::npos ? std::string() : rest.substr(space + 1);
            run.items.push_back(Caption(line) + "|" + idText + "|" + flags);
            run.helps.push_back(helpText);
        }
    }
    return run;
}

std::vector<std::string> Names(const HostRun& run) {
    std::vector<std::string> names;
    for (const std::string& item : run.items) names.push_back(item.substr(0, item.find('|')));
    return names;
}

class ShellHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(library.Valid());
        dll = library.CopyLibrary();
        ASSERT_FALSE(dll.empty());
        record = records / "record.txt";
        UseRecordFile(record);
    }
    ComApartment apartment;  // for writing shortcuts
    ActionLibrary library;
    TempDir records{"zkrec"};
    std::string dll;
    std::string record;
};

TEST_F(ShellHostTest, ExampleLibraryGivesTheDescribedMenus) {
    // EXT with Notepad; EXT.txt.log with Viewer.(5) and a readme; VERB with
    // Print; Misc with X; and EXT.htm.lnk pointing at EXT.txt.log.
    ASSERT_TRUE(library.MakeGroup("EXT"));
    ASSERT_TRUE(library.AddAction("EXT", "Notepad", "C:\\windows\\notepad.exe"));
    ASSERT_TRUE(library.MakeGroup("EXT.txt.log"));
    ASSERT_TRUE(library.AddAction("EXT.txt.log", "Viewer.(5)", "C:\\windows\\system32\\write.exe"));
    ASSERT_FALSE(library.AddFile("EXT.txt.log\\readme.txt").empty());
    ASSERT_TRUE(library.MakeGroup("VERB"));
    ASSERT_TRUE(library.AddAction("VERB", "Print", "C:\\windows\\notepad.exe"));
    ASSERT_TRUE(library.MakeGroup("Misc"));
    ASSERT_TRUE(library.AddAction("Misc", "X", "C:\\windows\\notepad.exe"));
    ShortcutSpec alias;
    alias.target = library / "EXT.txt.log";
    ASSERT_HRESULT_SUCCEEDED(WriteShortcut(library / "EXT.htm.lnk", alias));
    TempDir documents("zkdoc");
    ASSERT_TRUE(documents.WriteFile("a.txt", "a") && documents.WriteFile("b.doc", "b") &&
                documents.WriteFile("page.htm", "p"));

    const struct {
        std::vector<std::string> files;
        std::vector<std::string> names;
    } cases[] = {
        {{documents / "a.txt"}, {"Viewer", "Notepad"}},
        {{documents / "page.htm"}, {"Viewer", "Notepad"}},
        {{documents / "a.txt", documents / "b.doc"}, {"Notepad"}},
    };
    for (const auto& c : cases) {
        const HostRun run = RunHost(dll, c.files);
        ASSERT_EQ(0, run.exitCode) << run.output;
        EXPECT_EQ(std::vector<std::string>{"Zentrik"}, run.popups) << run.output;
        EXPECT_EQ(c.names, Names(run)) << run.output;
        ASSERT_EQ(c.names.size(), run.helps.size());
        EXPECT_EQ("Open " + std::to_string(c.files.size()) + " file(s) with C:\\windows\\notepad.exe",
                  run.helps.back());
        EXPECT_TRUE(run.Contains("DllCanUnloadNow: 0x00000000")) << run.output;
    }
}

TEST_F(ShellHostTest, FlagsEmptyMenuAndCaption) {
    ASSERT_TRUE(library.MakeGroup("EXT.doc"));
    ASSERT_TRUE(library.AddRecorder("EXT.doc", "DocTool"));
    const std::string doc = library.AddFile("x.doc");
    const std::string txt = library.AddFile("x.txt");
    const struct {
        const char* settings;
        std::string file;
        const char* flags;
        std::vector<std::string> popups;
        std::vector<std::string> items;
        const char* result;
    } cases[] = {
        {"", doc, "0", {"Zentrik"}, {"DocTool|100|ownerdraw"}, "0x00000001 (1 identifiers)"},
        {"", doc, "1", {}, {}, "0x00000000 (0 identifiers)"},  // CMF_DEFAULTONLY
        {"", doc, "8", {}, {}, "0x00000000 (0 identifiers)"},  // CMF_NOVERBS
        {"", txt, "0", {}, {}, "0x00000000 (0 identifiers)"},  // HideEmpty defaults to 1
        {"HideEmpty=1\n", txt, "0", {}, {}, "0x00000000 (0 identifiers)"},
        {"HideEmpty=0\n", txt, "0", {"Zentrik"}, {"(Empty)|100|grayed"}, "0x00000001 (1 identifiers)"},
        {"UseMenuName=1\nMenuName=My Tools\n", doc, "0", {"My Tools"}, {"DocTool|100|ownerdraw"},
         "0x00000001 (1 identifiers)"},
        {"UseMenuName=0\nMenuName=My Tools\n", doc, "0", {"Zentrik"}, {"DocTool|100|ownerdraw"},
         "0x00000001 (1 identifiers)"},
    };
    // The user's own section decides: without "UseMenuName" there the
    // caption is off whatever the shared section says.
    char user[256] = "";
    DWORD size = sizeof user;
    const std::string section = GetUserNameA(user, &size) ? std::string("[options.") + user + "]\n" : "[options]\n";
    for (const auto& c : cases) {
        ASSERT_TRUE(library.WriteSettings(section + c.settings));
        const HostRun run = RunHost(dll, {c.file}, std::string("--flags ") + c.flags);
        ASSERT_EQ(0, run.exitCode) << run.output;
        EXPECT_TRUE(run.Contains(std::string("QueryContextMenu: ") + c.result)) << run.output;
        EXPECT_EQ(c.popups, run.popups) << c.settings << " flags " << c.flags;
        EXPECT_EQ(c.items, run.items) << c.settings << " flags " << c.flags;
        if (!c.popups.empty()) {
            EXPECT_TRUE(run.Contains(" popup checkbitmap")) << run.output;
        }
    }
}

TEST_F(ShellHostTest, SixHundredActionsGiveFiveHundredTwelveConsecutiveItems) {
    ASSERT_TRUE(library.MakeGroup("EXT"));
    for (int i = 0; i < 600; ++i) {
        char name[16];
        wsprintfA(name, "Tool%03d", i);
        ASSERT_TRUE(library.AddAction("EXT", name, "C:\\windows\\notepad.exe"));
    }
    const std::string file = library.AddFile("doc.txt");
    const HostRun run = RunHost(dll, {file});
    ASSERT_EQ(0, run.exitCode) << run.output.substr(0, 2000);
    EXPECT_TRUE(run.Contains("QueryContextMenu: 0x00000200 (512 identifiers)"));
    ASSERT_EQ(512u, run.items.size());
    std::vector<std::string> names = Names(run);
    for (size_t k = 0; k < run.items.size(); ++k) {
        EXPECT_EQ(std::to_string(100 + k), run.items[k].substr(run.items[k].find('|') + 1,
                                                               run.items[k].rfind('|') - run.items[k].find('|') - 1));
        if (k > 0) {
            EXPECT_LT(names[k - 1], names[k]) << "sorted by name";
        }
    }
}

TEST_F(ShellHostTest, VerbsOnlyMatchesASelectedShortcutByItsTarget) {
    ASSERT_TRUE(library.MakeGroup("EXT.txt"));
    ASSERT_TRUE(library.AddRecorder("EXT.txt", "TextTool"));
    TempDir documents("zkdoc");
    ASSERT_TRUE(documents.WriteFile("notes.txt", "n"));
    ShortcutSpec linkSpec;
    linkSpec.target = documents / "notes.txt";
    ASSERT_HRESULT_SUCCEEDED(WriteShortcut(documents / "notes.lnk", linkSpec));
    const HostRun verbsOnly = RunHost(dll, {documents / "notes.lnk"}, "--flags 2");
    EXPECT_EQ(std::vector<std::string>{"TextTool"}, Names(verbsOnly)) << verbsOnly.output;
    const HostRun normal = RunHost(dll, {documents / "notes.lnk"}, "--flags 0");
    EXPECT_TRUE(Names(normal).empty()) << normal.output;
}

TEST_F(ShellHostTest, InvokingPassesTheShortNamesInDropOrderOnce) {
    ASSERT_TRUE(library.MakeGroup("EXT"));
    ASSERT_TRUE(library.AddRecorder("EXT", "Record", "--from-shell"));
    TempDir documents("zkdoc");
    const std::vector<std::string> files = {documents / "zeta file.txt", documents / "alpha.txt",
                                            documents / "middle name.doc"};
    for (const std::string& f : files) ASSERT_TRUE(WriteWholeFile(f, "x"));
    const HostRun run = RunHost(dll, files, "--invoke Record --invoke-twice");
    ASSERT_EQ(0, run.exitCode) << run.output;
    EXPECT_TRUE(run.Contains("InvokeCommand(0): 0x00000000")) << run.output;
    EXPECT_TRUE(run.Contains("InvokeCommand again: 0x80070057")) << run.output;
    const std::vector<std::string> args = SplitCommandLine(WaitForRecordedCommandLine(record));
    ASSERT_EQ(5u, args.size());
    EXPECT_EQ("--from-shell", args[1]);
    for (size_t i = 0; i < files.size(); ++i) {
        char shortName[MAX_PATH] = "";
        ASSERT_NE(0u, GetShortPathNameA(files[i].c_str(), shortName, MAX_PATH));
        EXPECT_EQ(shortName, args[i + 2]) << i;
    }
}

TEST_F(ShellHostTest, MissingProgramShowsTheErrorBox) {
    ASSERT_TRUE(library.MakeGroup("EXT"));
    const std::string missing = library / "absent.exe";
    ASSERT_TRUE(library.AddAction("EXT", "Absent", missing));
    const std::string file = library.AddFile("doc.txt");
    char shortName[MAX_PATH] = "";
    ASSERT_NE(0u, GetShortPathNameA(file.c_str(), shortName, MAX_PATH));
    const HostRun run = RunHost(dll, {file}, "--invoke Absent --close-boxes");
    ASSERT_EQ(0, run.exitCode) << run.output;
    EXPECT_TRUE(run.Contains("messagebox caption: Zentrik Error")) << run.output;
    EXPECT_TRUE(run.Contains("messagebox text: Error executing command: Absent\n\nError code = 2\n")) << run.output;
    EXPECT_TRUE(run.Contains("\n\nThe command line was:\n\"" + missing + "\"  " + shortName)) << run.output;
    EXPECT_TRUE(run.Contains("InvokeCommand(0): 0x00000000")) << run.output;
}

}  // namespace

// End to end through the shell host: a real process plays the shell's part
// for a right-click on real files (tools/ShellHost.cpp) and loads a copy of
// the built Zentrik.dll from a library folder laid out as a user does.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "catalogue/ActionCollector.h"
#include "catalogue/CommandLine.h"
#include "extension/ContextMenuExtension.h"
#include "tests/extension/ExtensionTestSupport.h"
#include "tests/testsupport/FileIdentity.h"
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
    // A trailing backslash is doubled, or "C:\" would read as C:" and the rest.
    for (const std::string& f : files) command += " \"" + f + (!f.empty() && f.back() == '\\' ? "\\\"" : "\"");
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


// --- Names that must reach the action intact ------------------------------------

std::string Utf8(const std::wstring& wide) { return Utf8FromWide(wide); }

// The identity RecordArgs records for a file ("serial-high-low"), or "-".
std::string Identity(const std::wstring& path) { return FileIdentity(path.c_str()); }

bool MakeWideFile(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
}

// Runs the host on `files` (wide paths, handed over through a UTF-8 list).
HostRun RunHostOn(const std::string& dll, const TempDir& scratch, const std::vector<std::wstring>& files,
                  const std::string& options) {
    std::string list;
    for (const std::wstring& f : files) list += Utf8(f) + "\n";
    const std::string listFile = scratch / "files.txt";
    if (!WriteWholeFile(listFile, list)) return HostRun{-1, "cannot write the list", {}, {}, {}};
    return RunHost(dll, {}, "--files-utf8 \"" + listFile + "\" " + options);
}

// The short path name of the UTF-8 `path` (what is passed of a file), in UTF-8.
std::string ShortName(const std::string& path) {
    wchar_t shortName[MAX_PATH] = L"";
    GetShortPathNameW(WideFromUtf8(path).c_str(), shortName, MAX_PATH);
    return Utf8(shortName);
}

// The FILE: lines of the record RecordArgs left, or none when it left none
// within `ms`.
std::vector<std::string> RecordedIdentities(const std::string& record, DWORD ms) {
    std::vector<std::string> identities;
    if (WaitForRecordedCommandLine(record, ms).empty()) return identities;
    std::string text;
    ReadWholeFile(record, &text);
    for (size_t at = text.find("\nFILE:"); at != std::string::npos; at = text.find("\nFILE:", at + 1)) {
        const size_t end = text.find('\n', at + 1);
        identities.push_back(text.substr(at + 6, end - at - 6));
    }
    return identities;
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
    // What the console-interpreter cases share: a trap command "rec" in
    // `trap` that leaves the returned marker file when it runs (a name like
    // "q&rec&.bat" runs it when its quoting breaks), a batch file "pass
    // on.cmd" in the library that hands its parameters on to the recorder
    // and ends the interpreter, and an EXT group. Empty on failure.
    std::string InterpreterTrap(const TempDir& trap) const {
        const std::string marker = trap / "trap-ran.txt";
        if (!trap.WriteFile("rec.cmd", "@echo ran> \"" + marker + "\"\r\n") ||
            library.AddFile("pass on.cmd", "@\"" + RecorderPath() + "\" %*\r\n@exit\r\n").empty() ||
            !library.MakeGroup("EXT")) {
            return std::string();
        }
        return marker;
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
        {"UseMenuName=1\nMenuName=\n", doc, "0", {"Zentrik"}, {"DocTool|100|ownerdraw"},
         "0x00000001 (1 identifiers)"},  // an empty name gives no blank entry
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

    // A shortcut whose target is no file stands for itself: it matches as a
    // shortcut and is passed as one.
    ASSERT_TRUE(library.MakeGroup("EXT.lnk"));
    ASSERT_TRUE(library.AddRecorder("EXT.lnk", "LinkTool"));
    ShortcutSpec nowhere;
    nowhere.setTarget = false;
    ASSERT_HRESULT_SUCCEEDED(WriteShortcut(documents / "nowhere.lnk", nowhere));
    const HostRun itself = RunHost(dll, {documents / "nowhere.lnk"}, "--flags 2 --invoke LinkTool");
    EXPECT_EQ(std::vector<std::string>{"LinkTool"}, Names(itself)) << itself.output;
    EXPECT_EQ(std::vector<std::string>{Identity(WidePath(documents / "nowhere.lnk"))}, RecordedIdentities(record, 15000))
        << itself.output;
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

TEST_F(ShellHostTest, NamesOutsideTheCodePageAndPastThePathLimitReachTheProgramWhole) {
    ASSERT_TRUE(library.MakeGroup("EXT"));
    ASSERT_TRUE(library.AddRecorder("EXT", "Record"));
    TempDir documents("zkdoc");
    const std::wstring folder = WidePath(documents.Path());
    // A folder path that makes the file's path longer than 260 characters.
    const std::wstring deep = folder + std::wstring(120, L'd') + L"\\" + std::wstring(120, L'e');
    ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + folder + std::wstring(120, L'd')).c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + deep).c_str(), nullptr));
    ASSERT_GT(deep.size() + 14, 260u);
    const struct {
        std::vector<std::wstring> files;
        const char* options;  // the long path comes from a drop list of another source
    } cases[] = {
        {{folder + L"\u041f\u0440\u0438\u0432\u0435\u0442.txt", folder + L"\u4e2d\u6587 \u6587\u4ef6.doc",
          folder + L"caf\u00e9.txt"},
         ""},
        {{deep + L"\\long name.txt"}, "--own-drop"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> expected;
        for (const std::wstring& f : c.files) {
            ASSERT_TRUE(MakeWideFile(L"\\\\?\\" + f));
            expected.push_back(Identity(L"\\\\?\\" + f));
            ASSERT_NE("-", expected.back());
        }
        DeleteFileA(record.c_str());
        const HostRun run = RunHostOn(dll, records, c.files, std::string("--invoke Record ") + c.options);
        ASSERT_EQ(0, run.exitCode) << run.output;
        EXPECT_TRUE(run.Contains("InvokeCommand(0): 0x00000000")) << run.output;
        EXPECT_EQ(expected, RecordedIdentities(record, 15000)) << run.output;
        for (const std::wstring& f : c.files) DeleteFileW((L"\\\\?\\" + f).c_str());
    }
    RemoveDirectoryW((L"\\\\?\\" + deep).c_str());
    RemoveDirectoryW((L"\\\\?\\" + folder + std::wstring(120, L'd')).c_str());
}

TEST_F(ShellHostTest, BatchFileActionGetsHostileNamesWholeOrRefusesThem) {
    // The batch file hands its parameters on to the recorder. A trap command
    // "pwn" waits in the action's working directory, where the interpreter
    // looks first for a command that a name would smuggle in.
    TempDir trap("zktrap");
    const std::string marker = trap / "trap-ran.txt";
    ASSERT_TRUE(trap.WriteFile("pwn.cmd", "@echo ran> \"" + marker + "\"\r\n"));
    ASSERT_FALSE(library.AddFile("run.cmd", "@\"" + RecorderPath() + "\" %*\r\n").empty());
    ASSERT_TRUE(library.MakeGroup("EXT"));
    ShortcutSpec batch;
    batch.target = library / "run.cmd";
    batch.workingDirectory = trap.Path();
    ASSERT_HRESULT_SUCCEEDED(WriteShortcut(library / "EXT\\Batch.lnk", batch));

    TempDir documents("zkdoc");
    const std::wstring folder = WidePath(documents.Path());
    // What is passed is the short name: a name that fits 8.3 is its own.
    const struct {
        std::vector<std::wstring> names;
        const wchar_t* refused;  // the file the box names; null: all arrive
    } cases[] = {
        {{L"x&pwn", L"a^b.txt", L"(p) q.txt", L"s;t,u=v.txt", L"with space.txt", L"\u0416&pwn.txt",
          L"bang!.txt&pwn"},  // too long for 8.3: its short name, which is passed, holds no "!"
         nullptr},
        {{L"plain.txt", L"%OS%.txt"}, L"%OS%.txt"},
        {{L"hi!.txt"}, L"hi!.txt"},
    };
    for (const auto& c : cases) {
        std::vector<std::wstring> files;
        std::vector<std::string> expected;
        for (const std::wstring& name : c.names) {
            files.push_back(folder + name);
            ASSERT_TRUE(MakeWideFile(files.back()));
            expected.push_back(Identity(files.back()));
        }
        DeleteFileA(record.c_str());
        const HostRun run = RunHostOn(dll, records, files, "--invoke Batch --close-boxes");
        ASSERT_EQ(0, run.exitCode) << run.output;
        EXPECT_TRUE(run.Contains("InvokeCommand(0): 0x00000000")) << run.output;
        if (c.refused == nullptr) {
            EXPECT_EQ(expected, RecordedIdentities(record, 15000)) << run.output;
            EXPECT_FALSE(run.Contains("messagebox")) << run.output;
        } else {
            EXPECT_TRUE(run.Contains("messagebox caption: Zentrik Error")) << run.output;
            EXPECT_TRUE(run.Contains(Utf8(folder + c.refused))) << run.output;
            EXPECT_TRUE(RecordedIdentities(record, 2000).empty()) << "nothing may start";
        }
        std::string ran;
        EXPECT_FALSE(ReadWholeFile(marker, &ran)) << "a name ran a command";
        for (const std::wstring& f : files) DeleteFileW(f.c_str());
    }
}

TEST_F(ShellHostTest, CommandInterpreterActionsPassHostileNamesWhole) {
    // cmd.exe /c and /k run the pass-on batch file; the trap waits in the
    // working directory.
    TempDir trap("zktrap");
    const std::string marker = InterpreterTrap(trap);
    ASSERT_FALSE(marker.empty());
    char system[MAX_PATH] = "";
    ASSERT_NE(0u, GetSystemDirectoryA(system, MAX_PATH));
    TempDir documents("zkdoc");
    const std::wstring folder = WidePath(documents.Path());
    std::vector<std::wstring> files;
    std::vector<std::string> expected;
    for (const wchar_t* name : {L"q&rec&.bat", L"a(b)", L"x^y", L"x y.txt", L"z.txt"}) {
        files.push_back(folder + name);
        ASSERT_TRUE(MakeWideFile(files.back()));
        expected.push_back(Identity(files.back()));
    }
    const struct {
        const char* name;
        const char* commandSwitch;
    } actions[] = {{"ConsoleC", "/c"}, {"ConsoleK", "/K"}};
    for (const auto& a : actions) {
        ShortcutSpec console;
        console.target = std::string(system) + "\\cmd.exe";
        console.arguments = std::string(a.commandSwitch) + " \"" + (library / "pass on.cmd") + "\"";
        console.workingDirectory = trap.Path();
        ASSERT_HRESULT_SUCCEEDED(WriteShortcut(library / ("EXT\\" + std::string(a.name) + ".lnk"), console));
    }
    for (const auto& a : actions) {
        const std::string action = a.name;
        DeleteFileA(record.c_str());
        const HostRun run = RunHostOn(dll, records, files, "--invoke " + action);
        ASSERT_EQ(0, run.exitCode) << run.output;
        EXPECT_FALSE(run.Contains("messagebox")) << run.output;
        EXPECT_EQ(expected, RecordedIdentities(record, 15000)) << action << "\n" << run.output;
        std::string ran;
        EXPECT_FALSE(ReadWholeFile(marker, &ran)) << action << ": a name ran a command";
    }
}

TEST_F(ShellHostTest, InterpretersAreRecognisedByTheNameThatRuns) {
    // A trap command "rec" waits in the working directory: a name written
    // for a program where the interpreter reads the line runs it. The
    // PowerShell stand-in is the recorder under that name, so what it gets
    // shows how the names were written: each as a quoted literal.
    TempDir trap("zktrap");
    const std::string marker = InterpreterTrap(trap);
    ASSERT_FALSE(marker.empty());
    const std::string powershell = trap / "powershell.exe";
    ASSERT_TRUE(CopyFileA(RecorderPath().c_str(), powershell.c_str(), FALSE));
    char shortPowerShell[MAX_PATH] = "";
    ASSERT_NE(0u, GetShortPathNameA(powershell.c_str(), shortPowerShell, MAX_PATH));
    ASSERT_EQ(std::string::npos, std::string(shortPowerShell).find("powershell.exe")) << shortPowerShell;
    char system[MAX_PATH] = "";
    ASSERT_NE(0u, GetSystemDirectoryA(system, MAX_PATH));
    TempDir documents("zkdoc");
    const std::string file = documents / "a&rec&.txt";
    ASSERT_TRUE(WriteWholeFile(file, "x"));
    const std::string passed = ShortName(file);
    const struct {
        const char* name;
        std::string target;  // as the link holds it
        std::string arguments;
        std::string expected;  // in the recorded command line
    } actions[] = {
        {"NoExtension", std::string(system) + "\\cmd", "/c \"" + (library / "pass on.cmd") + "\"",
         "\"" + passed + "\""},
        {"PowerShell", trap / "powershell", "", "\"'" + passed + "'\""},
        {"ShortName", shortPowerShell, "-NoProfile", "\"'" + passed + "'\""},
    };
    for (const auto& a : actions) {
        ShortcutSpec link;
        link.target = a.target;
        link.arguments = a.arguments;
        link.workingDirectory = trap.Path();
        ASSERT_HRESULT_SUCCEEDED(WriteShortcut(library / ("EXT\\" + std::string(a.name) + ".lnk"), link));
    }
    for (const auto& a : actions) {
        DeleteFileA(record.c_str());
        const HostRun run = RunHost(dll, {file}, std::string("--close-boxes --invoke ") + a.name);
        ASSERT_EQ(0, run.exitCode) << run.output;
        const std::string command = WaitForRecordedCommandLine(record);
        EXPECT_NE(std::string::npos, command.find(a.expected)) << a.name << ": " << command << "\n" << run.output;
        std::string ran;
        EXPECT_FALSE(ReadWholeFile(marker, &ran)) << a.name << ": a name ran a command";
        DeleteFileA(marker.c_str());
    }
    // A program that hands its line on to a reader of its own gets no file:
    // the stand-in is the recorder named wt.exe, which must not start.
    ASSERT_TRUE(CopyFileA(RecorderPath().c_str(), (trap / "wt.exe").c_str(), FALSE));
    ShortcutSpec relay;
    relay.target = trap / "wt.exe";
    ASSERT_HRESULT_SUCCEEDED(WriteShortcut(library / "EXT\\Relay.lnk", relay));
    DeleteFileA(record.c_str());
    const HostRun run = RunHost(dll, {file}, "--close-boxes --invoke Relay");
    ASSERT_EQ(0, run.exitCode) << run.output;
    EXPECT_TRUE(run.Contains("hands its command line on to another interpreter")) << run.output;
    EXPECT_TRUE(WaitForRecordedCommandLine(record, 1000).empty()) << "nothing may start";
}

TEST_F(ShellHostTest, LinkTargetsStandForTheLinkOnlyWhenTheyExist) {
    // With CMF_VERBSONLY a selected shortcut stands for its target; a target
    // that names nothing (here one holding a tab and an option) leaves the
    // shortcut itself, and a folder ending in a backslash stays one argument.
    // A target folder is matched as a folder: a DIR alias lets EXT serve it.
    ASSERT_TRUE(library.MakeGroup("EXT"));
    ASSERT_TRUE(library.AddRecorder("EXT", "Record"));
    ShortcutSpec folders;
    folders.target = library / "EXT";
    ASSERT_HRESULT_SUCCEEDED(WriteShortcut(library / "DIR.lnk", folders));
    TempDir documents("zkdoc");
    ASSERT_TRUE(documents.WriteFile("plain.txt", "p") && documents.WriteFile("gone.txt", "g") &&
                documents.WriteFile("z.txt", "z") && documents.MakeFolder("my dir"));
    const struct {
        const char* link;
        std::string target;
    } links[] = {
        {"tab.lnk", (documents / "plain.txt") + "\t--injected-option"},
        {"gone.lnk", documents / "gone.txt"},
        {"dir.lnk", (documents / "my dir") + "\\"},
    };
    for (const auto& l : links) {
        ShortcutSpec shortcut;
        shortcut.target = l.target;
        ASSERT_HRESULT_SUCCEEDED(WriteShortcut(documents / l.link, shortcut));
    }
    ASSERT_TRUE(DeleteFileA((documents / "gone.txt").c_str()));
    const auto identity = [&](const std::string& name) { return Identity(WidePath(documents / name)); };
    const struct {
        std::vector<std::string> files;
        std::vector<std::string> identities;
        std::string help;  // ends the status text
    } cases[] = {
        {{documents / "tab.lnk"}, {identity("tab.lnk")}, RecorderPath()},
        {{documents / "gone.lnk"}, {identity("gone.lnk")}, RecorderPath()},
        {{documents / "dir.lnk", documents / "z.txt"},
         {identity("my dir"), identity("z.txt")},
         "; shortcut target: " + (documents / "my dir") + "\\"},
    };
    for (const auto& c : cases) {
        DeleteFileA(record.c_str());
        const HostRun run = RunHost(dll, c.files, "--flags 2 --invoke Record");
        ASSERT_EQ(0, run.exitCode) << run.output;
        ASSERT_EQ(1u, run.helps.size()) << run.output;
        const std::string& help = run.helps[0];
        EXPECT_TRUE(help.size() >= c.help.size() && help.compare(help.size() - c.help.size(), std::string::npos,
                                                                 c.help) == 0)
            << help;
        EXPECT_EQ(c.identities, RecordedIdentities(record, 15000)) << c.files[0] << "\n" << run.output;
    }
}

TEST_F(ShellHostTest, BatchLineLimitCountsTheQuotesTheSystemAdds) {
    // The system runs a batch file as cmd /c "LINE": two quotes more for the
    // interpreter's 8191. Lines of 8,189 to 8,193 units, made to measure
    // with the arguments; the batch file leaves a mark when it runs.
    TempDir work("zkwork");
    const std::string marker = work / "ran.txt";
    const std::string batch = library.AddFile("run.cmd", "@echo ran> \"" + marker + "\"\r\n");
    ASSERT_FALSE(batch.empty());
    ASSERT_TRUE(library.MakeGroup("EXT"));
    const std::string file = library.AddFile("doc.txt");
    const std::string passed = ShortName(file);
    for (const int length : {8189, 8190, 8191, 8192, 8193}) {
        // "BATCH" ARGUMENTS "FILE"
        const int padding = length - static_cast<int>(batch.size() + passed.size()) - 6;
        ShortcutSpec link;
        link.target = batch;
        link.arguments = std::string(static_cast<size_t>(padding), 'x');
        ASSERT_HRESULT_SUCCEEDED(WriteShortcut(library / "EXT\\Batch.lnk", link));
        DeleteFileA(marker.c_str());
        const HostRun run = RunHost(dll, {file}, "--quiet --close-boxes --invoke Batch");
        ASSERT_EQ(0, run.exitCode) << run.output;
        std::string ran;
        bool started = false;
        // The host returns once the box is closed: a refused line has started nothing by then.
        const int waits = length <= kBatchFileLineLimit ? 100 : 10;
        for (int i = 0; i < waits && !(started = ReadWholeFile(marker, &ran)); ++i) Sleep(100);
        if (length <= kBatchFileLineLimit) {
            EXPECT_TRUE(started) << length << "\n" << run.output;
            EXPECT_FALSE(run.Contains("messagebox")) << run.output;
        } else {
            EXPECT_FALSE(started) << length << " started";
            EXPECT_TRUE(run.Contains("make a command line of " + std::to_string(length) + " characters, more than the " +
                                     std::to_string(kBatchFileLineLimit)))
                << length << "\n" << run.output;
        }
    }
}

TEST_F(ShellHostTest, SelectionTooLargeToCheckSaysSo) {
    // More names than any command line carries, or more types than are
    // checked: one grayed item, whatever HideEmpty says, and at once.
    ASSERT_TRUE(library.MakeGroup("EXT"));
    ASSERT_TRUE(library.AddRecorder("EXT", "Record"));
    const struct {
        int files;
        int types;
        const char* item;
    } cases[] = {
        {kMaxSelectedFiles, 3, "Record|100|ownerdraw"},
        {kMaxSelectedFiles + 1, 3, "(Too many files)|100|grayed"},
        {kMaxSelectedTypes + 1, kMaxSelectedTypes + 1, "(Too many files)|100|grayed"},
    };
    for (const auto& c : cases) {
        std::vector<std::wstring> names;
        for (int i = 0; i < c.files; ++i) {
            names.push_back(L"C:\\selected\\f" + std::to_wstring(i) + L".t" + std::to_wstring(i % c.types));
        }
        const HostRun run = RunHostOn(dll, records, names, "--own-drop");
        ASSERT_EQ(0, run.exitCode) << run.output.substr(0, 2000);
        EXPECT_EQ(std::vector<std::string>{c.item}, run.items) << c.files << " files of " << c.types << " types";
    }
}

TEST_F(ShellHostTest, ShortcutArgumentsReachTheProgramAsWritten) {
    // The arguments keep their quotes; one they leave open, also behind a
    // backslash, is closed before the files, which the program gets on their own.
    ASSERT_TRUE(library.MakeGroup("EXT"));
    TempDir documents("zkdoc");
    ASSERT_TRUE(documents.WriteFile("a b.ini", "c") && documents.WriteFile("sel.txt", "s"));
    const std::string ini = documents / "a b.ini";
    const std::string folder = documents.Path();  // ends without a backslash
    const std::string config = Identity(WidePath(ini));
    const std::string selected = Identity(WidePath(documents / "sel.txt"));
    const std::string directory = Identity(WidePath(folder));
    const struct {
        std::string arguments;
        std::vector<std::string> identities;  // of the recorder's arguments, in order
    } cases[] = {
        {"\"" + ini + "\"", {config, selected}},
        {"--config \"" + ini + "\"", {"-", config, selected}},
        {"--config \"" + ini, {"-", config, selected}},
        {"--out \"" + folder + "\\Out\\\"", {"-", "-", selected}},  // the program reads ...\" as a quote
        {"--out \"" + folder + "\\", {"-", directory, selected}},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string name = "Args" + std::to_string(n++);
        ShortcutSpec action;
        action.target = RecorderPath();
        action.arguments = c.arguments;
        ASSERT_HRESULT_SUCCEEDED(WriteShortcut(library / ("EXT\\" + name + ".lnk"), action));
        DeleteFileA(record.c_str());
        const HostRun run = RunHost(dll, {documents / "sel.txt"}, "--invoke " + name);
        ASSERT_EQ(0, run.exitCode) << run.output;
        EXPECT_EQ(c.identities, RecordedIdentities(record, 15000)) << c.arguments << "\n" << run.output;
        ASSERT_TRUE(DeleteFileA((library / ("EXT\\" + name + ".lnk")).c_str()));
    }
}

TEST_F(ShellHostTest, TooManyFilesAndDocumentTargetsSayWhatWentWrong) {
    ASSERT_TRUE(library.MakeGroup("EXT"));
    ASSERT_TRUE(library.AddRecorder("EXT", "Record"));
    const std::string document = library.AddFile("readme.txt", "text");
    ASSERT_TRUE(library.AddAction("EXT", "Readme", document));
    ASSERT_TRUE(library.AddAction("EXT", "Batch", library.AddFile("run.cmd", "@exit\r\n")));
    TempDir documents("zkdoc");
    // Some 40 characters a short name: 900 of them pass the limit.
    std::vector<std::wstring> many;
    for (int i = 0; i < 900; ++i) {
        char name[32];
        wsprintfA(name, "file%04d.txt", i);
        ASSERT_TRUE(documents.WriteFile(name, "x"));
        many.push_back(WidePath(documents / name));
    }
    const struct {
        std::vector<std::wstring> files;
        const char* action;
        std::vector<std::string> pieces;  // in the box, in this order
    } cases[] = {
        // Past the line limit the files are offered in several runs; No starts nothing.
        {many, "Record", {"messagebox caption: Zentrik\n", "900 files do not fit one command line: start Record",
                          "messagebox answer: no"}},
        // Within what the system starts, beyond what the command interpreter takes.
        {std::vector<std::wstring>(many.begin(), many.begin() + 300), "Batch",
         {"300 files do not fit one command line: start Batch", "messagebox answer: no"}},
        // The system text of error 193 holds an insert; it stands as it is.
        {{many[0]}, "Readme", {"messagebox caption: Zentrik Error", "Error executing command: Readme\n\nError code = 193\n", "%1",
                               "The command line was:"}},
    };
    for (const auto& c : cases) {
        DeleteFileA(record.c_str());
        const HostRun run = RunHostOn(dll, records, c.files, std::string("--quiet --close-boxes --invoke ") + c.action);
        ASSERT_EQ(0, run.exitCode) << run.output.substr(0, 2000);
        size_t at = 0;
        for (const std::string& piece : c.pieces) {
            at = run.output.find(piece, at);
            EXPECT_NE(std::string::npos, at) << piece << "\n" << run.output.substr(0, 2000);
            if (at == std::string::npos) break;
        }
        EXPECT_TRUE(RecordedIdentities(record, 1000).empty()) << "nothing may start";
    }
}

// --- Submenus and the user's own actions ------------------------------------------

// The menu tree the host printed: two spaces per level, then the caption.
std::vector<std::string> MenuTree(const HostRun& run) {
    std::vector<std::string> tree;
    size_t start = 0;
    while (start < run.output.size()) {
        size_t end = run.output.find('\n', start);
        if (end == std::string::npos) end = run.output.size();
        const std::string line = run.output.substr(start, end - start);
        start = end + 1;
        const size_t bracket = line.find_first_not_of(' ');
        if (bracket == std::string::npos || line[bracket] != '[') continue;
        tree.push_back(std::string(bracket, ' ') + Caption(line));
    }
    return tree;
}

// This user's actions folder in the test prefix (%APPDATA%\Zentrik\), made
// when missing; what the test adds there is removed again, and the folder
// too when the test made it.
class UserActions {
public:
    UserActions() {
        wchar_t appData[MAX_PATH] = L"";
        if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData))) return;
        folder = Utf8FromWide(appData) + "\\Zentrik\\";
        made = CreateDirectoryW(WideFromUtf8(folder).c_str(), nullptr) != 0;
    }
    ~UserActions() {
        for (const std::string& group : groups) RemoveTree(folder + group);
        if (made) RemoveDirectoryW(WideFromUtf8(folder).c_str());
    }
    // Creates <folder>\<group> (several levels allowed), removed at the end.
    bool MakeGroup(const std::string& group) {
        groups.push_back(group.substr(0, group.find('\\')));
        std::string path = folder;
        for (size_t at = 0; at <= group.size();) {
            const size_t end = group.find('\\', at);
            path += group.substr(at, end - at) + "\\";
            CreateDirectoryW(WideFromUtf8(path).c_str(), nullptr);
            if (end == std::string::npos) break;
            at = end + 1;
        }
        return GetFileAttributesW(WideFromUtf8(path).c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    std::string folder;  // empty when the prefix names no application-data folder

private:
    std::vector<std::string> groups;
    bool made = false;
};

TEST_F(ShellHostTest, SubmenusNestMergeWithTheUserFolderAndRunTheirActions) {
    // The library's group: an action, Convert.(5)\Images.(2)\Small\Shrink
    // three levels down, Convert.(5)\Empty\Nothing and Hollow with no action.
    // The user's group of the same name adds an action and, in "convert",
    // one more for the library's Convert. A type of its own keeps other
    // tests' menus free of the user's group.
    const std::string group = "EXT.zksub";
    ASSERT_TRUE(library.MakeGroup(group + "\\Convert.(5)\\Images.(2)\\Small") &&
                library.MakeGroup(group + "\\Convert.(5)\\Empty\\Nothing") && library.MakeGroup(group + "\\Hollow"));
    ASSERT_TRUE(library.AddRecorder(group, "Top.(1)") &&
                library.AddRecorder(group + "\\Convert.(5)\\Images.(2)\\Small", "Shrink", "--shrink"));
    UserActions user;
    ASSERT_FALSE(user.folder.empty());
    ASSERT_TRUE(user.MakeGroup(group + "\\convert"));
    ShortcutSpec mine;
    mine.target = RecorderPath();
    ASSERT_HRESULT_SUCCEEDED(WriteShortcut(user.folder + group + "\\Mine.(2).lnk", mine));
    ASSERT_HRESULT_SUCCEEDED(WriteShortcut(user.folder + group + "\\convert\\Extra.(1).lnk", mine));
    const std::string file = library.AddFile("photo.zksub");

    const HostRun run = RunHost(dll, {file}, "--invoke Shrink");
    ASSERT_EQ(0, run.exitCode) << run.output;
    const std::vector<std::string> expected = {
        "Zentrik", "  Top", "  Mine", "  Convert", "    Extra", "    Images", "      Small", "        Shrink",
    };
    EXPECT_EQ(expected, MenuTree(run)) << run.output;
    EXPECT_TRUE(run.Contains("QueryContextMenu: 0x00000007 (7 identifiers)")) << run.output;
    const std::vector<std::string> args = SplitCommandLine(WaitForRecordedCommandLine(record));
    ASSERT_EQ(3u, args.size()) << run.output;
    EXPECT_EQ("--shrink", args[1]);
    EXPECT_EQ(ShortName(file), args[2]);
}

// --- Actions run as users mean them ---------------------------------------------

// The records the runs of one click left in `folder` (RecordArgs with
// ZK_RECORD_DIR), in the order the runs started: the arguments each program
// got, behind its own name. Waits up to `ms` for `expected` records (for
// none, `ms` in full), and removes them.
std::vector<std::vector<std::string>> RecordedRuns(const std::string& folder, size_t expected, DWORD ms) {
    std::vector<std::pair<std::string, std::vector<std::string>>> runs;
    const DWORD start = GetTickCount();
    std::vector<std::string> names;
    do {
        Sleep(100);
        names.clear();
        WIN32_FIND_DATAA entry;
        HANDLE found = FindFirstFileA((folder + "\\record-*.txt").c_str(), &entry);
        if (found == INVALID_HANDLE_VALUE) continue;
        do {
            names.push_back(folder + "\\" + entry.cFileName);
        } while (FindNextFileA(found, &entry));
        FindClose(found);
    } while ((expected == 0 || names.size() < expected) && GetTickCount() - start < ms);
    for (const std::string& name : names) {
        std::string text;
        if (!ReadWholeFile(name, &text)) continue;
        DeleteFileA(name.c_str());
        const size_t command = text.find("\nCMD:");
        const size_t end = text.find('\n', command + 1);
        if (text.rfind("START:", 0) != 0 || command == std::string::npos) continue;
        std::vector<std::string> args = SplitCommandLine(text.substr(command + 5, end - command - 5));
        if (!args.empty()) args.erase(args.begin());
        runs.emplace_back(text.substr(6, 16), args);
    }
    std::sort(runs.begin(), runs.end());
    std::vector<std::vector<std::string>> ordered;
    for (const auto& run : runs) ordered.push_back(run.second);
    return ordered;
}

TEST_F(ShellHostTest, ActionsRunAsUsersMeanThem) {
    TempDir runs("zkruns");
    std::string runFolder = runs.Path();
    if (!runFolder.empty() && runFolder.back() == '\\') runFolder.pop_back();
    ASSERT_TRUE(SetEnvironmentVariableA("ZK_RECORD_DIR", runFolder.c_str()));
    struct Unset {
        ~Unset() { SetEnvironmentVariableA("ZK_RECORD_DIR", nullptr); }
    } unset;
    // The trap waits in the working directory of the console action.
    TempDir trap("zktrap");
    const std::string marker = InterpreterTrap(trap);
    ASSERT_FALSE(marker.empty());
    char system[MAX_PATH] = "";
    ASSERT_NE(0u, GetSystemDirectoryA(system, MAX_PATH));
    const std::string absent = library / "absent.exe";
    const struct {
        const char* name;
        std::string target;
        std::string arguments;
        std::string comment;
    } actions[] = {
        {"Each", RecorderPath(), "--one \"%1\" --two", ""},
        {"Middle", RecorderPath(), "--first %* --last", ""},
        {"In", RecorderPath(), "\"--in=%L\"", ""},
        {"Console", std::string(system) + "\\cmd.exe", "/c \"" + (library / "pass on.cmd") + "\" \"%1\"", ""},
        {"Record", RecorderPath(), "", "Counts the words"},
        {"Absent", absent, "", ""},
    };
    for (const auto& a : actions) {
        ShortcutSpec linkSpec;
        linkSpec.target = a.target;
        linkSpec.arguments = a.arguments;
        linkSpec.description = a.comment;
        linkSpec.workingDirectory = trap.Path();
        ASSERT_HRESULT_SUCCEEDED(WriteShortcut(library / ("EXT\\" + std::string(a.name) + ".lnk"), linkSpec));
    }

    TempDir documents("zkdoc");
    const std::wstring folder = WidePath(documents.Path());
    std::vector<std::wstring> files;  // a b c, the hostile name, 16 more
    for (const wchar_t* name : {L"a.txt", L"b.txt", L"c.txt", L"q&rec&.bat"}) files.push_back(folder + name);
    for (int i = 0; i < 16; ++i) files.push_back(folder + L"e" + std::to_wstring(i) + L".txt");
    // 600 names of some 95 characters: two lines' worth.
    ASSERT_TRUE(documents.MakeFolder("d1234567\\d1234567\\d1234567\\d1234567\\d1234567"));
    std::vector<std::wstring> many;
    for (int i = 0; i < 600; ++i) {
        many.push_back(folder + L"d1234567\\d1234567\\d1234567\\d1234567\\d1234567\\f" + std::to_wstring(1000 + i) +
                       L".txt");
    }
    std::vector<std::string> passed;  // what is passed of each: its short name
    for (const std::vector<std::wstring>* list : {&files, &many}) {
        for (const std::wstring& f : *list) {
            ASSERT_TRUE(MakeWideFile(f));
            if (list == &files) passed.push_back(ShortName(Utf8(f)));
        }
    }
    std::vector<std::string> manyPassed;
    for (const std::wstring& f : many) manyPassed.push_back(ShortName(Utf8(f)));
    const std::string& a = passed[0];
    const std::string& b = passed[1];
    const std::string& c = passed[2];
    const std::string& hostile = passed[3];
    const std::vector<std::wstring> sixteen(files.begin() + 4, files.end());

    const struct {
        const char* action;
        std::vector<std::wstring> files;
        const char* options;
        std::vector<std::vector<std::string>> runs;  // each run's arguments; for "many", all in one
        std::vector<std::string> pieces;            // in the host's output
    } cases[] = {
        {"Each", {files[0], files[1], files[2]}, "", {{"--one", a, "--two"}, {"--one", b, "--two"}, {"--one", c, "--two"}}, {}},
        {"Middle", {files[0], files[1]}, "", {{"--first", a, b, "--last"}}, {}},
        {"In", {files[1]}, "", {{"--in=" + b}}, {}},
        {"Console", {files[3], files[0]}, "", {{hostile}, {a}}, {}},
        {"Each", sixteen, "--close-boxes --answer no", {}, {"Start Each 16 times?", "messagebox answer: no"}},
        {"Record", many, "--close-boxes --answer yes", {manyPassed}, {"600 files do not fit one command line: start Record "}},
        {"Absent", {files[0]}, "--no-ui",  {},
         {"ownerdraw grayed help=\"Program not found: " + absent + "\"", "InvokeCommand(0): 0x80070002"}},
        {"Record", {files[0]}, "", {{a}}, {"\"Record\" id=", "help=\"Counts the words\""}},
    };
    for (const auto& k : cases) {
        const HostRun run = RunHostOn(dll, records, k.files, std::string(k.options) + " --invoke " + k.action);
        ASSERT_EQ(0, run.exitCode) << run.output.substr(0, 3000);
        const bool batched = k.files.size() == many.size();
        const std::vector<std::vector<std::string>> got =
            RecordedRuns(runFolder, batched ? 2 : k.runs.size(), k.runs.empty() ? 1500 : 20000);
        if (batched) {
            // Every file exactly once, in order, in as few runs as fit: a run
            // could not have taken the next file too.
            ASSERT_GE(got.size(), 2u) << run.output.substr(0, 3000);
            std::vector<std::string> all;
            size_t length = 0;
            for (size_t r = 0; r < got.size(); ++r) {
                if (r > 0) {
                    EXPECT_GT(length + 1 + got[r][0].size(), static_cast<size_t>(kCommandLineLimit - 1)) << r;
                }
                length = RecorderPath().size() + 3;
                for (const std::string& arg : got[r]) length += arg.size() + 1;
                all.insert(all.end(), got[r].begin(), got[r].end());
            }
            EXPECT_EQ(k.runs[0], all);
            EXPECT_TRUE(run.Contains(k.pieces[0] + std::to_string(got.size()) + " times, with up to " +
                                     std::to_string(got[0].size()) + " files each?"))
                << run.output.substr(0, 3000);
        } else {
            std::vector<std::vector<std::string>> expected = k.runs;
            std::vector<std::vector<std::string>> recorded = got;
            if (std::string(k.action) == "Console") {
                // Each run's recorder is started by its own interpreter: they may start in either order.
                std::sort(expected.begin(), expected.end());
                std::sort(recorded.begin(), recorded.end());
            }
            EXPECT_EQ(expected, recorded) << k.action << "\n" << run.output.substr(0, 3000);
            for (const std::string& piece : k.pieces) EXPECT_TRUE(run.Contains(piece)) << piece << "\n" << run.output;
        }
        if (std::string(k.options).find("--answer") == std::string::npos) {
            EXPECT_FALSE(run.Contains("messagebox")) << run.output.substr(0, 3000);
        }
    }
    std::string ran;
    EXPECT_FALSE(ReadWholeFile(marker, &ran)) << "a name ran a command";
}

// --- Names of every script, from the install folder to the program ------------

// A library installed in a folder named in UTF-8 under `scratch`: the
// folder made level by level, the built Zentrik.dll copied in. Returns the
// folder (with its backslash), empty on failure.
std::string InstallLibraryIn(const TempDir& scratch, const std::string& relative) {
    std::string folder = scratch.Path();
    size_t start = 0;
    while (start < relative.size()) {
        const size_t end = relative.find('\\', start);
        folder += relative.substr(start, end - start) + "\\";
        CreateDirectoryW(WideFromUtf8(folder).c_str(), nullptr);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    const std::wstring dll = WideFromUtf8(folder + "Zentrik.dll");
    if (!CopyFileW(WidePath(ExecutableDirectory() + "Zentrik.dll").c_str(), dll.c_str(), FALSE)) return std::string();
    return folder;
}

bool MakeUtf8Folder(const std::string& path) { return CreateDirectoryW(WideFromUtf8(path).c_str(), nullptr) != 0; }

bool WriteUtf8File(const std::string& path, const std::string& bytes) {
    HANDLE h = CreateFileW(WideFromUtf8(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
    return ok && written == bytes.size();
}

// The user's own section of the settings file.
std::string UserSection() {
    wchar_t user[256] = L"";
    DWORD size = 256;
    return GetUserNameW(user, &size) ? "[options." + Utf8(user) + "]" : "[options]";
}

TEST_F(ShellHostTest, NamesOfEveryScriptFromTheInstallFolderToTheProgram) {
    // Cyrillic, CJK and a character no code page has (U+1F600, a UTF-16 pair).
    TempDir scratch("zkuni");
    const std::string home = InstallLibraryIn(scratch, u8"Дмитрий\\山田 \U0001F600 Programs");
    ASSERT_FALSE(home.empty());
    const std::string work = scratch.Path() + u8"Рабочая 日本 \U0001F600";
    ASSERT_TRUE(MakeUtf8Folder(work));
    // Group folders with such names, and EXT.ДОК for a lower-case отчёт.док:
    // letters beyond ASCII compare as the file system compares them.
    for (const char* group : {u8"EXT.日本", u8"EXT(Документы).txt", u8"EXT.ДОК"}) ASSERT_TRUE(MakeUtf8Folder(home + group));
    // Over 1,000 characters of arguments, with quoted paths of every script.
    std::string arguments = u8"--open \"" + work + u8"\\файл 1.txt\"";
    while (arguments.size() < 2400) arguments += u8" \"" + work + u8"\\山田 \U0001F600 отчёт.txt\"";
    arguments += " --end";
    // The program's own name is beyond ASCII too, but in the code page:
    // Wine 8 keeps a link target only in the code page (its link file holds
    // the path in ANSI, and GetPath gives '?' for the rest).
    const std::string program = scratch.Path() + u8"Café.exe";
    ASSERT_TRUE(CopyFileW(WidePath(RecorderPath()).c_str(), WideFromUtf8(program).c_str(), FALSE));
    ShortcutSpec editor;
    editor.target = program;
    editor.arguments = arguments;
    editor.workingDirectory = work;
    ASSERT_HRESULT_SUCCEEDED(WriteShortcutUtf8(home + u8"EXT.日本\\Открыть в редакторе.lnk", editor));
    ShortcutSpec plain;
    plain.target = RecorderPath();
    ASSERT_HRESULT_SUCCEEDED(WriteShortcutUtf8(home + u8"EXT(Документы).txt\\Просмотр \U0001F600.(3).lnk", plain));
    ASSERT_HRESULT_SUCCEEDED(WriteShortcutUtf8(home + u8"EXT.ДОК\\Отчёт.lnk", plain));
    // The caption: a settings file in UTF-16 with a byte-order mark, which
    // the profile service keeps and reads as such.
    const std::wstring ini = WideFromUtf8("\xEF\xBB\xBF" + UserSection() + "\r\nUseMenuName=1\r\nMenuName=" +
                                          u8"Мои действия 山田 \U0001F600" + "\r\n");
    ASSERT_TRUE(WriteUtf8File(home + "Zentrik.ini", std::string(reinterpret_cast<const char*>(ini.data()),
                                                                  ini.size() * sizeof(wchar_t))));
    const std::string book = work + u8"\\книга.日本";
    const std::string text = work + u8"\\заметки.txt";
    const std::string report = work + u8"\\отчёт.док";
    for (const std::string& f : {book, text, report}) ASSERT_TRUE(WriteUtf8File(f, "x"));

    const struct {
        std::string file;
        std::vector<std::string> names;
        std::string program;
    } cases[] = {
        {book, {u8"Открыть в редакторе"}, program},
        {text, {u8"Просмотр \U0001F600"}, RecorderPath()},
        {report, {u8"Отчёт"}, RecorderPath()},
    };
    for (const auto& c : cases) {
        const HostRun run = RunHostOn(home + "Zentrik.dll", records, {WideFromUtf8(c.file)}, "");
        ASSERT_EQ(0, run.exitCode) << run.output;
        EXPECT_EQ(std::vector<std::string>{u8"Мои действия 山田 \U0001F600"}, run.popups) << run.output;
        EXPECT_EQ(c.names, Names(run)) << run.output;
        ASSERT_EQ(1u, run.helps.size()) << run.output;
        EXPECT_EQ("Open 1 file(s) with " + c.program, run.helps[0]);
    }

    // The program gets exactly what the shortcut holds, then the file.
    const HostRun run = RunHostOn(home + "Zentrik.dll", records, {WideFromUtf8(book)}, u8"--invoke \"Открыть в редакторе\"");
    ASSERT_EQ(0, run.exitCode) << run.output;
    EXPECT_TRUE(run.Contains("InvokeCommand(0): 0x00000000")) << run.output;
    std::string recordText;
    ASSERT_FALSE(WaitForRecordedCommandLine(record).empty()) << run.output;
    ASSERT_TRUE(ReadWholeFile(record, &recordText));
    EXPECT_NE(std::string::npos, recordText.find("CMD:\"" + program + "\" " + arguments + " " + ShortName(book) + "\n"))
        << recordText.substr(0, 300);
    EXPECT_NE(std::string::npos, recordText.find("\nCWD:" + work + "\n")) << recordText.substr(0, 300);
}

// Folders, drive roots and the empty space of a folder window or of the
// desktop: DIR and BACKGROUND groups, aliases that add them to a group of
// files, and what the actions get. The batch action hands its parameters on
// to the recorder: the interpreter's quoting of a drive root must not join
// it with the next name, nor must the program's.
TEST_F(ShellHostTest, FoldersDrivesAndBackgroundsGetTheirGroupsAndThemselves) {
    ASSERT_TRUE(library.MakeGroup("DIR"));
    ASSERT_TRUE(library.AddRecorder("DIR", "Folder"));
    ASSERT_FALSE(library.AddFile("pass.cmd", "@\"" + RecorderPath() + "\" %*\r\n").empty());
    ASSERT_TRUE(library.AddAction("DIR", "Pass", library / "pass.cmd"));
    ASSERT_TRUE(library.MakeGroup("BACKGROUND(here)"));
    ASSERT_TRUE(library.AddRecorder("BACKGROUND(here)", "Here"));
    for (const char* group : {"EXT.txt", "EXT.doc", "EXT", "DIRECTORY", "DIR.txt"}) ASSERT_TRUE(library.MakeGroup(group));
    ASSERT_TRUE(library.AddRecorder("EXT.txt", "Text"));
    ASSERT_TRUE(library.AddRecorder("EXT.doc", "Doc"));
    ASSERT_TRUE(library.AddRecorder("EXT", "Any"));
    ASSERT_TRUE(library.AddRecorder("DIRECTORY", "NotAGroup"));
    ASSERT_TRUE(library.AddRecorder("DIR.txt", "NotAGroupEither"));
    ShortcutSpec alias;
    alias.target = library / "EXT.txt";
    ASSERT_HRESULT_SUCCEEDED(WriteShortcut(library / "DIR(and text).lnk", alias));
    alias.target = library / "EXT";
    ASSERT_HRESULT_SUCCEEDED(WriteShortcut(library / "BACKGROUND.lnk", alias));

    TempDir documents("zkdoc");
    const std::string folder = documents / "first folder";  // a space: passed by its short name
    const std::string dotted = documents / "second.txt";    // a folder, whatever its name says
    ASSERT_TRUE(documents.MakeFolder("first folder") && documents.MakeFolder("second.txt"));
    ASSERT_TRUE(documents.WriteFile("a.txt", "a") && documents.WriteFile("b.doc", "b"));
    const std::string text = documents / "a.txt";
    std::string here = documents.Path();
    here.pop_back();
    wchar_t desktop[MAX_PATH] = L"";
    ASSERT_HRESULT_SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, desktop));
    char system[MAX_PATH] = "";
    ASSERT_NE(0u, GetSystemDirectoryA(system, MAX_PATH));
    const std::string root = std::string(system, 3);  // "C:\"

    const std::vector<std::string> forFolders = {"Folder", "Pass", "Text"};
    const struct {
        const char* what;
        std::vector<std::string> files;
        std::string options;
        std::vector<std::string> names;
        const char* invoke;                  // null: nothing invoked
        std::vector<std::string> passed;     // the files the action must get, in order
        std::vector<std::string> arguments;  // the recorded argv behind the program; empty: not compared
    } cases[] = {
        {"a folder", {folder}, "", forFolders, "Folder", {folder}, {ShortName(folder)}},
        {"two folders", {folder, dotted}, "", forFolders, nullptr, {}, {}},
        {"a drive root", {root}, "", forFolders, "Pass", {root}, {}},
        {"a drive root before a folder", {root, folder}, "--own-drop", forFolders, "Pass", {root, folder}, {}},
        {"a drive root before a file", {root, text}, "--own-drop", {"Text"}, "Text", {root, text},
         {root, ShortName(text)}},
        {"a folder and a file its group has a DIR alias for", {folder, text}, "", {"Text"}, nullptr, {}, {}},
        {"a folder and a file of a group without one", {folder, documents / "b.doc"}, "", {}, nullptr, {}, {}},
        {"the background of a folder", {}, "--background \"" + here + "\"", {"Any", "Here"}, "Here", {here}, {}},
        {"the background of the desktop", {}, "--background desktop", {"Any", "Here"}, "Here", {Utf8(desktop)}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DeleteFileA(record.c_str());
        const HostRun run =
            RunHost(dll, c.files, c.options + (c.invoke != nullptr ? std::string(" --invoke ") + c.invoke : ""));
        ASSERT_EQ(0, run.exitCode) << run.output;
        EXPECT_EQ(c.names, Names(run)) << run.output;
        if (c.invoke == nullptr) continue;
        std::vector<std::string> expected;
        for (const std::string& f : c.passed) expected.push_back(Identity(WidePath(f)));
        EXPECT_EQ(expected, RecordedIdentities(record, 15000)) << run.output;
        if (!c.arguments.empty()) {
            std::vector<std::string> args = SplitCommandLine(WaitForRecordedCommandLine(record, 1000));
            ASSERT_FALSE(args.empty());
            EXPECT_EQ(c.arguments, std::vector<std::string>(args.begin() + 1, args.end()))
                << WaitForRecordedCommandLine(record, 1000);
        }
    }
}

// The starter library's kind of actions, in install folders named with
// double-byte characters of code page 932 (the second byte of 田 is 'c', of
// テ 'e'). The ctest entry extension_shellhost_ja_test runs this under Wine
// with the Japanese ANSI code page (ZK_WINE_LOCALE=ja_JP.UTF-8).
TEST_F(ShellHostTest, JapaneseInstallFoldersGiveTheStarterActions) {
    char locale[64] = "";
    if (GetEnvironmentVariableA("ZK_WINE_LOCALE", locale, sizeof locale) > 0 &&
        std::string(locale) == "ja_JP.UTF-8") {
        ASSERT_EQ(932u, GetACP());
    }
    TempDir scratch("zkja");
    const std::string documents = scratch.Path();
    ASSERT_TRUE(WriteUtf8File(documents + "memo.txt", "x"));
    for (const char* folder : {u8"users\\山田\\AppData\\Local\\Programs\\Zentrik", u8"テスト\\Zentrik"}) {
        const std::string home = InstallLibraryIn(scratch, folder);
        ASSERT_FALSE(home.empty()) << folder;
        ASSERT_TRUE(MakeUtf8Folder(home + "EXT(Text files).txt.log"));
        ASSERT_TRUE(MakeUtf8Folder(home + "EXT(All files)"));
        ShortcutSpec notepad;
        notepad.target = "C:\\Windows\\System32\\notepad.exe";
        ASSERT_HRESULT_SUCCEEDED(WriteShortcutUtf8(home + "EXT(Text files).txt.log\\Edit in Notepad.(1).lnk", notepad));
        ShortcutSpec explorer;
        explorer.target = "C:\\Windows\\explorer.exe";
        explorer.arguments = "/select,";
        ASSERT_HRESULT_SUCCEEDED(WriteShortcutUtf8(home + "EXT(All files)\\Show in Explorer.(5).lnk", explorer));
        const HostRun run = RunHostOn(home + "Zentrik.dll", records, {WideFromUtf8(documents + "memo.txt")}, "");
        ASSERT_EQ(0, run.exitCode) << run.output;
        EXPECT_EQ((std::vector<std::string>{"Edit in Notepad", "Show in Explorer"}), Names(run)) << folder << "\n"
                                                                                                 << run.output;
    }
}

}  // namespace

// The context-menu object driven directly, as the shell drives it: real
// library folders with real shortcuts, the shell's own data object for real
// files, real menus, the recording program started for real.
#include "extension/ContextMenuExtension.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "catalogue/ActionGroup.h"
#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueCounters.h"
#include "extension/ModuleLifetime.h"
#include "menudraw/CheckMarkGeometry.h"
#include "menudraw/GdiObjects.h"
#include "menudraw/MenuPaint.h"
#include "settings/Settings.h"
#include "tests/extension/ExtensionTestSupport.h"
#include "tests/testsupport/Platform.h"

namespace {

constexpr UINT kFirst = 100;
constexpr UINT kLast = 0x7FFF;

// The library's process attach and detach, as the loaded DLL has them
// (the two locks), and COM on this thread, as the shell's thread has it.
class LibraryEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        com = CoInitialize(nullptr);
        LibraryAttach(nullptr);
    }
    void TearDown() override {
        LibraryDetach();
        if (SUCCEEDED(com)) CoUninitialize();
    }

private:
    HRESULT com = E_FAIL;
};
const auto* const environment = ::testing::AddGlobalTestEnvironment(new LibraryEnvironment);

// What Extension::Text gives when GetCommandString wrote nothing.
const std::string kNothingWritten = "<nothing written>";

// A wide GetCommandString request (GCS_VERBW, GCS_HELPTEXTW) and the text
// it must give.
struct WideCase {
    UINT type;
    UINT size;  // cchMax, in UTF-16 units
    std::wstring expected;
};

// One object with its interface reference, released at the end.
class Extension {
public:
    Extension() : object(new ContextMenuExtension) {
        object->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu));
        object->Release();  // the creator's reference: `menu` holds it from here
    }
    ~Extension() {
        if (popup != nullptr) DestroyMenu(popup);
        menu->Release();
    }
    Extension(const Extension&) = delete;
    Extension& operator=(const Extension&) = delete;

    void Select(const std::vector<std::string>& files) {
        IDataObject* data = ShellDataObject(files);
        ASSERT_NE(nullptr, data);
        object->Initialize(nullptr, data, nullptr);
        data->Release();
    }
    // QueryContextMenu on a fresh popup menu.
    HRESULT Build(UINT flags = CMF_NORMAL, UINT first = kFirst, UINT last = kLast) {
        if (popup != nullptr) DestroyMenu(popup);
        popup = CreatePopupMenu();
        return menu->QueryContextMenu(popup, 0, first, last, flags);
    }
    // The items of the submenu, "name|id|flags".
    std::vector<std::string> Items() const {
        MENUITEMINFOA mii = {};
        mii.cbSize = sizeof mii;
        mii.fMask = MIIM_SUBMENU;
        if (GetMenuItemCount(popup) < 1 || !GetMenuItemInfoA(popup, 0, TRUE, &mii)) return {};
        std::vector<std::string> lines = DescribeMenu(mii.hSubMenu);
        // Owner-drawn items carry no caption: name them by the item's name.
        for (size_t k = 0; k < lines.size(); ++k) {
            if (lines[k].rfind("|", 0) == 0) lines[k] = Name(static_cast<UINT>(k)) + lines[k];
        }
        return lines;
    }
    std::string Name(UINT offset) const { return Text(offset, GCS_VERBA); }
    std::string Text(UINT offset, UINT type, UINT size = 600) const {
        std::string buffer(size + 1, '\x7F');
        menu->GetCommandString(offset, type, nullptr, &buffer[0], size);
        const size_t end = buffer.find('\0');
        return end == std::string::npos ? kNothingWritten : buffer.substr(0, end);
    }
    // The wide request for item 0 into 700 units of 0x7F; the whole buffer,
    // so that what lies past the terminator shows too.
    std::wstring WideBuffer(const WideCase& c) const {
        std::wstring buffer(700, L'\x7F');
        EXPECT_EQ(S_OK, menu->GetCommandString(0, c.type, nullptr, reinterpret_cast<LPSTR>(&buffer[0]), c.size))
            << c.type << " " << c.size;
        return buffer;
    }
    HRESULT Invoke(UINT_PTR verb) {
        CMINVOKECOMMANDINFO info = {};
        info.cbSize = sizeof info;
        info.lpVerb = reinterpret_cast<LPCSTR>(verb);
        info.nShow = SW_SHOWNORMAL;
        return menu->InvokeCommand(&info);
    }

    ContextMenuExtension* object;
    IContextMenu* menu = nullptr;
    HMENU popup = nullptr;
};

std::string Name(const std::string& line) { return line.substr(0, line.find('|')); }

class ContextMenuTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(library.Valid());
        record = recordFolder / "record.txt";
        UseRecordFile(record);
    }
    void TearDown() override {
        // The watch on the folder goes before the folder does.
        CloseChangeWatch();
        FreeCatalogue();
    }
    // Loads the catalogue from the test's library folder.
    void Load() {
        LoadCatalogue(library.Path().c_str());
    }

    ActionLibrary library;
    TempDir recordFolder{"zkrec"};
    std::string record;
};

TEST_F(ContextMenuTest, ActionsAreSortedByOrderThenNameWithConsecutiveIdentifiers) {
    ASSERT_TRUE(library.MakeGroup("EXT"));
    // Met as (20, b), (10, c), (10, a): shown as a, c, b.
    ASSERT_TRUE(library.AddRecorder("EXT", "b.(20)"));
    ASSERT_TRUE(library.AddRecorder("EXT", "c.(10)"));
    ASSERT_TRUE(library.AddRecorder("EXT", "a.(10)"));
    const std::string file = library.AddFile("doc.txt");
    Load();
    Extension e;
    e.Select({file});
    EXPECT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 3), e.Build());
    const std::vector<std::string> expected = {"a|100|o", "c|101|o", "b|102|o"};
    std::vector<std::string> items = e.Items();
    // Without the owner-drawn hook the same items are plain text items.
    if (e.object->menu.hookRecord == nullptr) {
        for (std::string& line : items) line.erase(line.find_last_of('o'));
        EXPECT_EQ((std::vector<std::string>{"a|100|", "c|101|", "b|102|"}), items);
    } else {
        EXPECT_EQ(expected, items);
    }
    EXPECT_EQ(3, e.object->menu.itemCount);
    EXPECT_EQ(kFirst, e.object->menu.firstCommandId);
}

TEST_F(ContextMenuTest, EqualActionsKeepCatalogueOrder) {
    // Two groups with an action of the same order and name (the name
    // compares without regard to case): both are shown, in the catalogue's
    // order, which is the reverse of the folder listing's.
    ASSERT_TRUE(library.MakeGroup("EXT"));
    ASSERT_TRUE(library.MakeGroup("EXT.txt"));
    ASSERT_TRUE(library.AddRecorder("EXT", "Same"));
    ASSERT_TRUE(library.AddRecorder("EXT.txt", "same"));
    const std::string file = library.AddFile("doc.txt");
    Load();
    std::vector<std::string> catalogueOrder;
    {
        CatalogueReader reader;
        reader.Acquire();
        for (const ActionGroup* g = reader.FirstGroup(); g != nullptr; g = g->nextGroup)
            catalogueOrder.push_back(g->Items()->displayName.Text());
    }
    ASSERT_EQ(2u, catalogueOrder.size());
    Extension e;
    e.Select({file});
    ASSERT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 2), e.Build());
    EXPECT_EQ(catalogueOrder, (std::vector<std::string>{e.Name(0), e.Name(1)}));
}

TEST_F(ContextMenuTest, ActionsBeyondIdCmdLastAreLeftOut) {
    ASSERT_TRUE(library.MakeGroup("EXT"));
    for (const char* name : {"e", "d", "c", "b", "a"}) ASSERT_TRUE(library.AddRecorder("EXT", name));
    const std::string file = library.AddFile("doc.txt");
    ASSERT_TRUE(library.WriteSettings("[options]\nHideEmpty=0\n"));
    Load();
    const struct {
        UINT first, last;
        HRESULT result;
        std::vector<std::string> names;
    } cases[] = {
        {100, 0x7FFF, MAKE_HRESULT(SEVERITY_SUCCESS, 0, 5), {"a", "b", "c", "d", "e"}},
        {100, 104, MAKE_HRESULT(SEVERITY_SUCCESS, 0, 5), {"a", "b", "c", "d", "e"}},
        {100, 102, MAKE_HRESULT(SEVERITY_SUCCESS, 0, 3), {"a", "b", "c"}},
        {100, 100, MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1), {"a"}},
        {100, 99, MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0), {}},  // no identifier granted: not even "(Empty)"
        {0xFFFFFFFE, 0xFFFFFFFF, MAKE_HRESULT(SEVERITY_SUCCESS, 0, 2), {"a", "b"}},
    };
    for (const auto& c : cases) {
        Extension e;
        e.Select({file});
        EXPECT_EQ(c.result, e.Build(CMF_NORMAL, c.first, c.last)) << c.last;
        std::vector<std::string> names;
        for (const std::string& line : e.Items()) names.push_back(Name(line));
        EXPECT_EQ(c.names, names) << c.last;
        EXPECT_EQ(static_cast<int32_t>(c.names.size()), e.object->menu.itemCount);
        EXPECT_EQ(c.names.empty() ? 0 : 1, GetMenuItemCount(e.popup));
    }
}

TEST_F(ContextMenuTest, DefaultOnlyAndNoVerbsResetTheEarlierMenuAndInsertNothing) {
    ASSERT_TRUE(library.MakeGroup("EXT"));
    ASSERT_TRUE(library.AddRecorder("EXT", "Tool"));
    const std::string file = library.AddFile("doc.txt");
    Load();
    for (UINT flags : {CMF_DEFAULTONLY, CMF_NOVERBS, CMF_DEFAULTONLY | CMF_VERBSONLY}) {
        Extension e;
        e.Select({file});
        ASSERT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1), e.Build());
        ASSERT_EQ(1, e.object->selectionCount);
        ASSERT_NE(nullptr, e.object->menu.checkBitmap);
        const HBITMAP firstBitmap = e.object->menu.checkBitmap;

        EXPECT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0), e.Build(flags)) << flags;
        EXPECT_EQ(0, GetMenuItemCount(e.popup));
        EXPECT_EQ(0, e.object->selectionCount);
        EXPECT_EQ(nullptr, e.object->selection);
        EXPECT_EQ(nullptr, e.object->menu.hookRecord);
        EXPECT_EQ(nullptr, e.object->menu.checkBitmap);
        EXPECT_EQ(0u, GetObjectType(firstBitmap)) << "the first menu's bitmap is deleted";
        // Nothing of the earlier menu answers any more.
        EXPECT_EQ(kNothingWritten, e.Name(0));
        EXPECT_EQ(E_INVALIDARG, e.Invoke(0));
    }
}

TEST_F(ContextMenuTest, SecondBuildReplacesTheFirstAndTheFirstSubmenuStaysWithItsMenu) {
    ASSERT_TRUE(library.MakeGroup("EXT"));
    ASSERT_TRUE(library.AddRecorder("EXT", "Tool"));
    const std::string file = library.AddFile("doc.txt");
    Load();
    Extension e;
    e.Select({file});
    HMENU firstPopup = CreatePopupMenu();
    ASSERT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1), e.menu->QueryContextMenu(firstPopup, 0, 1, 50, CMF_NORMAL));
    const HMENU firstSub = e.object->menu.subMenu;
    const HBITMAP firstBitmap = e.object->menu.checkBitmap;
    ASSERT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1), e.Build());
    EXPECT_NE(firstSub, e.object->menu.subMenu);
    EXPECT_TRUE(IsMenu(firstSub));
    EXPECT_EQ(firstSub, GetSubMenu(firstPopup, 0));
    EXPECT_EQ(0u, GetObjectType(firstBitmap));
    EXPECT_EQ(1, e.object->selectionCount);
    EXPECT_EQ(kFirst, e.object->menu.firstCommandId);
    DestroyMenu(firstPopup);
    EXPECT_FALSE(IsMenu(firstSub));
}

TEST_F(ContextMenuTest, MenuThatCannotBeInsertedLeavesNothingBehind) {
    ASSERT_TRUE(library.MakeGroup("EXT"));
    ASSERT_TRUE(library.AddRecorder("EXT", "Tool"));
    const std::string file = library.AddFile("doc.txt");
    Load();
    Extension e;
    e.Select({file});
    // No shell menu to insert into: no identifier is used and nothing of the
    // menu stays alive.
    EXPECT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0), e.menu->QueryContextMenu(nullptr, 0, kFirst, kLast, CMF_NORMAL));
    EXPECT_EQ(0, e.object->menu.itemCount);
    EXPECT_EQ(nullptr, e.object->menu.subMenu);
    EXPECT_EQ(nullptr, e.object->menu.checkBitmap);
    EXPECT_EQ(nullptr, e.object->menu.hookRecord);
    EXPECT_EQ(nullptr, e.object->borrowed.Generation());
    EXPECT_EQ(E_INVALIDARG, e.Invoke(0));
}

TEST_F(ContextMenuTest, ShortcutSelectedWithVerbsOnlyIsMatchedByItsTarget) {
    ASSERT_TRUE(library.MakeGroup("EXT.txt"));
    ASSERT_TRUE(library.AddRecorder("EXT.txt", "TextTool"));
    ASSERT_TRUE(library.MakeGroup("EXT.lnk"));
    ASSERT_TRUE(library.AddRecorder("EXT.lnk", "LinkTool"));
    const std::string target = library.AddFile("notes.txt");
    ASSERT_TRUE(library.MakeGroup("docs"));
    ShortcutSpec linkSpec;
    linkSpec.target = target;
    const std::string link = library / "docs\\notes.lnk";
    ASSERT_HRESULT_SUCCEEDED(WriteShortcut(link, linkSpec));
    Load();
    const struct {
        UINT flags;
        const char* name;
        std::string selected;
    } cases[] = {{CMF_VERBSONLY, "TextTool", target}, {CMF_NORMAL, "LinkTool", link}};
    for (const auto& c : cases) {
        Extension e;
        e.Select({link});
        ASSERT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1), e.Build(c.flags));
        EXPECT_EQ(c.name, e.Name(0));
        ASSERT_NE(nullptr, e.object->selection);
        const std::wstring selected(reinterpret_cast<const wchar_t*>(e.object->selection->text.Text()));
        EXPECT_EQ(std::wstring(c.selected.begin(), c.selected.end()), selected);
    }
}

TEST_F(ContextMenuTest, NameLostToMemoryShortageFailsTheMenu) {
    // A selected name that cannot be kept must not leave a selection
    // without it: the groups would then be matched against the rest (here
    // none, which every group matches) and offer actions for the wrong files.
    ASSERT_TRUE(library.MakeGroup("EXT.txt"));
    ASSERT_TRUE(library.AddRecorder("EXT.txt", "TextTool"));
    const std::string doc = library.AddFile("report.doc");
    Load();
    Extension e;
    e.Select({doc});
    // The first allocation of the build is the selected name's.
    static int allocations;
    allocations = 0;
    const TextHeap failingFirst = {[](size_t bytes) { return allocations++ == 0 ? nullptr : std::malloc(bytes); },
                                   std::free};
    const TextHeap previous = SetTextHeap(failingFirst);
    const HRESULT built = e.Build();
    SetTextHeap(previous);
    EXPECT_GT(allocations, 0);
    EXPECT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0), built);
    EXPECT_TRUE(e.Items().empty());
}

TEST_F(ContextMenuTest, CommandStrings) {
    ASSERT_TRUE(library.MakeGroup("EXT"));
    const std::string viewer = library.AddFile("VIEW.EXE");
    ASSERT_TRUE(library.AddAction("EXT", "Viewer of files", viewer));
    const std::vector<std::string> files = {library.AddFile("a.txt"), library.AddFile("b.txt"),
                                            library.AddFile("c.txt")};
    Load();
    Extension e;
    e.Select(files);
    ASSERT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1), e.Build());
    const std::string help = "Open 3 file(s) with " + viewer;
    const struct {
        UINT_PTR offset;
        UINT type;
        UINT size;
        std::string expected;
    } cases[] = {
        {0, GCS_HELPTEXTA, 600, help},
        {0, GCS_VERBA, 600, "Viewer of files"},
        {0, GCS_VALIDATEA, 600, "Viewer of files"},
        {0, GCS_VERBA, 10, "Viewer of"},
        {0, GCS_HELPTEXTA, 6, "Open "},
        {0, GCS_VERBA, 1, ""},
        {1, GCS_VERBA, 600, "\x7F\x7F\x7F"},  // no item: an error, nothing written
        {0, GCS_VERBA, 0, "\x7F\x7F\x7F"},    // no room: nothing written
    };
    for (const auto& c : cases) {
        std::string buffer(700, '\x7F');
        EXPECT_EQ(c.offset == 0 ? S_OK : E_INVALIDARG,
                  e.menu->GetCommandString(c.offset, c.type, nullptr, &buffer[0], c.size));
        EXPECT_EQ(c.expected, buffer.substr(0, c.expected.size())) << c.type << " " << c.size;
        if (c.expected.find('\x7F') == std::string::npos) {
            EXPECT_EQ('\0', buffer[c.expected.size()]);
            EXPECT_EQ('\x7F', buffer[c.expected.size() + 1]) << "nothing written past the terminator";
        }
    }
    // A null buffer is not written to.
    EXPECT_EQ(S_OK, e.menu->GetCommandString(0, GCS_HELPTEXTA, nullptr, nullptr, 600));
    EXPECT_EQ(S_OK, e.menu->GetCommandString(0, GCS_VERBW, nullptr, nullptr, 600));

    // Wide requests get UTF-16 within cchMax characters.
    const WideCase wide[] = {
        {GCS_HELPTEXTW, 600, WideFromUtf8(help)},
        {GCS_VERBW, 600, L"Viewer of files"},
        {GCS_VERBW, 7, L"Viewer"},
        {GCS_HELPTEXTW, 1, L""},
    };
    for (const auto& c : wide) {
        const std::wstring buffer = e.WideBuffer(c);
        EXPECT_EQ(c.expected, buffer.substr(0, c.expected.size())) << c.type << " " << c.size;
        EXPECT_EQ(L'\0', buffer[c.expected.size()]);
        EXPECT_EQ(L'\x7F', buffer[c.expected.size() + 1]);
    }
}

TEST_F(ContextMenuTest, CommandStringsBeyondTheCodePage) {
    // The wide forms give every character, a cut never ending inside a
    // UTF-16 pair; the ANSI forms the code page's form, '?' for the rest.
    // The target in the code page: Wine 8 keeps a link target only there
    // (its link file holds the path in ANSI).
    ASSERT_TRUE(library.MakeGroup("EXT"));
    const std::string target = u8"C:\\Café\\view.exe";
    ShortcutSpec linkSpec;
    linkSpec.target = target;
    ASSERT_HRESULT_SUCCEEDED(WriteShortcutUtf8(library / u8"EXT\\Просмотр café \U0001F600.lnk", linkSpec));
    const std::vector<std::string> files = {library.AddFile("a.txt")};
    Load();
    Extension e;
    e.Select(files);
    ASSERT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1), e.Build());
    const WideCase wide[] = {
        {GCS_VERBW, 600, L"\u041f\u0440\u043e\u0441\u043c\u043e\u0442\u0440 caf\u00e9 \U0001F600"},
        {GCS_VERBW, 16, L"\u041f\u0440\u043e\u0441\u043c\u043e\u0442\u0440 caf\u00e9 "},  // not half the pair
        // The target is nowhere: the help text says so, in every character.
        {GCS_HELPTEXTW, 600, L"Program not found: " + WideFromUtf8(target)},
    };
    for (const auto& c : wide) {
        const std::wstring buffer = e.WideBuffer(c);
        EXPECT_EQ(c.expected, buffer.substr(0, buffer.find(L'\0'))) << c.type << " " << c.size;
    }
    if (GetACP() == 1252) {
        EXPECT_EQ("???????? caf\xE9 ", e.Text(0, GCS_VERBA).substr(0, 14));
        EXPECT_EQ("Program not found: C:\\Caf\xE9\\view.exe", e.Text(0, GCS_HELPTEXTA));
    }
}

TEST_F(ContextMenuTest, InvokedActionGetsTheShortNamesInDropOrder) {
    ASSERT_TRUE(library.MakeGroup("EXT"));
    ASSERT_TRUE(library.AddRecorder("EXT", "Record", "--flag"));
    const std::vector<std::string> files = {library.AddFile("first file.txt"), library.AddFile("b.txt"),
                                            library.AddFile("a long name.doc")};
    Load();
    Extension e;
    e.Select(files);
    ASSERT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1), e.Build());
    EXPECT_EQ(S_OK, e.Invoke(0));
    EXPECT_EQ(0, e.object->menu.itemCount);
    EXPECT_EQ(nullptr, e.object->selection);
    const std::vector<std::string> args = SplitCommandLine(WaitForRecordedCommandLine(record));
    ASSERT_EQ(5u, args.size());
    EXPECT_EQ("--flag", args[1]);
    for (size_t i = 0; i < files.size(); ++i) {
        char shortName[MAX_PATH] = "";
        ASSERT_NE(0u, GetShortPathNameA(files[i].c_str(), shortName, MAX_PATH));
        EXPECT_EQ(shortName, args[i + 2]);
    }
    // The menu has ended.
    EXPECT_EQ(E_INVALIDARG, e.Invoke(0));
}

TEST_F(ContextMenuTest, VerbsThatNameNoItemEndTheMenuAndStartNothing) {
    ASSERT_TRUE(library.MakeGroup("EXT"));
    ASSERT_TRUE(library.AddRecorder("EXT", "One"));
    ASSERT_TRUE(library.AddRecorder("EXT", "Two"));
    const std::string file = library.AddFile("doc.txt");
    Load();
    const UINT_PTR verbs[] = {2, 0x10000, reinterpret_cast<UINT_PTR>("One"), 0xFFFF};
    for (UINT_PTR verb : verbs) {
        Extension e;
        e.Select({file});
        ASSERT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 2), e.Build());
        EXPECT_EQ(E_INVALIDARG, e.Invoke(verb));
        EXPECT_EQ(0, e.object->menu.itemCount);
        EXPECT_EQ(nullptr, e.object->selection);
        EXPECT_EQ(nullptr, e.object->menu.hookRecord);
    }
    EXPECT_EQ("", WaitForRecordedCommandLine(record, 500)) << "nothing was started";
    Extension e;
    EXPECT_EQ(E_INVALIDARG, e.menu->InvokeCommand(nullptr));
}

TEST_F(ContextMenuTest, FileWhoseShortNameCannotBeHadIsPassedAsOneArgument) {
    ASSERT_TRUE(library.MakeGroup("EXT"));
    ASSERT_TRUE(library.AddRecorder("EXT", "Record"));
    const std::string spaced = library.AddFile("gone with spaces.txt");
    const std::string plain = library.AddFile("plain.txt");
    Load();
    Extension e;
    e.Select({spaced, plain});
    ASSERT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1), e.Build());
    // The file goes between the menu and the pick: its short name cannot
    // be had any more, so its long name is passed.
    ASSERT_TRUE(DeleteFileA(spaced.c_str()));
    EXPECT_EQ(S_OK, e.Invoke(0));
    const std::string line = WaitForRecordedCommandLine(record);
    const std::vector<std::string> args = SplitCommandLine(line);
    ASSERT_EQ(3u, args.size()) << line;
    EXPECT_EQ(spaced, args[1]);
    EXPECT_NE(std::string::npos, line.find("\"" + spaced + "\""));
    char shortName[MAX_PATH] = "";
    ASSERT_NE(0u, GetShortPathNameA(plain.c_str(), shortName, MAX_PATH));
    EXPECT_EQ(shortName, args[2]);
}

// The system's text for an error code, as the message shows it.
std::string SystemText(DWORD code) {
    char* text = nullptr;
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code,
                                   MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&text), 0,
                                   nullptr);
    std::string result = n != 0 ? std::string(text) : std::string("(no description)");
    if (text != nullptr) LocalFree(text);
    return result;
}

TEST_F(ContextMenuTest, FailedStartShowsTheErrorBoxAndSucceeds) {
    ASSERT_TRUE(library.MakeGroup("EXT"));
    const std::string missing = library / "nothing.exe";
    ASSERT_TRUE(library.AddAction("EXT", "Missing tool", missing, "-x"));
    const std::string longTarget = "C:\\" + std::string(200, 'p') + "\\" + std::string(50, 'q') + ".exe";
    ASSERT_TRUE(library.AddAction("EXT", "Long", longTarget, std::string(250, 'a')));
    const std::string file = library.AddFile("doc.txt");
    Load();
    char shortName[MAX_PATH] = "";
    ASSERT_NE(0u, GetShortPathNameA(file.c_str(), shortName, MAX_PATH));
    {
        Extension e;
        e.Select({file});
        ASSERT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 2), e.Build());
        ASSERT_EQ("Missing tool", e.Name(1));
        MessageBoxCloser closer(GetCurrentThreadId());
        EXPECT_EQ(S_OK, e.Invoke(1));
        const std::vector<MessageBoxCloser::Box> boxes = closer.Boxes();
        ASSERT_EQ(1u, boxes.size());
        EXPECT_EQ("Zentrik Error", boxes[0].caption);
        const std::string expected = "Error executing command: Missing tool\n\nError code = 2\n" + SystemText(2) +
                                     "\n\nThe command line was:\n\"" + missing + "\" -x " + shortName;
        // A static control shows "\n" line ends as the text it was given.
        EXPECT_EQ(expected, boxes[0].text);
        EXPECT_EQ(E_INVALIDARG, e.Invoke(1));
    }
    {
        Extension e;
        e.Select({file});
        ASSERT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 2), e.Build());
        ASSERT_EQ("Long", e.Name(0));
        MessageBoxCloser closer(GetCurrentThreadId());
        EXPECT_EQ(S_OK, e.Invoke(0));
        const std::vector<MessageBoxCloser::Box> boxes = closer.Boxes();
        ASSERT_EQ(1u, boxes.size());
        EXPECT_EQ(519u, boxes[0].text.size());
        EXPECT_EQ("Error executing command: Long\n\nError code = ", boxes[0].text.substr(0, 44));
        EXPECT_EQ("aaa...", boxes[0].text.substr(513));
    }
}

// Letters typed in the submenu, as the shell hands WM_MENUCHAR to
// IContextMenu3: the first item with the letter, the next on a repeat
// (wrapping round), the only one run; a mnemonic stands for the item. Each
// item keeps its name as its own text (what screen readers read), which
// also finds the items' positions here.
TEST_F(ContextMenuTest, LettersPickItemsThroughHandleMenuMsg2) {
    ASSERT_TRUE(library.MakeGroup("EXT"));
    for (const char* name : {"Edit with &Vim", "Nano", "Notepad", "Paint"}) ASSERT_TRUE(library.AddRecorder("EXT", name));
    const std::string file = library.AddFile("doc.txt");
    Load();
    Extension e;
    e.Select({file});
    ASSERT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 4), e.Build());
    ASSERT_NE(e.object->menu.hookRecord, nullptr) << "owner-drawn items";
    IContextMenu3* menu3 = nullptr;
    ASSERT_EQ(S_OK, e.menu->QueryInterface(IID_IContextMenu3, reinterpret_cast<void**>(&menu3)));
    HMENU sub = GetSubMenu(e.popup, 0);
    ASSERT_NE(sub, nullptr);
    std::vector<std::wstring> names;
    for (int k = 0; k < GetMenuItemCount(sub); ++k) {
        wchar_t text[64] = L"";
        GetMenuStringW(sub, static_cast<UINT>(k), text, 64, MF_BYPOSITION);
        EXPECT_TRUE(GetMenuState(sub, static_cast<UINT>(k), MF_BYPOSITION) & MF_OWNERDRAW);
        names.push_back(text);
    }
    auto position = [&](const wchar_t* name) {
        for (size_t k = 0; k < names.size(); ++k)
            if (names[k] == name) return static_cast<int>(k);
        return -1;
    };
    ASSERT_GE(position(L"Edit with &Vim"), 0) << "the item's own text is its name";

    const struct {
        wchar_t key;
        const wchar_t* selected;  // the highlighted item before the key; null: none
        const wchar_t* picked;    // null: none
        WORD code;
    } cases[] = {
        {L'n', nullptr, L"Nano", MNC_SELECT},
        {L'N', L"Nano", L"Notepad", MNC_SELECT},
        {L'n', L"Notepad", L"Nano", MNC_SELECT},
        {L'p', nullptr, L"Paint", MNC_EXECUTE},
        {L'v', L"Paint", L"Edit with &Vim", MNC_EXECUTE},
        {L'e', nullptr, nullptr, MNC_IGNORE},  // the name's first letter does not count beside a mnemonic
        {L'x', nullptr, nullptr, MNC_IGNORE},
    };
    for (const auto& c : cases) {
        for (int k = 0; k < static_cast<int>(names.size()); ++k) {
            MENUITEMINFOW state = {};
            state.cbSize = sizeof state;
            state.fMask = MIIM_STATE;
            state.fState = c.selected != nullptr && k == position(c.selected) ? MFS_HILITE : 0;
            ASSERT_TRUE(SetMenuItemInfoW(sub, static_cast<UINT>(k), TRUE, &state));
        }
        LRESULT result = -1;
        ASSERT_EQ(S_OK, menu3->HandleMenuMsg2(WM_MENUCHAR, MAKEWPARAM(c.key, MF_POPUP), reinterpret_cast<LPARAM>(sub),
                                              &result));
        EXPECT_EQ(c.code, HIWORD(result)) << static_cast<char>(c.key);
        if (c.picked != nullptr) {
            EXPECT_EQ(position(c.picked), LOWORD(result)) << static_cast<char>(c.key);
        }
    }
    // Another menu's letters are not the extension's to answer.
    LRESULT result = -1;
    EXPECT_EQ(S_OK, menu3->HandleMenuMsg2(WM_MENUCHAR, MAKEWPARAM(L'n', MF_POPUP), reinterpret_cast<LPARAM>(e.popup),
                                          &result));
    EXPECT_EQ(MNC_IGNORE, HIWORD(result));
    menu3->Release();
}

TEST_F(ContextMenuTest, MenuKeepsTheActionsItWasBuiltFromAcrossAReload) {
    ASSERT_TRUE(library.MakeGroup("EXT"));
    ASSERT_TRUE(library.AddRecorder("EXT", "Old", "old-args"));
    const std::string file = library.AddFile("doc.txt");
    Load();
    Extension held;
    held.Select({file});
    ASSERT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1), held.Build());
    const LONG aliveBefore = ReadCatalogueCounters().generationsAlive;

    // The library changes and another menu reloads the catalogue.
    ASSERT_TRUE(DeleteFileA((library / "EXT\\Old.lnk").c_str()));
    ASSERT_TRUE(library.AddRecorder("EXT", "New", "new-args"));
    // Wine 8 signals no change inside a folder that existed when the watch
    // started; a change at the top of the library is seen everywhere.
    ASSERT_TRUE(library.WriteSettings("[options]\n"));
    const LONG loadsBefore = ReadCatalogueCounters().loads;
    DWORD start = GetTickCount();
    std::vector<std::string> names;
    do {
        Extension other;
        other.Select({file});
        other.Build();
        names.clear();
        for (const std::string& line : other.Items()) names.push_back(Name(line));
        if (names == std::vector<std::string>{"New"}) break;
        Sleep(50);
    } while (GetTickCount() - start < 5000);
    ASSERT_EQ(std::vector<std::string>{"New"}, names);
    EXPECT_GT(ReadCatalogueCounters().loads, loadsBefore);
    EXPECT_EQ(aliveBefore + 1, ReadCatalogueCounters().generationsAlive) << "the held generation lives on";

    // The first menu still shows and runs its own action.
    EXPECT_EQ("Old", held.Name(0));
    EXPECT_EQ(S_OK, held.Invoke(0));
    const std::vector<std::string> args = SplitCommandLine(WaitForRecordedCommandLine(record));
    ASSERT_GE(args.size(), 2u);
    EXPECT_EQ("old-args", args[1]);
    EXPECT_EQ(aliveBefore, ReadCatalogueCounters().generationsAlive) << "released with the menu's end";
}

// The pixels of a check-mark bitmap, row by row: '#' black, '.' white.
std::vector<std::string> Pixels(HBITMAP bitmap, int width, int height) {
    std::vector<std::string> rows;
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    for (int y = 0; y < height; ++y) {
        std::string row;
        for (int x = 0; x < width; ++x) row += GetPixel(dc, x, y) == RGB(0, 0, 0) ? '#' : '.';
        rows.push_back(row);
    }
    SelectObject(dc, old);
    DeleteDC(dc);
    return rows;
}

TEST(CheckBitmap, PixelsForThirteenByThirteen) {
    // Square (4,4)-(7,7); shadow along row 9 from column 6 to 8 and up
    // column 9 from row 9 to row 6.
    const std::vector<std::string> expected = {
        ".............", ".............", ".............", ".............", "....####.....",
        "....####.....", "....####.#...", "....####.#...", ".........#...", "......####...",
        ".............", ".............", ".............",
    };
    HBITMAP bitmap = DrawCheckBitmap(13, 13);
    ASSERT_NE(nullptr, bitmap);
    BITMAP info = {};
    ASSERT_EQ(static_cast<int>(sizeof info), GetObjectA(bitmap, sizeof info, &info));
    EXPECT_EQ(1, info.bmBitsPixel);
    EXPECT_EQ(1, info.bmPlanes);
    EXPECT_EQ(expected, Pixels(bitmap, 13, 13));
    DeleteGdiObject(bitmap);
}

TEST(CheckBitmap, SmallCellsGetNoShadow) {
    const struct {
        int width, height;
        std::vector<std::string> expected;
    } cases[] = {
        {4, 4, {"....", ".#..", "....", "...."}},       // x = 1: no shadow
        {13, 5, {"....####.....", "....####.....", "....####.....", "....####.....", "............."}},  // y = 0
        {2, 2, {"..", ".."}},                           // s = 0: white only
    };
    for (const auto& c : cases) {
        HBITMAP bitmap = DrawCheckBitmap(c.width, c.height);
        ASSERT_NE(nullptr, bitmap);
        EXPECT_EQ(c.expected, Pixels(bitmap, c.width, c.height)) << c.width << "x" << c.height;
        DeleteGdiObject(bitmap);
    }
}

// The bitmap is made from bits; the platform's own drawing of the same
// geometry (white cell, black square, one-pixel pen for the shadow) is the
// reference, over every cell size up to 24 x 24.
TEST(CheckBitmap, SameAsThePlatformDrawsIt) {
    for (int width = 1; width <= 24; ++width) {
        for (int height = 1; height <= 24; ++height) {
            HBITMAP reference = CreateBitmap(width, height, 1, 1, nullptr);
            HDC dc = CreateCompatibleDC(nullptr);
            HGDIOBJ oldBitmap = SelectObject(dc, reference);
            HGDIOBJ oldPen = SelectObject(dc, GetStockObject(BLACK_PEN));
            BitBlt(dc, 0, 0, width, height, nullptr, 0, 0, WHITENESS);
            const CheckMarkGeometry g = ComputeCheckMark(width, height);
            BitBlt(dc, g.left, g.top, g.side, g.side, nullptr, 0, 0, BLACKNESS);
            if (g.shadow) {
                MoveToEx(dc, g.shadowPath[0], g.shadowPath[1], nullptr);
                LineTo(dc, g.shadowPath[2], g.shadowPath[3]);
                LineTo(dc, g.shadowPath[4], g.shadowPath[5]);
            }
            SelectObject(dc, oldPen);
            SelectObject(dc, oldBitmap);
            DeleteDC(dc);
            HBITMAP made = DrawCheckBitmap(width, height);
            ASSERT_NE(nullptr, made) << width << "x" << height;
            EXPECT_EQ(Pixels(reference, width, height), Pixels(made, width, height)) << width << "x" << height;
            DeleteObject(reference);
            DeleteGdiObject(made);
        }
    }
}

}  // namespace

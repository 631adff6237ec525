#include "settings/Settings.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "toolkit/Paths.h"

namespace {

// A settings file in a fresh temporary folder, removed afterwards. Contents
// are written as raw bytes, so the profile service reads a real file from disk.
class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH];
        ASSERT_GT(GetTempPathA(sizeof temp, temp), 0u);
        char folder[MAX_PATH];
        ASSERT_NE(GetTempFileNameA(temp, "zks", 0, folder), 0u);
        DeleteFileA(folder);
        ASSERT_TRUE(CreateDirectoryA(folder, nullptr));
        folder_ = folder;
        file_ = folder_ + "\\Zentrik.ini";
    }
    void TearDown() override {
        DeleteFileA(file_.c_str());
        RemoveDirectoryA(folder_.c_str());
    }

    void WriteRaw(const std::string& text) {
        HANDLE h = CreateFileA(file_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
        CloseHandle(h);
    }
    std::string ReadRaw() {
        std::string text;
        HANDLE h = CreateFileA(file_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) return text;
        char chunk[512];
        DWORD got = 0;
        while (ReadFile(h, chunk, sizeof chunk, &got, nullptr) && got > 0) text.append(chunk, got);
        CloseHandle(h);
        return text;
    }
    // Writes one value with the wide profile call (UTF-8 in, as the tests hold it).
    void WriteWide(const std::string& section, const char* key, const std::string& value) {
        ASSERT_TRUE(WritePrivateProfileStringW(Wide(section).c_str(), Wide(key).c_str(), Wide(value).c_str(),
                                               Wide(file_).c_str()));
    }
    static std::wstring Wide(const std::string& utf8) {
        std::wstring out(utf8.size() + 1, L'\0');
        int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &out[0], static_cast<int>(out.size()));
        out.resize(n > 0 ? static_cast<size_t>(n - 1) : 0);
        return out;
    }
    std::string Value(const char* section, const char* key) {
        char buf[600];
        GetPrivateProfileStringA(section, key, "<missing>", buf, sizeof buf, file_.c_str());
        return buf;
    }

    void Read(Settings& s, const char* user, SettingsScope scope = SettingsScope::Library) {
        ReadSettingsFor(s, file_.c_str(), scope, user);
    }

    std::string folder_;
    std::string file_;
};

TEST_F(SettingsFile, MissingFileGivesTheDefaults) {
    Settings s;
    s.GradientMenuBar = 0;
    s.HideEmpty = 0;
    s.DefaultOrder = 3;
    s.MenuName.Assign("old");
    Read(s, "alice");
    EXPECT_EQ(s.GradientMenuBar, 1);
    EXPECT_EQ(s.LargeIcon, 0);
    EXPECT_EQ(s.ButtonIcon, 1);
    EXPECT_EQ(s.LinkOverlay, 1);
    EXPECT_EQ(s.UseMenuName, 0);
    EXPECT_EQ(s.HideEmpty, 1);
    EXPECT_EQ(s.DefaultOrder, 10000);
    EXPECT_STREQ(s.MenuName.Text(), "Zentrik");
}

TEST_F(SettingsFile, TheProcessRecordStartsAtTheDefaults) {
    EXPECT_EQ(theSettings.GradientMenuBar, 1);
    EXPECT_EQ(theSettings.HideEmpty, 1);
    EXPECT_EQ(theSettings.DefaultOrder, 10000);
    EXPECT_STREQ(theSettings.MenuName.Text(), "Zentrik");
}

TEST_F(SettingsFile, UserSectionOverridesKeyByKey) {
    WriteRaw(
        "[options]\r\nUseMenuName=1\r\nLargeIcon=1\r\nMenuName=Shared\r\nDefaultOrder=50\r\nButtonIcon=0\r\n"
        "[options.alice]\r\nMenuName=\r\nDefaultOrder=7\r\nGradientMenuBar=0\r\n");
    Settings s;
    Read(s, "alice");
    EXPECT_EQ(s.UseMenuName, 0) << "a user section without UseMenuName turns it off";
    EXPECT_EQ(s.LargeIcon, 1) << "the shared value is the default of the user read";
    EXPECT_EQ(s.ButtonIcon, 0);
    EXPECT_EQ(s.GradientMenuBar, 0);
    EXPECT_STREQ(s.MenuName.Text(), "") << "an empty user value blanks the name";
    EXPECT_EQ(s.DefaultOrder, 7);

    Settings shared;
    Read(shared, "");
    EXPECT_EQ(shared.UseMenuName, 1);
    EXPECT_STREQ(shared.MenuName.Text(), "Shared");
    EXPECT_EQ(shared.DefaultOrder, 50);

    Settings other;
    Read(other, "bob");  // no section of bob's: shared values, but UseMenuName off
    EXPECT_EQ(other.UseMenuName, 0);
    EXPECT_STREQ(other.MenuName.Text(), "Shared");
}

TEST_F(SettingsFile, MenuNameLengthRules) {
    const struct {
        size_t length;
        size_t expected;
    } cases[] = {{5, 5}, {63, 63}, {64, 63}, {100, 63}, {259, 63}, {260, 0}, {300, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        std::string name(c.length, 'n');
        name[0] = 'A';
        WriteRaw("[options]\r\nMenuName=" + name + "\r\n");
        Settings s;
        Read(s, "");
        EXPECT_EQ(std::string(s.MenuName.Text()), name.substr(0, c.expected));
    }
}

TEST_F(SettingsFile, EachReadStartsFromTheFixedDefaults) {
    WriteRaw("[options]\r\nLargeIcon=1\r\nHideEmpty=0\r\nMenuName=First\r\n");
    Settings s;
    Read(s, "");
    EXPECT_EQ(s.LargeIcon, 1);
    EXPECT_EQ(s.HideEmpty, 0);
    // The file changes on disk behind the profile service's back; the flush
    // before the read makes the new content visible.
    WriteRaw("[options]\r\nGradientMenuBar=0\r\n");
    Read(s, "");
    EXPECT_EQ(s.LargeIcon, 0);
    EXPECT_EQ(s.HideEmpty, 1);
    EXPECT_EQ(s.GradientMenuBar, 0);
    EXPECT_STREQ(s.MenuName.Text(), "Zentrik");
}

TEST_F(SettingsFile, ProgramScopeNeitherReadsNorWritesDefaultOrder) {
    WriteRaw("[options]\r\nDefaultOrder=5\r\n[options.alice]\r\nDefaultOrder=6\r\n");
    Settings s;
    s.DefaultOrder = 123;
    Read(s, "alice", SettingsScope::Program);
    EXPECT_EQ(s.DefaultOrder, 123);

    WriteSettingsFor(s, file_.c_str(), "alice");
    EXPECT_EQ(Value("options", "DefaultOrder"), "5");
    EXPECT_EQ(Value("options.alice", "DefaultOrder"), "6");
}

TEST_F(SettingsFile, WriteGoesToTheUsersSectionOnly) {
    WriteRaw("[options]\r\nLargeIcon=1\r\nMenuName=Shared\r\n");
    std::string sharedBefore = ReadRaw();
    Settings s;
    s.GradientMenuBar = 0;
    s.LargeIcon = 5;  // any non-zero flag is written as 1
    s.UseMenuName = 1;
    s.HideEmpty = 0;
    s.MenuName.Assign("");
    WriteSettingsFor(s, file_.c_str(), "alice");

    const struct {
        const char* key;
        const char* value;
    } written[] = {{"GradientMenuBar", "0"}, {"LargeIcon", "1"}, {"ButtonIcon", "1"}, {"LinkOverlay", "1"},
                   {"UseMenuName", "1"},     {"HideEmpty", "0"}, {"MenuName", ""}};
    for (const auto& w : written) {
        SCOPED_TRACE(w.key);
        EXPECT_EQ(Value("options.alice", w.key), w.value);
    }
    char keys[1024];
    DWORD n = GetPrivateProfileSectionA("options.alice", keys, sizeof keys, file_.c_str());
    int count = 0;
    for (DWORD i = 0; i < n; i += static_cast<DWORD>(strlen(keys + i)) + 1) ++count;
    EXPECT_EQ(count, 7);
    EXPECT_EQ(Value("options", "LargeIcon"), "1");
    EXPECT_EQ(Value("options", "MenuName"), "Shared");
    // The write turned the file into UTF-16; the shared section's text is the same.
    std::string raw = ReadRaw();
    ASSERT_EQ(raw.substr(0, 2), "\xFF\xFE");
    std::string text;
    for (size_t i = 2; i + 1 < raw.size(); i += 2) text.push_back(raw[i + 1] == 0 ? raw[i] : '?');
    EXPECT_EQ(text.find(sharedBefore.substr(0, sharedBefore.find("\r\n["))), 0u);

    // What one writes, the other reads back.
    Settings back;
    Read(back, "alice");
    EXPECT_EQ(back.GradientMenuBar, 0);
    EXPECT_EQ(back.LargeIcon, 1);
    EXPECT_EQ(back.UseMenuName, 1);
    EXPECT_EQ(back.HideEmpty, 0);
    EXPECT_STREQ(back.MenuName.Text(), "");
}

TEST_F(SettingsFile, NoUserNameMeansTheSharedSection) {
    Settings s;
    s.ButtonIcon = 0;
    s.MenuName.Assign("Mine");
    WriteSettingsFor(s, file_.c_str(), "");
    EXPECT_EQ(Value("options", "ButtonIcon"), "0");
    EXPECT_EQ(Value("options", "MenuName"), "Mine");
    Settings back;
    Read(back, "");
    EXPECT_EQ(back.ButtonIcon, 0);
    EXPECT_STREQ(back.MenuName.Text(), "Mine");
}

// A file the old code wrote (ANSI profile calls, code page 1252 on the test
// prefix) reads as it did, and reading leaves it alone. The first write makes
// it UTF-16: every value written before keeps its text, and a name and a user
// section outside the code page are stored whole.
// A file written before Zentrik wrote UTF-16, in the ANSI code page or by
// an editor in UTF-8 (with the UTF-8 mark or without), reads the same; the
// first write turns it into UTF-16 and keeps every value. Only bytes that
// are not valid UTF-8 are read as ANSI.
TEST_F(SettingsFile, OldFileReadsTheSameInAnyEncodingAndTheFirstWriteKeepsEveryValue) {
    ASSERT_EQ(GetACP(), 1252u) << "the test's ANSI texts are in code page 1252";
    const std::string lines[] = {"[options]", "UseMenuName=1", "MenuName=Café", "DefaultOrder=42", "[options.alice]",
                                 "GradientMenuBar=0", "UseMenuName=1", "MenuName=Grüße", "[options.Олег]",
                                 "UseMenuName=1", "MenuName=Мои действия"};
    const struct {
        const char* encoding;
        const char* mark;
        bool ansi;
    } kFiles[] = {{"ANSI", "", true}, {"UTF-8 with its mark", "\xEF\xBB\xBF", false}, {"UTF-8", "", false}};
    const std::string name = "Мои действия 😀 山田";
    const std::string user = "Дмитрий";
    for (const auto& file : kFiles) {
        SCOPED_TRACE(file.encoding);
        std::string text = file.mark;
        for (const std::string& line : lines) {
            // 1252 has no Cyrillic: the ANSI file has no section of Олег.
            if (file.ansi && line == "[options.Олег]") break;
            std::wstring wide = Wide(line);
            char bytes[256];
            int n = WideCharToMultiByte(file.ansi ? 1252 : CP_UTF8, 0, wide.c_str(), static_cast<int>(wide.size()), bytes,
                                        sizeof bytes, nullptr, nullptr);
            text.append(bytes, static_cast<size_t>(n)).append("\r\n");
        }
        WriteRaw(text);
        const struct {
            const char* user;
            const char* menuName;
            int32_t gradient;
            int32_t useMenuName;
        } kOld[] = {{"", "Café", 1, 1}, {"alice", "Grüße", 0, 1}, {"bob", "Café", 1, 0},
                    {"Олег", file.ansi ? "Café" : "Мои действия", 1, file.ansi ? 0 : 1}};
        for (int pass = 0; pass < 2; ++pass) {
            for (const auto& row : kOld) {
                SCOPED_TRACE(std::string(pass == 0 ? "old file, user " : "after the write, user ") + row.user);
                Settings s;
                Read(s, row.user);
                EXPECT_STREQ(s.MenuName.Text(), row.menuName);
                EXPECT_EQ(s.GradientMenuBar, row.gradient);
                EXPECT_EQ(s.UseMenuName, row.useMenuName);
                EXPECT_EQ(s.DefaultOrder, 42);
            }
            if (pass == 1) break;
            EXPECT_EQ(ReadRaw(), text) << "reading changed the file";
            Settings mine;
            mine.SetMenuName(name.c_str());
            mine.UseMenuName = 1;
            WriteSettingsFor(mine, file_.c_str(), user.c_str());
            EXPECT_EQ(ReadRaw().substr(0, 2), "\xFF\xFE");
        }
        Settings back;
        Read(back, user.c_str());
        EXPECT_EQ(std::string(back.MenuName.Text()), name);
        EXPECT_EQ(back.UseMenuName, 1);
        EXPECT_EQ(back.DefaultOrder, 42);
        DeleteFileA(file_.c_str());
    }
}

// The name is cut after 63 characters, wherever their bytes end: a
// character of 2, 3 or 4 bytes (a UTF-16 pair) counts as one and is never
// split.
TEST_F(SettingsFile, MenuNameCutCountsCharacters) {
    auto repeat = [](const std::string& piece, int times) {
        std::string text;
        for (int i = 0; i < times; ++i) text += piece;
        return text;
    };
    const struct {
        std::string stored;
        std::string expected;
    } kCases[] = {
        {repeat("a", 62) + "😀😀", repeat("a", 62) + "😀"},
        {repeat("山", 70), repeat("山", 63)},
        {repeat("😀", 64), repeat("😀", 63)},
        {repeat("é", 63), repeat("é", 63)},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.expected);
        WriteRaw("\xFF\xFE");  // UTF-16, or the profile service stores '?'
        WriteWide("options", "MenuName", c.stored);
        Settings s;
        Read(s, "");
        EXPECT_EQ(std::string(s.MenuName.Text()), c.expected);
    }
}

// The product entry points use the real user name and, for writing, the file
// beside the program.
TEST_F(SettingsFile, RealUserAndProgramDirectory) {
    const char* user = CurrentUserName().Text();
    ASSERT_NE(user[0], 0) << "the platform reports no user name";
    std::string section = std::string("options.") + user;
    WriteRaw("[options]\r\nUseMenuName=1\r\nMenuName=Shared\r\n[" + section + "]\r\nUseMenuName=1\r\nLargeIcon=1\r\n");
    ReadSettings(file_.c_str(), SettingsScope::Library);
    EXPECT_EQ(theSettings.UseMenuName, 1);
    EXPECT_EQ(theSettings.LargeIcon, 1);
    EXPECT_STREQ(theSettings.MenuName.Text(), "Shared");

    FixedText besideProgram;
    CombinePath(besideProgram, ProgramDirectory().Text(), "Zentrik.ini");
    DeleteFileA(besideProgram.Text());
    theSettings.MenuName.Assign("Written");
    WriteSettings();
    char buf[100];
    GetPrivateProfileStringA(section.c_str(), "MenuName", "", buf, sizeof buf, besideProgram.Text());
    EXPECT_STREQ(buf, "Written");
    GetPrivateProfileStringA("options", "MenuName", "<none>", buf, sizeof buf, besideProgram.Text());
    EXPECT_STREQ(buf, "<none>");
    DeleteFileA(besideProgram.Text());

    ReadSettings(file_.c_str(), SettingsScope::Library);  // leave the record as the file says
}

}  // namespace

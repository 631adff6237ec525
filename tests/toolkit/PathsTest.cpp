#include "toolkit/Paths.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "toolkit/Utf8.h"
#include "toolkit/WideConvert.h"

namespace {

std::string Combine(const char* directory, const char* name) {
    FixedText out("stale");
    CombinePath(out, directory, name);
    return out.Text();
}

TEST(Paths, CombinePath) {
    const struct {
        const char* directory;
        const char* name;
        const char* expected;
    } cases[] = {
        {"C:\\Prog\\", "x.ini", "C:\\Prog\\x.ini"},
        {"C:\\Prog\\", "D:\\y.ini", "D:\\y.ini"},
        {"C:\\Prog\\", "\\y.ini", "C:\\y.ini"},
        {"D:\\Deep\\Er\\", "\\y.ini", "D:\\y.ini"},
        {"C:\\Prog\\", "\\\\server\\share\\z.ini", "\\\\server\\share\\z.ini"},
        {"C:\\Prog\\", "..\\y.ini", "C:\\y.ini"},
        {"C:\\Prog\\", ".\\a\\..\\b.ini", "C:\\Prog\\b.ini"},
        {"C:\\Prog\\", "", "C:\\Prog\\"},
        {"C:\\Prog", "x.ini", "C:\\Progx.ini"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.directory) + " + " + c.name);
        EXPECT_EQ(Combine(c.directory, c.name), c.expected);
    }
}

TEST(Paths, CombinePathRelativeToTheCurrentDirectory) {
    char current[MAX_PATH];
    ASSERT_GT(GetCurrentDirectoryA(sizeof current, current), 0u);
    std::string expected = current;
    if (expected.back() != '\\') expected += '\\';
    EXPECT_EQ(Combine("", "rel.ini"), expected + "rel.ini");
}

TEST(Paths, CombinePathTooLongForAFullPathIsEmpty) {
    // 255 + 10 bytes are cut at 260 before the full-path service; the full
    // path would not fit 259 characters, so the result is empty rather than
    // a path that silently names another file.
    std::string directory = "C:\\" + std::string(252, 'd') + "\\";
    EXPECT_EQ(Combine(directory.c_str(), "name.ini"), "");
    std::string fits = "C:\\" + std::string(200, 'd') + "\\";
    EXPECT_EQ(Combine(fits.c_str(), "name.ini"), fits + "name.ini");
}

TEST(Paths, SplittingThroughTheSystemCodePage) {
    FixedText out;
    EXPECT_STREQ(DirectoryOf(out, "C:\\A\\f.txt").Text(), "C:\\A\\");
    EXPECT_STREQ(DirectoryOf(out, "file.txt").Text(), "");
    EXPECT_STREQ(DirectoryOf(out, "C:file.txt").Text(), "C:");
    EXPECT_STREQ(DirectoryOfNoSlash(out, "C:\\A\\f.txt").Text(), "C:\\A");
    EXPECT_STREQ(DirectoryOfNoSlash(out, "C:\\f.txt").Text(), "C:");
    EXPECT_STREQ(ExtensionOf(out, "C:\\a.b\\file").Text(), "");
    EXPECT_STREQ(ExtensionOf(out, "archive.tar.gz").Text(), ".gz");
    EXPECT_STREQ(BaseNameOf(out, "archive.tar.gz").Text(), "archive.tar");
    EXPECT_STREQ(BaseNameOf(out, ".profile").Text(), "");
    EXPECT_STREQ(ExtensionOf(out, ".profile").Text(), ".profile");
    EXPECT_STREQ(FileNameOf(out, "C:\\A\\f.txt").Text(), "f.txt");
}

// A name from code page 932 whose character has the trail byte 0x5C there
// reaches the split as UTF-8, where no byte of it is a separator: the
// character stays whole.
TEST(Paths, CodePage932TrailByteIsNotASeparator) {
    ASSERT_TRUE(IsValidCodePage(932)) << "code page 932 is not installed";
    ASSERT_TRUE(IsDBCSLeadByteEx(932, 0x95));
    const char path932[] = "C:\\x\\\x95\x5C.txt";  // U+8868 in code page 932 is 0x95 0x5C
    wchar_t wide[32] = {};
    ASSERT_GT(MultiByteToWideChar(932, 0, path932, -1, wide, 32), 0);
    FixedText path;
    ASSERT_TRUE(AssignUtf8(path, AsUtf16(wide)));
    FixedText out;
    EXPECT_STREQ(DirectoryOf(out, path.Text()).Text(), "C:\\x\\");
    EXPECT_STREQ(BaseNameOf(out, path.Text()).Text(), "\xE8\xA1\xA8");  // U+8868 in UTF-8
    EXPECT_STREQ(ExtensionOf(out, path.Text()).Text(), ".txt");
}

TEST(Paths, ProgramDirectoryIsTheExecutablesDirectory) {
    char module[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(nullptr, module, sizeof module), 0u);
    std::string expected = module;
    expected.erase(expected.find_last_of("\\/") + 1);
    const FixedText& first = ProgramDirectory();
    EXPECT_EQ(std::string(first.Text()), expected);
    EXPECT_EQ(first.Text()[first.Length() - 1], '\\');
    EXPECT_EQ(&ProgramDirectory(), &first);  // kept, not looked up again

    // A change of the current directory does not change the cached value.
    char current[MAX_PATH];
    GetCurrentDirectoryA(sizeof current, current);
    SetCurrentDirectoryA("C:\\");
    EXPECT_EQ(std::string(ProgramDirectory().Text()), expected);
    SetCurrentDirectoryA(current);
}

TEST(Paths, CurrentUserNameIsThePlatformsUser) {
    char name[300];
    DWORD size = sizeof name;
    ASSERT_TRUE(GetUserNameA(name, &size));
    const FixedText& user = CurrentUserName();
    EXPECT_STREQ(user.Text(), name);
    EXPECT_EQ(user.Length(), static_cast<int32_t>(size - 1));
    EXPECT_GT(user.Length(), 0);
}

}  // namespace

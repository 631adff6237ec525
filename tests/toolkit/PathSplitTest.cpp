#include "toolkit/PathSplit.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Lead bytes of code page 932 (Shift-JIS).
bool LeadByte932(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

std::string Part(const char* path, unsigned which, LeadByteTest test = NoLeadBytes) {
    FixedText out;
    AssignPathParts(out, path, which, test);
    return out.Text();
}

std::string NoSlash(const char* path) {
    FixedText out;
    AssignDirectoryNoSlash(out, path, NoLeadBytes);
    return out.Text();
}

const unsigned kDir = kPartDrive | kPartDirectory;
const unsigned kFile = kPartBaseName | kPartExtension;

TEST(PathSplit, Parts) {
    const struct {
        const char* path;
        const char* drive;
        const char* directory;
        const char* base;
        const char* extension;
    } cases[] = {
        {"C:\\A\\f.txt", "C:", "\\A\\", "f", ".txt"},
        {"C:\\a.b\\file", "C:", "\\a.b\\", "file", ""},
        {"archive.tar.gz", "", "", "archive.tar", ".gz"},
        {".profile", "", "", "", ".profile"},
        {"file.txt", "", "", "file", ".txt"},
        {"C:file.txt", "C:", "", "file", ".txt"},
        {"dir/sub/x.y", "", "dir/sub/", "x", ".y"},
        {"C:\\mixed/slash\\n", "C:", "\\mixed/slash\\", "n", ""},
        {"name.", "", "", "name", "."},
        {"\\\\server\\share\\f.doc", "", "\\\\server\\share\\", "f", ".doc"},
        {"", "", "", "", ""},
        {"C", "", "", "C", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(Part(c.path, kPartDrive), c.drive);
        EXPECT_EQ(Part(c.path, kPartDirectory), c.directory);
        EXPECT_EQ(Part(c.path, kPartBaseName), c.base);
        EXPECT_EQ(Part(c.path, kPartExtension), c.extension);
        EXPECT_EQ(Part(c.path, kDir), std::string(c.drive) + c.directory);
        EXPECT_EQ(Part(c.path, kFile), std::string(c.base) + c.extension);
    }
}

TEST(PathSplit, DirectoryWithoutItsSlash) {
    EXPECT_EQ(NoSlash("C:\\A\\f.txt"), "C:\\A");
    EXPECT_EQ(NoSlash("C:\\f.txt"), "C:");
    EXPECT_EQ(NoSlash("C:/A/f.txt"), "C:/A/");  // only a backslash is removed
    EXPECT_EQ(NoSlash("f.txt"), "");
}

TEST(PathSplit, PartsAreCutAtTheLimitNeverInsideACharacter) {
    const int32_t n = kPathPartLimit + 45;
    std::string longDir = "C:\\" + std::string(n, 'd') + "\\" + std::string(n, 'b') + "." + std::string(n, 'e');
    PathParts parts = SplitPath(longDir.c_str(), NoLeadBytes);
    EXPECT_EQ(parts.directoryLength, kPathPartLimit);
    EXPECT_EQ(parts.baseLength, kPathPartLimit);
    EXPECT_EQ(parts.extensionLength, kPathPartLimit);
    EXPECT_EQ(parts.baseStart, 2 + n + 2);
    EXPECT_EQ(Part(longDir.c_str(), kPartExtension), "." + std::string(kPathPartLimit - 1, 'e'));
    // A four-byte character across the limit is left out whole.
    const std::string emoji = "\xF0\x9F\x98\x80";
    const std::string name = std::string(kPathPartLimit - 2, 'b') + emoji;
    EXPECT_EQ(Part(name.c_str(), kPartBaseName), std::string(kPathPartLimit - 2, 'b'));
}

TEST(PathSplit, DoubleByteTrailBytesAreNotSeparators) {
    // 0x95 0x5C is one code page 932 character whose trail byte is a backslash;
    // 0x83 0x2E would be one whose second byte looks like a dot.
    const char path[] = "C:\\dir\\\x95\x5C" "name.txt";
    EXPECT_EQ(Part(path, kDir, LeadByte932), "C:\\dir\\");
    EXPECT_EQ(Part(path, kPartBaseName, LeadByte932), "\x95\x5C" "name");
    EXPECT_EQ(Part(path, kPartExtension, LeadByte932), ".txt");
    // Read as a single-byte code page the same bytes split at the 0x5C.
    EXPECT_EQ(Part(path, kDir, NoLeadBytes), "C:\\dir\\\x95\\");

    const char dotted[] = "x\x83.";  // the lead byte takes the dot with it
    EXPECT_EQ(Part(dotted, kPartExtension, LeadByte932), "");
    EXPECT_EQ(Part(dotted, kPartExtension, NoLeadBytes), ".");

    const char lastByteLead[] = "ab\x95";  // a lone lead byte at the end is kept
    EXPECT_EQ(Part(lastByteLead, kPartBaseName, LeadByte932), "ab\x95");
}

TEST(PathSplit, OutputMayBeTheInput) {
    FixedText t("C:\\A\\file.txt");
    AssignPathParts(t, t.Text(), kPartBaseName, NoLeadBytes);
    EXPECT_STREQ(t.Text(), "file");
}

}  // namespace

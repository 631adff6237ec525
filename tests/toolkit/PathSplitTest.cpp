#include "toolkit/PathSplit.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Part(const char* path, unsigned which) {
    FixedText out;
    AssignPathParts(out, path, which);
    return out.Text();
}

std::string NoSlash(const char* path) {
    FixedText out;
    AssignDirectoryNoSlash(out, path);
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
    PathParts parts = SplitPath(longDir.c_str());
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

TEST(PathSplit, BytesAboveAsciiAreNeverSeparatorsOrDots) {
    // UTF-8 names beyond ASCII split at their own separators and dots only.
    const char utf8[] = "C:\\\xE6\x97\xA5\\\xD0\x94\xD0\xBE\xD0\xBA.\xE6\x9C\xAC";  // C:\日\Док.本
    EXPECT_EQ(Part(utf8, kDir), "C:\\\xE6\x97\xA5\\");
    EXPECT_EQ(Part(utf8, kPartBaseName), "\xD0\x94\xD0\xBE\xD0\xBA");
    EXPECT_EQ(Part(utf8, kPartExtension), ".\xE6\x9C\xAC");
    // Bytes that are no valid UTF-8 (a code page 932 pair 0x95 0x5C) are
    // bytes all the same: the 0x5C is a separator, the dot behind 0x83 a dot.
    const char path[] = "C:\\dir\\\x95\x5C" "name.txt";
    EXPECT_EQ(Part(path, kDir), "C:\\dir\\\x95\\");
    EXPECT_EQ(Part(path, kPartExtension), ".txt");
    const char dotted[] = "x\x83.";
    EXPECT_EQ(Part(dotted, kPartExtension), ".");
    const char lastByteHigh[] = "ab\x95";  // a lone high byte at the end is kept
    EXPECT_EQ(Part(lastByteHigh, kPartBaseName), "ab\x95");
}

TEST(PathSplit, OutputMayBeTheInput) {
    FixedText t("C:\\A\\file.txt");
    AssignPathParts(t, t.Text(), kPartBaseName);
    EXPECT_STREQ(t.Text(), "file");
}

}  // namespace

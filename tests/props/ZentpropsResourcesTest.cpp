// The resources of the built Zentprops.exe, read back from the file: the
// dialog template APPDIALOG item by item, icon 106 and the version block.
#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "props/PropsResources.h"
#include "tests/testsupport/Platform.h"

namespace {

// The program loaded as a data file, so nothing of it runs.
class ProgramImage {
public:
    ProgramImage()
        : module_(LoadLibraryExA((ExecutableDirectory() + "Zentprops.exe").c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE)) {}
    ~ProgramImage() {
        if (module_ != nullptr) FreeLibrary(module_);
    }
    ProgramImage(const ProgramImage&) = delete;
    ProgramImage& operator=(const ProgramImage&) = delete;
    HMODULE get() const { return module_; }

    // The bytes of a resource; empty when it is missing.
    std::string Resource(LPCSTR name, LPCSTR type) const {
        HRSRC found = FindResourceA(module_, name, type);
        if (found == nullptr) return "";
        HGLOBAL loaded = LoadResource(module_, found);
        const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
        if (bytes == nullptr) return "";
        return std::string(static_cast<const char*>(bytes), SizeofResource(module_, found));
    }

private:
    HMODULE module_;
};

// Reads an extended dialog template field by field.
class TemplateReader {
public:
    explicit TemplateReader(const std::string& bytes) : bytes_(bytes) {}
    template <typename T>
    T Read() {
        T value{};
        if (at_ + sizeof(T) <= bytes_.size()) std::memcpy(&value, bytes_.data() + at_, sizeof(T));
        at_ += sizeof(T);
        return value;
    }
    // A string, an ordinal (0xFFFF then the number, given as "#number") or
    // nothing (one zero word, given as "").
    std::string ReadText() {
        WORD first = Read<WORD>();
        if (first == 0xFFFF) return "#" + std::to_string(Read<WORD>());
        std::string text;
        for (WORD c = first; c != 0 && at_ <= bytes_.size(); c = Read<WORD>()) text.push_back(static_cast<char>(c));
        return text;
    }
    // A class given by name or by the ordinal of a predefined class, as the
    // upper-case name.
    std::string ReadClass() {
        std::string name = ReadText();
        if (name == "#128") return "BUTTON";
        if (name == "#129") return "EDIT";
        if (name == "#130") return "STATIC";
        for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return name;
    }
    void AlignToDword() { at_ = (at_ + 3) & ~static_cast<size_t>(3); }
    bool Overrun() const { return at_ > bytes_.size(); }

private:
    const std::string& bytes_;
    size_t at_ = 0;
};

struct Item {
    int id;
    const char* windowClass;  // BUTTON, EDIT or STATIC
    const char* text;
    short x, y, cx, cy;
    DWORD styleBits;  // these bits must all be set (besides WS_CHILD | WS_VISIBLE)
    DWORD typeMask;   // the low bits that give the control's kind, compared with styleBits & typeMask
};

const DWORD kButtonType = 0x0F;   // BS_TYPEMASK
const DWORD kStaticType = 0x1F;   // SS_TYPEMASK
const Item kItems[] = {
    {IDC_ABOUT_NAME, "STATIC", "<name>", 13, 11, 142, 10, SS_LEFT, kStaticType},
    {IDC_ABOUT_VERSION, "STATIC", "<version>", 13, 22, 142, 10, SS_LEFT, kStaticType},
    {IDC_PROGRAM_ICON, "STATIC", "#106", 167, 21, 18, 20, SS_ICON, kStaticType},
    {IDC_ABOUT_COPYRIGHT, "STATIC", "<copyright>", 13, 41, 142, 10, SS_LEFT, kStaticType},
    {IDC_ABOUT_RIGHTS, "STATIC", "All rights reserved", 13, 52, 142, 10, SS_LEFT, kStaticType},
    {-1, "STATIC", "", 7, 69, 192, 1, SS_ETCHEDHORZ, kStaticType},
    {IDC_ENABLE, "BUTTON", "Enable Zentrik context menu", 13, 81, 150, 11, BS_AUTOCHECKBOX | WS_TABSTOP, kButtonType},
    {IDC_HIDE_EMPTY, "BUTTON", "Hide Zentrik when submenu is empty", 13, 93, 150, 11, BS_AUTOCHECKBOX | WS_TABSTOP,
     kButtonType},
    {IDC_LARGE_ICON, "BUTTON", "Use large file icon", 13, 105, 150, 11, BS_AUTOCHECKBOX | WS_TABSTOP, kButtonType},
    {IDC_GRADIENT, "BUTTON", "Use gradient menu bar", 13, 117, 150, 11, BS_AUTOCHECKBOX | WS_TABSTOP, kButtonType},
    {IDC_BUTTON_ICON, "BUTTON", "Use button-like icon effect", 13, 129, 150, 11, BS_AUTOCHECKBOX | WS_TABSTOP,
     kButtonType},
    {IDC_LINK_OVERLAY, "BUTTON", "Show shortcut overlay", 13, 141, 100, 11, BS_AUTOCHECKBOX | WS_TABSTOP, kButtonType},
    {IDC_USE_MENU_NAME, "BUTTON", "Use custom menu name", 13, 153, 100, 11, BS_AUTOCHECKBOX | WS_TABSTOP, kButtonType},
    {IDC_MENU_NAME, "EDIT", "", 117, 152, 73, 12, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 0},
    {IDOK, "BUTTON", "OK", 13, 180, 49, 15, BS_DEFPUSHBUTTON | WS_TABSTOP, kButtonType},
    {IDCANCEL, "BUTTON", "Cancel", 77, 180, 49, 15, BS_PUSHBUTTON | WS_TABSTOP, kButtonType},
    {IDC_APPLY, "BUTTON", "&Apply", 141, 180, 49, 15, BS_PUSHBUTTON | WS_TABSTOP, kButtonType},
    // Added after the original controls, in the free cell right of "Show
    // shortcut overlay", so that they all keep their places.
    {IDC_OPEN_FOLDER, "BUTTON", "Open actions folder", 117, 140, 73, 12, BS_PUSHBUTTON | WS_TABSTOP, kButtonType},
    // In the free row between the last option and the buttons.
    {IDC_WIN11_MENU, "BUTTON", "Show in the Windows 11 menu", 13, 165, 150, 11, BS_AUTOCHECKBOX | WS_TABSTOP,
     kButtonType},
};

TEST(ZentpropsResources, DialogTemplateIsAppDialogAsLaidOut) {
    ProgramImage image;
    ASSERT_NE(image.get(), nullptr);
    std::string bytes = image.Resource("APPDIALOG", MAKEINTRESOURCEA(5) /* RT_DIALOG */);
    ASSERT_FALSE(bytes.empty());
    TemplateReader in(bytes);

    EXPECT_EQ(in.Read<WORD>(), 1);       // dlgVer
    EXPECT_EQ(in.Read<WORD>(), 0xFFFF);  // signature of the extended template
    in.Read<DWORD>();                    // help id
    EXPECT_EQ(in.Read<DWORD>(), static_cast<DWORD>(WS_EX_CONTEXTHELP));
    DWORD style = in.Read<DWORD>();
    const DWORD kDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
    EXPECT_EQ(style & kDialogStyle, kDialogStyle);
    WORD count = in.Read<WORD>();
    ASSERT_EQ(count, sizeof kItems / sizeof kItems[0]);
    EXPECT_EQ(in.Read<short>(), 0);
    EXPECT_EQ(in.Read<short>(), 0);
    EXPECT_EQ(in.Read<short>(), 206);
    EXPECT_EQ(in.Read<short>(), 202);
    EXPECT_EQ(in.ReadText(), "");  // no menu
    EXPECT_EQ(in.ReadText(), "");  // the predefined dialog class
    EXPECT_EQ(in.ReadText(), "Zentrik Properties");
    EXPECT_EQ(in.Read<WORD>(), 8);  // point size
    in.Read<WORD>();                // weight
    in.Read<BYTE>();                // italic
    in.Read<BYTE>();                // character set
    EXPECT_EQ(in.ReadText(), "MS Sans Serif");

    for (const Item& expected : kItems) {
        SCOPED_TRACE(expected.id);
        in.AlignToDword();
        in.Read<DWORD>();  // help id
        in.Read<DWORD>();  // extended style
        DWORD itemStyle = in.Read<DWORD>();
        short x = in.Read<short>(), y = in.Read<short>(), cx = in.Read<short>(), cy = in.Read<short>();
        int id = static_cast<int>(in.Read<DWORD>());
        std::string windowClass = in.ReadClass();
        std::string text = in.ReadText();
        WORD extra = in.Read<WORD>();
        for (WORD i = 0; i < extra; ++i) in.Read<BYTE>();
        ASSERT_FALSE(in.Overrun());

        EXPECT_EQ(id, expected.id);
        EXPECT_EQ(windowClass, expected.windowClass);
        EXPECT_EQ(text, expected.text);
        EXPECT_EQ(x, expected.x);
        EXPECT_EQ(y, expected.y);
        EXPECT_EQ(cx, expected.cx);
        EXPECT_EQ(cy, expected.cy);
        EXPECT_EQ(itemStyle & (WS_CHILD | WS_VISIBLE), static_cast<DWORD>(WS_CHILD | WS_VISIBLE));
        EXPECT_EQ(itemStyle & (expected.styleBits & ~expected.typeMask), expected.styleBits & ~expected.typeMask);
        EXPECT_EQ(itemStyle & expected.typeMask, expected.styleBits & expected.typeMask);
    }
}

TEST(ZentpropsResources, Icon106Has32And16PixelImagesOf16Colours) {
    ProgramImage image;
    ASSERT_NE(image.get(), nullptr);
    std::string group = image.Resource(MAKEINTRESOURCEA(IDI_PROGRAM), MAKEINTRESOURCEA(14) /* RT_GROUP_ICON */);
    ASSERT_GE(group.size(), 6u);
    WORD count = 0;
    std::memcpy(&count, group.data() + 4, sizeof count);
    ASSERT_EQ(count, 2);
    ASSERT_EQ(group.size(), 6u + 14u * count);
    std::vector<int> sizes;
    for (WORD i = 0; i < count; ++i) {
        const auto* entry = reinterpret_cast<const BYTE*>(group.data() + 6 + 14 * i);
        WORD bitCount = 0;
        std::memcpy(&bitCount, entry + 6, sizeof bitCount);
        sizes.push_back(entry[0]);
        EXPECT_EQ(entry[0], entry[1]);  // square
        EXPECT_EQ(entry[2], 16);        // colours
        EXPECT_EQ(bitCount, 4);
    }
    EXPECT_EQ(sizes, (std::vector<int>{32, 16}));
}

TEST(ZentpropsResources, VersionInformationOfTheProgram) {
    std::string path = ExecutableDirectory() + "Zentprops.exe";
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(length, 52u);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00060000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00000005u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000001u);

    const struct {
        const char* key;
        const char* value;
    } kStrings[] = {
        {"FileDescription", "Zentrik Properties"}, {"FileVersion", "6, 0, 0, 1"},
        {"InternalName", "Zentprops"},             {"LegalTrademarks", "Zentrik"},
        {"OriginalFilename", "Zentprops.exe"},     {"ProductName", "Zentrik Properties"},
        {"ProductVersion", "0, 5, 0, 1"},          {"LegalCopyright", nullptr},  // any non-empty line
    };
    for (const auto& row : kStrings) {
        std::string query = std::string("\\StringFileInfo\\040904b0\\") + row.key;
        char* value = nullptr;
        ASSERT_TRUE(VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &length)) << row.key;
        if (row.value != nullptr) {
            EXPECT_STREQ(value, row.value) << row.key;
        } else {
            EXPECT_GT(std::strlen(value), 0u) << row.key;
        }
    }
}

}  // namespace

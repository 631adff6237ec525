#include "tests/catalogue/CatalogueFixture.h"

#include <cstdlib>
#include <sstream>

#include "catalogue/ActionCollector.h"
#include "catalogue/CatalogueCounters.h"
#include "settings/Settings.h"
#include "toolkit/NameCase.h"

void ResetSettingsToDefaults() {
    theSettings.GradientMenuBar = 1;
    theSettings.LargeIcon = 0;
    theSettings.ButtonIcon = 1;
    theSettings.LinkOverlay = 1;
    theSettings.UseMenuName = 0;
    theSettings.HideEmpty = 1;
    theSettings.DefaultOrder = kDefaultOrder;
    theSettings.MenuName.Assign(kProductWord);
}

int GroupMatchesFile(const ActionGroup& group, const char* path) {
    PreparedMatchKey key;
    PrepareMatchKey(key, path, MakeNameUpper);
    return group.MatchesKey(key);
}

std::string Upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

void LibraryTest::SetUp() {
    ASSERT_TRUE(SUCCEEDED(com.Result()));
    ASSERT_TRUE(library.Valid());
    CreateCatalogueLock();
    ASSERT_TRUE(theCatalogue.catalogueLock.Created());
    ResetSettingsToDefaults();
}

void LibraryTest::TearDown() {
    CloseChangeWatch();
    FreeCatalogue();
    ResetSettingsToDefaults();
    EXPECT_EQ(ReadCatalogueCounters().generationsAlive, 0) << "a generation outlived its holders";
}

void LibraryTest::Shortcut(const std::string& relative, const std::string& target, const std::string& arguments) {
    ShortcutSpec linkSpec;
    linkSpec.target = target;
    linkSpec.arguments = arguments;
    HRESULT hr = WriteShortcutUtf8(At(relative), linkSpec);
    ASSERT_TRUE(SUCCEEDED(hr)) << relative << " hr=" << std::hex << hr;
}

void LibraryTest::Folder(const std::string& relative) {
    // Level by level, in UTF-16.
    for (size_t end = relative.find('\\');; end = relative.find('\\', end + 1)) {
        const std::wstring folder = WideFromUtf8(At(relative.substr(0, end)));
        CreateDirectoryW(folder.c_str(), nullptr);
        if (end == std::string::npos) {
            ASSERT_NE(GetFileAttributesW(folder.c_str()), INVALID_FILE_ATTRIBUTES) << relative;
            return;
        }
    }
}

std::vector<std::string> MenuFor(const CatalogueGeneration* generation, const std::vector<std::string>& files) {
    if (generation == nullptr) return {};
    ActionCollector collector;
    for (const std::string& file : files) EXPECT_TRUE(collector.AddFile(file.c_str())) << file;
    std::vector<ActionItem*> items(kMaxCollectedActions);
    items.resize(static_cast<size_t>(collector.Collect(generation->firstGroup, items.data(), kMaxCollectedActions)));
    std::vector<std::string> names;
    for (const ActionItem* item : items) names.push_back(item->displayName.Text());
    return names;
}

std::vector<std::string> CurrentMenuFor(const std::vector<std::string>& files) {
    CatalogueReader reader;
    reader.Acquire();
    return MenuFor(reader.Generation(), files);
}

std::string Describe(const CatalogueGeneration* generation) {
    std::ostringstream out;
    if (generation == nullptr) return "<none>";
    for (const ActionGroup* group = generation->firstGroup; group != nullptr; group = group->nextGroup) {
        out << group->name.Text() << " kind=" << group->kind << " lists=[";
        for (const TextListNode* node = group->typeLists; node != nullptr; node = node->next) {
            out << node->text.Text() << (node->next != nullptr ? "|" : "");
        }
        out << "] items=[";
        for (const ActionItem* item = group->Items(); item != nullptr; item = item->nextItem) {
            out << item->displayName.Text() << "(" << item->order << ")" << (item->nextItem != nullptr ? " " : "");
        }
        out << "]\n";
    }
    return out.str();
}

std::string DescribeCurrent() {
    CatalogueReader reader;
    reader.Acquire();
    return Describe(reader.Generation());
}

std::vector<std::string> ListingOrder(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA entry;
    std::string pattern = folder;
    if (!pattern.empty() && pattern.back() != '\\') pattern += '\\';
    HANDLE listing = FindFirstFileA((pattern + "*.*").c_str(), &entry);
    if (listing == INVALID_HANDLE_VALUE) return names;
    do {
        std::string name = entry.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(listing, &entry));
    FindClose(listing);
    return names;
}

namespace {

size_t g_refusedSize = 0;
volatile LONG g_refused = 0;

void* AllocateUnlessRefused(size_t bytes) {
    if (bytes == g_refusedSize) {
        InterlockedIncrement(&g_refused);
        return nullptr;
    }
    return std::malloc(bytes);
}

}  // namespace

TextHeap HeapFailingSize(size_t size) {
    g_refusedSize = size;
    g_refused = 0;
    return TextHeap{AllocateUnlessRefused, std::free};
}

int RefusedRequests() { return static_cast<int>(g_refused); }

#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueCounters.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "menudraw/MenuPaint.h"
#include "menudraw/OwnerDrawMenu.h"
#include "tests/catalogue/CatalogueFixture.h"

namespace {

// A heap that never hands memory back while a test runs: a freed block is
// filled with 0xDD and kept in quarantine (the oldest are really freed once
// there are many). Whoever reads a freed record or text reads 0xDD bytes: a
// count or order of 0xDDDDDDDD, text made of 0xDD.
class PoisonHeap {
public:
    static TextHeap Heap() { return TextHeap{Allocate, Release}; }
    static void Drain() {
        std::lock_guard<std::mutex> guard(lock);
        for (void* block : quarantine) std::free(block);
        quarantine.clear();
    }

private:
    static constexpr size_t kHeader = 16;
    static constexpr size_t kKept = 20000;

    static void* Allocate(size_t bytes) {
        char* raw = static_cast<char*>(std::malloc(bytes + kHeader));
        if (raw == nullptr) return nullptr;
        std::memcpy(raw, &bytes, sizeof bytes);
        return raw + kHeader;
    }
    static void Release(void* block) {
        if (block == nullptr) return;
        char* raw = static_cast<char*>(block) - kHeader;
        size_t bytes = 0;
        std::memcpy(&bytes, raw, sizeof bytes);
        std::memset(block, 0xDD, bytes);
        std::lock_guard<std::mutex> guard(lock);
        quarantine.push_back(raw);
        if (quarantine.size() > kKept) {
            std::free(quarantine.front());
            quarantine.pop_front();
        }
    }

    static std::mutex lock;
    static std::deque<void*> quarantine;
};
std::mutex PoisonHeap::lock;
std::deque<void*> PoisonHeap::quarantine;

// What every load of the stress library holds: a display name, its order
// and its arguments, one per action.
struct Expected {
    const char* name;
    int32_t order;
    const char* arguments;
};
const Expected kActions[] = {
    {"Alpha", 1, "-alpha"}, {"Beta", 2, "-beta"}, {"Gamma", 10000, "-gamma"}, {"Delta", 4, "-delta"}, {"Epsilon", 5, "-epsilon"},
};

// Checks one item against the table without following any pointer of a
// record that fails the check first. Returns an empty text when it is whole.
std::string CheckItem(const ActionItem* item) {
    for (const Expected& e : kActions) {
        if (item->order != e.order) continue;
        if (item->displayName.Length() != static_cast<int32_t>(std::strlen(e.name))) return "name length poisoned";
        if (std::strcmp(item->displayName.Text(), e.name) != 0) return std::string("name is ") + item->displayName.Text();
        if (std::strcmp(item->arguments.Text(), e.arguments) != 0) return "arguments changed";
        return "";
    }
    return "order " + std::to_string(item->order) + " belongs to no action";
}

// A caption one of the reloads wrote (or the default), as a held load must
// keep showing it.
bool IsWrittenCaption(const std::string& caption) {
    return caption == "Zentrik" || (caption.size() == 5 && caption.compare(0, 4, "Menu") == 0 && caption[4] >= '0' &&
                                    caption[4] <= '6');
}

// Measures and paints every item as the menu's hook would, with the settings
// of the load the menu holds; returns a problem or an empty text.
std::string MeasureAndPaint(const Settings& settings, const std::vector<const ActionItem*>& items, bool selected) {
    OwnerDrawMenu menu(settings);
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 300, 40);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, bitmap);
    std::string problem;
    for (const ActionItem* item : items) {
        MEASUREITEMSTRUCT measure = {};
        measure.CtlType = ODT_MENU;
        measure.itemData = reinterpret_cast<ULONG_PTR>(item);
        MeasureMenuItem(&menu, nullptr, &measure);
        if (measure.itemWidth == 0 || measure.itemHeight == 0) problem = "measured empty";
        if (item->icon.Get() == nullptr) problem = "measured without making the icon";
        DRAWITEMSTRUCT draw = {};
        draw.CtlType = ODT_MENU;
        draw.itemState = selected ? ODS_SELECTED : 0;
        draw.hDC = dc;
        draw.rcItem = RECT{0, 0, 300, 40};
        draw.itemData = measure.itemData;
        if (!DrawMenuItem(&menu, &draw)) problem = "not painted";
    }
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return problem;
}

class CatalogueStressTest : public LibraryTest {};

TEST_F(CatalogueStressTest, ReloadsWhileReadersBorrowItems) {
    Folder("EXT");
    Folder("EXT.txt");
    Folder("VERB");
    Shortcut("EXT\\Alpha.(1).lnk", "C:\\windows\\notepad.exe", "-alpha");
    Shortcut("EXT\\Beta.(2).lnk", "C:\\windows\\notepad.exe", "-beta");
    Shortcut("EXT.txt\\Gamma.lnk", "C:\\windows\\notepad.exe", "-gamma");
    Shortcut("EXT.txt\\Delta.(4).lnk", "C:\\windows\\notepad.exe", "-delta");
    Shortcut("VERB\\Epsilon.(5).lnk", "C:\\windows\\notepad.exe", "-epsilon");

    constexpr int kReloads = 150;
    constexpr int kReaders = 3;
    std::atomic<bool> done{false};
    std::atomic<int> borrows{0};
    std::atomic<int> heldAcrossReload{0};
    std::vector<std::string> failures[kReaders];

    {
        ScopedTextHeap heap(PoisonHeap::Heap());
        Load();

        // The reloading thread plays a menu build on another thread after
        // the watch fired: it replaces the catalogue over and over.
        // Every reload reads a changed settings file: caption and gradient
        // change under the readers' feet; half the reloads build on the
        // previous load, half load from nothing.
        std::thread reloader([&] {
            ComApartment com;
            for (int i = 0; i < kReloads; ++i) {
                library.WriteFile("Zentrik.ini", "[options]\r\nUseMenuName=1\r\nMenuName=Menu" + std::to_string(i % 7) +
                                                     "\r\nGradientMenuBar=" + std::to_string(i % 2) + "\r\n");
                if (i % 2 == 0) {
                    Load();
                } else {
                    ReloadCatalogue();
                }
            }
            done = true;
        });
        // Readers play menus: borrow the items, read them, keep them for a
        // while (the menu is shown), read them again (paint, invoke), release.
        std::vector<std::thread> readers;
        for (int r = 0; r < kReaders; ++r) {
            readers.emplace_back([&, r] {
                int round = 0;
                while (!done || round < 20) {
                    CatalogueReader menu;
                    menu.Acquire();
                    if (menu.Generation() == nullptr) {
                        failures[r].push_back("no catalogue while the reloader runs");
                        break;
                    }
                    const LONG number = menu.Generation()->loadNumber;
                    std::vector<const ActionItem*> items;
                    for (const ActionGroup* g = menu.FirstGroup(); g != nullptr; g = g->nextGroup) {
                        for (const ActionItem* it = g->Items(); it != nullptr; it = it->nextItem) items.push_back(it);
                    }
                    if (items.size() != 5) failures[r].push_back("borrowed " + std::to_string(items.size()) + " items");
                    const Settings& options = menu.HeldSettings();
                    const std::string caption = options.MenuName.Text();
                    const int32_t gradient = options.GradientMenuBar;
                    if (!IsWrittenCaption(caption)) failures[r].push_back("caption " + caption);
                    for (int pass = 0; pass < 3; ++pass) {
                        for (const ActionItem* it : items) {
                            std::string problem = CheckItem(it);
                            if (!problem.empty()) failures[r].push_back(problem);
                        }
                        // The menu captions, measures and paints with its
                        // load's settings while reloads write new ones.
                        std::string problem = MeasureAndPaint(options, items, pass == 1);
                        if (!problem.empty()) failures[r].push_back(problem);
                        if (caption != options.MenuName.Text() || gradient != options.GradientMenuBar)
                            failures[r].push_back("the held load's settings changed to " +
                                                  std::string(options.MenuName.Text()));
                        Sleep(round % 3);
                    }
                    {
                        CatalogueReader now;
                        now.Acquire();
                        if (now.Generation() != nullptr && now.Generation()->loadNumber != number) ++heldAcrossReload;
                    }
                    ++borrows;
                    ++round;
                    if (failures[r].size() > 20) break;
                }
            });
        }
        reloader.join();
        for (std::thread& t : readers) t.join();
        CloseChangeWatch();
        FreeCatalogue();
        EXPECT_EQ(ReadCatalogueCounters().generationsAlive, 0);
    }
    PoisonHeap::Drain();

    for (int r = 0; r < kReaders; ++r) {
        EXPECT_TRUE(failures[r].empty()) << "reader " << r << ": " << failures[r].front();
    }
    // The run must really have overlapped: readers held generations that a
    // reload had replaced while they read them.
    EXPECT_GE(borrows.load(), kReaders * 20);
    EXPECT_GT(heldAcrossReload.load(), 0);
    std::printf("[ stress   ] %d reloads, %d borrows, %d held across a reload\n", kReloads, borrows.load(),
                heldAcrossReload.load());
}

}  // namespace

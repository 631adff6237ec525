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
        std::thread reloader([&] {
            ComApartment com;
            for (int i = 0; i < kReloads; ++i) Load();
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
                        for (const ActionItem* it = g->firstItem; it != nullptr; it = it->nextItem) items.push_back(it);
                    }
                    if (items.size() != 5) failures[r].push_back("borrowed " + std::to_string(items.size()) + " items");
                    for (int pass = 0; pass < 3; ++pass) {
                        for (const ActionItem* it : items) {
                            std::string problem = CheckItem(it);
                            if (!problem.empty()) failures[r].push_back(problem);
                        }
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

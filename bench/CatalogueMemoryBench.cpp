// catalogue_memory_bench: what a loaded catalogue keeps in the process.
//
//   catalogue_memory_bench [actions] [shown]     (defaults 1000 and 10)
//
// Links the catalogue and the painter into this program (the library's
// heap and icons cannot be seen through its exports) and loads a benchmark
// library of `actions` shortcuts (bench/BenchSupport.h) through a text heap
// that forwards to the process heap and counts.
//
//  1. Heap kept per byte of text: after LoadCatalogue, the bytes of the
//     blocks the catalogue holds (HeapSize of each live block, so the heap's
//     rounding is counted; not its per-block headers) against the bytes of
//     the texts its actions keep (each text's length + 1, the six texts of
//     ActionItem). Also the block count.
//  2. Icons held after a menu: an OwnerDrawMenu over the current generation
//     measures its first `shown` actions (what a menu that shows them does
//     when it opens); then the actions of the whole catalogue that hold an
//     icon are counted.
#include <windows.h>

#include <cstdio>
#include <map>
#include <string>

#include "bench/BenchSupport.h"
#include "catalogue/Catalogue.h"
#include "menudraw/MenuPaint.h"
#include "menudraw/OwnerDrawMenu.h"
#include "tests/testsupport/Shortcut.h"
#include "tests/testsupport/TempDir.h"

namespace {

std::map<void*, size_t>* liveBlocks;

void* CountedAllocate(size_t bytes) {
    void* block = HeapAlloc(GetProcessHeap(), 0, bytes);
    if (block != nullptr) (*liveBlocks)[block] = HeapSize(GetProcessHeap(), 0, block);
    return block;
}

void CountedRelease(void* block) {
    if (block == nullptr) return;
    liveBlocks->erase(block);
    HeapFree(GetProcessHeap(), 0, block);
}

size_t TextBytes(const HeapText& text) { return text.Empty() ? 0 : static_cast<size_t>(text.Length()) + 1; }

}  // namespace

int main(int argc, char** argv) {
    const int actions = ArgInt(argc, argv, 1, 1000, 1);
    const int shown = ArgInt(argc, argv, 2, 10, 1);
    ComApartment com;
    TempDir folder("zkm");
    if (!folder.Valid() || WriteBenchLibrary(folder.Path(), actions) < 0) {
        std::printf("FAILED: writing the library\n");
        return 1;
    }
    std::map<void*, size_t> blocks;
    liveBlocks = &blocks;
    const TextHeap previousHeap = SetTextHeap(TextHeap{CountedAllocate, CountedRelease});
    CreateCatalogueLock();
    LoadCatalogue(folder.Path().c_str());

    CatalogueReader reader;
    reader.Acquire();
    size_t heapBytes = 0;
    for (const auto& block : blocks) heapBytes += block.second;
    size_t textBytes = 0;
    int items = 0;
    OwnerDrawMenu menu(reader.HeldSettings());
    for (const ActionGroup* g = reader.FirstGroup(); g != nullptr; g = g->nextGroup) {
        for (ActionItem* item = g->Items(); item != nullptr; item = item->nextItem) {
            textBytes += TextBytes(item->displayName) + TextBytes(item->pifPath) + TextBytes(item->arguments) +
                         TextBytes(item->targetPath) + TextBytes(item->workingDirectory) +
                         TextBytes(item->shortcutPath);
            if (items < shown) menu.items[items] = item;
            ++items;
        }
    }
    const int expectedIcons = items < shown ? items : shown;
    menu.itemCount = expectedIcons;
    for (int k = 0; k < menu.itemCount; ++k) {
        MEASUREITEMSTRUCT measure = {};
        measure.CtlType = ODT_MENU;
        measure.itemID = static_cast<UINT>(k);
        measure.itemData = reinterpret_cast<ULONG_PTR>(menu.items[k]);
        MeasureMenuItem(&menu, nullptr, &measure);
    }
    int icons = 0;
    for (const ActionGroup* g = reader.FirstGroup(); g != nullptr; g = g->nextGroup) {
        for (const ActionItem* item = g->Items(); item != nullptr; item = item->nextItem) {
            if (item->icon.Get() != nullptr) ++icons;
        }
    }

    std::printf("catalogue_memory_bench: %d shortcuts loaded with LoadCatalogue, %d actions kept\n", actions, items);
    std::printf("\n1. Heap kept per byte of action text (live text-heap blocks after the load, HeapSize each)\n");
    std::printf("   heap blocks:             %10zu (%zu bytes)\n", blocks.size(), heapBytes);
    std::printf("   text kept:               %10zu bytes (six texts per action, length + 1 each)\n", textBytes);
    std::printf("   ratio heap / text:       %10.2f\n", textBytes > 0 ? double(heapBytes) / double(textBytes) : 0.0);
    std::printf("\n2. Icons held after a menu measured its first %d actions\n", menu.itemCount);
    std::printf("   actions holding an icon: %10d of %d\n", icons, items);

    menu.itemCount = 0;
    reader.Release();
    CloseChangeWatch();
    FreeCatalogue();
    SetTextHeap(previousHeap);
    // Every shortcut is an action, and exactly the measured ones hold icons.
    return items == actions && icons == expectedIcons ? 0 : 1;
}

// Helpers shared by the catalogue tests: a library directory on the prefix's
// C: drive with a stand-in library file, loading a catalogue from it, the
// menu's actions for a selection, and heaps that fail or poison.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalogue/Catalogue.h"
#include "tests/testsupport/Shortcut.h"
#include "tests/testsupport/TempDir.h"
#include "toolkit/TextBuffer.h"

// Puts theSettings back to the defaults the library starts with.
void ResetSettingsToDefaults();

// 1 when the file at `path` belongs to `group`: its match key prepared as a
// menu prepares it (MakeNameUpper), asked of the group.
int GroupMatchesFile(const ActionGroup& group, const char* path);

// Upper-cased copy (A-Z only), as the catalogue compares names.
std::string Upper(std::string text);

// A library folder: a TempDir the catalogue loads from (Load). On teardown
// the watch is closed and the catalogue freed, and no generation may be left
// alive.
class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Full path of a relative entry of the library directory.
    std::string At(const std::string& relative) const { return library / relative; }
    // Writes a shortcut `relative` (e.g. "EXT\\Notepad.lnk") to `target`;
    // names and texts in UTF-8.
    void Shortcut(const std::string& relative, const std::string& target, const std::string& arguments = "");
    // Creates the folder `relative` (UTF-8), level by level.
    void Folder(const std::string& relative);
    // Loads the catalogue from the library folder.
    void Load() { LoadCatalogue(library.Path().c_str()); }

    ComApartment com;
    TempDir library{"zkc"};
};

// The display names a menu shows for `files`, as the extension collects them
// (catalogue/ActionCollector.h) from the generation.
std::vector<std::string> MenuFor(const CatalogueGeneration* generation, const std::vector<std::string>& files);

// The same for the current catalogue, acquired and released around the walk.
std::vector<std::string> CurrentMenuFor(const std::vector<std::string>& files);

// One line per group in catalogue order:
//   NAME kind=K lists=[L1|L2] items=[Name(order) ...]
std::string Describe(const CatalogueGeneration* generation);
std::string DescribeCurrent();

// The names a FindFirstFileA listing of `folder` returns, in its order,
// without "." and "..".
std::vector<std::string> ListingOrder(const std::string& folder);

// Replaces the text heap for the scope of the object.
class ScopedTextHeap {
public:
    explicit ScopedTextHeap(TextHeap heap) : previous(SetTextHeap(heap)) {}
    ~ScopedTextHeap() { SetTextHeap(previous); }
    ScopedTextHeap(const ScopedTextHeap&) = delete;
    ScopedTextHeap& operator=(const ScopedTextHeap&) = delete;

private:
    TextHeap previous;
};

// A heap that refuses every request of exactly `size` bytes and serves the
// rest from malloc. Only one may be in force at a time.
TextHeap HeapFailingSize(size_t size);
// How many requests HeapFailingSize has refused since it was made.
int RefusedRequests();

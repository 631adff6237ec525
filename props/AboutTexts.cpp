#include "props/AboutTexts.h"

#include <windows.h>

#include <cstdlib>

#include "props/VersionText.h"

namespace {

// The version block, freed when reading ends however it ends.
class VersionBlock {
public:
    explicit VersionBlock(DWORD size) : data_(size > 0 ? std::malloc(size) : nullptr) {}
    ~VersionBlock() { std::free(data_); }
    VersionBlock(const VersionBlock&) = delete;
    VersionBlock& operator=(const VersionBlock&) = delete;
    void* Data() const { return data_; }

private:
    void* data_;
};

// The string value `path` of the block, or null when it is missing.
const char* QueryText(void* block, const char* path) {
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block, path, &value, &length) || value == nullptr) return nullptr;
    return static_cast<const char*>(value);
}

}  // namespace

void ReadAboutTexts(const char* libraryPath, AboutTexts& texts) {
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(libraryPath, &handle);
    if (size == 0) return;
    VersionBlock block(size);
    if (block.Data() == nullptr) return;
    if (!GetFileVersionInfoA(libraryPath, 0, size, block.Data())) return;

    void* fixedValue = nullptr;
    UINT fixedLength = 0;
    if (!VerQueryValueA(block.Data(), "\\", &fixedValue, &fixedLength)) return;
    if (fixedValue == nullptr || fixedLength != sizeof(VS_FIXEDFILEINFO)) return;
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(fixedValue);

    const char* product = QueryText(block.Data(), "\\StringFileInfo\\040904B0\\ProductName");
    if (product == nullptr) return;
    texts.productName.Assign(product);

    FormatVersionText(texts.version, fixed->dwProductVersionMS, fixed->dwFileVersionMS);

    const char* copyright = QueryText(block.Data(), "\\StringFileInfo\\040904B0\\LegalCopyright");
    if (copyright == nullptr) return;
    texts.copyright.Assign(copyright);
}

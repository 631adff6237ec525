#include "props/AboutTexts.h"

#include <windows.h>

#include <cstdlib>

#include "props/VersionText.h"
#include "toolkit/Utf8.h"
#include "toolkit/WideConvert.h"

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
const char16_t* QueryText(void* block, const wchar_t* path) {
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block, path, &value, &length) || value == nullptr) return nullptr;
    return static_cast<const char16_t*>(value);
}

}  // namespace

void ReadAboutTexts(const char* libraryPath, AboutTexts& texts) {
    FixedWide<> path;
    if (!AppendUtf16(path, libraryPath)) return;
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(AsWide(path), &handle);
    if (size == 0) return;
    VersionBlock block(size);
    if (block.Data() == nullptr) return;
    if (!GetFileVersionInfoW(AsWide(path), 0, size, block.Data())) return;

    void* fixedValue = nullptr;
    UINT fixedLength = 0;
    if (!VerQueryValueW(block.Data(), L"\\", &fixedValue, &fixedLength)) return;
    if (fixedValue == nullptr || fixedLength != sizeof(VS_FIXEDFILEINFO)) return;
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(fixedValue);

    const char16_t* product = QueryText(block.Data(), L"\\StringFileInfo\\040904B0\\ProductName");
    if (product == nullptr) return;
    AssignUtf8(texts.productName, product);

    FormatVersionText(texts.version, fixed->dwProductVersionMS, fixed->dwFileVersionMS);

    const char16_t* copyright = QueryText(block.Data(), L"\\StringFileInfo\\040904B0\\LegalCopyright");
    if (copyright == nullptr) return;
    AssignUtf8(texts.copyright, copyright);
}

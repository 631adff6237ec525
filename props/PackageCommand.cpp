#include "props/PackageCommand.h"

#include <cstring>

const char kPackageName[] = "Zentrik.ContextMenu";

namespace {

const char kPrologue[] = "\" -NoProfile -NonInteractive -ExecutionPolicy Bypass -Command \"try { ";
const char kEpilogue[] = " -ErrorAction Stop; exit 0 } catch { exit $_.Exception.HResult }\"";

// Bytes the quoted literal of `text` takes at most: every byte doubled, the
// two quotes.
int32_t QuotedBound(const char* text) { return static_cast<int32_t>(2 * std::strlen(text) + 2); }

// Appends `text` (its first `length` bytes) as a single-quoted literal.
void AppendQuoted(HeapText& out, const char* text, size_t length) {
    out.Append("'");
    char piece[4] = {};
    for (size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        // U+2018..U+201B in UTF-8: E2 80 98..9B.
        const bool typographic = c == 0xE2 && i + 2 < length && static_cast<unsigned char>(text[i + 1]) == 0x80 &&
                                 static_cast<unsigned char>(text[i + 2]) >= 0x98 &&
                                 static_cast<unsigned char>(text[i + 2]) <= 0x9B;
        if (typographic) {
            std::memcpy(piece, text + i, 3);
            piece[3] = 0;
            out.Append(piece).Append(piece);
            i += 2;
            continue;
        }
        piece[0] = static_cast<char>(c);
        piece[1] = 0;
        out.Append(piece);
        if (c == '\'') out.Append(piece);
    }
    out.Append("'");
}

bool Start(const char* powershell, int32_t extra, HeapText& out) {
    const int32_t needed = static_cast<int32_t>(std::strlen(powershell) + sizeof kPrologue + sizeof kEpilogue) + extra;
    out.Reserve(needed + 1);
    if (out.Capacity() < needed) return false;
    out.Assign("\"").Append(powershell).Append(kPrologue);
    return true;
}

}  // namespace

bool ComposeRegisterPackage(const char* powershell, const char* package, const char* folder, HeapText& out) {
    size_t folderLength = std::strlen(folder);
    if (folderLength > 3 && folder[folderLength - 1] == '\\') --folderLength;  // "C:\" keeps its backslash
    if (!Start(powershell, QuotedBound(package) + QuotedBound(folder) + 64, out)) return false;
    out.Append("Add-AppxPackage -Path ");
    AppendQuoted(out, package, std::strlen(package));
    out.Append(" -ExternalLocation ");
    AppendQuoted(out, folder, folderLength);
    out.Append(kEpilogue);
    return out.Length() < out.Capacity();
}

bool ComposeRemovePackage(const char* powershell, HeapText& out) {
    if (!Start(powershell, 96, out)) return false;
    out.Append("Get-AppxPackage -Name '").Append(kPackageName).Append("' | Remove-AppxPackage");
    out.Append(kEpilogue);
    return out.Length() < out.Capacity();
}

void DescribePackageOutcome(uint32_t code, bool enable, TextBuffer& out) {
    if (code == 0) {
        out.Assign(enable ? "Zentrik is in the Windows 11 menu. Explorer may need a restart (or a new sign-in) "
                            "before the entry appears."
                          : "Zentrik is no longer in the Windows 11 menu.");
        return;
    }
    out.Assign(enable ? "Zentrik could not be put into the Windows 11 menu: "
                      : "Zentrik could not be taken out of the Windows 11 menu: ");
    switch (code) {
    case 0x800B0109u:
        out.Append("the certificate its package is signed with is not trusted on this computer "
                   "(see README.txt: trusting a self-signed build)");
        break;
    case 0x80073CFFu:
        out.Append("this computer does not allow installing packages from outside the Store "
                   "(sideloading is switched off by a policy)");
        break;
    case 0x80070002u:
        out.Append("its package file (Zentrik.msix) is missing beside Zentprops.exe");
        break;
    default:
        out.Append("the package manager reported an error");
        break;
    }
    char hex[16];
    static const char kDigits[] = "0123456789ABCDEF";
    hex[0] = ' ';
    hex[1] = '(';
    hex[2] = '0';
    hex[3] = 'x';
    for (int i = 0; i < 8; ++i) hex[4 + i] = kDigits[(code >> (28 - 4 * i)) & 0xF];
    hex[12] = ')';
    hex[13] = '.';
    hex[14] = 0;
    out.Append(hex);
    out.Append(" The classic menu (\"Show more options\") still works.");
}

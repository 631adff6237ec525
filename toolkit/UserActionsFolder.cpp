#include "toolkit/UserActionsFolder.h"

#include <windows.h>
#include <shlobj.h>

#include "toolkit/Utf8.h"
#include "toolkit/WideConvert.h"

FixedText& UserActionsFolder(FixedText& out) {
    out.Assign("");
    wchar_t appData[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData))) return out;
    appData[MAX_PATH - 1] = 0;
    FixedText folder;
    AssignUtf8(folder, AsUtf16(appData));
    if (folder.Empty()) return out;
    if (folder.Text()[folder.Length() - 1] != '\\') folder.Append("\\");
    folder.Append("Zentrik\\");
    // A cut path would name another folder.
    if (folder.Length() >= kFixedTextBytes - 1) return out;
    out.Assign(folder.Text());
    return out;
}

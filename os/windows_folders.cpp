#include <windows.h>

#include <shlobj.h>

#include "os/folders.h"
#include "os/windows_text.h"

namespace os {

namespace {

std::string Folder(int which)
{
    wchar_t path[MAX_PATH] = {};
    if (SHGetFolderPathW(nullptr, which, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK) return "";
    return Utf8(path);
}

}  // namespace

std::string PicturesFolder() { return Folder(CSIDL_MYPICTURES); }

std::string HomeFolder() { return Folder(CSIDL_PROFILE); }

}  // namespace os

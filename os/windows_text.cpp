#include "os/windows_text.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cerrno>

namespace os {

WidePath::WidePath(const char* path)
{
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, text, static_cast<int>(kSize));
    ok = n > 0;
    if (!ok) errno = GetLastError() == ERROR_INSUFFICIENT_BUFFER ? ENAMETOOLONG : EINVAL;
}

std::string Utf8(const wchar_t* text, int length)
{
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return "";
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), n, nullptr, nullptr);
    // Up to the null, the count takes the null in.
    if (length < 0) out.pop_back();
    return out;
}

std::wstring Wide(const char* text)
{
    const int n = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    if (n <= 0) return L"";
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, -1, out.data(), n);
    out.pop_back();
    return out;
}

}  // namespace os

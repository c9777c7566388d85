// Text between the program and the Windows system: the program's paths and
// messages are UTF-8 throughout, the system's wide calls take UTF-16. The
// "A" calls would read the bytes in the ANSI code page instead, which holds
// only a few of the characters a folder's name can have.
#pragma once

#include <cstddef>
#include <string>

namespace os {

// A UTF-8 path as the wide calls take it, in a buffer of its own: the frames
// writer names a file per frame, and this allocates nothing.
class WidePath {
public:
    explicit WidePath(const char* path);
    // Null, with errno set, when the path is not UTF-8 (EINVAL) or too long
    // (ENAMETOOLONG): no file has such a name.
    const wchar_t* get() const { return ok ? text : nullptr; }

private:
    static constexpr std::size_t kSize = 8192;  // more than any path here is made of
    wchar_t text[kSize];
    bool ok = false;
};

// UTF-16 to UTF-8; `length` units, or up to the terminating null when -1.
// An unpaired surrogate, which UTF-8 cannot carry, becomes U+FFFD.
std::string Utf8(const wchar_t* text, int length = -1);
// UTF-8 to UTF-16; a byte that is not UTF-8 becomes U+FFFD.
std::wstring Wide(const char* text);

}  // namespace os

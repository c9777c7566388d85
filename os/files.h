// Files and folders as the operating system sees them: whether a name is
// taken and by what, a file's size, new folders, files opened and removed,
// whether a stream is a terminal, messages written to one, and the two steps
// a file written under a temporary name needs (os/output_file.h): a file
// created only where nothing has its name, and a rename that can refuse to
// replace. Nothing here reports: a failure is a plain result, with the
// system's error number where there is one.
//
// Paths and messages are UTF-8 on every system; on Linux a path is passed on
// as its bytes, on Windows through the system's wide (UTF-16) calls.
#pragma once

#include <cstdio>
#include <string>

namespace os {

// What a name stands for, through symbolic links.
enum class FileKind {
    None,     // nothing, or nothing whose status can be read
    Regular,  // a regular file
    Folder,
    Other,    // a device, a pipe, a socket
};
FileKind KindOf(const char* path);
// The same for an open stream's file.
FileKind KindOf(std::FILE* stream);

// True when something (a file, a folder, a link, even a dangling one) has
// this name.
bool PathExists(const char* path);
// The size in bytes of the regular file `path`, or -1 when there is none.
long long FileSize(const char* path);
// Makes one folder; false with the system's error number in errno.
bool MakeFolder(const char* path);
// The file a path names, through symbolic links; the path itself when it
// names nothing yet, or where the system has no links to follow.
std::string ThroughLinks(const char* path);
// The path as the user can find it again: absolute, without "." and ".."
// steps; the path itself when the system cannot say.
std::string FullPath(const char* path);
// The characters that separate a path's folders ("/"; "\\/" on Windows).
extern const char kPathSeparators[];

// std::fopen's work, for any name the system can hold.
std::FILE* OpenFile(const char* path, const char* mode);
// Removes a file: false with the system's error number in errno.
bool RemoveFile(const char* path);

// True when the stream writes to or reads from a terminal (a console).
bool IsTerminal(std::FILE* stream);
// Writes UTF-8 text, formatted as by std::fprintf, to a stream: on a Windows
// console as its characters (the console would read the bytes in its own
// code page), elsewhere as the bytes.
void PrintText(std::FILE* stream, const char* format, ...) __attribute__((format(printf, 2, 3)));

// A new, empty file of that name, open for writing in binary, made only
// where nothing has the name yet: null otherwise, with the system's error
// number in *error (EEXIST when the name is taken).
std::FILE* CreateNewFile(const char* path, int* error);
// Moves the file `from` to `to`: 0, or the system's error number. Without
// `overwrite` an existing `to` is never replaced (EEXIST), even one that
// appears meanwhile where the file system allows that check in one step.
int RenameFile(const char* from, const char* to, bool overwrite);

}  // namespace os

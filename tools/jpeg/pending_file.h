// A file written under a temporary name in its own folder and renamed to its
// name only once complete: a reader never sees part of it, and a failure
// leaves whatever file had that name before untouched.
//
//     PendingFile out("picture.ppm");
//     if (!out.open()) ...;            // the temporary file could not be made
//     fwrite(..., out.stream());
//     if (!out.commit()) ...;          // flushed, closed and renamed, or removed
//
// Destroyed before commit() succeeds, it removes the temporary file. A path
// through symbolic links names the file they point to, which is the one
// replaced. Meant for regular files: renaming onto a device or a pipe would
// replace it.
#pragma once

#include <cstdio>
#include <string>

class PendingFile {
public:
    explicit PendingFile(std::string path);
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // Creates the temporary file (next to the final one, never replacing
    // another file); false when it cannot be made.
    bool open();
    std::FILE* stream() const { return file_; }
    // Writes everything out and gives the file its name; on any failure the
    // temporary file is removed and false returned.
    bool commit();
    // Closes and removes the temporary file.
    void discard();

private:
    std::string path_;
    std::string temp_path_;
    std::FILE* file_ = nullptr;
};

// A file written under a temporary name beside its final one and moved to
// the final name only once it is complete, so that the final name never
// holds half a file: a failed or interrupted writer leaves either nothing
// or what was there before. It reports nothing itself (any program that
// writes files can use it): a failure is a false result with the system's
// error number in `error`.
// It holds its names in fixed buffers, so a writer that makes one file per
// frame allocates nothing.
#pragma once

#include <cstddef>
#include <cstdio>

namespace os {

class OutputFile {
public:
    OutputFile() = default;
    // Removes a temporary file that was neither committed nor discarded.
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates a new, empty temporary file beside `path`, "PATH.part-N" (N
    // the process id, then further numbers while such a file exists), open
    // for writing in `stream`. False, with `error` set, when the name is too
    // long or the file cannot be created (a missing folder, no permission).
    bool Create(const char* path);
    // Closes the stream, flushing it: false with `error` when a write, the
    // flush or the close failed (a full disk shows here at the latest).
    // Harmless when already closed.
    bool CloseStream();
    // Closes the stream and moves the temporary file to the final name.
    // Without `overwrite` an existing file of that name is never replaced:
    // the result is then false with `error` EEXIST, and the temporary file
    // is left for the caller to keep or discard. On any failure the
    // temporary file stays where it is.
    bool Commit(bool overwrite);
    // Closes the stream and removes the temporary file.
    void Discard();
    // Closes the stream and leaves the temporary file where it is, no longer
    // this object's (a complete file that could not take its final name).
    void Keep();

    // True between Create and Commit or Discard.
    bool Pending() const { return pending; }
    const char* TemporaryName() const { return temporary; }
    const char* FinalName() const { return final; }

    std::FILE* stream = nullptr;
    int error = 0;  // the system's error number of the last failure

private:
    static constexpr std::size_t kNameSize = 4096 + 32;
    char final[kNameSize] = {};
    char temporary[kNameSize + 40] = {};  // room for ".part-N-M"
    bool pending = false;
};

}  // namespace os

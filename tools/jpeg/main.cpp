// orchid-jpeg INPUT OUTPUT: decodes INPUT with Orchid's JPEG decoder and
// writes binary PPM (colour) or PGM (greyscale). OUTPUT "-" is standard
// output. The picture goes out a band of lines at a time as it is decoded,
// so memory does not grow with its size; a file is written under a
// temporary name in OUTPUT's folder and renamed to OUTPUT once complete. A
// device or pipe as OUTPUT (/dev/null, a FIFO) is written straight to, as
// standard output is.
//
// Exit status: 0 done; 1 the decoder failed ("error -NNN description" on
// standard error, OUTPUT not written); 2 bad usage, unreadable INPUT or
// OUTPUT that cannot be written.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "jpeg/jpeg_decoder.h"
#include "os/files.h"
#include "os/output_file.h"

namespace {

// Lines decoded and written at a time.
constexpr int kBandLines = 16;

// True for an existing OUTPUT that is neither a regular file nor a folder.
bool IsDeviceOrPipe(const char* path)
{
    return os::KindOf(path) == os::FileKind::Other;
}

struct Output {
    const char* name;
    bool to_stdout;
    std::FILE* direct;  // standard output, a device or a pipe; else null
    os::OutputFile file;

    explicit Output(const char* path)
        : name(path), to_stdout(std::strcmp(path, "-") == 0), direct(to_stdout ? stdout : nullptr)
    {
    }
    ~Output()
    {
        if (direct != nullptr && !to_stdout) std::fclose(direct);
    }
    bool Open()
    {
        if (direct != nullptr) return true;
        if (IsDeviceOrPipe(name)) {
            direct = std::fopen(name, "wb");
            return direct != nullptr;
        }
        // The file the name leads to, so that a symbolic link stays a link
        // and the temporary file lies beside the file it replaces.
        return file.Create(os::ThroughLinks(name).c_str());
    }
    std::FILE* stream() const { return direct != nullptr ? direct : file.stream; }
    // An OUTPUT that exists is replaced, as with any writing tool.
    bool Finish()
    {
        if (direct == nullptr) return file.Commit(true);
        bool ok = std::fflush(direct) == 0 && !std::ferror(direct);
        if (!to_stdout) {
            ok = std::fclose(direct) == 0 && ok;
            direct = nullptr;
        }
        return ok;
    }

    // What became of the output after a failure, for the message.
    void Abandon()
    {
        if (to_stdout) {
            std::fprintf(stderr, "orchid-jpeg: the picture on standard output is incomplete\n");
        } else if (direct != nullptr) {
            std::fprintf(stderr, "orchid-jpeg: the picture written to %s is incomplete\n", name);
        } else {
            file.Discard();
            std::fprintf(stderr, "orchid-jpeg: %s not written; the partial file was removed\n", name);
        }
    }
};

int CannotRead(const char* input)
{
    std::fprintf(stderr, "orchid-jpeg: cannot read %s\n", input);
    return 2;
}

// A decoder failure; a read error is the input's, not the data's.
int Fail(int code, const char* input)
{
    if (code == JPEG_STREAM_READ) return CannotRead(input);
    std::fprintf(stderr, "error %d %s\n", code, jpeg_error_text(code));
    return 1;
}

int CannotWrite(Output& out)
{
    std::fprintf(stderr, "orchid-jpeg: cannot write %s\n", out.name);
    out.file.Discard();
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: orchid-jpeg INPUT OUTPUT\n");
        return 2;
    }
    const char* input = argv[1];
    jpeg_decoder_stdio_stream stream;
    if (!stream.open(input)) return CannotRead(input);

    jpeg_decoder decoder(&stream);
    if (decoder.error_code() != 0) return Fail(decoder.error_code(), input);
    if (decoder.begin() != 0) return Fail(decoder.error_code(), input);
    int width = decoder.image_width();
    int height = decoder.image_height();
    bool grey = decoder.component_count() == 1;
    std::size_t line_bytes = static_cast<std::size_t>(width) * (grey ? 1 : 3);
    std::vector<unsigned char> band(line_bytes * kBandLines);

    Output out(argv[2]);
    if (!out.Open()) return CannotWrite(out);
    std::FILE* f = out.stream();
    bool written = std::fprintf(f, "%s\n%d %d\n255\n", grey ? "P5" : "P6", width, height) > 0;
    while (written) {
        int lines = decoder.decode_rows(band.data(), static_cast<std::ptrdiff_t>(line_bytes), kBandLines, true);
        if (lines < 0) {
            int status = Fail(decoder.error_code() != 0 ? decoder.error_code() : lines, input);
            out.Abandon();
            return status;
        }
        if (lines == 0) break;
        std::size_t bytes = line_bytes * static_cast<std::size_t>(lines);
        written = std::fwrite(band.data(), 1, bytes, f) == bytes;
    }
    if (!written) return CannotWrite(out);
    if (decoder.data_ended_early()) {
        std::fprintf(stderr, "orchid-jpeg: warning: entropy-coded data ends early; the blocks past its end are left as"
                             " earlier scans made them (mid-grey in a first scan)\n");
    }
    if (!out.Finish()) return CannotWrite(out);
    return 0;
}

// The MP3 decoder in the browser: the page has the browser decode the music
// file (Web Audio's decodeAudioData, at 44.1 kHz) before the show opens it;
// opening asks the page for the decoded file of that name, and reading
// converts its samples to 16-bit stereo. The read position lives with the
// samples, on the page's side; a decoder is open while it has a length (an
// MP3 with no samples is refused).
#include "platform/mp3_decoder.h"

// The page's side (platform/web/web_library.js).
extern "C" {
// Opens the decoded file of that name: its length in sample frames, 0 when
// the page has no such file (missing, or the browser could not decode it).
double orchid_js_music_open(const char* fileName);
void orchid_js_music_close();
void orchid_js_music_rewind();
// Writes up to `frames` frames of 16-bit stereo from the read position;
// returns how many.
int orchid_js_music_read(uint8_t* target, int frames);
}

namespace platform {

Mp3Decoder::~Mp3Decoder() { Close(); }

void Mp3Decoder::Close()
{
    if (lengthBytes == 0) return;
    orchid_js_music_close();
    lengthBytes = 0;
}

bool Mp3Decoder::Open(const char* fileName)
{
    Close();
    if (fileName == nullptr) return false;
    double frames = orchid_js_music_open(fileName);
    if (!(frames > 0)) return false;
    lengthBytes = static_cast<uint64_t>(frames) * kBytesPerSample;
    return true;
}

bool Mp3Decoder::Rewind()
{
    if (lengthBytes == 0) return false;
    orchid_js_music_rewind();
    return true;
}

size_t Mp3Decoder::Read(uint8_t* target, size_t bytes)
{
    if (lengthBytes == 0) return 0;
    size_t frames = bytes / kBytesPerSample;
    constexpr size_t kMostFrames = 1 << 20;
    if (frames > kMostFrames) frames = kMostFrames;
    int read = orchid_js_music_read(target, static_cast<int>(frames));
    return read > 0 ? static_cast<size_t>(read) * kBytesPerSample : 0;
}

}  // namespace platform

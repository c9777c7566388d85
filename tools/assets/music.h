// The show's music, "kestrune-velomar": synthesized from a fixed score and
// encoded to MP3 with LAME. The same score always gives the same bytes.
#pragma once

#include <cstdint>
#include <vector>

namespace gen {

constexpr int kSampleRate = 44100;
constexpr double kMusicSeconds = 216.0;

struct StereoPcm {
    std::vector<float> left, right;  // -1..1
};

StereoPcm SynthesizeMusic();
// Constant 192 kbit/s joint stereo, with an Info tag so that decoders trim
// the encoder's delay and padding.
std::vector<uint8_t> EncodeMp3(const StereoPcm& pcm);

}  // namespace gen

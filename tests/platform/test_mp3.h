// A short MP3 made at test time: a synthesized tone written as WAV and
// encoded with lame. Empty when lame is not installed. A Windows build's
// suites take the tones the build made on the host (ORCHID_TEST_MP3_DIR).
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/scratch_folder.h"

namespace test_mp3 {

// This process's own scratch folder, removed as the process ends.
inline std::string Dir()
{
    static const test_support::ScratchFolder folder("test");
    return folder.Path();
}

inline void Put16(std::vector<uint8_t>& v, uint32_t x)
{
    v.push_back(static_cast<uint8_t>(x));
    v.push_back(static_cast<uint8_t>(x >> 8));
}
inline void Put32(std::vector<uint8_t>& v, uint32_t x)
{
    Put16(v, x & 0xFFFF);
    Put16(v, x >> 16);
}

// `seconds` of a 440 Hz tone at `rate` Hz with `channels` channels.
inline std::string Make(const std::string& name, double seconds, int rate = 44100, int channels = 2)
{
#if defined(ORCHID_TEST_MP3_DIR)
    (void)name;
    const std::string made = std::string(ORCHID_TEST_MP3_DIR) + "/tone-" +
                             std::to_string(static_cast<int>(seconds * 1000.0 + 0.5)) + "-" + std::to_string(rate) +
                             "-" + std::to_string(channels) + ".mp3";
    return std::filesystem::exists(made) ? made : "";
#else
    if (std::system("command -v lame >/dev/null 2>&1") != 0) return "";
    std::string dir = Dir();
    std::string wav = dir + "/" + name + ".wav";
    std::string mp3 = dir + "/" + name + ".mp3";
    uint32_t frames = static_cast<uint32_t>(seconds * rate);
    uint32_t dataBytes = frames * 2u * static_cast<uint32_t>(channels);
    std::vector<uint8_t> v;
    v.insert(v.end(), {'R', 'I', 'F', 'F'});
    Put32(v, 36 + dataBytes);
    v.insert(v.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    Put32(v, 16);
    Put16(v, 1);
    Put16(v, static_cast<uint32_t>(channels));
    Put32(v, static_cast<uint32_t>(rate));
    Put32(v, static_cast<uint32_t>(rate * channels * 2));
    Put16(v, static_cast<uint32_t>(channels * 2));
    Put16(v, 16);
    v.insert(v.end(), {'d', 'a', 't', 'a'});
    Put32(v, dataBytes);
    for (uint32_t i = 0; i < frames; ++i) {
        auto s = static_cast<int16_t>(8000.0 * std::sin(2.0 * 3.14159265358979 * 440.0 * i / rate));
        for (int c = 0; c < channels; ++c) Put16(v, static_cast<uint16_t>(s));
    }
    FILE* f = std::fopen(wav.c_str(), "wb");
    if (f == nullptr) return "";
    std::fwrite(v.data(), 1, v.size(), f);
    std::fclose(f);
    std::string cmd = "lame --quiet -b 128 '" + wav + "' '" + mp3 + "'";
    if (std::system(cmd.c_str()) != 0) return "";
    return mp3;
#endif
}

inline std::string WriteFile(const std::string& name, const std::string& bytes)
{
    std::string path = Dir() + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return "";
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return path;
}

// Empties the folder; it stays for the files of the tests that follow.
inline void CleanUp()
{
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(Dir(), ignored))
        std::filesystem::remove_all(entry.path(), ignored);
}

}  // namespace test_mp3

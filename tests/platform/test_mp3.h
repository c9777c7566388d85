// A short MP3 made at test time: a synthesized tone written as WAV and
// encoded with lame. Empty when lame is not installed.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

namespace test_mp3 {

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
    if (std::system("command -v lame >/dev/null 2>&1") != 0) return "";
    std::string dir = "/tmp/orchid-test-" + std::to_string(getpid());
    std::system(("mkdir -p " + dir).c_str());
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
}

inline std::string WriteFile(const std::string& name, const std::string& bytes)
{
    std::string dir = "/tmp/orchid-test-" + std::to_string(getpid());
    std::system(("mkdir -p " + dir).c_str());
    std::string path = dir + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return "";
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return path;
}

inline void CleanUp() { std::system(("rm -rf /tmp/orchid-test-" + std::to_string(getpid())).c_str()); }

}  // namespace test_mp3

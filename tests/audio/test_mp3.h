// A short MP3 made at test time: a synthesized tone encoded from raw samples
// with lame. Empty when lame is not installed.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

namespace test_mp3 {

inline std::string Dir()
{
    std::string dir = "/tmp/orchid-test-" + std::to_string(getpid());
    std::system(("mkdir -p " + dir).c_str());
    return dir;
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

// `seconds` of a 440 Hz tone at `rate` Hz with `channels` channels.
inline std::string Make(const std::string& name, double seconds, int rate = 44100, int channels = 2)
{
    if (std::system("command -v lame >/dev/null 2>&1") != 0) return "";
    std::vector<int16_t> samples;
    for (int i = 0; i < static_cast<int>(seconds * rate); ++i) {
        const double tone = 8000.0 * std::sin(2.0 * 3.14159265358979 * 440.0 * i / rate);
        samples.insert(samples.end(), channels, static_cast<int16_t>(tone));
    }
    // 16-bit little-endian samples, as this machine holds them; lame warns
    // that its file library might not take them raw, but it does.
    std::string raw = WriteFile(name + ".raw", std::string(reinterpret_cast<const char*>(samples.data()),
                                                           samples.size() * sizeof(int16_t)));
    std::string mp3 = Dir() + "/" + name + ".mp3";
    std::string cmd = "lame --quiet -r --signed --little-endian --bitwidth 16 -s " + std::to_string(rate / 1000.0) +
                      " -m " + (channels == 1 ? "m" : "j") + " -b 128 '" + raw + "' '" + mp3 + "' 2>/dev/null";
    return !raw.empty() && std::system(cmd.c_str()) == 0 ? mp3 : "";
}

inline void CleanUp() { std::system(("rm -rf /tmp/orchid-test-" + std::to_string(getpid())).c_str()); }

}  // namespace test_mp3

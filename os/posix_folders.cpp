#include <cstdlib>
#include <fstream>

#include "os/folders.h"

namespace os {

namespace {

std::string Variable(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

}  // namespace

std::string HomeFolder() { return Variable("HOME"); }

// user-dirs.dirs holds lines such as XDG_PICTURES_DIR="$HOME/Pictures": a
// path in double quotes, absolute or starting with $HOME/.
std::string PicturesFolder()
{
    std::string folder = Variable("XDG_PICTURES_DIR");
    if (!folder.empty()) return folder;
    std::string config = Variable("XDG_CONFIG_HOME");
    if (config.empty()) {
        if (HomeFolder().empty()) return "";
        config = HomeFolder() + "/.config";
    }
    std::ifstream dirs(config + "/user-dirs.dirs");
    const std::string key = "XDG_PICTURES_DIR=\"";
    for (std::string line; std::getline(dirs, line);) {
        if (line.rfind(key, 0) != 0 || line.size() < key.size() + 1 || line.back() != '"') continue;
        std::string value = line.substr(key.size(), line.size() - key.size() - 1);
        if (value.rfind("$HOME/", 0) == 0) return HomeFolder().empty() ? "" : HomeFolder() + value.substr(5);
        if (value.rfind("/", 0) == 0) return value;
    }
    return "";
}

}  // namespace os

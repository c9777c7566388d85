#include "main/music_search.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "os/files.h"
#include "os/process.h"

std::string ExecutableFolder()
{
    std::string folder = os::ExecutablePath();
    std::size_t slash = folder.find_last_of(os::kPathSeparators);
    if (slash == std::string::npos) return "";
    // The root keeps its separator.
    folder.resize(slash == 0 ? 1 : slash);
    return folder;
}

std::string DataFolder(const std::string& executableFolder, const std::string& configured)
{
    const bool absolute = (!configured.empty() && std::strchr(os::kPathSeparators, configured[0]) != nullptr) ||
                          (configured.size() > 1 && configured[1] == ':');
    if (absolute || configured.empty()) return configured;
    if (executableFolder.empty()) return "";
    std::string folder = executableFolder;
    std::string rest = configured;
    for (;;) {
        if (rest == "." || rest == "..") rest += '/';
        if (rest.compare(0, 2, "./") == 0) {
            rest.erase(0, 2);
        } else if (rest.compare(0, 3, "../") == 0) {
            rest.erase(0, 3);
            std::size_t slash = folder.find_last_of(os::kPathSeparators);
            if (slash == std::string::npos) return "";
            // The root keeps its separator, and has no folder above it.
            folder.resize(slash == 0 ? 1 : slash);
        } else {
            break;
        }
    }
    if (rest.empty()) return folder;
    return folder + (std::strchr(os::kPathSeparators, folder.back()) != nullptr ? "" : "/") + rest;
}

std::vector<std::string> MusicFolders(const std::string& executableFolder, const std::string& dataFolder)
{
    std::vector<std::string> folders{"."};
    for (const std::string& folder : {executableFolder, dataFolder}) {
        if (folder.empty()) continue;
        bool listed = false;
        for (const std::string& f : folders) listed = listed || f == folder;
        if (!listed) folders.push_back(folder);
    }
    return folders;
}

std::string FindMusic(const char* name, const std::vector<std::string>& folders, int* error)
{
    *error = ENOENT;
    for (const std::string& folder : folders) {
        std::string path = folder == "." ? std::string(name) : folder + "/" + name;
        // A folder opens for reading on some systems, but holds no music.
        if (os::KindOf(path.c_str()) == os::FileKind::Folder) {
            *error = EISDIR;
            continue;
        }
        errno = 0;
        std::FILE* file = os::OpenFile(path.c_str(), "rb");
        if (file != nullptr) {
            std::fclose(file);
            return path;
        }
        *error = errno != 0 ? errno : ENOENT;
    }
    return "";
}

std::string MusicNotFound(const char* name, const std::vector<std::string>& folders, int error)
{
    std::string line = std::string("orchid: cannot open the music '") + name + "'";
    if (!folders.empty()) {
        line += " (looked in ";
        for (std::size_t i = 0; i < folders.size(); ++i) line += (i > 0 ? ", " : "") + folders[i];
        line += ")";
    }
    return line + ": " + std::strerror(error);
}

std::string MusicUnplayable(const char* path)
{
    // Told from what the system says of the file, without reading it: a
    // device such as /dev/zero would give bytes without end.
    const char* reason = "it does not decode as MP3 audio";
    if (os::KindOf(path) != os::FileKind::Regular)
        reason = "it is not a regular file (a device, a pipe or a socket)";
    else if (os::FileSize(path) == 0)
        reason = "the file is empty";
    return std::string("orchid: cannot play the music '") + path + "': " + reason;
}

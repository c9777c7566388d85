// A folder of a test's own under the system's temporary folder: made empty,
// named apart from every other one (of this process and of the suites that
// run at once), and removed with all it holds when the object goes.
#pragma once

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "tests/support/process_id.h"

namespace test_support {

class ScratchFolder {
public:
    // <temporary folder>/orchid-<name>-<process id>-<count>
    explicit ScratchFolder(const std::string& name)
    {
        static std::atomic<int> made{0};
        std::string leaf = "orchid-";
        leaf.append(name).append("-").append(std::to_string(ProcessId()));
        leaf.append("-").append(std::to_string(++made));
        const std::filesystem::path dir = std::filesystem::temp_directory_path() / leaf;
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        path = dir.string();
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& Path() const { return path; }

    // The names of what the folder holds, sorted.
    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(path))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::string path;
};

}  // namespace test_support

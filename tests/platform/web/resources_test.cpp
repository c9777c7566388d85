// The resource table of the browser build, where each file becomes a
// generated array instead of assembled data: every resource of the manifest
// is found by id and by name, holds its file's bytes exactly (empty files
// and sizes that are no multiple of anything included), starts 16-byte
// aligned, and nothing else is in the table.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "platform/resources.h"

namespace {

struct Entry {
    int id;
    std::string name;
    std::string file;
};

std::vector<Entry> Manifest()
{
    std::ifstream in(ORCHID_MANIFEST);
    std::vector<Entry> entries;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        Entry e;
        if (fields >> e.id >> e.name >> e.file) entries.push_back(e);
    }
    return entries;
}

std::vector<uint8_t> FileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(WebResources, EachManifestFileIsEmbeddedByteForByte)
{
    const std::vector<Entry> manifest = Manifest();
    ASSERT_FALSE(manifest.empty()) << "no manifest read from " << ORCHID_MANIFEST;
    EXPECT_EQ(platform::kEmbeddedResourceCount, static_cast<int>(manifest.size()));
    for (const Entry& e : manifest) {
        SCOPED_TRACE(e.name);
        const std::vector<uint8_t> expected = FileBytes(std::string(ORCHID_ASSET_DIR) + "/" + e.file);
        ASSERT_FALSE(expected.empty()) << "the asset file could not be read";
        platform::ResourceBlock byId = platform::FindResource(platform::MakeIntResource(e.id));
        platform::ResourceBlock byName = platform::FindResource(e.name.c_str());
        ASSERT_NE(byId.data, nullptr);
        EXPECT_EQ(byName.data, byId.data);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(byId.data) % 16, 0u);
        ASSERT_EQ(byId.size, expected.size());
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), byId.data));
    }
    EXPECT_EQ(platform::FindResource(platform::MakeIntResource(1)).data, nullptr);
}

}  // namespace

// What Windows reads from orchid.exe itself, as Windows reads it: the icon
// group holds the window icon and the larger ones, each of which loads at
// its size, and the application manifest declares per-monitor DPI
// awareness.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

class WindowsResources : public ::testing::Test {
protected:
    void SetUp() override
    {
        module = LoadLibraryExA(ORCHID_PROGRAM, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module, nullptr) << GetLastError();
    }
    void TearDown() override
    {
        if (module != nullptr) FreeLibrary(module);
    }
    std::string Resource(int id, LPCSTR type) const
    {
        HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), type);
        if (found == nullptr) return "";
        const char* bytes = static_cast<const char*>(LockResource(LoadResource(module, found)));
        return std::string(bytes, SizeofResource(module, found));
    }
    HMODULE module = nullptr;
};

TEST_F(WindowsResources, TheIconHoldsEverySizeAndEachLoads)
{
    // The group's directory: 6 bytes, then 14 a picture (width first).
    const std::string group = Resource(181, MAKEINTRESOURCEA(14));  // RT_GROUP_ICON
    ASSERT_GE(group.size(), 6u);
    const int count = uint8_t(group[4]) | uint8_t(group[5]) << 8;
    ASSERT_EQ(count, 5);
    ASSERT_EQ(group.size(), 6u + 14u * 5u);
    const int sizes[] = {32, 48, 64, 128, 256};
    for (int i = 0; i < count; ++i) {
        SCOPED_TRACE(sizes[i]);
        EXPECT_EQ(uint8_t(group[size_t(6 + 14 * i)]), uint8_t(sizes[i]));
        HICON icon = static_cast<HICON>(LoadImageA(module, MAKEINTRESOURCEA(181), IMAGE_ICON, sizes[i], sizes[i], 0));
        ASSERT_NE(icon, nullptr) << GetLastError();
        ICONINFO info{};
        ASSERT_TRUE(GetIconInfo(icon, &info));
        BITMAP colour{};
        ASSERT_NE(GetObjectA(info.hbmColor, sizeof colour, &colour), 0);
        EXPECT_EQ(colour.bmWidth, sizes[i]);
        EXPECT_EQ(colour.bmHeight, sizes[i]);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        DestroyIcon(icon);
    }
}

TEST_F(WindowsResources, TheManifestAsksForPerMonitorDpiAwareness)
{
    const std::string manifest = Resource(1, MAKEINTRESOURCEA(24));  // RT_MANIFEST
    ASSERT_FALSE(manifest.empty());
    EXPECT_NE(manifest.find(">PerMonitorV2</dpiAwareness>"), std::string::npos) << manifest;
    EXPECT_NE(manifest.find(">true/pm</dpiAware>"), std::string::npos) << manifest;
}

}  // namespace

// The SDL backend's table entry against displays that do not open: the run
// fails with the display's name and installs nothing, rather than falling
// back to SDL's offscreen driver, which only SDL_VIDEODRIVER can ask for.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "platform/sdl/sdl_backend.h"
#include "tests/support/environment.h"

namespace {

using test_support::SetEnvironment;

class SdlEntryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* name : kNames) {
            const char* value = std::getenv(name);
            saved.push_back(value != nullptr ? std::optional<std::string>(value) : std::nullopt);
            SetEnvironment(name, nullptr);
        }
        SetEnvironment("SDL_AUDIODRIVER", "dummy");
    }
    void TearDown() override
    {
        platform::sdl::kEntry.uninstall();
        for (std::size_t i = 0; i < saved.size(); ++i) SetEnvironment(kNames[i], saved[i] ? saved[i]->c_str() : nullptr);
    }

    // The line the entry fails with, or "installed".
    std::string Install()
    {
        char error[256] = "unchanged";
        if (platform::sdl::kEntry.install(platform::BackendSetup{}, error, sizeof error)) return "installed";
        EXPECT_EQ(platform::InstalledBackend().windows, nullptr);
        return error;
    }

    static constexpr const char* kNames[4] = {"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER", "SDL_AUDIODRIVER"};
    std::vector<std::optional<std::string>> saved;
};

TEST_F(SdlEntryTest, ADisplayThatDoesNotOpenIsNamedAndNothingIsInstalled)
{
    SetEnvironment("DISPLAY", ":999");
    EXPECT_EQ(Install(), "cannot open the display \":999\"");
    SetEnvironment("SDL_VIDEODRIVER", "x11");
    EXPECT_EQ(Install(), "cannot open the display \":999\" (SDL_VIDEODRIVER=x11)");
    SetEnvironment("SDL_VIDEODRIVER", nullptr);
    SetEnvironment("DISPLAY", nullptr);
    EXPECT_EQ(Install(), "cannot open a display") << "no display asked for";
}

TEST_F(SdlEntryTest, TheOffscreenDriverRunsOnlyWhenAskedFor)
{
    SetEnvironment("DISPLAY", ":999");
    SetEnvironment("SDL_VIDEODRIVER", "offscreen");
    ASSERT_EQ(Install(), "installed");
    EXPECT_NE(platform::InstalledBackend().windows, nullptr);
    platform::sdl::kEntry.uninstall();
    EXPECT_EQ(platform::InstalledBackend().windows, nullptr);
    SetEnvironment("SDL_VIDEODRIVER", "");
    EXPECT_EQ(Install(), "cannot open the display \":999\"") << "an empty SDL_VIDEODRIVER asks for no driver";
}

}  // namespace

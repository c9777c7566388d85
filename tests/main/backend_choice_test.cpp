// The choice of a backend from a table, against a scripted environment: the
// table's order, the kind a run needs, ORCHID_BACKEND and the lines that
// refuse it; and this build's own table.
#include "main/backend_choice.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

std::map<std::string, std::string> script;

const char* Scripted(const char* name)
{
    auto found = script.find(name);
    return found == script.end() ? nullptr : found->second.c_str();
}

bool HasScreen(platform::EnvironmentLookup environment, const char** why)
{
    const char* screen = environment("SCREEN");
    if (screen != nullptr && *screen != '\0') return true;
    *why = "there is no screen";
    return false;
}
bool Always(platform::EnvironmentLookup, const char**) { return true; }
bool Never(platform::EnvironmentLookup, const char** why)
{
    *why = "it is broken";
    return false;
}
bool Install(const platform::BackendSetup&, char*, std::size_t) { return true; }
void Uninstall() {}

const platform::BackendEntry broken = {"broken", true, Never, Install, Uninstall};
const platform::BackendEntry desk = {"desk", true, HasScreen, Install, Uninstall};
const platform::BackendEntry page = {"page", true, Always, Install, Uninstall};
const platform::BackendEntry file = {"file", false, Always, Install, Uninstall};

class BackendChoiceTest : public ::testing::Test {
protected:
    void SetUp() override { script.clear(); }

    BackendChoice Choose(BackendNeed need = BackendNeed::Any)
    {
        return ChooseBackend(platform::BackendTable{entries, 4}, Scripted, need);
    }
    // The name chosen, or the outcome's message.
    std::string Chosen(BackendNeed need = BackendNeed::Any)
    {
        BackendChoice choice = Choose(need);
        return choice.entry != nullptr ? choice.entry->name : "refused: " + choice.message;
    }

    const platform::BackendEntry* entries[4] = {&broken, &desk, &file, &page};
};

TEST_F(BackendChoiceTest, TheFirstEntryOfTheKindNeededThatCanRunIsChosen)
{
    EXPECT_EQ(Chosen(), "file");
    script["SCREEN"] = "";
    EXPECT_EQ(Chosen(), "file") << "an empty variable asks for nothing";
    script["SCREEN"] = ":1";
    EXPECT_EQ(Chosen(), "desk");
    EXPECT_EQ(Chosen(BackendNeed::OffScreen), "file");
    script.erase("SCREEN");
    // On a screen: past the one that cannot run, an entry further on.
    EXPECT_EQ(Chosen(BackendNeed::OnScreen), "page");
    BackendChoice choice = Choose();
    EXPECT_EQ(choice.outcome, BackendChoice::Chosen);
    EXPECT_FALSE(choice.named);
}

TEST_F(BackendChoiceTest, WhenNoneOfTheKindCanRunTheFirstOnesReasonIsGiven)
{
    const platform::BackendEntry* screens[2] = {&desk, &broken};
    BackendChoice choice = ChooseBackend(platform::BackendTable{screens, 2}, Scripted, BackendNeed::OnScreen);
    EXPECT_EQ(choice.outcome, BackendChoice::NoneCanRun);
    EXPECT_EQ(choice.entry, nullptr);
    EXPECT_EQ(choice.message, "there is no screen");
    choice = ChooseBackend(platform::BackendTable{screens, 2}, Scripted, BackendNeed::OffScreen);
    EXPECT_EQ(choice.outcome, BackendChoice::NoneCanRun);
    EXPECT_FALSE(choice.message.empty());
}

TEST_F(BackendChoiceTest, OrchidBackendNamesTheEntryOrIsRefusedNamingTheChoices)
{
    script["SCREEN"] = ":1";
    script["ORCHID_BACKEND"] = "page";
    BackendChoice choice = Choose();
    ASSERT_EQ(choice.outcome, BackendChoice::Chosen);
    EXPECT_STREQ(choice.entry->name, "page");
    EXPECT_TRUE(choice.named);
    script["ORCHID_BACKEND"] = "file";
    EXPECT_EQ(Chosen(), "file") << "named, even where a screen is asked for";

    script["ORCHID_BACKEND"] = "nothing";
    choice = Choose();
    EXPECT_EQ(choice.outcome, BackendChoice::Refused);
    EXPECT_EQ(choice.entry, nullptr);
    EXPECT_EQ(choice.message, "ORCHID_BACKEND=nothing names no backend; the choices are broken, desk, file, page");
    EXPECT_EQ(Chosen(BackendNeed::OffScreen), "refused: ORCHID_BACKEND=nothing names no backend; the choices are file");
    script["ORCHID_BACKEND"] = "Page";
    EXPECT_EQ(Choose().outcome, BackendChoice::Refused) << "names are exact";

    script["ORCHID_BACKEND"] = "desk";
    EXPECT_EQ(Chosen(BackendNeed::OffScreen),
              "refused: ORCHID_BACKEND=desk does not render off-screen; the choices are file");
    script["ORCHID_BACKEND"] = "file";
    EXPECT_EQ(Chosen(BackendNeed::OnScreen),
              "refused: ORCHID_BACKEND=file does not play on a screen; the choices are broken, desk, page");

    // One that cannot run here is refused, never passed over for another.
    script.erase("SCREEN");
    script["ORCHID_BACKEND"] = "desk";
    EXPECT_EQ(Chosen(), "refused: ORCHID_BACKEND=desk cannot run here: there is no screen; the choices are broken, "
                        "desk, file, page");

    script["ORCHID_BACKEND"] = "";
    EXPECT_EQ(Chosen(), "file") << "an empty name names nothing";
}

// This build's table: its desktop first, then headless; the desktop runs
// where a display is asked for (on Windows always).
TEST(BackendTableTest, TheDesktopComesFirstThenHeadless)
{
    const platform::BackendTable table = platform::Backends();
    ASSERT_EQ(table.count, 2);
    const platform::BackendEntry& desktop = *table.entries[0];
    const platform::BackendEntry& headless = *table.entries[1];
    EXPECT_STREQ(headless.name, "headless");
    EXPECT_FALSE(headless.onScreen);
    EXPECT_TRUE(desktop.onScreen);
    script.clear();
    const char* why = nullptr;
    EXPECT_TRUE(headless.canRun(Scripted, &why));
#if defined(_WIN32)
    EXPECT_STREQ(desktop.name, "win32");
    EXPECT_TRUE(desktop.canRun(Scripted, &why));
#else
    EXPECT_STREQ(desktop.name, "sdl");
    EXPECT_FALSE(desktop.canRun(Scripted, &why));
    EXPECT_STREQ(why, "there is no display (neither DISPLAY nor WAYLAND_DISPLAY is set)");
    script["DISPLAY"] = "";
    script["WAYLAND_DISPLAY"] = "";
    EXPECT_FALSE(desktop.canRun(Scripted, &why));
    script["DISPLAY"] = ":5";
    EXPECT_TRUE(desktop.canRun(Scripted, &why));
    script.erase("DISPLAY");
    script["WAYLAND_DISPLAY"] = "wayland-0";
    EXPECT_TRUE(desktop.canRun(Scripted, &why));
#endif
    for (int i = 0; i < table.count; ++i) {
        EXPECT_NE(table.entries[i]->install, nullptr);
        EXPECT_NE(table.entries[i]->uninstall, nullptr);
    }
}

}  // namespace

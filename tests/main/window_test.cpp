#include <gtest/gtest.h>

#include <string>

#include "error/error_log.h"
#include "main/app_state.h"
#include "main/dialog.h"
#include "main/window.h"
#include "platform/fake/fake_backend.h"
#include "tests/support/log.h"

using namespace platform;

namespace {

// A window procedure in the shell's place: it only counts destroys.
int destroys = 0;
LRESULT CountingProc(HWND window, uint32_t message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY) ++destroys;
    return DefWindowProc(window, message, wParam, lParam);
}

class MainWindowTest : public test_support::LogTest {
protected:
    void SetUp() override
    {
        LogTest::SetUp();
        fake.Install();
    }
    fake::FakePlatform fake;
};

TEST_F(MainWindowTest, HiddenTopmostPopupCentredOnTheScreen)
{
    screenBpp = 32;
    windowed = 1;
    running = quitting = paused = userQuit = 1;
    fake.screenWidth = 1023;
    fake.screenHeight = 767;
    ASSERT_EQ(CreateMainWindow(nullptr, CountingProc), 1);
    EXPECT_EQ(screenBpp, 0);
    EXPECT_EQ(windowed, 0);
    EXPECT_EQ(running + quitting + paused + userQuit, 0);
    const WindowRecord* w = FindWindowRecord(mainWindow);
    ASSERT_NE(w, nullptr);
    EXPECT_STREQ(w->title, "Orchid");
    EXPECT_EQ(w->x, 191);
    EXPECT_EQ(w->y, 143);
    EXPECT_EQ(w->width, 640);
    EXPECT_EQ(w->height, 480);
    EXPECT_EQ(w->style, WS_POPUP);
    EXPECT_EQ(w->exStyle, WS_EX_TOPMOST);
    EXPECT_FALSE(w->visible);
    // The hourglass shows; the arrow was current before.
    EXPECT_EQ(fake.cursorId, IDC_WAIT);
    EXPECT_EQ(previousCursor, LoadCursor(nullptr, IDC_ARROW));

    int before = destroys;
    DestroyWindow(mainWindow);
    EXPECT_EQ(destroys, before + 1);

    // On a screen smaller than the window the position is negative.
    fake.screenWidth = 601;
    fake.screenHeight = 401;
    ASSERT_EQ(CreateMainWindow(nullptr, CountingProc), 1);
    EXPECT_EQ(FindWindowRecord(mainWindow)->x, -20);
    EXPECT_EQ(FindWindowRecord(mainWindow)->y, -40);
}

TEST_F(MainWindowTest, WithoutAProcedureTheWindowGetsTheDefaultHandling)
{
    int before = destroys;
    ASSERT_EQ(CreateMainWindow(nullptr, nullptr), 1);
    HWND window = mainWindow;
    EXPECT_EQ(SendMessage(window, WM_KEYDOWN, VK_ESCAPE, 0), 0);
    EXPECT_EQ(SendMessage(window, WM_ACTIVATEAPP, 0, 0), 0);
    EXPECT_TRUE(IsWindow(window));
    // A close request destroys it; the procedure registered before for the
    // same class is not called.
    SendMessage(window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(destroys, before);
}

TEST_F(MainWindowTest, FailureReportsAndLeavesNoWindow)
{
    fake.failCreateWindow = true;
    EXPECT_THROW(CreateMainWindow(nullptr, CountingProc), ErrorException);
    EXPECT_EQ(mainWindow, nullptr);
    EXPECT_EQ(std::string(errorLog.Report()).rfind("Windows error:\n Couldn't create window.\nFilename: main\nLine: ", 0),
              0u);
    EXPECT_EQ(fake.cursorId, IDC_ARROW);
}

TEST_F(MainWindowTest, DialogChoices)
{
    struct Row {
        int command;
        intptr_t result;
        int bpp;
        int isWindowed;
    };
    const Row rows[] = {
        {IDC_BUTTON_32BPP, 1, 32, 0}, {IDC_BUTTON_24BPP, 1, 24, 0}, {IDC_BUTTON_16BPP, 1, 16, 0},
        {IDC_BUTTON_WINDOWED, 1, 0, 1}, {IDC_BUTTON_QUIT, 0, -1, 0},
    };
    for (const Row& row : rows) {
        ASSERT_EQ(CreateMainWindow(nullptr, CountingProc), 1);
        fake.dialogCommands[0] = row.command;
        EXPECT_EQ(DialogBoxParam(nullptr, kModeDialogId, mainWindow, ModeDialogProc, 0), row.result);
        EXPECT_EQ(screenBpp, row.bpp);
        EXPECT_EQ(windowed, row.isWindowed);
    }
    // Quit leaves `windowed` as it was.
    windowed = 1;
    fake.dialogCommands[0] = IDC_BUTTON_QUIT;
    EXPECT_EQ(DialogBoxParam(nullptr, kModeDialogId, mainWindow, ModeDialogProc, 0), 0);
    EXPECT_EQ(windowed, 1);
}

TEST_F(MainWindowTest, DialogIgnoresCancelAndOtherCommands)
{
    ASSERT_EQ(CreateMainWindow(nullptr, CountingProc), 1);
    const int cancel = 2;  // what Escape sends
    fake.dialogCommands[0] = cancel;
    fake.dialogCommands[1] = 1031;
    fake.dialogCommands[2] = IDC_BUTTON_24BPP;
    EXPECT_EQ(DialogBoxParam(nullptr, kModeDialogId, mainWindow, ModeDialogProc, 0), 1);
    EXPECT_EQ(screenBpp, 24);

    // Only cancel: the dialog never ends. A button's notification code in
    // the high word does not hide which button it was.
    fake.dialogCommands[0] = cancel;
    fake.dialogCommands[1] = 0;
    EXPECT_EQ(DialogBoxParam(nullptr, kModeDialogId, mainWindow, ModeDialogProc, 0), -1);
    EXPECT_EQ(ModeDialogProc(nullptr, WM_COMMAND, IDC_BUTTON_WINDOWED | (1u << 16), 0), 1);
    EXPECT_EQ(windowed, 1);

    fake.failDialog = true;
    EXPECT_EQ(DialogBoxParam(nullptr, kModeDialogId, mainWindow, ModeDialogProc, 0), -1);
}

}  // namespace

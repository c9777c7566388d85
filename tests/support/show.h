// The whole program's state before a run of the shell (WinMain), as a fresh
// process has it: what start-up itself does not set (it does set the shell's
// other flags, the log's text and the show's loaded state).
#pragma once

#include <gtest/gtest.h>

#include "demo/demo.h"
#include "error/error_log.h"
#include "error/memory.h"
#include "main/app_state.h"
#include "main/shell.h"
#include "platform/clock.h"
#include "tests/support/demo.h"
#include "timer/timer.h"

namespace test_support {

inline void FreshShow()
{
    errorLog.Free();
    errorLog.length = errorLog.count = errorLog.locked = 0;
    timer = Timer();
    lastActive = 1;
    literalTiming = 0;
    loopShow = 0;
    displayLead = 0;
    musicFile = kMusicFile;
    showUpdate = DemoUpdate;
    FreshDemo();
}

// A test that runs the shell: a fresh program before, and after it no
// injected allocation failure and no clock of the test's left active. A
// fixture that adds its own steps calls these: SetUp first, TearDown last.
class ShellRunTest : public ::testing::Test {
protected:
    void SetUp() override { FreshShow(); }
    void TearDown() override
    {
        orchid::alloc_test::FailAt(0);
        platform::SetActiveClock(nullptr);
    }
};

}  // namespace test_support

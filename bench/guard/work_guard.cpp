// The show's work in instructions, for the performance guard (bench/guard/run
// runs this under callgrind). The show runs headless on the virtual clock
// as `orchid --benchmark` runs it; callgrind counts only the stretches
// named here, each written out as a dump of its own named by the stretch:
// "start-up" (the pictures decoded and the show made, up to the first
// frame) and "scene N" (kStretch hundredths from the first drawn as scene
// N, each one's update, render and present). Between stretches the program runs
// uninstrumented, several times faster. The run ends after the last
// scene's stretch.
//
// Outside valgrind the requests do nothing, and this is a plain headless
// run of the show's stretches.
#include <valgrind/callgrind.h>

#include <cstdio>

#include "demo/demo.h"
#include "demo/timeline.h"
#include "main/app_state.h"
#include "main/dialog.h"
#include "main/shell.h"
#include "platform/clock.h"
#include "platform/headless/headless_backend.h"

namespace {

constexpr int kStretch = 50;

class GuardSink final : public platform::FrameSink {
public:
    void Frame(const platform::FrameView&) override
    {
        if (!started) {
            // Scene 0's stretch follows at once.
            started = true;
            CALLGRIND_DUMP_STATS_AT("start-up");
            counting = kStretch;
            return;
        }
        if (counting > 0 && --counting == 0) {
            char name[16];
            std::snprintf(name, sizeof name, "scene %d", current);
            CALLGRIND_DUMP_STATS_AT(name);
            CALLGRIND_STOP_INSTRUMENTATION;
            if (current == timeline::kSceneCount - 1) {
                platform::PostMessage(mainWindow, platform::WM_KEYDOWN, platform::VK_ESCAPE, 0);
            }
        }
        // The frame just presented was drawn as `scene`; a new scene's
        // stretch starts with its next hundredth.
        if (scene != current && scene == current + 1) {
            current = scene;
            counting = kStretch;
            CALLGRIND_START_INSTRUMENTATION;
            CALLGRIND_ZERO_STATS;
        }
    }

private:
    bool started = false;
    int current = 0;
    int counting = 0;
};

}  // namespace

int main()
{
    musicFile = ORCHID_MUSIC;
    GuardSink sink;
    platform::VirtualClock clock;
    platform::SetActiveClock(&clock);
    platform::headless::Options options;
    options.dialogCommand = IDC_BUTTON_32BPP;
    options.sink = &sink;
    platform::headless::Install(options);
    const int status = WinMain(nullptr, nullptr, "", platform::SW_SHOWNORMAL);
    platform::headless::Uninstall();
    platform::SetActiveClock(nullptr);
    return status;
}

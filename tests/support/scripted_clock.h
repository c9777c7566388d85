// The clock of the suites that run the shell on the fake backend: time moves
// only when the program waits. Each wait moves it on a hundredth (and
// `extraPerWait` more), and while the show runs and the fake sound device
// plays, the music moves on as many hundredths from where the device stands
// (so a seek moves it), unless the script stops it. `at` runs at every wait,
// with the count of waits so far.
#pragma once

#include <cstdint>
#include <functional>

#include "main/app_state.h"
#include "platform/clock.h"
#include "platform/fake/fake_backend.h"
#include "platform/headless/headless_backend.h"

namespace test_support {

class ScriptedClock final : public platform::Clock {
public:
    // The bytes of a hundredth of the music: 44,100 Hz, 16-bit stereo.
    static constexpr uint32_t kBytesPerHundredth = 1764;

    explicit ScriptedClock(platform::fake::FakePlatform& fake) : fake(fake) {}

    int QueryFrequency(int64_t* frequency) override
    {
        *frequency = 100;
        return 1;
    }
    int QueryCounter(int64_t* counter) override
    {
        *counter = hundredths;
        return 1;
    }
    void Spin() override
    {
        const int64_t steps = 1 + extraPerWait;
        hundredths += steps;
        ++waits;
        if (running && !fake.soundPaused && !musicStopped) Jump(static_cast<uint32_t>(steps));
        if (at) at(waits);
    }

    // The hundredth of the music the device plays.
    uint32_t Heard() const { return fake.position / kBytesPerHundredth; }
    // Moves the music on at once, as a device that skips does.
    void Jump(uint32_t by) { fake.position = platform::headless::PositionForHundredths(Heard() + by); }

    int64_t hundredths = 0;
    int64_t waits = 0;
    int64_t extraPerWait = 0;
    bool musicStopped = false;
    std::function<void(int64_t)> at;

private:
    platform::fake::FakePlatform& fake;
};

}  // namespace test_support

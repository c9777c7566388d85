// The times live play's updates see.
//
// The music's heard position is the show's clock. Reading it anew for every
// update of a frame would hand two updates run in quick succession the same
// time and skip the next, so the show's gates on single hundredths (odd
// times, every fourth, every 128th) would fire twice or never, and fades
// would run at a speed that depends on the display's refresh rate.
// ShowSteps instead hands each update the hundredth after the one before,
// exactly as a capture steps the show, and keeps that sequence in step with
// the heard position: the update of hundredth t is due once t + 1
// hundredths of music have been heard (the capture's timing, where the
// update of a frame sees the time the previous update left behind). Every
// hundredth is then seen once, in order, however the frames fall and
// however coarsely the device reports its position.
//
// Only when the two clocks come apart does it resynchronise, and it counts
// each time it does: when more than kMaxCatchUp hundredths are due at once
// (the process stalled, the device jumped) it jumps to the heard position
// rather than replaying the backlog, and when the heard position falls more
// than kMaxLead hundredths behind the next update (the position moved back)
// it holds until the music catches up.
#pragma once

#include <cstdint>

class ShowSteps {
public:
    static constexpr int32_t kMaxLead = 3;
    static constexpr int32_t kMaxCatchUp = 25;

    ShowSteps();

    // The first update will see `time`; the count of resynchronisations
    // starts again at 0.
    void Start(int32_t time);
    // The next update will see `time`, as after a seek; the count of
    // resynchronisations goes on.
    void Seek(int32_t time);
    // The time the next update is to see with `heard` hundredths of music
    // heard, and the step past it; -1 when no update is due yet.
    int32_t Next(int32_t heard);

    // The time the next update will see.
    int32_t next;
    // Jumps and holds so far.
    int32_t resyncs;
    // 1 while holding for the music to catch up (one hold counts once).
    int32_t holding;
};

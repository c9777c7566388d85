// The show's state at fixed hundredths, kept as the show is stepped, so
// that it can be moved to any hundredth exactly: back to the nearest
// snapshot at or before it, then on one update and one draw per hundredth,
// as a capture steps it.
//
// A snapshot holds everything one hundredth hands on to the next: the
// animated values, the flowers and light bars, the random generator, the
// cross-fade, the effects colour, and the pixels kept between frames: the
// frame image, the blurred picture (blurred in place, pass by pass) and the
// panorama view (taken from the panorama once, cleared to black at the
// end). The grey card is refilled before each use, the rest of the pictures
// never change. The blurred picture and the panorama view change only a few
// times in the show, so snapshots share one copy of each while it is
// unchanged.
//
// Snapshots are also built ahead of the show, in the time between its
// frames: the live state is set aside, a second state (the ahead state) is
// stepped on from the furthest snapshot built a few hundredths at a time,
// exactly as a capture steps it, and the live state is put back as it was.
// So a seek into a part not yet played finds a snapshot near it.
//
// One more snapshot, the mark, may be kept at any hundredth, not only on
// the interval: the start of the viewer's loop, so that every jump back to
// it restores it rather than stepping up to 499 hundredths from the
// snapshot before. It has its own frame image and its own copies of the
// two pictures, so keeping it never fails and never takes a shared copy.
//
// All memory is taken at once by Reserve: a frame image per snapshot and
// one for the mark, kPictureCopies copies of each of the two pictures and
// the mark's own, and the ahead state's own frame image and pictures.
#pragma once

#include <cstdint>

#include "demo/demo.h"

class ShowSnapshots {
public:
    // Hundredths between snapshots: a seek steps through fewer than this
    // many from the nearest one.
    static constexpr int32_t kInterval = 500;
    // Snapshots at 0, kInterval, ... up to the end of the show.
    static constexpr int32_t kCount = kShowEnd / kInterval + 1;
    static constexpr int32_t kPictureCopies = 8;

    ShowSnapshots();
    ~ShowSnapshots();
    ShowSnapshots(const ShowSnapshots&) = delete;
    ShowSnapshots& operator=(const ShowSnapshots&) = delete;

    // Takes the memory, once the show's assets are loaded (after DemoInit);
    // forgets every snapshot. 1 on success. 0 when it cannot: nothing is
    // kept and nothing is reported, and Failure says why. The show then
    // plays on without snapshots, so without seeking: losing the seek keys
    // is no reason to end it.
    int Reserve();
    const char* Failure() const { return failure; }
    void Free();
    // The bytes Reserve took.
    int64_t Bytes() const { return reservedBytes; }

    // A snapshot is kept at this time.
    static bool At(int32_t time) { return time >= 0 && time % kInterval == 0 && time / kInterval < kCount; }
    // Keeps the show's state as the snapshot for `time` (At(time)), unless
    // one is held already; when the shared copies are all taken by other
    // pictures it is not kept (a seek then steps on from an earlier one).
    void Take(int32_t time);
    // The latest time at or before `time` that has a snapshot; -1: none.
    int32_t Nearest(int32_t time) const;
    // Puts the show's state back as it was at `time`, which has one.
    void Restore(int32_t time);

    // Keeps the show's state, which must be exactly a capture's at `time`
    // (0..kShowEnd), as the mark, in place of any mark before.
    void Mark(int32_t time);
    // Forgets the mark.
    void Unmark();
    // The time the mark is kept at; -1: none.
    int32_t Marked() const { return markTime; }

    // Brings the show to the state a capture has after `target` hundredths
    // (0..kShowEnd), with musicPosition = target: from the nearest snapshot
    // or the mark, whichever lies later at or before it, or from the show's
    // current state when `current` (-1: not usable) is the exact time it
    // stands at and lies nearer still. Every hundredth stepped
    // is drawn from the last one whose draw covers the whole frame image
    // (DemoDrawCovers), none presented; snapshots are taken on the way.
    void Seek(int32_t target, int32_t current);

    // Steps the ahead state on by at most `steps` hundredths towards the
    // first snapshot not yet held past it, and takes that snapshot when it
    // gets there; the show's live state (musicPosition and the effects'
    // buffer included) is as it was on return. Returns the hundredths
    // stepped: 0 once every snapshot is built (or none can be).
    int32_t BuildAhead(int32_t steps);
    // The furthest time with a snapshot; -1: none.
    int32_t Frontier() const;

    int32_t initialized;

private:
    static constexpr int kFlowers = 50;
    static constexpr int kLights = 10;
    struct State {
        int32_t held;
        int32_t scene, flashLevel, flashPhase, captionLevel, blurCount, blurPending;
        double panoramaX, dropX, dropY, dropSpeed, tileScrollY;
        DemoPoint points[9];
        double flowerX[kFlowers], flowerY[kFlowers], flowerSpeed[kFlowers];
        double lightX[kLights];
        uint32_t random;
        Pixmap* fadeA;
        Pixmap* fadeB;
        int32_t fadeLevel;
        uint32_t colour;
        // Which shared copy holds the blurred picture and the panorama view.
        int32_t blurCopy, viewCopy;
    };
    // A picture and its shared copies; after the last of them, the mark's.
    struct Copies {
        Pixmap* picture;
        uint8_t* pixels;
        int64_t bytes;
        int32_t used;
    };
    // The state built ahead of the show, and the live state's values while
    // the ahead state stands in for it. The pixels of the frame image, the
    // blurred picture and the panorama view are traded with the live ones
    // rather than copied: `pixels` holds whichever set is not in use.
    struct Ahead {
        State state;
        State live;
        uint8_t* pixels[3];
        // The hundredth the ahead state stands at (-1: not started), the
        // snapshot time it steps to, and the first hundredth on the way
        // whose frame is drawn (the ones before are covered by it).
        int32_t time, goal, cover;
    };
    static DemoPoint* const points[9];
    static Pixmap* const traded[3];

    // The show's values into a state, and back.
    static void Save(State& s);
    static void Load(const State& s);
    // The last hundredth in from..to whose draw covers the whole frame
    // image, from the scene the show stands in at `from`; `from` if none.
    static int32_t Cover(int32_t from, int32_t to);
    // Trades the live pictures' pixels with the ahead state's.
    void Trade();

    // The copy holding the picture as it is now, made if need be; -1 when
    // every copy holds something else.
    static int32_t Keep(Copies& copies);
    static void Put(const Copies& copies, int32_t index);
    void Release();

    // The mark's state and pixels into the show, and the show's into them.
    void RestoreMark();
    void SaveMark();

    // kCount snapshots, then the mark (states[kCount], whose `held` says
    // whether it is kept); the frame images likewise.
    State* states;
    uint8_t* frames;
    int64_t frameBytes;
    Copies blur;
    Copies view;
    Ahead ahead;
    int32_t markTime;
    int64_t reservedBytes;
    char failure[96];
};

extern ShowSnapshots showSnapshots;

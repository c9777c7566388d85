#include "demo/snapshots.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "effects/effects.h"
#include "error/memory.h"

ShowSnapshots showSnapshots;

DemoPoint* const ShowSnapshots::points[9] = {&patternA,    &patternB,  &branchPos, &tilePos,  &captionPos,
                                             &caption2Pos, &slide1Pos, &slide2Pos, &slide3Pos};
Pixmap* const ShowSnapshots::traded[3] = {&frameImage, &blurPic, &panoramaView};

ShowSnapshots::ShowSnapshots()
    : initialized(0), states(nullptr), frames(nullptr), frameBytes(0), blur{}, view{}, ahead{}, markTime(-1),
      reservedBytes(0), failure{}
{
}

ShowSnapshots::~ShowSnapshots() { Release(); }

void ShowSnapshots::Release()
{
    orchid::MemFree(states);
    orchid::MemFree(frames);
    orchid::MemFree(blur.pixels);
    orchid::MemFree(view.pixels);
    for (uint8_t*& pixels : ahead.pixels) orchid::MemFree(pixels);
    states = nullptr;
    frames = nullptr;
    blur = Copies{};
    view = Copies{};
    ahead = Ahead{};
    frameBytes = 0;
    markTime = -1;
    reservedBytes = 0;
    initialized = 0;
}

void ShowSnapshots::Free() { Release(); }

int ShowSnapshots::Reserve()
{
    Release();
    failure[0] = '\0';
    if (massFlowerCount > kFlowers || lightLineCount > kLights || frameImage.pixChar == nullptr) {
        std::snprintf(failure, sizeof failure, "the show's state does not fit them");
        return 0;
    }
    frameBytes = frameImage.numBytes;
    // Each block has the mark's place after the snapshots'.
    const int64_t stateBytes = static_cast<int64_t>(sizeof(State)) * (kCount + 1);
    blur = Copies{&blurPic, nullptr, blurPic.numBytes, 0};
    view = Copies{&panoramaView, nullptr, panoramaView.numBytes, 0};
    struct Block {
        void** target;
        int64_t bytes;
    } blocks[] = {
        {reinterpret_cast<void**>(&states), stateBytes},
        {reinterpret_cast<void**>(&frames), frameBytes * (kCount + 1)},
        {reinterpret_cast<void**>(&blur.pixels), blur.bytes * (kPictureCopies + 1)},
        {reinterpret_cast<void**>(&view.pixels), view.bytes * (kPictureCopies + 1)},
        {reinterpret_cast<void**>(&ahead.pixels[0]), frameBytes},
        {reinterpret_cast<void**>(&ahead.pixels[1]), blur.bytes},
        {reinterpret_cast<void**>(&ahead.pixels[2]), view.bytes},
    };
    int64_t needed = 0;
    for (const Block& block : blocks) needed += block.bytes;
    for (const Block& block : blocks) {
        if (block.bytes == 0) continue;
        *block.target = orchid::MemAlloc(static_cast<std::size_t>(block.bytes));
        if (*block.target == nullptr) {
            Release();
            std::snprintf(failure, sizeof failure, "out of memory: they take %lld MB",
                          static_cast<long long>((needed + (1 << 20) - 1) >> 20));
            return 0;
        }
        reservedBytes += block.bytes;
    }
    ahead.time = ahead.goal = ahead.cover = -1;
    initialized = 1;
    return 1;
}

void ShowSnapshots::Save(State& s)
{
    s.scene = scene;
    s.flashLevel = flashLevel;
    s.flashPhase = flashPhase;
    s.captionLevel = captionLevel;
    s.blurCount = blurCount;
    s.blurPending = blurPending;
    s.panoramaX = panoramaX;
    s.dropX = dropX;
    s.dropY = dropY;
    s.dropSpeed = dropSpeed;
    s.tileScrollY = tileScrollY;
    for (int i = 0; i < 9; ++i) s.points[i] = *points[i];
    for (int i = 0; i < massFlowerCount; ++i) {
        s.flowerX[i] = massFlower_x[i];
        s.flowerY[i] = massFlower_y[i];
        s.flowerSpeed[i] = massFlower_speed[i];
    }
    for (int i = 0; i < lightLineCount; ++i) s.lightX[i] = lightLine_x[i];
    s.random = demoRandomState;
    s.fadeA = crossFade.imageA;
    s.fadeB = crossFade.imageB;
    s.fadeLevel = crossFade.level;
    s.colour = effects.colour;
}

void ShowSnapshots::Load(const State& s)
{
    scene = s.scene;
    flashLevel = s.flashLevel;
    flashPhase = s.flashPhase;
    captionLevel = s.captionLevel;
    blurCount = s.blurCount;
    blurPending = s.blurPending;
    panoramaX = s.panoramaX;
    dropX = s.dropX;
    dropY = s.dropY;
    dropSpeed = s.dropSpeed;
    tileScrollY = s.tileScrollY;
    for (int i = 0; i < 9; ++i) *points[i] = s.points[i];
    for (int i = 0; i < massFlowerCount; ++i) {
        massFlower_x[i] = s.flowerX[i];
        massFlower_y[i] = s.flowerY[i];
        massFlower_speed[i] = s.flowerSpeed[i];
    }
    for (int i = 0; i < lightLineCount; ++i) lightLine_x[i] = s.lightX[i];
    demoRandomState = s.random;
    crossFade.imageA = s.fadeA;
    crossFade.imageB = s.fadeB;
    crossFade.level = s.fadeLevel;
    effects.colour = s.colour;
}

int32_t ShowSnapshots::Keep(Copies& copies)
{
    if (copies.pixels == nullptr || copies.picture->pixChar == nullptr) return -1;
    const auto size = static_cast<std::size_t>(copies.bytes);
    // The latest copy first: the picture changes rarely, and snapshots come
    // in the order of the show.
    for (int32_t i = copies.used - 1; i >= 0; --i)
        if (std::memcmp(copies.pixels + size * static_cast<std::size_t>(i), copies.picture->pixChar, size) == 0)
            return i;
    if (copies.used == kPictureCopies) return -1;
    std::memcpy(copies.pixels + size * static_cast<std::size_t>(copies.used), copies.picture->pixChar, size);
    return copies.used++;
}

void ShowSnapshots::Put(const Copies& copies, int32_t index)
{
    if (index < 0 || copies.pixels == nullptr || copies.picture->pixChar == nullptr) return;
    const auto size = static_cast<std::size_t>(copies.bytes);
    std::memcpy(copies.picture->pixChar, copies.pixels + size * static_cast<std::size_t>(index), size);
}

void ShowSnapshots::Take(int32_t time)
{
    if (!initialized || !At(time)) return;
    State& s = states[time / kInterval];
    if (s.held) return;
    const int32_t blurCopy = Keep(blur);
    const int32_t viewCopy = Keep(view);
    if ((blur.pixels != nullptr && blurCopy < 0) || (view.pixels != nullptr && viewCopy < 0)) return;

    Save(s);
    s.blurCopy = blurCopy;
    s.viewCopy = viewCopy;
    std::memcpy(frames + frameBytes * (time / kInterval), frameImage.pixChar, static_cast<std::size_t>(frameBytes));
    s.held = 1;
}

int32_t ShowSnapshots::Nearest(int32_t time) const
{
    if (!initialized || time < 0) return -1;
    int32_t index = time / kInterval;
    if (index >= kCount) index = kCount - 1;
    for (; index >= 0; --index)
        if (states[index].held) return index * kInterval;
    return -1;
}

void ShowSnapshots::Restore(int32_t time)
{
    if (!initialized || !At(time) || !states[time / kInterval].held) return;
    const State& s = states[time / kInterval];
    Load(s);
    effects.SetBuffer(&frameImage);
    Put(blur, s.blurCopy);
    Put(view, s.viewCopy);
    std::memcpy(frameImage.pixChar, frames + frameBytes * (time / kInterval), static_cast<std::size_t>(frameBytes));
    musicPosition = time;
}

void ShowSnapshots::Mark(int32_t time)
{
    if (!initialized || time < 0 || time > kShowEnd) return;
    SaveMark();
    markTime = time;
}

void ShowSnapshots::Unmark()
{
    if (!initialized) return;
    states[kCount].held = 0;
    markTime = -1;
}

void ShowSnapshots::SaveMark()
{
    State& s = states[kCount];
    Save(s);
    const auto copy = [](const Copies& copies) {
        if (copies.pixels == nullptr || copies.picture->pixChar == nullptr) return;
        const auto size = static_cast<std::size_t>(copies.bytes);
        std::memcpy(copies.pixels + size * kPictureCopies, copies.picture->pixChar, size);
    };
    copy(blur);
    copy(view);
    std::memcpy(frames + frameBytes * kCount, frameImage.pixChar, static_cast<std::size_t>(frameBytes));
    s.held = 1;
}

void ShowSnapshots::RestoreMark()
{
    const State& s = states[kCount];
    Load(s);
    effects.SetBuffer(&frameImage);
    Put(blur, kPictureCopies);
    Put(view, kPictureCopies);
    std::memcpy(frameImage.pixChar, frames + frameBytes * kCount, static_cast<std::size_t>(frameBytes));
    musicPosition = markTime;
}

void ShowSnapshots::Seek(int32_t target, int32_t current)
{
    if (target < 0) target = 0;
    if (target > kShowEnd) target = kShowEnd;
    int32_t from = Nearest(target);
    const bool fromMark = markTime >= 0 && markTime <= target && markTime > from;
    if (fromMark) from = markTime;
    if (current >= 0 && current <= target && current >= from) {
        from = current;
    } else if (from < 0) {
        return;
    } else if (fromMark) {
        RestoreMark();
    } else {
        Restore(from);
    }
    // The frames before the last one on the way drawn whole need not be
    // drawn, only what their draws do besides (they cannot be kept as
    // snapshots then).
    const int32_t cover = Cover(from, target);
    for (int32_t t = from; t < target; ++t) {
        musicPosition = t;
        DemoUpdate();
        musicPosition = t + 1;
        if (t + 1 < cover) {
            DemoDrawAside();
        } else {
            DemoDraw();
            Take(t + 1);
        }
    }
    musicPosition = target;
}

int32_t ShowSnapshots::Cover(int32_t from, int32_t to)
{
    int32_t cover = from;
    int32_t sceneThen = scene;
    for (int32_t t = from; t < to; ++t) {
        const int updated = SceneAt(t);
        if (updated >= 0) sceneThen = updated;
        if (DemoDrawCovers(sceneThen, t + 1)) cover = t + 1;
    }
    return cover;
}

int32_t ShowSnapshots::Frontier() const
{
    return Nearest(kShowEnd);
}

void ShowSnapshots::Trade()
{
    for (int i = 0; i < 3; ++i) {
        Pixmap& picture = *traded[i];
        if (picture.pixChar == nullptr || ahead.pixels[i] == nullptr) continue;
        std::swap(picture.pixChar, ahead.pixels[i]);
        picture.pixShort = reinterpret_cast<uint16_t*>(picture.pixChar);
        picture.pixInt = reinterpret_cast<uint32_t*>(picture.pixChar);
    }
}

int32_t ShowSnapshots::BuildAhead(int32_t steps)
{
    if (!initialized || steps <= 0) return 0;
    // The first snapshot not held past the ahead state; it is built from
    // the ahead state, or from the snapshot before it when play or a seek
    // has taken that one since.
    int32_t index = ahead.time < 0 ? 1 : ahead.time / kInterval + 1;
    while (index < kCount && states[index].held) ++index;
    if (index >= kCount) return 0;
    const int32_t goal = index * kInterval;
    const bool fromSnapshot = ahead.time < goal - kInterval;
    if (fromSnapshot && !states[index - 1].held) return 0;

    // The live state is set aside and put back whatever happens on the way.
    Save(ahead.live);
    const int32_t liveTime = musicPosition;
    Pixmap* const liveBuffer = effects.buffer;
    Trade();
    struct PutBack {
        ShowSnapshots& owner;
        int32_t time;
        Pixmap* buffer;
        ~PutBack()
        {
            owner.Save(owner.ahead.state);
            owner.Trade();
            owner.Load(owner.ahead.live);
            musicPosition = time;
            effects.buffer = buffer;
        }
    } putBack{*this, liveTime, liveBuffer};

    if (fromSnapshot) {
        Restore(goal - kInterval);
        ahead.time = goal - kInterval;
    } else {
        Load(ahead.state);
        effects.SetBuffer(&frameImage);
    }
    if (fromSnapshot || ahead.goal != goal) {
        ahead.cover = Cover(ahead.time, goal);
        ahead.goal = goal;
    }
    int32_t stepped = 0;
    for (; stepped < steps && ahead.time < goal; ++stepped) {
        const int32_t t = ahead.time;
        musicPosition = t;
        DemoUpdate();
        musicPosition = t + 1;
        if (t + 1 < ahead.cover)
            DemoDrawAside();
        else
            DemoDraw();
        ahead.time = t + 1;
    }
    if (ahead.time == goal) Take(goal);
    return stepped;
}

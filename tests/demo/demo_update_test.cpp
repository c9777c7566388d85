// DemoUpdate and the state DemoInitState lays out, stepped one hundredth at
// a time as the show does, without pictures.
#include <gtest/gtest.h>

#include <vector>

#include "demo/demo.h"
#include "error/error_log.h"
#include "error/memory.h"
#include "tests/support/demo.h"
#include "tests/support/log.h"

using test_support::FreshLog;

namespace {

// The end-of-show hook, counted.
int quitRequests = 0;
void CountQuitRequest() { ++quitRequests; }

// Every value the update steps, and the pictures the cross-fade is between.
struct State {
    int scene, flashLevel, flashPhase, captionLevel, blurCount, blurPending;
    double panoramaX, dropX, dropY, dropSpeed, tileScrollY;
    uint32_t random;
    Pixmap* fadeA;
    Pixmap* fadeB;
    int fadeLevel;
    std::vector<double> points, flowers, bars;

    bool operator==(const State&) const = default;
};

State Snapshot()
{
    State s{scene, flashLevel, flashPhase, captionLevel, blurCount, blurPending, panoramaX, dropX, dropY, dropSpeed,
            tileScrollY, demoRandomState, crossFade.imageA, crossFade.imageB, crossFade.level, {}, {}, {}};
    for (const DemoPoint* p : {&patternA, &patternB, &branchPos, &tilePos, &captionPos, &caption2Pos, &slide1Pos,
                               &slide2Pos, &slide3Pos})
        s.points.insert(s.points.end(), {p->x, p->y});
    for (int i = 0; i < massFlowerCount; ++i)
        s.flowers.insert(s.flowers.end(), {massFlower_x[i], massFlower_y[i], massFlower_speed[i]});
    s.bars.assign(lightLine_x, lightLine_x + lightLineCount);
    return s;
}

// The scene windows begin one hundredth after these times.
constexpr int kSceneEdges[] = {100, 3800, 6300, 13800, 16100, 19500};

class DemoUpdateTest : public test_support::LogTest {
protected:
    void SetUp() override
    {
        LogTest::SetUp();
        ASSERT_EQ(frameImage.Create(640, 480, 32), 1);
        test_support::FreshDemo();
        ASSERT_EQ(DemoInitState(), 1);
        quitRequests = 0;
        SetDemoHooks(DemoHooks{CountQuitRequest});
        musicPosition = 0;
    }
    void TearDown() override
    {
        DemoFree();  // records the pictures that were never loaded; harmless here
        frameImage.Free();
        LogTest::TearDown();
    }

    // One update at t, then what the render does with a pending blur.
    static void Step(int t)
    {
        musicPosition = t;
        DemoUpdate();
        blurPending = 0;
    }
    // Every hundredth from `from` to `to`, as a headless run steps.
    static void Run(int from, int to)
    {
        for (int t = from; t <= to; ++t) Step(t);
    }
};

TEST_F(DemoUpdateTest, FlowerLayoutIsTheSameOnEveryRunAndStartsAboveTheScreen)
{
    State first = Snapshot();
    DemoFree();
    demoRandomState = 1;
    ASSERT_EQ(DemoInitState(), 1);
    EXPECT_TRUE(Snapshot() == first);

    Pixmap* const pics[6] = {&flowerPic1, &flowerPic2, &flowerPic3, &flowerPic4, &flowerPic5, &flowerPic6};
    int used[6] = {};
    for (int i = 0; i < 50; ++i) {
        EXPECT_GE(massFlower_y[i], -800);
        EXPECT_LE(massFlower_y[i], -301);
        int k = 0;
        while (k < 6 && pics[k] != massFlower_pic[i]) ++k;
        ASSERT_LT(k, 6);
        ++used[k];
    }
    for (int k = 0; k < 6; ++k) EXPECT_GT(used[k], 0) << "flower picture " << k << " never chosen";

    // The generator itself: state x 214013 + 2531011, bits 16..30.
    demoRandomState = 1;
    EXPECT_EQ(DemoRandom(), 41);
    EXPECT_EQ(DemoRandom(), 18467);
    EXPECT_EQ(DemoRandom(), 6334);
    // The first flower drew the first four numbers.
    EXPECT_EQ(first.flowers[0], 41 % 640);
    EXPECT_EQ(first.flowers[1], (18467 % 500) - 800);
    EXPECT_DOUBLE_EQ(first.flowers[2], (6334 % 10) * 0.1 + 3.5);
}

TEST_F(DemoUpdateTest, WindowEdgesAndTimesBeforeTheStartChangeNothing)
{
    int t = 1;
    for (int edge : kSceneEdges) {
        Run(t, edge - 1);
        State before = Snapshot();
        Step(edge);
        EXPECT_TRUE(Snapshot() == before) << "t = " << edge;
        t = edge + 1;
    }
    for (int early : {0, -1, -1000}) {
        State before = Snapshot();
        Step(early);
        EXPECT_TRUE(Snapshot() == before) << "t = " << early;
    }
    EXPECT_EQ(quitRequests, 0);
}

TEST_F(DemoUpdateTest, ScenesFollowTheTimelineLevelsStayInRangeAndTheShowEndsOnce)
{
    int blurRequests = 0;
    for (int t = 1; t <= 21460; ++t) {
        int countBefore = blurCount;
        bool pendingBefore = blurPending != 0;
        musicPosition = t;
        DemoUpdate();
        int expectedScene = 0;
        for (int edge : kSceneEdges) expectedScene += t > edge;
        ASSERT_EQ(scene, expectedScene) << "t = " << t;
        ASSERT_GE(flashLevel, 0) << t;
        ASSERT_LE(flashLevel, 255) << t;
        ASSERT_GE(captionLevel, 0) << t;
        ASSERT_LE(captionLevel, 255) << t;
        ASSERT_LE(blurCount, 5) << t;
        ASSERT_LE(panoramaX, 1216.0) << t;
        ASSERT_GE(crossFade.level, 0);
        ASSERT_LE(crossFade.level, 255);
        if (blurCount != countBefore) {
            ++blurRequests;
            ASSERT_FALSE(pendingBefore) << "blur requested before the last one was drawn, t = " << t;
        }
        // The render is slow to consume a pending blur here, so some of the
        // nine chances (t mod 128 = 2 after 52 s) pass while one is pending.
        if (t % 300 == 0) blurPending = 0;
    }
    EXPECT_EQ(blurRequests, 4);
    EXPECT_EQ(panoramaX, 1216.0);
    EXPECT_EQ(quitRequests, 0);
    // The slides stop where the render expects them.
    EXPECT_EQ(slide1Pos.y, 195);
    EXPECT_EQ(slide2Pos.y, 195);

    // Past 214.60 s the scene 6 window still runs, then the end is asked for.
    int level = crossFade.level;
    crossFade.level = 100;
    Step(21461);
    EXPECT_EQ(crossFade.level, 101);
    EXPECT_EQ(scene, 6);
    EXPECT_EQ(quitRequests, 1);

    // Without the hook the request is dropped and the closing scene goes on.
    SetDemoHooks(DemoHooks{});
    Step(21463);
    EXPECT_EQ(crossFade.level, 102);
    EXPECT_EQ(scene, 6);
    EXPECT_EQ(quitRequests, 1);
    crossFade.level = level;
}

TEST_F(DemoUpdateTest, OddTimeStepsCarryTheFadesAndTheFlash)
{
    // Opening: the bars take the values of the last call before 100.
    Run(1, 99);
    EXPECT_EQ(flashLevel, 254);
    EXPECT_EQ(flashPhase, 1);
    // The start's white fades by one every fourth hundredth: gone by 27 s.
    Run(101, 2699);
    EXPECT_EQ(flashLevel, 0);
    // The flash: up by 4 to full white, then down by 3.
    Step(2700);
    EXPECT_EQ(flashLevel, 4);
    Run(2701, 2763);
    EXPECT_EQ(flashLevel, 255);
    EXPECT_EQ(flashPhase, 2);
    Step(2764);
    EXPECT_EQ(flashLevel, 252);

    // The final fade to black reaches full weight on the black picture only
    // when every hundredth is stepped (it moves on odd times).
    Run(2765, 19599);
    EXPECT_EQ(crossFade.imageA, &panoramaView);
    EXPECT_EQ(crossFade.imageB, &closingPic);
    EXPECT_EQ(crossFade.level, 0);
    Run(19600, 20910);
    EXPECT_EQ(crossFade.level, 255);
}

TEST_F(DemoUpdateTest, EvenTimeStepsAloneWouldNeverFade)
{
    // What a clock stepping two hundredths per frame would do.
    for (int t = 2; t <= 21460; t += 2) Step(t);
    EXPECT_EQ(crossFade.imageA, &panoramaView);
    EXPECT_EQ(crossFade.level, 0);
}

TEST_F(DemoUpdateTest, Scene3RespawnsEveryFlowerInRandomOrderEachCall)
{
    Run(1, 13249);
    uint32_t state = demoRandomState;
    auto next = [&]() {
        state = state * 214013u + 2531011u;
        return static_cast<int>((state >> 16) & 0x7FFF);
    };
    std::vector<double> x(50), y(50), speed(50);
    for (int i = 0; i < 50; ++i) {
        x[i] = next() % 640 + 640;
        y[i] = next() % 500 - 800;
        speed[i] = (next() % 10) * 0.1 + 3.5;
        // Then the diagonal fall of the same call (t > 12400).
        x[i] -= speed[i];
        y[i] += speed[i];
    }
    Step(13250);
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(massFlower_x[i], x[i]) << i;
        EXPECT_EQ(massFlower_y[i], y[i]) << i;
        EXPECT_EQ(massFlower_speed[i], speed[i]) << i;
    }
    EXPECT_EQ(demoRandomState, state);
}

// Each array of the show failing in turn: the report names the variable,
// its line and its size; DemoFree then records each array that is missing,
// once and in order, and still releases the ones that were made.
TEST_F(DemoUpdateTest, ArrayAllocationFailuresAreReportedAndFreeRecordsEachMissingArray)
{
    struct Array {
        const char* variable;
        int size;
        int line;
    };
    const Array arrays[] = {
        {"double *massFlower_x", 400, 193},     {"double *massFlower_y", 400, 201},
        {"double *massFlower_speed", 400, 209}, {"Pixmap **massFlower_pic", 200, 217},
        {"double *lightLine_x", 80, 265},
    };
    for (int k = 0; k < 5; ++k) {
        DemoFree();
        FreshLog();
        orchid::alloc_test::FailAt(k + 1);
        EXPECT_THROW(DemoInitState(), ErrorException) << arrays[k].variable;
        orchid::alloc_test::FailAt(0);
        EXPECT_EQ(std::string(errorLog.Report()),
                  "Out of memory error:\nVariable: " + std::string(arrays[k].variable) + "\nSize: " +
                      std::to_string(arrays[k].size) + " bytes\nFilename: demo\nLine: " +
                      std::to_string(arrays[k].line) + "\n\n");

        FreshLog();
        DemoFree();
        const std::string report = errorLog.Report();
        std::size_t last = 0;
        for (int j = 0; j < 5; ++j) {
            const std::string entry = "Misc. error:\n " + std::string(arrays[j].variable) + " was null.\n";
            std::size_t at = report.find(entry);
            if (j < k) {
                EXPECT_EQ(at, std::string::npos) << report;
            } else {
                ASSERT_NE(at, std::string::npos) << entry << report;
                EXPECT_EQ(report.find(entry, at + 1), std::string::npos) << entry;
                EXPECT_GE(at, last) << entry;
                const std::string file = "Filename: demo\n";
                EXPECT_EQ(report.compare(report.find("Filename: ", at), file.size(), file), 0) << entry;
                last = at;
            }
        }
        EXPECT_EQ(massFlower_x, nullptr);
        EXPECT_EQ(massFlower_y, nullptr);
        EXPECT_EQ(massFlower_speed, nullptr);
        EXPECT_EQ(massFlower_pic, nullptr);
        EXPECT_EQ(lightLine_x, nullptr);
    }
    // TearDown frees once more: arrays the show has again.
    FreshLog();
    demoRandomState = 1;
    ASSERT_EQ(DemoInitState(), 1);
}

}  // namespace

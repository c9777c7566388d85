// The frames digest of the whole show, held to golden values. The show runs
// headless on the virtual clock exactly as `orchid --benchmark` runs it, and
// the benchmark's own sink takes the digest; the whole-show value in the
// table is the line the benchmark prints. When the frames differ, the
// failure names the first hundredth that differs, found through finer
// golden tables: a digest of each scene, of each second of show time, and a
// short tag of each hundredth. The sanitizer build, many times slower,
// renders the first seconds only and holds them to the golden seconds.
//
// After a change that is meant to move pixels, write the table anew and
// commit it:
//     ORCHID_WRITE_DIGESTS=1 build/tests/capture/show_digest_test
// rewrites tests/capture/show_digests.txt in the source tree from the scalar
// level, then holds the other levels to it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "capture/benchmark_sink.h"
#include "capture/frame_digest.h"
#include "demo/demo.h"
#include "demo/timeline.h"
#include "error/error_log.h"
#include "main/app_state.h"
#include "main/dialog.h"
#include "main/shell.h"
#include "platform/clock.h"
#include "platform/headless/headless_backend.h"
#include "simd/simd.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/simd_levels.h"
#include "tests/support/show.h"

namespace {

#ifdef ORCHID_SANITIZE
constexpr long kHundredths = 1299;  // seconds 0 to 12
#else
constexpr long kHundredths = 0;  // the whole show
#endif

// What the table holds of one run: the frames digest, and the hash of each
// hundredth's frame (index n - 1 for hundredth n, the n-th present) with the
// scene it was rendered in.
struct ShowDigests {
    uint64_t digest = 0;
    std::vector<uint64_t> hashes;
    std::vector<int> scenes;
};

// The frame the show rendered, as the program hands it to the digest.
platform::FrameView FrameImage()
{
    return platform::FrameView{frameImage.pixChar, frameImage.width, frameImage.height, frameImage.pitch, 32,
                               platform::PixelLayout::XRGB8888};
}

int SceneLabel() { return scene; }

// The benchmark's sink, and beside it each hundredth's own hash. Given a
// number of hundredths, it ends the run after them as Escape would.
class DigestSink final : public platform::FrameSink {
public:
    DigestSink(ShowDigests* show, long hundredths)
        : benchmark(SceneLabel, FrameImage), result(show), last(hundredths)
    {
        benchmark.out = std::fopen("/dev/null", "w");
    }
    ~DigestSink() override
    {
        if (benchmark.out != nullptr) std::fclose(benchmark.out);
    }
    void Frame(const platform::FrameView& frame) override
    {
        benchmark.Frame(frame);
        result->hashes.push_back(capture::HashFrame(FrameImage()));
        result->scenes.push_back(scene);
        if (static_cast<long>(result->hashes.size()) == last)
            platform::PostMessage(mainWindow, platform::WM_KEYDOWN, platform::VK_ESCAPE, 0);
    }
    void Close() override
    {
        benchmark.Close();
        result->digest = benchmark.digest.Value();
    }

private:
    capture::BenchmarkSink benchmark;
    ShowDigests* result;
    long last;
};

// The show as `orchid --benchmark` renders it, from the state a fresh
// process starts in: the first `hundredths` of it, or all of it for 0.
ShowDigests RenderShow(long hundredths)
{
    test_support::FreshShow();

    // The program reads the music from its working directory: a scratch
    // folder of its own with a copy of the music.
    namespace fs = std::filesystem;
    const fs::path previous = fs::current_path();
    const test_support::ScratchFolder scratch("digest");
    const fs::path dir = scratch.Path();
    fs::copy_file(ORCHID_MUSIC, dir / kMusicFile);
    fs::current_path(dir);

    ShowDigests show;
    show.hashes.reserve(kShowEnd + 1);
    show.scenes.reserve(kShowEnd + 1);
    {
        DigestSink sink(&show, hundredths);
        platform::VirtualClock clock;
        platform::SetActiveClock(&clock);
        platform::headless::Options options;
        options.dialogCommand = IDC_BUTTON_32BPP;
        options.sink = &sink;
        platform::headless::Install(options);
        EXPECT_EQ(WinMain(nullptr, nullptr, "", platform::SW_SHOWNORMAL), 0);
        EXPECT_EQ(errorLog.count, 0);
        platform::headless::Uninstall();
        platform::SetActiveClock(nullptr);
    }

    fs::current_path(previous);
    return show;
}

// ---- the golden table ------------------------------------------------------
//
//   show <hundredths> <digest>
//   scene <scene> <first hundredth> <hundredths> <digest>
//   second <second> <digest> <tags>
//
// Scene and second digests are XXH3-64 over the hashes of their hundredths
// (8 bytes each, least significant first). Second s holds hundredths
// 100 s .. 100 s + 99 (second 0 starts at hundredth 1); its tags are two
// characters per hundredth, the top 12 bits of its hash in base64.

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

std::string Hex(uint64_t value)
{
    char text[17];
    capture::FormatDigest(value, text);
    return text;
}

std::string Tag(uint64_t hash) { return {kBase64[hash >> 58], kBase64[(hash >> 52) & 63]}; }

uint64_t DigestOfHashes(const std::vector<uint64_t>& hashes, std::size_t first, std::size_t count)
{
    std::vector<uint8_t> bytes;
    for (std::size_t i = first; i < first + count; ++i)
        for (int k = 0; k < 8; ++k) bytes.push_back(static_cast<uint8_t>(hashes[i] >> (8 * k)));
    return XXH3_64bits(bytes.data(), bytes.size());
}

struct SceneRow {
    int scene;
    long first;
    long count;
    std::string digest;
};
struct SecondRow {
    long second;
    std::string digest;
    std::string tags;
};
struct Table {
    long hundredths = 0;
    std::string digest;
    std::vector<SceneRow> scenes;
    std::vector<SecondRow> seconds;
};

// Hundredths first .. first + count - 1 of each second.
void SecondSpan(long second, long hundredths, long* first, long* count)
{
    *first = second == 0 ? 1 : second * 100;
    long last = second * 100 + 99 < hundredths ? second * 100 + 99 : hundredths;
    *count = last - *first + 1;
}

Table TableOf(const ShowDigests& show)
{
    Table t;
    t.hundredths = static_cast<long>(show.hashes.size());
    t.digest = Hex(show.digest);
    // Scenes in the order they begin; a scene's hundredths need not be
    // consecutive.
    for (long n = 1; n <= t.hundredths; ++n) {
        int s = show.scenes[n - 1];
        bool known = false;
        for (const SceneRow& row : t.scenes) known = known || row.scene == s;
        if (known) continue;
        std::vector<uint64_t> own;
        for (long m = n; m <= t.hundredths; ++m)
            if (show.scenes[m - 1] == s) own.push_back(show.hashes[m - 1]);
        t.scenes.push_back(SceneRow{s, n, static_cast<long>(own.size()), Hex(DigestOfHashes(own, 0, own.size()))});
    }
    for (long second = 0; second * 100 <= t.hundredths; ++second) {
        long first = 0, count = 0;
        SecondSpan(second, t.hundredths, &first, &count);
        SecondRow row{second, Hex(DigestOfHashes(show.hashes, first - 1, count)), ""};
        for (long n = first; n < first + count; ++n) row.tags += Tag(show.hashes[n - 1]);
        t.seconds.push_back(row);
    }
    return t;
}

std::string Text(const Table& t)
{
    std::ostringstream out;
    out << "show " << t.hundredths << " " << t.digest << "\n";
    for (const SceneRow& s : t.scenes)
        out << "scene " << s.scene << " " << s.first << " " << s.count << " " << s.digest << "\n";
    for (const SecondRow& s : t.seconds) out << "second " << s.second << " " << s.digest << " " << s.tags << "\n";
    return out.str();
}

bool Parse(const std::string& text, Table* t)
{
    std::istringstream in(text);
    std::string kind;
    while (in >> kind) {
        if (kind == "show") {
            in >> t->hundredths >> t->digest;
        } else if (kind == "scene") {
            SceneRow row;
            in >> row.scene >> row.first >> row.count >> row.digest;
            t->scenes.push_back(row);
        } else if (kind == "second") {
            SecondRow row;
            in >> row.second >> row.digest >> row.tags;
            t->seconds.push_back(row);
        } else {
            return false;
        }
        if (!in) return false;
    }
    return !t->digest.empty();
}

std::string Time(long hundredth)
{
    char text[32];
    std::snprintf(text, sizeof text, "%ld.%02ld s", hundredth / 100, hundredth % 100);
    return text;
}

// Empty when the run matches the golden table (a run of the first seconds
// only: the golden seconds); otherwise what differs, down to the first
// hundredth whose frame is not the golden one.
std::string Difference(const Table& golden, const Table& run, const ShowDigests& show, bool whole)
{
    std::ostringstream out;
    if (whole) {
        if (run.digest == golden.digest && run.hundredths == golden.hundredths) return "";
        out << "frames digest " << run.digest << " over " << run.hundredths << " hundredths; golden: "
            << golden.digest << " over " << golden.hundredths << "\n";
        for (const SceneRow& g : golden.scenes) {
            const SceneRow* r = nullptr;
            for (const SceneRow& row : run.scenes) r = row.scene == g.scene ? &row : r;
            if (r == nullptr) {
                out << "scene " << g.scene << " was not rendered\n";
            } else if (r->digest != g.digest || r->first != g.first || r->count != g.count) {
                out << "scene " << g.scene << " differs (hundredths " << r->first << " +" << r->count
                    << "; golden " << g.first << " +" << g.count << ")\n";
            }
        }
    }
    for (std::size_t i = 0; i < golden.seconds.size() && i < run.seconds.size(); ++i) {
        const SecondRow& g = golden.seconds[i];
        const SecondRow& r = run.seconds[i];
        if (g.digest == r.digest) continue;
        long first = 0, count = 0;
        SecondSpan(r.second, run.hundredths, &first, &count);
        for (long k = 0; 2 * k + 1 < static_cast<long>(g.tags.size()) && k < count; ++k) {
            if (g.tags.compare(2 * k, 2, r.tags, 2 * k, 2) == 0) continue;
            long n = first + k;
            out << "first differing hundredth: " << n << " (show time " << Time(n) << ", scene "
                << show.scenes[n - 1] << ")\n";
            return out.str();
        }
        out << "first differing second: " << r.second << " (every hundredth's tag matches: two frames'"
            << " tags collide, or the second's length changed)\n";
        return out.str();
    }
    if (whole && run.hundredths != golden.hundredths) {
        long n = (run.hundredths < golden.hundredths ? run.hundredths : golden.hundredths) + 1;
        out << "first differing hundredth: " << n << " (the show ends at a different time)\n";
    }
    return out.str();
}

std::string ReadFile(const char* path)
{
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Renders the show at the SIMD level in use and holds it to the table.
void ExpectGoldenFrames(const Table& golden)
{
    const ShowDigests show = RenderShow(kHundredths);
    ASSERT_FALSE(show.hashes.empty());
    if (kHundredths != 0) {
        ASSERT_EQ(static_cast<long>(show.hashes.size()), kHundredths);
    }
    const Table run = TableOf(show);
    const std::string difference = Difference(golden, run, show, kHundredths == 0);
    EXPECT_TRUE(difference.empty()) << "The show's frames are not the golden ones.\n"
                                    << difference << "If the change is meant, write the table anew with "
                                    << "ORCHID_WRITE_DIGESTS=1 (see show_digest_test.cpp).";
}

// The same golden frames at every SIMD level the CPU has. The table is
// written from the scalar level, the reference; the levels after it are
// then held to what it wrote.
class ShowDigestAt : public test_support::LevelTest {
protected:
    void TearDown() override { simd::SetActive(before); }
    const simd::Level before = simd::Active();
};
INSTANTIATE_TEST_SUITE_P(Simd, ShowDigestAt, test_support::AllLevels(), test_support::LevelName);

TEST_P(ShowDigestAt, EveryHundredthIsTheGoldenFrame)
{
    simd::SetActive(GetParam());
    if (std::getenv("ORCHID_WRITE_DIGESTS") != nullptr && GetParam() == simd::Level::Scalar) {
        const std::string text = Text(TableOf(RenderShow(0)));
        std::ofstream file(ORCHID_DIGESTS);
        file << text;
        file.close();
        ASSERT_TRUE(file.good()) << "could not write " << ORCHID_DIGESTS;
        GTEST_SKIP() << "wrote " << ORCHID_DIGESTS << ":\n" << text.substr(0, text.find("second "));
    }
    Table golden;
    ASSERT_TRUE(Parse(ReadFile(ORCHID_DIGESTS), &golden)) << "no golden table in " << ORCHID_DIGESTS;
    ExpectGoldenFrames(golden);
}

// The scene table against the golden run: each scene is first drawn at its
// first hundredth (the golden table counts presents from 1, the frame of
// hundredth 0 first), and every hundredth from there up to the next scene's
// first is drawn as it.
TEST(SceneTable, EachSceneIsDrawnFromItsFirstHundredthToTheNextScenes)
{
    Table golden;
    ASSERT_TRUE(Parse(ReadFile(ORCHID_DIGESTS), &golden)) << "no golden table in " << ORCHID_DIGESTS;
    ASSERT_EQ(golden.scenes.size(), static_cast<std::size_t>(timeline::kSceneCount));
    for (int k = 0; k < timeline::kSceneCount; ++k) {
        const timeline::Scene& s = timeline::kScenes[k];
        const long end = k + 1 < timeline::kSceneCount ? timeline::kScenes[k + 1].first : golden.hundredths;
        EXPECT_EQ(golden.scenes[k].scene, k) << s.name;
        EXPECT_EQ(golden.scenes[k].first, s.first + 1) << s.name;
        EXPECT_EQ(golden.scenes[k].count, end - s.first) << s.name;
    }
}

}  // namespace

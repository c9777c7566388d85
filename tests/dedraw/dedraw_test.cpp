#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "dedraw/convert.h"
#include "dedraw/dedraw.h"
#include "error/error_log.h"
#include "platform/fake/fake_backend.h"
#include "tests/support/log.h"

using namespace platform;

namespace {

LRESULT TestProc(HWND w, uint32_t m, WPARAM wp, LPARAM lp) { return DefWindowProc(w, m, wp, lp); }

class DeDrawTest : public test_support::LogTest {
protected:
    void SetUp() override
    {
        LogTest::SetUp();
        fake.Install();
        WNDCLASS wc = {};
        wc.lpfnWndProc = TestProc;
        wc.lpszClassName = "test";
        RegisterClass(&wc);
        window = CreateWindowEx(0, "test", "Orchid", WS_POPUP, 192, 144, 640, 480, nullptr, nullptr, nullptr,
                                nullptr);
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override
    {
        d.Release();
        image.Free();
        LogTest::TearDown();
    }

    static std::string Entry(const char* header, const char* message)
    {
        return std::string(header) + " " + message + "Filename: dedraw/dedraw\nLine: ";
    }
    static bool ReportStartsWith(const std::string& prefix)
    {
        return std::string(errorLog.Report()).compare(0, prefix.size(), prefix) == 0;
    }

    void MakeImage(int w, int h, int bpp, uint32_t fill)
    {
        ASSERT_EQ(image.Create(w, h, bpp), 1);
        for (int i = 0; i < w * h; ++i) {
            if (bpp == 32) image.pixInt[i] = fill;
            if (bpp == 16) image.pixShort[i] = static_cast<uint16_t>(fill);
        }
    }

    // Fills a surface with 0x5A so that bytes left untouched show; returns
    // its pitch.
    static int Paint(DisplaySurface* surface, int rows)
    {
        DDSURFACEDESC2 desc = {};
        desc.dwSize = sizeof desc;
        if (surface->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr) != DD_OK) return -1;
        std::memset(desc.lpSurface, 0x5A, static_cast<size_t>(desc.lPitch) * static_cast<size_t>(rows));
        surface->Unlock(nullptr);
        return desc.lPitch;
    }

    fake::FakePlatform fake;
    HWND window = nullptr;
    DeDrawClass d;
    Pixmap image;
};

TEST_F(DeDrawTest, FullscreenSetUpLearnsFormatAndFreeRestoresDesktop)
{
    ASSERT_EQ(d.Init(640, 480, 16, 0, window), 1);
    EXPECT_EQ(d.bpp, 16);
    EXPECT_EQ(d.pixelFormat, PIXEL_FORMAT_565);
    EXPECT_NE(d.pDDSBack, nullptr);
    EXPECT_TRUE(fake.fullscreen);
    d.Free();
    EXPECT_EQ(d.initialized, 0);
    EXPECT_FALSE(fake.fullscreen);
    EXPECT_EQ(fake.modeRestores, 1);
    EXPECT_EQ(fake.devicesReleased, 1);
    EXPECT_EQ(d.pDD, nullptr);
    EXPECT_EQ(errorLog.count, 0);
}

TEST_F(DeDrawTest, OddSixteenBitMasksDrawNothing)
{
    fake.masks16[0] = 0x001F;
    fake.masks16[2] = 0xF800;
    ASSERT_EQ(d.Init(640, 480, 16, 0, window), 1);
    EXPECT_EQ(d.pixelFormat, 0);
    // Nothing is drawn and nothing reported; the frame is still flipped.
    MakeImage(640, 480, 32, 0x00FFFFFF);
    int flips = fake.framesShown;
    EXPECT_EQ(d.Present(&image), 1);
    EXPECT_EQ(fake.framesShown, flips + 1);
    for (int i = 0; i < 640 * 480; ++i) ASSERT_EQ(reinterpret_cast<const uint16_t*>(fake.lastFrame.pixels)[i], 0);
    EXPECT_EQ(errorLog.count, 0);
}

TEST_F(DeDrawTest, WindowedTakesTheDesktopDepth)
{
    ASSERT_EQ(d.Init(640, 480, 0, 1, window), 1);
    EXPECT_EQ(d.bpp, 32);
    EXPECT_EQ(d.pDDSBack, nullptr);
    EXPECT_FALSE(fake.fullscreen);
    d.Free();
    EXPECT_EQ(fake.modeRestores, 0);
}

TEST_F(DeDrawTest, SetUpFailuresReportAndReleaseWhatWasMade)
{
    struct Row {
        DisplayCall call;
        int windowed;
        const char* message;
    };
    const Row rows[] = {
        {DisplayCall::Create, 0, "DirectDrawCreateEx failed.\n"},
        {DisplayCall::CooperativeLevel, 0, "pDD->SetCooperativeLevel failed.\n"},
        {DisplayCall::CreateSurface, 0, "pDD->CreateSurface failed.\n"},
        {DisplayCall::AttachedSurface, 0, "pDDSPrimary->GetAttachedSurface failed.\n"},
        {DisplayCall::Create, 1, "DirectDrawCreateEx failed.\n"},
        {DisplayCall::CooperativeLevel, 1, "pDD->SetCooperativeLevel failed.\n"},
        {DisplayCall::CreateSurface, 1, "pDD->CreateSurface failed.\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.message);
        test_support::FreshLog();
        fake.ClearDisplayFailures();
        fake.FailDisplay(row.call, DDERR_GENERIC);
        int released = fake.devicesReleased;
        DeDrawClass failing;
        EXPECT_THROW(failing.Init(640, 480, 32, row.windowed, window), ErrorException);
        EXPECT_TRUE(ReportStartsWith(Entry("DirectDraw error:\n", row.message)));
        EXPECT_EQ(failing.initialized, 0);
        EXPECT_EQ(failing.pDD, nullptr);
        EXPECT_FALSE(fake.fullscreen);
        if (row.call != DisplayCall::Create) {
            EXPECT_EQ(fake.devicesReleased, released + 1);
        }
        // The shutdown's release then adds its own entry behind.
        failing.Free();
        EXPECT_EQ(errorLog.count, 2);
        EXPECT_NE(std::string(errorLog.Report()).find(Entry("DeDraw system error:\n", "Not initialized.\n")),
                  std::string::npos);
    }
}

TEST_F(DeDrawTest, RefusedModeIsFatalAloneInTheReport)
{
    fake.refuseMode = true;
    EXPECT_THROW(d.Init(640, 480, 24, 0, window), ErrorException);
    EXPECT_STREQ(errorLog.Report(), "Could not change display mode.\n");
    EXPECT_EQ(errorLog.count, 1);
    EXPECT_FALSE(fake.fullscreen);
    d.Free();  // locked: nothing more is recorded
    EXPECT_STREQ(errorLog.Report(), "Could not change display mode.\n");
}

TEST_F(DeDrawTest, EightBitSurfaces)
{
    fake.fullscreenBpp = 8;
    EXPECT_THROW(d.Init(640, 480, 32, 0, window), ErrorException);
    EXPECT_TRUE(ReportStartsWith(Entry("DeDraw system error:\n", "8 bpp mode not supported.\n")));
    EXPECT_FALSE(fake.fullscreen);

    test_support::FreshLog();
    fake.desktopBpp = 8;
    DeDrawClass windowedOne;
    EXPECT_THROW(windowedOne.Init(640, 480, 0, 1, window), ErrorException);
    EXPECT_STREQ(errorLog.Report(), "8 bpp mode not supported.\n");
}

TEST_F(DeDrawTest, MisuseReports)
{
    EXPECT_THROW(d.Present(&image), ErrorException);
    EXPECT_TRUE(ReportStartsWith(Entry("DeDraw system error:\n", "Not initialized.\n")));
    EXPECT_THROW(d.Flip(), ErrorException);
    EXPECT_THROW(d.Restore(), ErrorException);
    EXPECT_THROW(d.Init(640, 480, 32, 2, window), ErrorException);
    EXPECT_NE(std::string(errorLog.Report()).find("'int windowed_mode' must contain TRUE or FALSE.\n"),
              std::string::npos);

    ASSERT_EQ(d.Init(640, 480, 32, 0, window), 1);
    DisplaySurface* primary = d.pDDSPrimary;
    EXPECT_THROW(d.Init(640, 480, 16, 1, window), ErrorException);
    EXPECT_NE(std::string(errorLog.Report()).find("DeDrawClass already initialized.\n"), std::string::npos);
    EXPECT_EQ(d.pDDSPrimary, primary);
    EXPECT_EQ(d.bpp, 32);
    EXPECT_EQ(d.windowed_mode, 0);
}

TEST_F(DeDrawTest, ReleaseEntriesWhenPiecesAreMissing)
{
    ASSERT_EQ(d.Init(640, 480, 32, 0, window), 1);
    d.pDDSPrimary = nullptr;  // the surface goes with its device
    d.Free();
    EXPECT_TRUE(ReportStartsWith(Entry("DirectDraw error:\n", "Primary Surface was null.\n")));
    EXPECT_EQ(d.pDD, nullptr);
    EXPECT_EQ(fake.modeRestores, 1);

    ASSERT_EQ(d.Init(640, 480, 0, 1, window), 1);
    DisplayDevice* device = d.pDD;
    d.pDD = nullptr;
    d.Free();
    EXPECT_NE(std::string(errorLog.Report()).find("DirectDraw7 object was null.\n"), std::string::npos);
    device->Release();

    test_support::FreshLog();
    ASSERT_EQ(d.Init(640, 480, 0, 1, window), 1);
    d.pDDSPrimary = nullptr;
    int released = fake.surfacesReleased;
    d.Free();
    EXPECT_TRUE(ReportStartsWith(Entry("DirectDraw error:\n", "Primary Surface was null.\n")));
    EXPECT_EQ(d.pDD, nullptr);
    EXPECT_EQ(fake.surfacesReleased, released + 1);  // went with its device
}

// Every pixel lands in its place, converted to the surface's format, whether
// the surface's rows are packed (one copy of the whole image) or padded (row
// by row), and padding stays untouched.
TEST_F(DeDrawTest, FullscreenPacksOrPadsEveryRowInTheSurfaceFormat)
{
    struct Surface {
        int bpp, padding;
        uint32_t red, green;  // 16-bit masks
    };
    for (const Surface& s : {Surface{32, 0, 0, 0}, Surface{32, 512, 0, 0}, Surface{16, 768, 0xF800, 0x07E0},
                             Surface{16, 768, 0x7C00, 0x03E0}}) {
        SCOPED_TRACE(s.bpp * 1000 + s.padding + static_cast<int>(s.red));
        fake.rowPadding = s.padding;
        fake.masks16[0] = s.red;
        fake.masks16[1] = s.green;
        const int rowBytes = 640 * s.bpp / 8, pitch = rowBytes + s.padding;
        ASSERT_EQ(d.Init(640, 480, s.bpp, 0, window), 1);
        if (s.bpp == 16) {
            EXPECT_EQ(d.pixelFormat, s.red == 0xF800 ? PIXEL_FORMAT_565 : PIXEL_FORMAT_555);
        }
        MakeImage(640, 480, 32, 0);
        for (int i = 0; i < 640 * 480; ++i) image.pixInt[i] = static_cast<uint32_t>(i) * 2654435761u;
        for (int i = 0; i < 2; ++i) {  // both buffers
            ASSERT_EQ(Paint(d.pDDSBack, 480), pitch);
            d.Flip();
        }
        ASSERT_EQ(d.Present(&image), 1);
        const FrameView& f = fake.lastFrame;
        ASSERT_EQ(f.pitch, pitch);
        std::vector<uint8_t> want(static_cast<size_t>(rowBytes));
        for (int y = 0; y < 480; ++y) {
            const uint32_t* row = image.pixInt + y * 640;
            if (s.bpp == 32) std::memcpy(want.data(), row, want.size());
            if (s.red == 0xF800) dedraw::Convert32To565Row(row, reinterpret_cast<uint16_t*>(want.data()), 640);
            if (s.red == 0x7C00) dedraw::Convert32To555Row(row, reinterpret_cast<uint16_t*>(want.data()), 640);
            ASSERT_EQ(std::memcmp(f.pixels + static_cast<size_t>(y) * pitch, want.data(), want.size()), 0) << y;
            for (int b = rowBytes; b < pitch; ++b) ASSERT_EQ(f.pixels[y * pitch + b], 0x5A) << y;
        }
        d.Free();
        image.Free();
    }
    EXPECT_EQ(errorLog.count, 0);
}

TEST_F(DeDrawTest, SixteenBitImagesOnEachSurface)
{
    MakeImage(640, 480, 16, 0xFFFF);
    ASSERT_EQ(d.Init(640, 480, 32, 0, window), 1);
    d.Present(&image);
    EXPECT_EQ(reinterpret_cast<const uint32_t*>(fake.lastFrame.pixels)[0], 0x00F8FCF8u);
    EXPECT_EQ(reinterpret_cast<const uint32_t*>(fake.lastFrame.pixels)[640 * 480 - 1], 0x00F8FCF8u);
    d.Free();

    ASSERT_EQ(d.Init(640, 480, 24, 0, window), 1);
    image.pixShort[0] = 0xF800;
    d.Present(&image);
    EXPECT_EQ(std::vector<uint8_t>(fake.lastFrame.pixels, fake.lastFrame.pixels + 6),
              (std::vector<uint8_t>{0, 0, 0xF8, 0xF8, 0xFC, 0xF8}));
    d.Free();

    fake.masks16[0] = 0x7C00;
    fake.masks16[1] = 0x03E0;
    ASSERT_EQ(d.Init(640, 480, 16, 0, window), 1);
    d.Present(&image);
    EXPECT_EQ(reinterpret_cast<const uint16_t*>(fake.lastFrame.pixels)[0], 0x7C00);
    EXPECT_EQ(reinterpret_cast<const uint16_t*>(fake.lastFrame.pixels)[1], 0x7FFF);
}

TEST_F(DeDrawTest, UnknownDepthReportsAfterUnlocking)
{
    fake.fullscreenBpp = 15;
    ASSERT_EQ(d.Init(640, 480, 16, 0, window), 1);
    MakeImage(640, 480, 32, 0);
    EXPECT_THROW(d.Present(&image), ErrorException);
    EXPECT_TRUE(ReportStartsWith(Entry("DeDraw system error:\n", "Unknown bpp.\n")));
    DDSURFACEDESC2 desc = {};
    desc.dwSize = sizeof desc;
    EXPECT_EQ(d.pDDSBack->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr), DD_OK);
    d.pDDSBack->Unlock(nullptr);
}

TEST_F(DeDrawTest, PresentationFailures)
{
    struct Row {
        int windowed;
        DisplayCall call;
        const char* message;
    };
    const Row rows[] = {
        {0, DisplayCall::Lock, "pDDSBack->Lock failed.\n"},
        {0, DisplayCall::Unlock, "pDDSBack->Unlock failed.\n"},
        {0, DisplayCall::Flip, "pDDSPrimary->Flip failed.\n"},
        {1, DisplayCall::Lock, "pDDSPrimary->Lock failed.\n"},
        {1, DisplayCall::Unlock, "pDDSPrimary->Unlock failed.\n"},
    };
    MakeImage(640, 480, 32, 0);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.message);
        DeDrawClass one;
        fake.ClearDisplayFailures();
        ASSERT_EQ(one.Init(640, 480, 32, row.windowed, window), 1);
        fake.FailDisplay(row.call, DDERR_GENERIC, 1);
        int before = errorLog.count;
        EXPECT_THROW(one.Present(&image), ErrorException);
        EXPECT_EQ(errorLog.count, before + 1);
        EXPECT_NE(std::string(errorLog.Report()).find(Entry("DirectDraw error:\n", row.message)), std::string::npos);
        one.Free();
    }
}

TEST_F(DeDrawTest, FlipRetriesAreBounded)
{
    ASSERT_EQ(d.Init(640, 480, 32, 0, window), 1);

    // Still drawing twice, then shown; still drawing for ever: the frame is
    // given up without a report. Lost once: restored and flipped again; lost
    // for ever: one restore, one more flip, then the frame is given up.
    const struct {
        HRESULT result;
        int times, shown, flips, restores;
    } cases[] = {
        {DDERR_WASSTILLDRAWING, 2, 1, 3, 0},
        {DDERR_WASSTILLDRAWING, -1, 0, DeDrawClass::kMaxFlipAttempts, 0},
        {DDERR_SURFACELOST, 1, 1, 2, 1},
        {DDERR_SURFACELOST, -1, 0, 2, 1},
    };
    int* flips = &fake.calls[static_cast<int>(DisplayCall::Flip)];
    int* restores = &fake.calls[static_cast<int>(DisplayCall::Restore)];
    for (const auto& c : cases) {
        fake.FailDisplay(DisplayCall::Flip, c.result, c.times);
        int flipsBefore = *flips, restoresBefore = *restores;
        EXPECT_EQ(d.Flip(), c.shown);
        EXPECT_EQ(*flips, flipsBefore + c.flips);
        EXPECT_EQ(*restores, restoresBefore + c.restores);
    }
    EXPECT_EQ(errorLog.count, 0);

    // Lost, and the restore fails.
    fake.FailDisplay(DisplayCall::Restore, DDERR_GENERIC);
    EXPECT_THROW(d.Flip(), ErrorException);
    EXPECT_TRUE(ReportStartsWith(Entry("DirectDraw error:\n", "pDDSPrimary->Restore failed.\n")));
    EXPECT_EQ(d.Restore(), DDERR_GENERIC);
}

TEST_F(DeDrawTest, WindowedDrawsAtTheWindowAndClipsToTheDesktop)
{
    fake.desktopWidth = 800;
    fake.desktopHeight = 600;
    fake.desktopBpp = 16;
    ASSERT_EQ(d.Init(640, 480, 0, 1, window), 1);
    ASSERT_EQ(d.pixelFormat, PIXEL_FORMAT_565);
    MakeImage(640, 480, 32, 0x00FFFFFF);
    image.pixInt[0] = 0x00808080;

    // At (192, 144): shown in place, the rest of the desktop untouched.
    d.Present(&image);
    ASSERT_EQ(fake.lastFrameWindow, window);
    EXPECT_EQ(fake.lastFrame.width, 608);
    EXPECT_EQ(fake.lastFrame.height, 456);
    EXPECT_EQ(reinterpret_cast<const uint16_t*>(fake.lastFrame.pixels)[0], 0x8410);

    // Past every edge: only the part on the desktop is written.
    NotifyMoved(window, -100, -50);
    d.Present(&image);
    EXPECT_EQ(fake.lastFrame.width, 540);
    EXPECT_EQ(fake.lastFrame.height, 430);
    EXPECT_EQ(reinterpret_cast<const uint16_t*>(fake.lastFrame.pixels)[0], 0xFFFF);
    NotifyMoved(window, 700, 500);
    d.Present(&image);
    EXPECT_EQ(fake.lastFrame.width, 100);
    EXPECT_EQ(fake.lastFrame.height, 100);
    EXPECT_EQ(reinterpret_cast<const uint16_t*>(fake.lastFrame.pixels)[0], 0x8410);
    NotifyMoved(window, 5000, 5000);
    int shown = fake.framesShown;
    EXPECT_EQ(d.Present(&image), 1);
    EXPECT_EQ(fake.framesShown, shown);
    EXPECT_EQ(errorLog.count, 0);
}

// Every windowed depth on a desktop whose rows are wider than their pixels:
// image pixel (x, y) lands at byte (top + y) x pitch + (left + x) x bytes per
// pixel, and nothing around the window's rectangle is touched.
TEST_F(DeDrawTest, WindowedPlacesEveryDepthAtTheWindowWithAWidePitch)
{
    struct Depth {
        int bpp;
        uint32_t red, green;  // 16-bit masks
        int bytes;
        // The image's pixels 0x00808080, 0x00123456 and 0x00FFFFFF as written.
        uint32_t grey, mixed, white;
    };
    const Depth depths[] = {
        {32, 0, 0, 4, 0x00808080, 0x00123456, 0x00FFFFFF},
        {24, 0, 0, 3, 0x808080, 0x123456, 0xFFFFFF},
        {16, 0xF800, 0x07E0, 2, 0x8410, 0x11AA, 0xFFFF},
        {16, 0x7C00, 0x03E0, 2, 0x4210, 0x08CA, 0x7FFF},
    };
    fake.desktopWidth = 900;
    fake.desktopHeight = 700;
    fake.rowPadding = 100;
    MakeImage(640, 480, 32, 0x00FFFFFF);
    image.pixInt[0] = 0x00808080;
    image.pixInt[1] = 0x00123456;
    const int left = 192, top = 144;  // where SetUp made the window
    for (const Depth& depth : depths) {
        SCOPED_TRACE(depth.bpp * 1000 + static_cast<int>(depth.red >> 8));
        fake.desktopBpp = depth.bpp;
        fake.masks16[0] = depth.red;
        fake.masks16[1] = depth.green;
        ASSERT_EQ(d.Init(640, 480, 0, 1, window), 1);
        const int pitch = 900 * depth.bytes + 100;
        ASSERT_EQ(Paint(d.pDDSPrimary, 700), pitch);
        ASSERT_EQ(d.Present(&image), 1);
        DDSURFACEDESC2 desc = {};
        desc.dwSize = sizeof desc;
        ASSERT_EQ(d.pDDSPrimary->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr), DD_OK);
        const uint8_t* surface = static_cast<const uint8_t*>(desc.lpSurface);
        auto at = [&](int x, int y) {
            uint32_t value = 0;
            std::memcpy(&value, surface + (top + y) * pitch + (left + x) * depth.bytes,
                        static_cast<size_t>(depth.bytes));
            return value;
        };
        EXPECT_EQ(at(0, 0), depth.grey);
        EXPECT_EQ(at(1, 0), depth.mixed);
        EXPECT_EQ(at(2, 0), depth.white);
        EXPECT_EQ(at(639, 479), depth.white);
        // Around the rectangle: the byte before each row, the bytes after it,
        // and the rows above and below.
        for (int y = 0; y < 480; ++y) {
            const uint8_t* row = surface + (top + y) * pitch;
            ASSERT_EQ(row[left * depth.bytes - 1], 0x5A) << y;
            for (int b = (left + 640) * depth.bytes; b < pitch; ++b) ASSERT_EQ(row[b], 0x5A) << y;
        }
        for (int b = 0; b < pitch; ++b) {
            ASSERT_EQ(surface[(top - 1) * pitch + b], 0x5A);
            ASSERT_EQ(surface[(top + 480) * pitch + b], 0x5A);
        }
        d.pDDSPrimary->Unlock(nullptr);
        d.Free();
    }
    EXPECT_EQ(errorLog.count, 0);
}

TEST_F(DeDrawTest, ImagesLargerThanTheSurfaceAreCut)
{
    ASSERT_EQ(d.Init(64, 48, 32, 0, window), 1);
    MakeImage(640, 480, 32, 0x00010203);
    EXPECT_EQ(d.Present(&image), 1);
    EXPECT_EQ(fake.lastFrame.width, 64);
    EXPECT_EQ(reinterpret_cast<const uint32_t*>(fake.lastFrame.pixels)[64 * 48 - 1], 0x00010203u);
}

}  // namespace

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "dedraw/dedraw.h"
#include "error/error_log.h"
#include "platform/fake/fake_backend.h"

using namespace platform;

namespace {

LRESULT TestProc(HWND w, uint32_t m, WPARAM wp, LPARAM lp) { return DefWindowProc(w, m, wp, lp); }

class DeDrawTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        errorLog.Free();
        errorLog.count = 0;
        errorLog.length = 0;
        errorLog.locked = 0;
        ASSERT_EQ(errorLog.Init(nullptr), 1);
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
        errorLog.Free();
    }

    // Runs an operation that is expected to report (and so to throw).
    template <class F>
    bool Throws(F f)
    {
        try {
            f();
        } catch (const ErrorException&) {
            return true;
        }
        return false;
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
    EXPECT_EQ(d.numPixels, 640 * 480);
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

TEST_F(DeDrawTest, SixteenBitMasksDecideTheFormat)
{
    fake.masks16[0] = 0x7C00;
    fake.masks16[1] = 0x03E0;
    ASSERT_EQ(d.Init(640, 480, 16, 0, window), 1);
    EXPECT_EQ(d.pixelFormat, PIXEL_FORMAT_555);
    d.Free();

    DeDrawClass odd;
    fake.masks16[0] = 0x001F;
    fake.masks16[2] = 0xF800;
    ASSERT_EQ(odd.Init(640, 480, 16, 0, window), 1);
    EXPECT_EQ(odd.pixelFormat, 0);
    // Odd masks draw nothing and report nothing; the frame is still flipped.
    MakeImage(640, 480, 32, 0x00FFFFFF);
    int flips = fake.framesShown;
    EXPECT_EQ(odd.Present(&image), 1);
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
        const char* header;
        const char* message;
    };
    const Row rows[] = {
        {DisplayCall::Create, 0, "DirectDraw error:\n", "DirectDrawCreateEx failed.\n"},
        {DisplayCall::CooperativeLevel, 0, "DirectDraw error:\n", "pDD->SetCooperativeLevel failed.\n"},
        {DisplayCall::CreateSurface, 0, "DirectDraw error:\n", "pDD->CreateSurface failed.\n"},
        {DisplayCall::AttachedSurface, 0, "DirectDraw error:\n", "pDDSPrimary->GetAttachedSurface failed.\n"},
        {DisplayCall::Create, 1, "DirectDraw error:\n", "DirectDrawCreateEx failed.\n"},
        {DisplayCall::CooperativeLevel, 1, "DirectDraw error:\n", "pDD->SetCooperativeLevel failed.\n"},
        {DisplayCall::CreateSurface, 1, "DirectDraw error:\n", "pDD->CreateSurface failed.\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.message);
        errorLog.Free();
        errorLog.count = 0;
        errorLog.length = 0;
        ASSERT_EQ(errorLog.Init(nullptr), 1);
        fake.ClearDisplayFailures();
        fake.FailDisplay(row.call, DDERR_GENERIC);
        int released = fake.devicesReleased;
        DeDrawClass failing;
        EXPECT_TRUE(Throws([&] { failing.Init(640, 480, 32, row.windowed, window); }));
        EXPECT_TRUE(ReportStartsWith(Entry(row.header, row.message)));
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
    EXPECT_TRUE(Throws([&] { d.Init(640, 480, 24, 0, window); }));
    EXPECT_STREQ(errorLog.Report(), "Could not change display mode.\n");
    EXPECT_EQ(errorLog.count, 1);
    EXPECT_FALSE(fake.fullscreen);
    d.Free();  // locked: nothing more is recorded
    EXPECT_STREQ(errorLog.Report(), "Could not change display mode.\n");
}

TEST_F(DeDrawTest, EightBitSurfaces)
{
    fake.fullscreenBpp = 8;
    EXPECT_TRUE(Throws([&] { d.Init(640, 480, 32, 0, window); }));
    EXPECT_TRUE(ReportStartsWith(Entry("DeDraw system error:\n", "8 bpp mode not supported.\n")));
    EXPECT_FALSE(fake.fullscreen);

    errorLog.Free();
    errorLog.count = 0;
    errorLog.length = 0;
    ASSERT_EQ(errorLog.Init(nullptr), 1);
    fake.desktopBpp = 8;
    DeDrawClass windowedOne;
    EXPECT_TRUE(Throws([&] { windowedOne.Init(640, 480, 0, 1, window); }));
    EXPECT_STREQ(errorLog.Report(), "8 bpp mode not supported.\n");
}

TEST_F(DeDrawTest, MisuseReports)
{
    EXPECT_TRUE(Throws([&] { d.Present(&image); }));
    EXPECT_TRUE(ReportStartsWith(Entry("DeDraw system error:\n", "Not initialized.\n")));
    EXPECT_TRUE(Throws([&] { d.Flip(); }));
    EXPECT_TRUE(Throws([&] { d.Restore(); }));
    EXPECT_TRUE(Throws([&] { d.Init(640, 480, 32, 2, window); }));
    EXPECT_NE(std::string(errorLog.Report()).find("'int windowed_mode' must contain TRUE or FALSE.\n"),
              std::string::npos);

    ASSERT_EQ(d.Init(640, 480, 32, 0, window), 1);
    DisplaySurface* primary = d.pDDSPrimary;
    EXPECT_TRUE(Throws([&] { d.Init(640, 480, 16, 1, window); }));
    EXPECT_NE(std::string(errorLog.Report()).find("DeDrawClass already initialized.\n"), std::string::npos);
    EXPECT_EQ(d.pDDSPrimary, primary);
    EXPECT_EQ(d.bpp, 32);
    EXPECT_EQ(d.windowed_mode, 0);
}

TEST_F(DeDrawTest, ReleaseEntriesWhenPiecesAreMissing)
{
    ASSERT_EQ(d.Init(640, 480, 32, 0, window), 1);
    DisplaySurface* primary = d.pDDSPrimary;
    d.pDDSPrimary = nullptr;
    d.Free();
    EXPECT_TRUE(ReportStartsWith(Entry("DirectDraw error:\n", "Primary Surface was null.\n")));
    EXPECT_EQ(d.pDD, nullptr);
    EXPECT_EQ(fake.modeRestores, 1);
    (void)primary;  // went with its device

    ASSERT_EQ(d.Init(640, 480, 0, 1, window), 1);
    DisplayDevice* device = d.pDD;
    d.pDD = nullptr;
    d.Free();
    EXPECT_NE(std::string(errorLog.Report()).find("DirectDraw7 object was null.\n"), std::string::npos);
    device->Release();

    errorLog.Free();
    errorLog.count = 0;
    errorLog.length = 0;
    ASSERT_EQ(errorLog.Init(nullptr), 1);
    ASSERT_EQ(d.Init(640, 480, 0, 1, window), 1);
    d.pDDSPrimary = nullptr;
    int released = fake.surfacesReleased;
    d.Free();
    EXPECT_TRUE(ReportStartsWith(Entry("DirectDraw error:\n", "Primary Surface was null.\n")));
    EXPECT_EQ(d.pDD, nullptr);
    EXPECT_EQ(fake.surfacesReleased, released + 1);  // went with its device
}

TEST_F(DeDrawTest, FullscreenConversionsAndPitch)
{
    fake.rowPadding = 768;  // a 16-bit row of 640 pixels in a 2048-byte pitch
    ASSERT_EQ(d.Init(640, 480, 16, 0, window), 1);
    MakeImage(640, 480, 32, 0x00808080);
    image.pixInt[1] = 0x00FFFFFF;
    // Fill both buffers' padding so untouched bytes can be seen.
    for (int i = 0; i < 2; ++i) {
        DDSURFACEDESC2 desc = {};
        desc.dwSize = sizeof desc;
        ASSERT_EQ(d.pDDSBack->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr), DD_OK);
        EXPECT_EQ(desc.lPitch, 2048);
        std::memset(desc.lpSurface, 0x5A, 2048u * 480u);
        d.pDDSBack->Unlock(nullptr);
        d.Flip();
    }
    ASSERT_EQ(d.Present(&image), 1);
    const FrameView& f = fake.lastFrame;
    ASSERT_NE(f.pixels, nullptr);
    EXPECT_EQ(f.layout, PixelLayout::RGB565);
    EXPECT_EQ(f.pitch, 2048);
    for (int y = 0; y < 480; ++y) {
        const uint16_t* row = reinterpret_cast<const uint16_t*>(f.pixels + y * 2048);
        ASSERT_EQ(row[0], 0x8410);
        ASSERT_EQ(row[1], y == 0 ? 0xFFFF : 0x8410);
        ASSERT_EQ(row[639], 0x8410);
        for (int b = 1280; b < 2048; ++b) ASSERT_EQ(f.pixels[y * 2048 + b], 0x5A) << y;
    }
    EXPECT_EQ(errorLog.count, 0);
}

// Every pixel lands in its place whether the surface's rows are packed
// (one copy of the whole image) or padded (row by row), and padding stays
// untouched.
TEST_F(DeDrawTest, FullscreenThirtyTwoBitsPackedOrPadded)
{
    for (int padding : {0, 512}) {
        SCOPED_TRACE(padding);
        fake.rowPadding = padding;
        const int pitch = 2560 + padding;
        ASSERT_EQ(d.Init(640, 480, 32, 0, window), 1);
        MakeImage(640, 480, 32, 0);
        for (int i = 0; i < 640 * 480; ++i) image.pixInt[i] = static_cast<uint32_t>(i) * 2654435761u;
        for (int i = 0; i < 2; ++i) {
            DDSURFACEDESC2 desc = {};
            desc.dwSize = sizeof desc;
            ASSERT_EQ(d.pDDSBack->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr), DD_OK);
            ASSERT_EQ(desc.lPitch, pitch);
            std::memset(desc.lpSurface, 0x5A, static_cast<size_t>(pitch) * 480u);
            d.pDDSBack->Unlock(nullptr);
            d.Flip();
        }
        ASSERT_EQ(d.Present(&image), 1);
        const FrameView& f = fake.lastFrame;
        ASSERT_EQ(f.pitch, pitch);
        for (int y = 0; y < 480; ++y) {
            ASSERT_EQ(std::memcmp(f.pixels + static_cast<size_t>(y) * pitch, image.pixInt + y * 640, 2560), 0) << y;
            for (int b = 2560; b < pitch; ++b) ASSERT_EQ(f.pixels[y * pitch + b], 0x5A) << y;
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
    EXPECT_EQ(fake.lastFrame.layout, PixelLayout::BGR24);
    EXPECT_EQ(fake.lastFrame.pixels[0], 0);
    EXPECT_EQ(fake.lastFrame.pixels[1], 0);
    EXPECT_EQ(fake.lastFrame.pixels[2], 0xF8);
    EXPECT_EQ(fake.lastFrame.pixels[3], 0xF8);
    d.Free();

    fake.masks16[0] = 0x7C00;
    fake.masks16[1] = 0x03E0;
    ASSERT_EQ(d.Init(640, 480, 16, 0, window), 1);
    d.Present(&image);
    EXPECT_EQ(reinterpret_cast<const uint16_t*>(fake.lastFrame.pixels)[0], 0x7C00);
    EXPECT_EQ(reinterpret_cast<const uint16_t*>(fake.lastFrame.pixels)[1], 0x7FFF);
}

TEST_F(DeDrawTest, ThirtyTwoAndTwentyFourBitSurfaces)
{
    MakeImage(640, 480, 32, 0xFF123456);
    ASSERT_EQ(d.Init(640, 480, 32, 0, window), 1);
    d.Present(&image);
    EXPECT_EQ(fake.lastFrame.layout, PixelLayout::XRGB8888);
    EXPECT_EQ(reinterpret_cast<const uint32_t*>(fake.lastFrame.pixels)[1000], 0xFF123456u);
    d.Free();
    ASSERT_EQ(d.Init(640, 480, 24, 0, window), 1);
    d.Present(&image);
    EXPECT_EQ(fake.lastFrame.pixels[3 * 1000], 0x56);
    EXPECT_EQ(fake.lastFrame.pixels[3 * 1000 + 1], 0x34);
    EXPECT_EQ(fake.lastFrame.pixels[3 * 1000 + 2], 0x12);
}

TEST_F(DeDrawTest, UnknownDepthReportsAfterUnlocking)
{
    fake.fullscreenBpp = 15;
    ASSERT_EQ(d.Init(640, 480, 16, 0, window), 1);
    MakeImage(640, 480, 32, 0);
    EXPECT_TRUE(Throws([&] { d.Present(&image); }));
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
        HRESULT result;
        const char* message;
    };
    const Row rows[] = {
        {0, DisplayCall::Lock, DDERR_GENERIC, "pDDSBack->Lock failed.\n"},
        {0, DisplayCall::Unlock, DDERR_GENERIC, "pDDSBack->Unlock failed.\n"},
        {0, DisplayCall::Flip, DDERR_GENERIC, "pDDSPrimary->Flip failed.\n"},
        {1, DisplayCall::Lock, DDERR_GENERIC, "pDDSPrimary->Lock failed.\n"},
        {1, DisplayCall::Unlock, DDERR_GENERIC, "pDDSPrimary->Unlock failed.\n"},
    };
    MakeImage(640, 480, 32, 0);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.message);
        DeDrawClass one;
        fake.ClearDisplayFailures();
        ASSERT_EQ(one.Init(640, 480, 32, row.windowed, window), 1);
        fake.FailDisplay(row.call, row.result, 1);
        int before = errorLog.count;
        EXPECT_TRUE(Throws([&] { one.Present(&image); }));
        EXPECT_EQ(errorLog.count, before + 1);
        EXPECT_NE(std::string(errorLog.Report()).find(Entry("DirectDraw error:\n", row.message)), std::string::npos);
        one.Free();
    }
}

TEST_F(DeDrawTest, FlipRetriesAreBounded)
{
    ASSERT_EQ(d.Init(640, 480, 32, 0, window), 1);

    // Still drawing twice, then shown.
    fake.FailDisplay(DisplayCall::Flip, DDERR_WASSTILLDRAWING, 2);
    int before = fake.calls[static_cast<int>(DisplayCall::Flip)];
    EXPECT_EQ(d.Flip(), 1);
    EXPECT_EQ(fake.calls[static_cast<int>(DisplayCall::Flip)], before + 3);

    // Still drawing for ever: the frame is given up without a report.
    fake.FailDisplay(DisplayCall::Flip, DDERR_WASSTILLDRAWING);
    before = fake.calls[static_cast<int>(DisplayCall::Flip)];
    EXPECT_EQ(d.Flip(), 0);
    EXPECT_EQ(fake.calls[static_cast<int>(DisplayCall::Flip)], before + DeDrawClass::kMaxFlipAttempts);

    // Lost once: restored and flipped again.
    fake.FailDisplay(DisplayCall::Flip, DDERR_SURFACELOST, 1);
    int restores = fake.calls[static_cast<int>(DisplayCall::Restore)];
    EXPECT_EQ(d.Flip(), 1);
    EXPECT_EQ(fake.calls[static_cast<int>(DisplayCall::Restore)], restores + 1);

    // Lost for ever: one restore, one more flip, then the frame is given up.
    fake.FailDisplay(DisplayCall::Flip, DDERR_SURFACELOST);
    before = fake.calls[static_cast<int>(DisplayCall::Flip)];
    EXPECT_EQ(d.Flip(), 0);
    EXPECT_EQ(fake.calls[static_cast<int>(DisplayCall::Flip)], before + 2);
    EXPECT_EQ(errorLog.count, 0);

    // Lost, and the restore fails.
    fake.FailDisplay(DisplayCall::Restore, DDERR_GENERIC);
    EXPECT_TRUE(Throws([&] { d.Flip(); }));
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
        DDSURFACEDESC2 desc = {};
        desc.dwSize = sizeof desc;
        ASSERT_EQ(d.pDDSPrimary->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr), DD_OK);
        ASSERT_EQ(desc.lPitch, pitch);
        std::memset(desc.lpSurface, 0x5A, static_cast<size_t>(pitch) * 700);
        d.pDDSPrimary->Unlock(nullptr);

        ASSERT_EQ(d.Present(&image), 1);
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

    // Fullscreen 5-5-5 from a 32-bit image.
    fake.rowPadding = 0;
    ASSERT_EQ(d.Init(640, 480, 16, 0, window), 1);
    ASSERT_EQ(d.pixelFormat, PIXEL_FORMAT_555);
    ASSERT_EQ(d.Present(&image), 1);
    const uint16_t* shown = reinterpret_cast<const uint16_t*>(fake.lastFrame.pixels);
    EXPECT_EQ(shown[0], 0x4210);
    EXPECT_EQ(shown[1], 0x08CA);
    EXPECT_EQ(shown[640 * 480 - 1], 0x7FFF);
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

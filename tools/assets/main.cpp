// orchid-assets: writes every resource of the show (pictures, masks, the glyph
// block, the dialog banner and the icon) and the music file. The output is
// the same, byte for byte, on every run.
//
//   orchid-assets --out DIR --music FILE --fonts DIR [--preview DIR]
//
// DIR receives the files named in assets/manifest.txt, the Windows icon and
// the desktop's icons (icon-SIZE.png); FILE the MP3; the
// preview folder PNG views of every picture and mask, including the captions
// and the tile as the show draws them.

#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "art.h"
#include "encode.h"
#include "music.h"

namespace {

using namespace gen;

// The bitmap font: 48 glyphs of 4x6 for the codes 48 ('0') to 95 ('_'), each
// drawn in its left 3 columns and top 5 rows.
const char* const kGlyphRows[48] = {
    "111101101101111", "010110010010111", "110001010100111", "110001010001110",  // 0 1 2 3
    "101101111001001", "111100110001110", "011100111101111", "111001010010010",  // 4 5 6 7
    "111101111101111", "111101111001110", "000010000010000", "000010000010100",  // 8 9 : ;
    "001010100010001", "000111000111000", "100010001010100", "110001010000010",  // < = > ?
    "010101111100011", "010111101111101", "110101110101110", "011100100100011",  // @ A B C
    "110101101101110", "111100110100111", "111100110100100", "011100101101011",  // D E F G
    "101101111101101", "111010010010111", "001001001101010", "101101110101101",  // H I J K
    "100100100100111", "101111111101101", "111101101101101", "010101101101010",  // L M N O
    "110101110100100", "010101101110011", "110101110101101", "011100010001110",  // P Q R S
    "111010010010010", "101101101101111", "101101101101010", "101101111111101",  // T U V W
    "101101010101101", "101101010010010", "111001010100111", "110100100100110",  // X Y Z [
    "100100010001001", "011001001001011", "010101000000000", "000000000000111",  // \ ] ^ _
};

// The sizes of the desktop's icons; assets/CMakeLists.txt names the same.
constexpr int kDesktopIconSizes[] = {32, 48, 64, 128, 256};

std::vector<uint8_t> GlyphBlock()
{
    std::vector<uint8_t> block(48 * 24, 0);
    for (int g = 0; g < 48; ++g)
        for (int r = 0; r < 5; ++r)
            for (int c = 0; c < 3; ++c)
                if (kGlyphRows[g][r * 3 + c] == '1') block[size_t(g * 24 + r * 4 + c)] = 255;
    return block;
}

struct Output {
    std::string dir, preview;
    int files = 0;

    void Bytes(const std::string& name, const std::vector<uint8_t>& bytes)
    {
        WriteFile(dir + "/" + name, bytes);
        ++files;
    }
    void Jpeg(const std::string& name, const Image& img, JpegOptions opt)
    {
        Bytes(name + ".jpg", EncodeJpeg(img, opt));
        Preview(name, img);
    }
    void Mask(const std::string& name, const std::vector<uint8_t>& mask, int w, int h)
    {
        Bytes(name + ".raw", mask);
        if (!preview.empty()) WritePngGrey(preview + "/" + name + ".png", mask, w, h);
    }
    void Preview(const std::string& name, const Image& img)
    {
        if (!preview.empty()) WritePng(preview + "/" + name + ".png", img);
    }
    // The picture where its mask selects, over a grey checker elsewhere.
    void MaskedPreview(const std::string& name, const Picture& p)
    {
        if (preview.empty()) return;
        Image v = p.img;
        for (int y = 0; y < v.h; ++y)
            for (int x = 0; x < v.w; ++x)
                if (p.mask[size_t(y) * v.w + x] == 0) v.at(x, y) = ((x / 8 + y / 8) % 2) ? Hex(0x606060) : Hex(0x808080);
        Preview(name + "-masked", v);
    }
};

JpegOptions Opt(Chroma chroma, int restartRows = 0, int quality = 92)
{
    JpegOptions o;
    o.chroma = chroma;
    o.restartRows = restartRows;
    o.quality = quality;
    return o;
}

void WritePictures(Output& out, const std::string& fontDir)
{
    const Fonts fonts(fontDir);
    constexpr Chroma H11 = Chroma::H1V1, H22 = Chroma::H2V2;

    out.Jpeg("bridgePic", BridgePicture(), Opt(H22));
    out.Jpeg("panoramaPic", PanoramaPicture(), Opt(H22, 1));
    out.Jpeg("stagePic", StagePicture(), Opt(H22));
    Picture title = TitlePicture(fonts);
    out.Jpeg("titlePic", title.img, Opt(H11, 4, 94));
    out.Mask("titleMask", title.mask, title.img.w, title.img.h);
    out.MaskedPreview("titlePic", title);
    Picture blur = BlurPicture();
    out.Jpeg("blurPic", blur.img, Opt(H22));
    out.Mask("blurMask", blur.mask, blur.img.w, blur.img.h);
    out.MaskedPreview("blurPic", blur);
    Picture drop = DropPicture();
    out.Jpeg("dropPic", drop.img, Opt(H11, 0, 95));
    out.Mask("dropMask", drop.mask, drop.img.w, drop.img.h);
    out.Jpeg("wallpaperPic", WallpaperPicture(), Opt(H22));
    Picture pattern = PatternPicture();
    out.Jpeg("patternPic", pattern.img, Opt(H11, 0, 94));
    out.Mask("patternMask", pattern.mask, pattern.img.w, pattern.img.h);
    out.MaskedPreview("patternPic", pattern);
    out.Jpeg("branchPic", BranchPicture(), Opt(H22));
    Image tile = TilePicture();
    out.Jpeg("tilePic", tile, Opt(H11));
    out.Preview("tilePic-shown", ShownTile(tile));
    for (int i = 0; i < 6; ++i) {
        Picture flower = FlowerPicture(i);
        std::string name = "flowerPic" + std::to_string(i + 1);
        out.Jpeg(name, flower.img, Opt(i == 3 ? H11 : H22, i == 3 ? 2 : 0));
        out.MaskedPreview(name, flower);
        if (i == 2) out.Mask("flowerMask", flower.mask, flower.img.w, flower.img.h);
    }
    out.Jpeg("closingPic", ClosingPicture(fonts), Opt(H22));
    out.Jpeg("screenPic", ScreenPicture(fonts), Opt(H22, 3));

    struct CaptionSpec {
        const char* name;
        const char* text;
        int shown;
        CaptionStyle style;
    };
    const CaptionSpec captions[] = {
        {"captionPic1", "IN FULL BLOOM", 46, CaptionStyle::Band},
        {"captionPic2", "AT DUSK", 46, CaptionStyle::Band},
        {"captionPic3", "SOFTWARE RENDERED", 46, CaptionStyle::Band},
        {"captionPic4", "640 \xC3\x97 480", 46, CaptionStyle::Band},
        {"captionPic5", "A HUNDRED FRAMES A SECOND", 46, CaptionStyle::Band},
        {"captionPic6", "NOW SHOWING", 46, CaptionStyle::Band},
        {"captionPic7", "PHALAENOPSIS", 60, CaptionStyle::Lettering},
        {"captionPic8", "THE MOTH ORCHID", 60, CaptionStyle::Lettering},
        {"captionPic9", "THANK YOU FOR WATCHING", 60, CaptionStyle::Stage},
        {"captionPic10", "ORCHID", 60, CaptionStyle::Stage},
        {"captionPic11", "KESTRUNE VELOMAR", 60, CaptionStyle::Stage},
        {"captionPic12", "", 60, CaptionStyle::Ornament},
    };
    for (const CaptionSpec& c : captions) {
        Picture p = CaptionPicture(fonts, c.text, c.shown, c.style);
        bool sharp = c.style == CaptionStyle::Lettering || c.style == CaptionStyle::Band;
        out.Jpeg(c.name, p.img, Opt(sharp ? H11 : H22, c.style == CaptionStyle::Stage ? 2 : 0, 94));
        out.Preview(std::string(c.name) + "-shown", ShownCaption(p.img, c.shown));
        if (!p.mask.empty()) {
            std::string maskName = std::string("captionMask") + (c.name + std::strlen("captionPic"));
            out.Mask(maskName, p.mask, p.img.w, p.img.h);
            out.MaskedPreview(c.name, p);
            Image shownMask(p.img.w, p.img.h);
            for (size_t i = 0; i < p.mask.size(); ++i) shownMask.px[i] = p.mask[i] ? p.img.px[i] : Hex(0x302040);
            out.Preview(maskName + "-shown", ShownCaption(shownMask, c.shown));
        }
    }

    out.Bytes("font.raw", GlyphBlock());
    Image banner = BannerPicture(fonts);
    out.Bytes("banner.bmp", EncodeBmp8(banner));
    out.Preview("banner", banner);
    Image icon = IconPicture(32);
    std::vector<uint8_t> iconBmp = EncodeBmp8(icon);
    out.Bytes("icon.bmp", iconBmp);
    out.Preview("icon", icon);
    // The desktop's icons (hicolor theme sizes), in full colour; the Windows
    // icon holds the window icon's bitmap and the larger ones.
    std::vector<std::vector<uint8_t>> larger;
    for (int size : kDesktopIconSizes) {
        std::vector<uint8_t> png = EncodePng(IconPicture(size));
        out.Bytes("icon-" + std::to_string(size) + ".png", png);
        if (size > 32) larger.push_back(png);
    }
    out.Bytes("icon.ico", IconFile(iconBmp, larger));
}

int Usage()
{
    std::fprintf(stderr, "usage: orchid-assets --out DIR --music FILE --fonts DIR [--preview DIR]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string outDir, musicFile, fontDir, previewDir;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string key = argv[i], value = argv[i + 1];
        if (key == "--out") outDir = value;
        else if (key == "--music") musicFile = value;
        else if (key == "--fonts") fontDir = value;
        else if (key == "--preview") previewDir = value;
        else return Usage();
    }
    if (argc % 2 == 0 || outDir.empty() || musicFile.empty() || fontDir.empty()) return Usage();

    auto start = std::chrono::steady_clock::now();
    try {
        std::filesystem::create_directories(outDir);
        if (!previewDir.empty()) std::filesystem::create_directories(previewDir);
        // The music and the pictures are independent: make them side by side.
        std::exception_ptr musicError;
        double musicSecs = 0;
        std::thread music([&] {
            try {
                WriteFile(musicFile, EncodeMp3(SynthesizeMusic()));
                musicSecs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            } catch (...) {
                musicError = std::current_exception();
            }
        });
        Output out{outDir, previewDir};
        try {
            WritePictures(out, fontDir);
        } catch (...) {
            music.join();
            throw;
        }
        double pictureSecs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        music.join();
        if (musicError) std::rethrow_exception(musicError);
        double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("orchid-assets: %d resources in %.2f s, the music in %.2f s, %.2f s in all\n", out.files,
                    pictureSecs, musicSecs, secs);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orchid-assets: %s\n", e.what());
        return 1;
    }
    return 0;
}

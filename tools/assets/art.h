// The show's pictures. Each painter returns the picture as it is stored in
// the resource; where the show draws a picture turned or squeezed, the
// painter designs it as seen and stores it so that it shows that way.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "canvas.h"
#include "text.h"

namespace gen {

struct Fonts {
    explicit Fonts(const std::string& dir);
    Typeface serifBold, sansBold, sansCondBold;
};

struct Picture {
    Image img;
    std::vector<uint8_t> mask;  // hard mask (0 or 255) when the picture has one
};

Picture TitlePicture(const Fonts& f);
Picture BlurPicture();
Picture DropPicture();
Picture PatternPicture();
Picture FlowerPicture(int index);  // mask of every flower: the one silhouette
Image WallpaperPicture();
Image BranchPicture();
Image TilePicture();
Image BridgePicture();
Image PanoramaPicture();
Image ScreenPicture(const Fonts& f);
Image StagePicture();
Image ClosingPicture(const Fonts& f);

enum class CaptionStyle {
    Band,      // a dark band with light lettering, drawn as a plain copy
    Lettering, // lettering alone, selected by its mask
    Stage,     // a band for the stage scene
    Ornament   // a glowing ornament, added to the picture (no text)
};
// A 256x256 caption designed for a squeezed height of `shownHeight` rows.
Picture CaptionPicture(const Fonts& f, const std::string& text, int shownHeight, CaptionStyle style);

Image BannerPicture(const Fonts& f);
// The program's icon, `size` pixels square: the window icon at 32, the
// desktop's larger ones from the same design.
Image IconPicture(int size);

// The picture as the show draws it, for previews: the caption squeezed to
// its height, the tile turned and stretched.
Image ShownCaption(const Image& caption, int shownHeight);
Image ShownTile(const Image& tile);

}  // namespace gen

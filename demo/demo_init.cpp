// DemoInit: every picture of the show decoded from the resources, the
// cards, the renderer's workspace and the font, then the particle arrays and
// the initial state.
#include "demo/demo.h"
#include "effects/effects.h"
#include "effects/polygon_render.h"
#include "platform/resources.h"
#include "tiny3d/matrix.h"

namespace {

using platform::MakeIntResource;

void Jpeg(Pixmap& pixmap, int id) { pixmap.LoadJpeg(MakeIntResource(id), 32); }

// A mask the size of its partner picture.
void Raw(Pixmap& pixmap, int id, const Pixmap& partner)
{
    pixmap.LoadRaw(MakeIntResource(id), partner.width, partner.height, 8);
}

}  // namespace

void DemoInit()
{
    effects.SetBuffer(&frameImage);
    panoramaView.Create(640, 480, 32);
    Jpeg(bridgePic, 146);
    Jpeg(panoramaPic, 147);

    // The first view of the panorama.
    effects.SetBuffer(&panoramaView);
    effects.CopyWindow(0, 0, &panoramaPic);
    effects.SetBuffer(&frameImage);

    Jpeg(stagePic, 153);
    Jpeg(titlePic, 148);
    Raw(titleMask, 149, titlePic);
    Jpeg(blurPic, 154);
    Raw(blurMask, 155, blurPic);
    Jpeg(dropPic, 157);
    Raw(dropMask, 158, dropPic);
    Jpeg(wallpaperPic, 152);
    Jpeg(patternPic, 138);
    Raw(patternMask, 139, patternPic);
    Jpeg(branchPic, 156);
    Jpeg(tilePic, 145);

    Jpeg(flowerPic1, 164);
    Jpeg(flowerPic2, 165);
    Jpeg(flowerPic3, 167);
    Jpeg(flowerPic4, 168);
    Jpeg(flowerPic5, 169);
    Jpeg(flowerPic6, 170);
    Raw(flowerMask, 166, flowerPic3);

    Jpeg(captionPic9, 160);
    Jpeg(captionPic10, 162);
    Jpeg(captionPic11, 161);
    Jpeg(captionPic12, 163);

    if (whiteCard.Create(256, 256, 32)) {
        for (int i = 0; i < whiteCard.numBytes; ++i) whiteCard.pixChar[i] = 0xFF;
    }

    Jpeg(closingPic, 171);
    Jpeg(screenPic, 159);
    Jpeg(captionPic1, 178);
    Jpeg(captionPic2, 173);
    Jpeg(captionPic3, 174);
    Jpeg(captionPic4, 175);
    Jpeg(captionPic5, 176);
    Jpeg(captionPic6, 177);
    Jpeg(captionPic7, 7);
    Raw(captionMask7, 184, captionPic7);
    Jpeg(captionPic8, 185);
    Raw(captionMask8, 186, captionPic8);

    greyCard.Create(256, 256, 32);

    polygonRender.Init(&frameImage);
    MatrixCalculations::Init();
    font.Init(&frameImage, MakeIntResource(123), 4, 6, 48, 48);

    DemoInitState();
}

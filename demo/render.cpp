// DemoRender: draws the scene DemoUpdate chose into frameImage, clears the
// image's border (DemoDraw) and presents it. frameImage is never cleared between
// frames: what a scene does not overwrite stays, so the half blends of
// scenes 1, 3 and 4 leave fading trails.
#include <cstring>

#include "dedraw/dedraw.h"
#include "demo/demo.h"
#include "demo/routines.h"
#include "demo/timeline.h"
#include "effects/effects.h"

using timeline::Grey;
using timeline::kPi;
using timeline::Wave;

namespace {

int Trunc(double v) { return static_cast<int>(v); }

void FlashTail()
{
    effects.SetColour(Grey(flashLevel));
    if (flashLevel != 0) effects.Fill(EFFECT_ADD);
}

void Flowers(int t)
{
    const double angle = static_cast<double>(t) * timeline::kOver167;
    for (int i = 0; i < massFlowerCount; ++i)
        DrawSpinQuad(massFlower_x[i], massFlower_y[i], 60, angle, EFFECT_MASK_COPY, massFlower_pic[i],
                     &flowerMask);
}

// A caption, then a grey card of captionLevel added over it: a high level
// washes the caption out toward white.
void CaptionStep(Pixmap* caption, const DemoPoint& q)
{
    DrawQuad(q.x, q.y, -256, 46, kPi, EFFECT_COPY, caption, nullptr);
    effects.SetColour(Grey(captionLevel));
    effects.SetBuffer(&greyCard);
    effects.Fill(EFFECT_COPY);
    effects.SetBuffer(&frameImage);
    DrawQuad(q.x, q.y, -256, 46, kPi, EFFECT_ADD, &greyCard, nullptr);
}

void PatternPanels(int t)
{
    const double w = 156 - 5 * Wave(t, timeline::kOver67_1);
    DrawQuadInset(patternA.x, patternA.y, w, 176, kPi - 0.05, EFFECT_MASK_BLEND, &patternPic, &patternMask);
    DrawQuadInset(patternB.x, patternB.y, w, 176, kPi + 0.05, EFFECT_MASK_BLEND, &patternPic, &patternMask);
}

// Every byte of the picture's pixels.
void Fill(Pixmap& pixmap, uint8_t byte)
{
    if (pixmap.pixChar != nullptr) std::memset(pixmap.pixChar, byte, static_cast<size_t>(pixmap.numBytes));
}

void Opening()
{
    Fill(frameImage, 0xFF);
    effects.SetColour(0);
    DrawScanlines();
}

void Garden(int t)
{
    PatternPanels(t);
    DrawQuad(branchPos.x, branchPos.y, 256, 256, kPi, EFFECT_BLEND, &branchPic, nullptr);
    DrawQuadNoMask(tilePos.x, tilePos.y, 128, 256, 0, EFFECT_BLEND, &tilePic);
    effects.DrawTiled(Trunc(4 * Wave(t, timeline::kOver57_1)), Trunc(tileScrollY), EFFECT_BLEND,
                      &wallpaperPic, nullptr);
    if (t > 2600) Flowers(t);
    if (t < 2760) FlashTail();
    effects.SetColour(0);
    DrawScanlines();
    if (t <= 2760) return;

    // The title with its light bars.
    effects.Combine(EFFECT_MASK_BLEND, &titlePic, &titleMask);
    for (int i = 0; i < lightLineCount; ++i) {
        effects.SetColour(Grey(10));
        DrawLightBar(Trunc(lightLine_x[i]), 10, &titleMask);
        effects.SetColour(Grey(20));
        DrawLightBar(Trunc(lightLine_x[i] + 2.0), 6, &titleMask);
    }
    FlashTail();
}

// One more blur pass of the picture, when the update asked for it.
void BlurPass()
{
    if (blurPending == 1) {
        effects.Blur(&blurPic);
        blurPending = 0;
    }
}

// Between 114.60 s and 115.60 s panoramaView takes the panorama's view.
bool KeepsPanoramaView(int t) { return t > 11460 && t < 11560; }

void KeepPanoramaView()
{
    effects.SetBuffer(&panoramaView);
    effects.CopyWindow(Trunc(panoramaX), 0, &panoramaPic);
    effects.SetBuffer(&frameImage);
}

void Blur(int t)
{
    Fill(frameImage, 0xFF);
    BlurPass();
    CaptionStep(&captionPic1, captionPos);
    if (t <= 5200)
        effects.Combine(EFFECT_MASK_COPY, &blurPic, &blurMask);
    else
        crossFade.Draw();
    effects.DrawSprite(Trunc(dropX), Trunc(dropY), EFFECT_MASK_BLEND, &dropPic, &dropMask);
    FlashTail();
}

void Panorama(int t)
{
    const int P = captionPeriod;
    if (t >= timeline::kScenes[3].first && t < 6600) effects.Combine(EFFECT_COPY, &bridgePic, nullptr);
    if (t > 6600 && t < 7000) crossFade.Draw();
    if (t > 7000 && t < 11460) effects.CopyWindow(Trunc(panoramaX), 0, &panoramaPic);
    if (KeepsPanoramaView(t)) {
        // panoramaView keeps the last view of the panorama.
        KeepPanoramaView();
        effects.CopyWindow(Trunc(panoramaX), 0, &panoramaPic);
    }
    if (t > 11560 && t < 15560) effects.Combine(EFFECT_BLEND, &panoramaView, nullptr);

    Pixmap* caption = nullptr;
    if (t < 7500)
        caption = &captionPic2;
    else if (t > 8450 && t < 8450 + 2 * P)
        caption = &captionPic3;
    else if (t > 8450 + 2 * P && t < 8450 + 4 * P)
        caption = &captionPic4;
    else if (t > 8450 + 4 * P && t < 8450 + 6 * P)
        caption = &captionPic5;
    if (caption != nullptr) CaptionStep(caption, captionPos);

    if (t > 11500 && t < 11500 + 2 * P) CaptionStep(&captionPic6, caption2Pos);
    if (t > 11600 && t < 13200) DrawScreenPanel(&screenPic);
    if (t > 13400 && t < 17560) Flowers(t);
    FlashTail();
}

void GardenAgain(int t)
{
    PatternPanels(t);
    DrawQuad(branchPos.x, branchPos.y, -256, 256, kPi, EFFECT_BLEND, &branchPic, nullptr);
    DrawQuadNoMask(tilePos.x, tilePos.y, 128, 256, 0, EFFECT_BLEND, &tilePic);
    effects.DrawTiled(Trunc(3 * Wave(t, timeline::kOver97_1)), Trunc(tileScrollY), EFFECT_BLEND,
                      &wallpaperPic, nullptr);
    DrawQuad(captionPos.x, captionPos.y, -256, 60, kPi, EFFECT_MASK_BLEND, &captionPic7, &captionMask7);
    DrawQuad(caption2Pos.x, caption2Pos.y, -256, 60, kPi, EFFECT_MASK_BLEND, &captionPic8, &captionMask8);
    if (t > 13600 && t < 17560) Flowers(t);
    if (t > 15500) crossFade.Draw();
    FlashTail();
}

void Stage(int t)
{
    effects.Combine(EFFECT_COPY, &stagePic, nullptr);
    DrawQuad(slide1Pos.x, slide1Pos.y, -256, 60, kPi, EFFECT_COPY, &captionPic9, nullptr);
    DrawQuad(slide2Pos.x, slide2Pos.y, -256, 60, kPi, EFFECT_COPY, &captionPic10, nullptr);
    DrawQuad(slide3Pos.x, slide3Pos.y, -256, 60, kPi, EFFECT_COPY, &captionPic11, nullptr);
    DrawQuad(148, 30, -256, 60, 0, EFFECT_ADD, &captionPic12, nullptr);
    DrawQuad(149, 130, -256, 60, kPi, EFFECT_ADD, &captionPic12, nullptr);
    DrawQuad(149, 190, 256, 120, kPi, EFFECT_ADD, &whiteCard, nullptr);
    if (t > 19000) crossFade.Draw();
}

void Closing(int t)
{
    if (t > 20400) {
        crossFade.Draw();
    } else {
        effects.Combine(EFFECT_COPY, &closingPic, nullptr);
        // Black, ready to be faded to at the end.
        Fill(panoramaView, 0);
    }
}

}  // namespace

void DemoDraw()
{
    const int t = musicPosition;
    switch (scene) {
    case 0: Opening(); break;
    case 1: Garden(t); break;
    case 2: Blur(t); break;
    case 3: Panorama(t); break;
    case 4: GardenAgain(t); break;
    case 5: Stage(t); break;
    case 6: Closing(t); break;
    default: break;
    }
    effects.ClearBorder();
}

int DemoDrawCovers(int sceneNumber, int32_t t)
{
    switch (sceneNumber) {
    case 0:  // white
    case 2:  // white
    case 5:  // the stage picture
    case 6:  // the closing picture, or its fade
        return 1;
    case 3:  // the bridge, its fade into the panorama, the panorama
        return (t >= timeline::kScenes[3].first && t < 6600) || (t > 6600 && t < 7000) || (t > 7000 && t < 11460) ||
               KeepsPanoramaView(t);
    default: return 0;
    }
}

void DemoDrawAside()
{
    const int t = musicPosition;
    if (scene == 2) BlurPass();
    if (scene == 3 && KeepsPanoramaView(t)) KeepPanoramaView();
    if (scene == 6 && t <= 20400) Fill(panoramaView, 0);
}

void DemoRender()
{
    DemoDraw();
    deDraw.Present(&frameImage);
}

// DemoUpdate: the show's clock-driven state machine. Each call takes the
// time t (the music position read after the previous step), finds the one
// window of the timeline that holds it, moves that window's values by one
// hundredth of a second, and picks the scene to draw. Every window is open
// at both ends: in the hundredth before a scene's first (timeline::kScenes)
// nothing changes.
#include "demo/demo.h"
#include "demo/timeline.h"

#include <initializer_list>

using timeline::kOver67_1;
using timeline::kOver97_1;
using timeline::Wave;

namespace {

// Set by the program that runs the show; see DemoHooks.
DemoHooks hooks;

int FrameWidth() { return frameImage.width; }
int FrameHeight() { return frameImage.height; }

// Brings flower i back off screen, to the right and above the top.
void RespawnHigh(int i)
{
    massFlower_x[i] = (DemoRandom() % FrameWidth()) + FrameWidth();
    massFlower_y[i] = (DemoRandom() % 500) - 800;
}

void FallDiagonally(int i)
{
    massFlower_x[i] -= massFlower_speed[i];
    massFlower_y[i] += massFlower_speed[i];
}

void Opening()
{
    tileScrollY = 0.0;
    patternA = {100, -300};
    patternB = {500, 500};
    branchPos = {1100, 200};
    tilePos = {500, -980};
    // Redrawn on every step of the window: the bars keep the last values.
    for (int i = 0; i < lightLineCount; ++i) lightLine_x[i] = DemoRandom() % 640;
    flashLevel = 254;
    flashPhase = 1;
    scene = 0;
}

void Garden(int t)
{
    tileScrollY += 1.0;
    patternA.x += Wave(t, kOver67_1);
    patternA.y += 1.0;
    patternB.x += Wave(t, kOver97_1);
    patternB.y -= 1.0;
    branchPos.x -= 0.5;
    tilePos.y += 0.6;

    // The flowers fall straight down from 26 s on.
    if (t > 2600) {
        for (int i = 0; i < massFlowerCount; ++i) {
            massFlower_y[i] += massFlower_speed[i];
            if (massFlower_y[i] > 500) massFlower_y[i] = (DemoRandom() % 100) - 500;
        }
    }

    // The bars swing in two opposed groups.
    for (int i = 0; i < lightLineCount; ++i) {
        double d = 5 * Wave(t, kOver97_1);
        if (i & 1)
            lightLine_x[i] += d;
        else
            lightLine_x[i] -= d;
    }

    crossFade.Add(static_cast<int>(5 * Wave(t, kOver97_1)));

    if (t < 2700) {
        // The white of the start fades out slowly.
        if ((t & 3) == 1 && flashLevel > 0) flashLevel -= 1;
    } else if (t < 3500) {
        // One white flash: up to full white, then down again.
        if (flashPhase == 1) {
            flashLevel += 4;
            if (flashLevel > 255) {
                flashLevel = 255;
                flashPhase = 2;
            }
        } else {
            flashLevel -= 3;
            if (flashLevel < 0) flashLevel = 0;
        }
    } else {
        // Fade to white before scene 2.
        flashLevel += 4;
        if (flashLevel > 255) flashLevel = 255;
    }
    scene = 1;
}

void Blur(int t)
{
    if ((t & 1) && flashLevel > 0) flashLevel -= 1;
    // The drop starts falling at 50.4 s, accelerating.
    if (t > 5040) {
        dropSpeed += 0.02;
        dropY += dropSpeed;
    }
    if (t > 4800 && t < 4900) crossFade.Set(0, &bridgePic, &blurPic);
    if (t > 5200) {
        // One more blur pass, at most five, each only once the render has
        // done the previous one.
        if ((t & 127) == 2 && blurCount < 5 && blurPending == 0) {
            blurCount += 1;
            blurPending = 1;
        }
        if ((t & 3) == 1) crossFade.Add(1);
    }
    if (t < 4500) {
        captionPos = {140, -30};
        captionLevel = 255;
        scene = 2;
        return;
    }
    if (t < 4760) {
        if (captionLevel > 0) captionLevel -= 1;
    } else {
        captionLevel += 2;
        if (captionLevel > 255) captionLevel = 255;
    }
    captionPos.x += 0.5;
    captionPos.y += (2.0 / 3.0) * fpmath::Sin(static_cast<double>(t) * 0.01);
    scene = 2;
}

void Panorama(int t)
{
    const int P = captionPeriod;
    if (t < 6600) {
        crossFade.Set(0, &panoramaView, &bridgePic);
        flashLevel = 0;
    }
    if (t > 6600 && t < 7000) crossFade.Add(1);

    if (t < 7000) {
        captionPos = {150, 30};
        captionLevel = 255;
    } else if (t < 7260) {
        if (captionLevel > 0) captionLevel -= 1;
        captionPos.y += 0.5;
    } else if (t < 7500) {
        captionLevel += 2;
        if (captionLevel > 255) captionLevel = 255;
        captionPos.y += 0.5;
    } else if (t < 8400) {
        captionPos = {320, 100};
    } else {
        // Six caption periods: fading out on even ones, in on odd ones.
        for (int k = 0; k < 6; ++k) {
            if (t > 8450 + k * P && t < 8450 + (k + 1) * P) {
                if (k % 2 == 0) {
                    if (captionLevel > 0) captionLevel -= 1;
                } else {
                    if (captionLevel < 255) captionLevel += 1;
                }
            }
        }
    }

    if (t > 11400 && t < 11500) {
        caption2Pos = {static_cast<double>(FrameWidth() - 192), static_cast<double>(FrameHeight() - 60)};
        captionLevel = 255;
    }
    if (t > 11500 && t < 11500 + P) {
        if (captionLevel > 0) captionLevel -= 1;
    }
    if (t > 11500 + P && t < 11500 + 2 * P) {
        if (captionLevel < 255) captionLevel += 1;
    }

    if (t > 7400 && t < 11660) {
        panoramaX += 0.3;
        if (panoramaX > 1216) panoramaX = 1216;
    }

    if (t > 13200 && t < 13300) {
        for (int i = 0; i < massFlowerCount; ++i) {
            RespawnHigh(i);
            massFlower_speed[i] = (DemoRandom() % 10) * 0.1 + 3.5;
        }
    }
    if (t > 12400) {
        for (int i = 0; i < massFlowerCount; ++i) {
            FallDiagonally(i);
            if (massFlower_y[i] > 500) RespawnHigh(i);
        }
    }
    if (t > 13400) {
        flashLevel += 1;
        if (flashLevel > 255) flashLevel = 255;
    }
    scene = 3;
}

void GardenAgain(int t)
{
    if (t < 13900) {
        patternA = {100, -300};
        patternB = {500, 500};
        branchPos = {1100, 200};
        tilePos = {500, -180};
    } else {
        patternA.x += Wave(t, kOver67_1);
        patternA.y += 1.0;
        if (patternA.y > FrameHeight() + 100) patternA.y = -300;
        patternB.x += Wave(t, kOver97_1);
        patternB.y -= 1.0;
        if (patternB.y < -200) patternB.y = 600;
        branchPos.x -= 0.5;
        tilePos.x -= 1.1;
        tilePos.y += 1.3;
    }

    if (t < 14000) {
        captionPos = {140, -40};
        caption2Pos = {500, 520};
    } else if (t > 14000 && t < 14600) {
        captionPos.y += 0.3;
        if (captionPos.y > 40) captionPos.y = 40;
    } else if (t > 14600 && t < 14800) {
        captionPos.y -= 0.3;
        if (captionPos.y < -40) captionPos.y = -40;
    } else if (t > 14800 && t < 15400) {
        caption2Pos.y -= 0.3;
        if (caption2Pos.y < 440) caption2Pos.y = 440;
    } else if (t > 15400 && t < 15600) {
        caption2Pos.y += 0.3;
        if (caption2Pos.y > 520) caption2Pos.y = 520;
    }

    // The frame itself fades into the stage picture.
    if (t > 14800 && t < 14900) crossFade.Set(0, &stagePic, &frameImage);
    if (t > 15500 && (t & 1)) crossFade.Add(1);

    flashLevel -= 1;
    if (flashLevel < 0) flashLevel = 0;

    // From 140 s on, flowers that leave the screen stay gone.
    for (int i = 0; i < massFlowerCount; ++i) {
        FallDiagonally(i);
        if (t < 14000 && massFlower_y[i] > 500) RespawnHigh(i);
    }
    tileScrollY -= 1.0;
    scene = 4;
}

void Stage(int t)
{
    if (t < 16200) {
        slide2Pos = {148, -30};
        slide3Pos = {148, -180};
        slide1Pos = {148, -330};
    } else {
        for (DemoPoint* slide : {&slide2Pos, &slide3Pos, &slide1Pos}) {
            slide->y += 0.2;
            if (slide->y > 195) slide->y = 195;
        }
    }
    if (t > 18900 && t < 19000) crossFade.Set(0, &closingPic, &stagePic);
    if (t > 19000) crossFade.Add(1);
    scene = 5;
}

void Closing(int t)
{
    // panoramaView is cleared to black by the render of this scene.
    if (t < 19600) crossFade.Set(0, &panoramaView, &closingPic);
    if (t > 20400 && (t & 1)) crossFade.Add(1);
    scene = 6;
}

}  // namespace

void SetDemoHooks(const DemoHooks& newHooks) { hooks = newHooks; }

int SceneAt(int32_t t)
{
    if (t <= 0) return -1;
    int at = 0;
    while (at + 1 < timeline::kSceneCount && t >= timeline::kScenes[at + 1].first - 1) ++at;
    return t + 1 == timeline::kScenes[at].first ? -1 : at;
}

void DemoUpdate()
{
    const int t = musicPosition;
    switch (SceneAt(t)) {
    case 0: Opening(); break;
    case 1: Garden(t); break;
    case 2: Blur(t); break;
    case 3: Panorama(t); break;
    case 4: GardenAgain(t); break;
    case 5: Stage(t); break;
    case 6: Closing(t); break;
    default: break;
    }

    if (t > kShowEnd && hooks.endOfShow != nullptr) hooks.endOfShow();
}

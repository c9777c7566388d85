// The show itself: its pictures, font and particle systems (loaded by
// DemoInit, released by DemoFree), the clock-driven state that DemoUpdate
// moves once per hundredth of a second, and DemoRender, which draws the
// current scene into frameImage and presents it.
#pragma once

#include <cstdint>

#include "demo/cross_fade.h"
#include "font/font.h"
#include "pixmap/pixmap.h"

// The show's clock: the music position in hundredths of a second, which
// every update step and every render reads. The show owns it and never
// writes it; the program that runs the show does (the shell sets it to 0 at
// start-up and to the music's position after every update step).
extern int32_t musicPosition;

// What the show asks of the program that runs it. The shell sets the hooks
// at start-up, before the first update step. A hook left unset (null) is
// ignored: without an end-of-show hook, updates past the end go on holding
// the closing picture.
struct DemoHooks {
    // Asked by an update step past the end of the show (t > kShowEnd), as
    // its last act. The shell ends the run there and then: when it returns,
    // the show's assets are released.
    void (*endOfShow)() = nullptr;
};
// Replaces every hook; DemoHooks{} unsets them all.
void SetDemoHooks(const DemoHooks& hooks);

// The one image every frame is drawn into (640 x 480 x 32), created by the
// shell.
extern Pixmap frameImage;

// Pictures and masks.
extern Pixmap panoramaView, bridgePic, panoramaPic, stagePic, titlePic, titleMask, blurPic, blurMask,
    dropPic, dropMask, wallpaperPic, patternPic, patternMask, branchPic, tilePic;
extern Pixmap flowerPic1, flowerPic2, flowerPic3, flowerPic4, flowerPic5, flowerPic6, flowerMask;
extern Pixmap captionPic1, captionPic2, captionPic3, captionPic4, captionPic5, captionPic6, captionPic7,
    captionMask7, captionPic8, captionMask8, captionPic9, captionPic10, captionPic11, captionPic12;
extern Pixmap whiteCard, greyCard, closingPic, screenPic;

extern Font font;
extern CrossFade crossFade;

// The falling flowers.
extern int32_t massFlowerCount;
extern double* massFlower_x;
extern double* massFlower_y;
extern double* massFlower_speed;
extern Pixmap** massFlower_pic;

// The light bars over the title.
extern int32_t lightLineCount;
extern double* lightLine_x;

struct DemoPoint {
    double x;
    double y;
};

// The animated state.
extern int32_t scene;
extern int32_t flashLevel;
extern int32_t flashPhase;
extern int32_t captionLevel;
extern int32_t captionPeriod;
extern int32_t blurCount;
extern int32_t blurPending;
extern double panoramaX;
extern double dropX;
extern double dropY;
extern double dropSpeed;
extern double tileScrollY;
extern DemoPoint patternA, patternB, branchPos, tilePos, captionPos, caption2Pos, slide1Pos, slide2Pos,
    slide3Pos;

// The show's random numbers: a linear congruential generator whose state
// starts at 1 and is never reseeded. Returns 0..32767.
int DemoRandom();
// The generator's state; tests restart it.
extern uint32_t demoRandomState;

// Loads every asset and sets the initial state. Raises ErrorException
// (through the loaders or on an allocation failure).
void DemoInit();
// The particle arrays, the flower layout and the initial state: the last
// steps of DemoInit. 1 on success, 0 after a report.
int DemoInitState();
// Releases every asset; records problems, never raises.
void DemoFree();
// One hundredth of a second of the show, at t = musicPosition; past the end
// of the show it ends with the end-of-show hook.
void DemoUpdate();
// The scene (an index of timeline::kScenes) whose update DemoUpdate runs at
// t; -1 for none (t <= 0, and the hundredth before a scene's first, where
// the scene stays).
int SceneAt(int32_t t);
// Draws the current scene into frameImage and presents it.
void DemoRender();
// DemoRender without the present: the frame image as DemoRender leaves it.
void DemoDraw();
// 1 when DemoDraw of `sceneNumber` at time t writes every pixel of the
// frame image before it reads any, so that the frames before it leave no
// trace in it. Decided from the scene and the time alone: the cross-fades
// these scenes draw have their pictures set by the timeline's earlier
// windows.
int DemoDrawCovers(int sceneNumber, int32_t t);
// What DemoDraw does besides drawing the frame image, without drawing it:
// the pending blur pass and the panorama view's changes. A frame that a
// later covering draw overwrites anyway can be left at this.
void DemoDrawAside();

// The show ends once an update sees a position past this (214.60 s).
constexpr int32_t kShowEnd = 21460;

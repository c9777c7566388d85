// The show's assets and state, their release at shutdown, and the random
// numbers the flower layout comes from.
#include "demo/demo.h"

#include "effects/effects.h"
#include "effects/polygon_render.h"
#include "error/memory.h"
#include "error/report.h"
#include "tiny3d/matrix.h"

ORCHID_REPORT_MODULE("demo");

// Shared with the shell, which creates and frees the frame image and writes
// the music position after every update step.
Pixmap frameImage;
int32_t musicPosition = 0;

Pixmap panoramaView, bridgePic, panoramaPic, stagePic, titlePic, titleMask, blurPic, blurMask, dropPic,
    dropMask, wallpaperPic, patternPic, patternMask, branchPic, tilePic;
Pixmap flowerPic1, flowerPic2, flowerPic3, flowerPic4, flowerPic5, flowerPic6, flowerMask;
Pixmap captionPic1, captionPic2, captionPic3, captionPic4, captionPic5, captionPic6, captionPic7,
    captionMask7, captionPic8, captionMask8, captionPic9, captionPic10, captionPic11, captionPic12;
Pixmap whiteCard, greyCard, closingPic, screenPic;

Font font;
CrossFade crossFade;

int32_t massFlowerCount = 0;
double* massFlower_x = nullptr;
double* massFlower_y = nullptr;
double* massFlower_speed = nullptr;
Pixmap** massFlower_pic = nullptr;

int32_t lightLineCount = 0;
double* lightLine_x = nullptr;

int32_t scene = 0;
int32_t flashLevel = 0;
int32_t flashPhase = 0;
int32_t captionLevel = 0;
int32_t captionPeriod = 270;
int32_t blurCount = 0;
int32_t blurPending = 0;
double panoramaX = 0.0;
double dropX = 0.0;
double dropY = 0.0;
double dropSpeed = 0.0;
double tileScrollY = 0.0;
DemoPoint patternA, patternB, branchPos, tilePos, captionPos, caption2Pos, slide1Pos, slide2Pos, slide3Pos;

uint32_t demoRandomState = 1;

int DemoRandom()
{
    demoRandomState = demoRandomState * 214013u + 2531011u;
    return static_cast<int>((demoRandomState >> 16) & 0x7FFF);
}

namespace {

// A heap array of `count` elements, reported at `line` when memory runs out.
template <class T>
T* Allocate(int count, int line, const char* declaration)
{
    int bytes = count * static_cast<int>(sizeof(T));
    auto* block = static_cast<T*>(orchid::MemAlloc(static_cast<std::size_t>(bytes)));
    if (block == nullptr) REPORT_AT(line, ERR_OUT_OF_MEMORY, declaration, bytes);
    return block;
}

// Frees a heap array, or records that it was missing.
template <class T>
void Release(T*& block, const char* missing)
{
    if (block != nullptr) {
        orchid::MemFree(block);
        block = nullptr;
    } else {
        RECORD(ERR_MISC, missing);
    }
}

}  // namespace

int DemoInitState()
{
    massFlowerCount = 50;
    massFlower_x = Allocate<double>(massFlowerCount, 193, "double *massFlower_x\n");
    if (massFlower_x == nullptr) return 0;
    massFlower_y = Allocate<double>(massFlowerCount, 201, "double *massFlower_y\n");
    if (massFlower_y == nullptr) return 0;
    massFlower_speed = Allocate<double>(massFlowerCount, 209, "double *massFlower_speed\n");
    if (massFlower_speed == nullptr) return 0;
    // Reported as 50 entries of 4 bytes, the size the report names for this
    // table.
    massFlower_pic = static_cast<Pixmap**>(orchid::MemAlloc(sizeof(Pixmap*) * massFlowerCount));
    if (massFlower_pic == nullptr) {
        REPORT_AT(217, ERR_OUT_OF_MEMORY, "Pixmap **massFlower_pic\n", massFlowerCount * 4);
        return 0;
    }
    Pixmap* const flowerPics[6] = {&flowerPic1, &flowerPic2, &flowerPic3,
                                   &flowerPic4, &flowerPic5, &flowerPic6};
    for (int i = 0; i < massFlowerCount; ++i) {
        massFlower_x[i] = DemoRandom() % frameImage.width;
        massFlower_y[i] = (DemoRandom() % 500) - 800;
        massFlower_speed[i] = (DemoRandom() % 10) * 0.1 + 3.5;
        massFlower_pic[i] = flowerPics[DemoRandom() % 6];
    }

    lightLineCount = 10;
    lightLine_x = Allocate<double>(lightLineCount, 265, "double *lightLine_x\n");
    if (lightLine_x == nullptr) return 0;

    scene = 0;
    captionLevel = 0;
    blurCount = 0;
    blurPending = 0;
    tileScrollY = 0.0;
    panoramaX = 0.0;
    dropX = 96.0;
    dropY = 110.0;
    dropSpeed = 0.1;
    patternA = patternB = branchPos = tilePos = captionPos = caption2Pos = slide1Pos = slide2Pos =
        slide3Pos = DemoPoint{0.0, 0.0};
    return 1;
}

void DemoFree()
{
    Release(massFlower_x, "double *massFlower_x was null.\n");
    Release(massFlower_y, "double *massFlower_y was null.\n");
    Release(massFlower_speed, "double *massFlower_speed was null.\n");
    Release(massFlower_pic, "Pixmap **massFlower_pic was null.\n");
    Release(lightLine_x, "double *lightLine_x was null.\n");

    font.Free();
    MatrixCalculations::Free();
    polygonRender.Free();

    Pixmap* const all[] = {
        &screenPic,    &captionPic1,  &captionPic2,  &captionPic3,  &captionPic4,  &captionPic5,
        &captionPic6,  &captionPic7,  &captionMask7, &captionPic8,  &captionMask8, &greyCard,
        &captionPic9,  &captionPic10, &captionPic11, &captionPic12, &whiteCard,    &closingPic,
        &bridgePic,    &panoramaPic,  &titlePic,     &titleMask,    &stagePic,     &blurPic,
        &blurMask,     &dropPic,      &dropMask,     &wallpaperPic, &patternPic,   &patternMask,
        &branchPic,    &tilePic,      &flowerPic1,   &flowerPic2,   &flowerPic3,   &flowerPic4,
        &flowerPic5,   &flowerPic6,   &flowerMask,   &panoramaView,
    };
    for (Pixmap* pixmap : all) pixmap->Free();
}

#include "tiny3d/matrix.h"

#include "error/memory.h"
#include "error/report.h"

ORCHID_REPORT_MODULE("tiny3d/matrix");

namespace MatrixCalculations {

int32_t initialized = 0;
double** temporaryMatrix = nullptr;

namespace {
constexpr int kRowBytes = kSize * static_cast<int>(sizeof(double));
constexpr int kTableBytes = kSize * static_cast<int>(sizeof(double*));

// Deletes the rows a failed Init had made so far, and the table.
void UndoInit()
{
    for (int i = 0; i < kSize; ++i) orchid::MemFree(temporaryMatrix[i]);
    orchid::MemFree(temporaryMatrix);
    temporaryMatrix = nullptr;
}
}  // namespace

int Init()
{
    if (initialized) {
        REPORT_AT(201, ERR_TINY3D, "MatrixCalculations already initialized.\n");
        return 0;
    }
    temporaryMatrix = static_cast<double**>(orchid::MemAlloc(kTableBytes));
    if (temporaryMatrix == nullptr) {
        REPORT_AT(216, ERR_OUT_OF_MEMORY, "double **temporaryMatrix\n", kTableBytes);
        return 0;
    }
    for (int i = 0; i < kSize; ++i) {
        // Rows come zero-filled, every element 0.0.
        temporaryMatrix[i] = static_cast<double*>(orchid::MemAlloc(kRowBytes));
        if (temporaryMatrix[i] == nullptr) {
            UndoInit();
            REPORT_AT(227, ERR_OUT_OF_MEMORY, "double **temporaryMatrix\n", kRowBytes);
            return 0;
        }
    }
    initialized = 1;
    return 1;
}

void Free()
{
    if (!initialized) {
        RECORD_AT(251, ERR_TINY3D, "MatrixCalculations not initialized.\n");
        return;
    }
    if (temporaryMatrix != nullptr) {
        for (int i = 0; i < kSize; ++i) {
            if (temporaryMatrix[i] != nullptr) {
                orchid::MemFree(temporaryMatrix[i]);
                temporaryMatrix[i] = nullptr;
            } else {
                RECORD_AT(268, ERR_TINY3D, "double *temporaryMatrix[i] was null.\n");
            }
        }
        orchid::MemFree(temporaryMatrix);
        temporaryMatrix = nullptr;
    } else {
        RECORD_AT(279, ERR_TINY3D, "double **temporaryMatrix was null.\n");
    }
    initialized = 0;
}

}  // namespace MatrixCalculations

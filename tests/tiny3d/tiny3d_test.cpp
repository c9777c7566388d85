#include <gtest/gtest.h>

#include <string>

#include "error/error_log.h"
#include "error/memory.h"
#include "tests/support/log.h"
#include "tiny3d/matrix.h"
#include "tiny3d/polygon.h"
#include "tiny3d/vertex.h"

using namespace test_support;

namespace {

using Tiny3D = LogTest;

TEST_F(Tiny3D, VertexLifecycleAndReports)
{
    T3D_Vertex vertex;
    EXPECT_THROW(vertex.Init(3), ErrorException);
    EXPECT_EQ(vertex.type, 3);
    EXPECT_EQ(vertex.c, nullptr);
    EXPECT_EQ(Report(), Entry("Tiny3D error:\n", "T3D_Vertex class given unknown type.\n", "tiny3d/vertex", 67));

    T3D_Vertex owned;
    ASSERT_EQ(owned.Init(T3D_OWNED), 1);
    ASSERT_NE(owned.c, nullptr);
    EXPECT_THROW(owned.Init(T3D_OWNED), ErrorException);
    owned.Free();
    EXPECT_EQ(owned.c, nullptr);
    EXPECT_EQ(owned.type, 0);
    owned.Free();
    EXPECT_NE(Report().find(Entry("Tiny3D error:\n", "T3D_Vertex class already initialized.\n", "tiny3d/vertex", 44) +
                            Entry("Tiny3D error:\n", "T3D_Vertex class not initialized.\n", "tiny3d/vertex", 87)),
              std::string::npos);

    // A reference vertex leaves the record it points at alone.
    T3D_Coordinate mine;
    T3D_Vertex reference;
    ASSERT_EQ(reference.Init(T3D_REFERENCE), 1);
    reference.c = &mine;
    reference.Free();
    EXPECT_EQ(reference.c, &mine);
    EXPECT_EQ(reference.type, 0);
}

TEST_F(Tiny3D, VertexOutOfMemoryAndMissingCoordinate)
{
    T3D_Vertex vertex;
    orchid::alloc_test::FailAt(1);
    EXPECT_THROW(vertex.Init(T3D_OWNED), ErrorException);
    orchid::alloc_test::FailAt(0);
    EXPECT_EQ(Report(), OutOfMemory("T3D_Coordinate *c\n", sizeof(T3D_Coordinate), "tiny3d/vertex", 59));
    vertex.Free();  // owned without its coordinate
    EXPECT_NE(Report().find(Entry("Tiny3D error:\n", "T3D_Vertex::T3D_Coordinate *c was null.\n", "tiny3d/vertex", 103)),
              std::string::npos);

    T3D_VertexFixed fixed;
    orchid::alloc_test::FailAt(1);
    EXPECT_THROW(fixed.Init(T3D_OWNED), ErrorException);
    orchid::alloc_test::FailAt(0);
    fixed.Free();
    fixed.Free();
    EXPECT_THROW(fixed.Init(7), ErrorException);
    const std::string tail =
        OutOfMemory("T3D_CoordinateFixed *c\n", sizeof(T3D_CoordinateFixed), "tiny3d/vertex", 205) +
        Entry("Tiny3D error:\n", "T3D_VertexFixed::T3D_Coordinate *c was null.\n", "tiny3d/vertex", 249) +
        Entry("Tiny3D error:\n", "T3D_VertexFixed class not initialized.\n", "tiny3d/vertex", 233) +
        Entry("Tiny3D error:\n", "T3D_VertexFixed class given unknown type.\n", "tiny3d/vertex", 213);
    EXPECT_EQ(Report().substr(Report().size() - tail.size()), tail);
}

TEST_F(Tiny3D, PolygonFreeReleasesEveryVertexAfterCountLowered)
{
    T3D_Polygon polygon;
    ASSERT_EQ(polygon.Init(256, T3D_OWNED), 1);
    for (int i = 0; i < 256; ++i) {
        ASSERT_NE(polygon.vertices[i], nullptr);
        ASSERT_NE(polygon.vertices[i]->c, nullptr);
    }
    polygon.count = 4;  // as the scenes do before drawing a quad
    polygon.Free();     // the leak check of the sanitizer build sees any stranded vertex
    EXPECT_EQ(polygon.vertices, nullptr);
    EXPECT_EQ(polygon.allocated, 0);
    EXPECT_EQ(Report(), "");
    polygon.Free();
    EXPECT_EQ(Report(), Entry("Tiny3D error:\n", "T3D_Polygon class not initialized.\n", "tiny3d/polygon", 121));
    ASSERT_EQ(polygon.Init(3, T3D_OWNED), 1);
    EXPECT_THROW(polygon.Init(3, T3D_OWNED), ErrorException);
}

TEST_F(Tiny3D, PolygonInitFailuresLeaveNothingBehind)
{
    // Allocations: the array, then per vertex the vertex and its coordinate.
    struct Case {
        int failAt;
        std::string expected;
    };
    const Case cases[] = {
        {1, OutOfMemory("T3D_Vertex **vertices\n", 3 * sizeof(T3D_Vertex*), "tiny3d/polygon", 75)},
        {4, OutOfMemory("T3D_Vertex *vertices[i]\n", sizeof(T3D_Vertex), "tiny3d/polygon", 86)},
        {7, OutOfMemory("T3D_Coordinate *c\n", sizeof(T3D_Coordinate), "tiny3d/vertex", 59)},
    };
    for (const Case& c : cases) {
        FreshLog();
        T3D_Polygon polygon;
        orchid::alloc_test::FailAt(c.failAt);
        EXPECT_THROW(polygon.Init(3, T3D_OWNED), ErrorException) << c.failAt;
        orchid::alloc_test::FailAt(0);
        EXPECT_EQ(polygon.initialized, 0);
        EXPECT_EQ(polygon.vertices, nullptr);
        EXPECT_EQ(Report(), c.expected);
        EXPECT_EQ(polygon.Init(3, T3D_OWNED), 1);
    }

    FreshLog();
    T3D_Polygon reference;
    orchid::alloc_test::FailAt(1);
    EXPECT_THROW(reference.Init(5, T3D_REFERENCE), ErrorException);
    orchid::alloc_test::FailAt(0);
    EXPECT_THROW(reference.Init(5, 9), ErrorException);
    EXPECT_THROW(reference.Init(-1, T3D_OWNED), ErrorException);
    EXPECT_EQ(Report(), OutOfMemory("T3D_Vertex **vertices\n", 5 * sizeof(T3D_Vertex*), "tiny3d/polygon", 64) +
                            Entry("Tiny3D error:\n", "T3D_Polygon class given unkown type.\n", "tiny3d/polygon", 96) +
                            OutOfMemory("T3D_Vertex **vertices\n", -8, "tiny3d/polygon", 75));
}

TEST_F(Tiny3D, PolygonMissingPiecesAreReportedNotFollowed)
{
    T3D_Polygon polygon;
    ASSERT_EQ(polygon.Init(2, T3D_OWNED), 1);
    T3D_Vertex* taken = polygon.vertices[1];
    polygon.vertices[1] = nullptr;
    polygon.Free();
    orchid::MemDelete(taken);

    T3D_Polygon reference;
    ASSERT_EQ(reference.Init(4, T3D_REFERENCE), 1);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(reference.vertices[i], nullptr);
    T3D_Vertex** array = reference.vertices;
    reference.vertices = nullptr;
    reference.Free();
    orchid::MemFree(array);

    T3D_Polygon owned;
    ASSERT_EQ(owned.Init(0, T3D_OWNED), 1);
    orchid::MemFree(owned.vertices);
    owned.vertices = nullptr;
    owned.Free();

    T3D_Polygon odd;
    ASSERT_EQ(odd.Init(1, T3D_REFERENCE), 1);
    orchid::MemFree(odd.vertices);
    odd.vertices = nullptr;
    odd.type = 5;
    odd.Free();
    EXPECT_EQ(odd.initialized, 0);

    EXPECT_EQ(Report(),
              Entry("Tiny3D error:\n", "T3D_Polygon::T3D_Vertex *vertices[i] was null.\n", "tiny3d/polygon", 148) +
                  Entry("Tiny3D error:\n", "T3D_Polygon::T3D_Vertex **vertices was null.\n", "tiny3d/polygon", 135) +
                  Entry("Tiny3D error:\n", "T3D_Polygon::T3D_Vertex **vertices was null.\n", "tiny3d/polygon", 159) +
                  Entry("Tiny3D error:\n", "T3D_Polygon class not initialized.\n", "tiny3d/polygon", 166));
}

TEST_F(Tiny3D, MatrixWorkspace)
{
    MatrixCalculations::Free();
    EXPECT_EQ(Report(), Entry("Tiny3D error:\n", "MatrixCalculations not initialized.\n", "tiny3d/matrix", 251));

    ASSERT_EQ(MatrixCalculations::Init(), 1);
    double** first = MatrixCalculations::temporaryMatrix;
    EXPECT_THROW(MatrixCalculations::Init(), ErrorException);
    EXPECT_EQ(MatrixCalculations::temporaryMatrix, first);
    MatrixCalculations::Free();
    EXPECT_EQ(MatrixCalculations::temporaryMatrix, nullptr);

    // Missing pieces are reported and the rest still released.
    ASSERT_EQ(MatrixCalculations::Init(), 1);
    double* row = MatrixCalculations::temporaryMatrix[7];
    MatrixCalculations::temporaryMatrix[7] = nullptr;
    MatrixCalculations::Free();
    orchid::MemFree(row);
    ASSERT_EQ(MatrixCalculations::Init(), 1);
    double** table = MatrixCalculations::temporaryMatrix;
    for (int i = 0; i < 256; ++i) orchid::MemFree(table[i]);
    orchid::MemFree(table);
    MatrixCalculations::temporaryMatrix = nullptr;
    MatrixCalculations::Free();
    EXPECT_EQ(MatrixCalculations::initialized, 0);

    const std::string tail =
        Entry("Tiny3D error:\n", "MatrixCalculations already initialized.\n", "tiny3d/matrix", 201) +
        Entry("Tiny3D error:\n", "double *temporaryMatrix[i] was null.\n", "tiny3d/matrix", 268) +
        Entry("Tiny3D error:\n", "double **temporaryMatrix was null.\n", "tiny3d/matrix", 279);
    EXPECT_EQ(Report().substr(Report().size() - tail.size()), tail);
}

TEST_F(Tiny3D, MatrixInitFailuresLeaveNothingBehind)
{
    orchid::alloc_test::FailAt(1);
    EXPECT_THROW(MatrixCalculations::Init(), ErrorException);
    orchid::alloc_test::FailAt(100);
    EXPECT_THROW(MatrixCalculations::Init(), ErrorException);
    orchid::alloc_test::FailAt(0);
    EXPECT_EQ(MatrixCalculations::initialized, 0);
    EXPECT_EQ(MatrixCalculations::temporaryMatrix, nullptr);
    EXPECT_EQ(Report(), OutOfMemory("double **temporaryMatrix\n", 256 * sizeof(double*), "tiny3d/matrix", 216) +
                            OutOfMemory("double **temporaryMatrix\n", 2048, "tiny3d/matrix", 227));
    ASSERT_EQ(MatrixCalculations::Init(), 1);
    MatrixCalculations::Free();
}

}  // namespace

#include "PCG/sparse_matrix.h"
#include "tests/support/pressure_problem.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace pcg;

using Row = testing_support::MatrixRow;
using testing_support::rowOf;

TEST(RowListMatrix, MergesListsIntoRowsInColumnOrder)
{
    RowListMatrix matrix(6);
    matrix.addToRow(1, {3}, {4.0});
    matrix.addToRow(1, {2, 5}, {1.0, 1.0});
    EXPECT_EQ(rowOf(matrix, 1), (Row{{2, 1.0}, {3, 4.0}, {5, 1.0}}));

    // A sum of zero stays stored.
    matrix.addToRow(1, {3}, {-4.0});
    EXPECT_EQ(rowOf(matrix, 1), (Row{{2, 1.0}, {3, 0.0}, {5, 1.0}}));

    // Insertions before, between and after stored entries, and a sum, in one pass.
    matrix.addToRow(1, {0, 3, 4, 5}, {7.0, 2.0, 8.0, 9.0});
    EXPECT_EQ(rowOf(matrix, 1), (Row{{0, 7.0}, {2, 1.0}, {3, 2.0}, {4, 8.0}, {5, 10.0}}));
    EXPECT_TRUE(rowOf(matrix, 0).empty());
}

TEST(RowListMatrix, AddingTheSameListTwiceDoublesItsValues)
{
    RowListMatrix matrix(4);
    matrix.addToRow(2, {0, 1, 3}, {1.5, -2.0, 4.0});
    EXPECT_EQ(rowOf(matrix, 2), (Row{{0, 1.5}, {1, -2.0}, {3, 4.0}}));
    matrix.addToRow(2, {0, 1, 3}, {1.5, -2.0, 4.0});
    EXPECT_EQ(rowOf(matrix, 2), (Row{{0, 3.0}, {1, -4.0}, {3, 8.0}}));
}

TEST(RowListMatrix, FiveEntriesFitWithoutReallocation)
{
    RowListMatrix matrix(10);
    const uint32_t* columns = matrix.rowColumns[7].data();
    const double* values = matrix.rowValues[7].data();
    matrix.addToRow(7, {6, 8}, {-1.0, -1.0});
    matrix.addToRow(7, {2, 7, 9}, {-1.0, 4.0, -1.0});
    EXPECT_EQ(matrix.rowColumns[7].size(), 5u);
    EXPECT_EQ(matrix.rowColumns[7].data(), columns);
    EXPECT_EQ(matrix.rowValues[7].data(), values);
}

TEST(RowListMatrix, RowsGrowBeyondTheirReservedRoom)
{
    RowListMatrix matrix(10);
    matrix.addToRow(3, {1, 3, 5, 7, 9}, {1, 3, 5, 7, 9});
    matrix.addToRow(3, {0, 2, 4, 6, 8}, {0, 2, 4, 6, 8});  // five insertions between
    matrix.addToRow(4, {0, 1, 2, 3, 4, 5, 6, 7}, {7, 6, 5, 4, 3, 2, 1, 0});  // an empty row taking eight
    Row expected;
    for (uint32_t c = 0; c < 10; ++c)
        expected.emplace_back(c, double(c));
    EXPECT_EQ(rowOf(matrix, 3), expected);
    EXPECT_EQ(rowOf(matrix, 4).size(), 8u);
    EXPECT_EQ(rowOf(matrix, 4)[7], (std::pair<uint32_t, double>{7, 0.0}));
    matrix.addToRow(4, {8, 9}, {1.0, 1.0});
    EXPECT_EQ(rowOf(matrix, 4).size(), 10u);
    EXPECT_TRUE(rowOf(matrix, 2).empty() && rowOf(matrix, 5).empty());
}

TEST(CompressedMatrix, CompressesRowsAndMultipliesWithEmptyRows)
{
    RowListMatrix rows(3);
    rows.addToRow(0, {0, 2}, {2.0, 3.0});
    rows.addToRow(2, {1}, {-1.0});
    CompressedMatrix matrix;
    EXPECT_EQ(matrix.rowOffsets, (std::vector<uint32_t>{0}));
    matrix.compressFrom(rows);
    EXPECT_EQ(matrix.rowOffsets, (std::vector<uint32_t>{0, 2, 2, 3}));
    EXPECT_EQ(matrix.entryColumns, (std::vector<uint32_t>{0, 2, 1}));
    EXPECT_EQ(matrix.entryValues, (std::vector<double>{2.0, 3.0, -1.0}));

    std::vector<double> result{9.0};  // wrong length: resized
    applyMatrix(matrix, {1.0, 10.0, 100.0}, result);
    EXPECT_EQ(result, (std::vector<double>{302.0, 0.0, -10.0}));
}

TEST(CompressedMatrix, ShrinksWhenRebuiltFromASmallerMatrix)
{
    RowListMatrix large(4);
    for (uint32_t i = 0; i < 4; ++i)
        large.addToRow(i, {0, 1, 2, 3}, {1.0, 1.0, 1.0, 1.0});
    RowListMatrix small(1);
    small.addToRow(0, {0}, {5.0});
    CompressedMatrix matrix;
    matrix.compressFrom(large);
    matrix.compressFrom(small);
    EXPECT_EQ(matrix.n, 1u);
    EXPECT_EQ(matrix.rowOffsets, (std::vector<uint32_t>{0, 1}));
    EXPECT_EQ(matrix.entryValues, (std::vector<double>{5.0}));
    EXPECT_EQ(matrix.entryColumns, (std::vector<uint32_t>{0}));
}

TEST(CompressedMatrixDeathTest, ProductWithAVectorOfTheWrongLengthStops)
{
    RowListMatrix rows(2);
    CompressedMatrix matrix;
    matrix.compressFrom(rows);
    std::vector<double> result(2);
    EXPECT_DEATH(applyMatrix(matrix, std::vector<double>(3), result), "matrix.n==x.size\\(\\)");
}

}  // namespace

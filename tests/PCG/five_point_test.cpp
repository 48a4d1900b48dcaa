#include "PCG/pcg_solver.h"
#include "PCG/five_point_factor.h"
#include "PCG/coefficient_classes.h"
#include "PCG/five_point_matrix.h"
#include "tests/support/forms.h"
#include "tests/support/pressure_problem.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace pcg;
using namespace testing_support;

// Random values with signed zeros and, when asked, infinities and NaN among them.
std::vector<double> randomVector(uint32_t n, uint32_t seed, bool nonFinite)
{
    std::mt19937 generator(seed);
    std::uniform_real_distribution<double> uniform(-2.0, 2.0);
    std::uniform_int_distribution<int> kind(0, 19);
    std::vector<double> v(n);
    for (double& value : v) {
        switch (kind(generator)) {
        case 0: value = 0.0; break;
        case 1: value = -0.0; break;
        case 2: value = nonFinite ? std::numeric_limits<double>::infinity() : 1.0; break;
        case 3: value = nonFinite ? std::numeric_limits<double>::quiet_NaN() : -1.0; break;
        default: value = uniform(generator);
        }
    }
    return v;
}

struct GridShape {
    uint32_t lines;
    uint32_t length;
};

// Two lines; lines fewer and more than a sweep's four; lines of three, four
// (no step with all lanes inside) and five cells; groups that leave one, two
// or three lines over; the program's grid; long and short lines.
const GridShape shapes[] = {{2, 3}, {3, 3}, {2, 4}, {5, 4}, {6, 5}, {7, 6}, {8, 9}, {9, 7}, {9, 3}, {13, 4}, {12, 5},
                            {5, 50}, {50, 50}, {17, 64}, {64, 17}, {3, 100}};

TEST(FivePoint, FactorProductAndPreconditionerEqualTheGeneralRoutinesBitForBit)
{
    uint32_t seed = 1;
    for (const GridShape shape : shapes) {
        SCOPED_TRACE(::testing::Message() << shape.lines << " lines of " << shape.length);
        const RowListMatrix matrix = randomFivePointMatrix(shape.lines, shape.length, ++seed);
        FivePointMatrix fivePoint;
        ASSERT_TRUE(readFivePointMatrix(matrix, fivePoint));
        EXPECT_EQ(fivePoint.lines, shape.lines);
        EXPECT_EQ(fivePoint.length, shape.length);

        TriangularFactor expectedFactor, factor;
        computeFactor(matrix, expectedFactor, 0.97, 0.25);
        FivePointFactor fivePointFactor;
        computeFivePointFactor(fivePoint, 0.97, 0.25, fivePointFactor, factor);
        EXPECT_EQ(factor.n, expectedFactor.n);
        EXPECT_TRUE(sameBits(expectedFactor.inverseDiagonal, factor.inverseDiagonal));
        EXPECT_TRUE(sameBits(expectedFactor.entryValues, factor.entryValues));
        EXPECT_TRUE(sameBits(expectedFactor.matrixDiagonal, factor.matrixDiagonal));
        EXPECT_EQ(factor.entryRows, expectedFactor.entryRows);
        EXPECT_EQ(factor.columnOffsets, expectedFactor.columnOffsets);

        CompressedMatrix compressed;
        compressed.compressFrom(matrix);
        for (bool nonFinite : {false, true}) {
            SCOPED_TRACE(nonFinite ? "with infinities and NaN" : "finite");
            const std::vector<double> x = randomVector(matrix.n, ++seed, nonFinite);
            std::vector<double> expectedProduct, product(matrix.n);
            const double expectedDot = applyMatrixAndDot(compressed, x, expectedProduct);
            const double dot = applyFivePointAndDot(fivePoint, x.data(), product.data());
            EXPECT_TRUE(sameBits(expectedProduct, product));
            EXPECT_TRUE(sameBits({expectedDot}, {dot}));

            std::vector<double> expectedZ(matrix.n), z(matrix.n);
            forwardSubstitute(expectedFactor, x, expectedZ);
            backSubstituteTransposed(expectedFactor, expectedZ);
            applyFivePointPreconditioner(fivePoint, fivePointFactor, x.data(), z.data());
            EXPECT_TRUE(sameBits(expectedZ, z));
        }

        // The product reads a symmetric matrix's entries before a cell from
        // those after its neighbours; one entry that is not its mirror (a
        // changed value, or a zero of the other sign) must send it back to
        // the entries as they are.
        EXPECT_TRUE(fivePoint.symmetric);
        for (bool signOnly : {false, true}) {
            const uint32_t k = shape.length + 1;  // line 1, position 1: its entries are up, before, ...
            RowListMatrix lopsided(matrix.n);
            for (uint32_t row = 0; row < matrix.n; ++row) {
                std::vector<double> values(matrix.rowValues[row].begin(), matrix.rowValues[row].end());
                if (row == k)
                    values[1] = signOnly ? -0.0 : values[1] + 0.25;
                if (row == k - 1 && signOnly)
                    values[2] = 0.0;  // the cell before: up, diagonal, after, ...
                lopsided.addToRow(row, {matrix.rowColumns[row].begin(), matrix.rowColumns[row].end()}, values);
            }
            FivePointMatrix read;
            ASSERT_TRUE(readFivePointMatrix(lopsided, read));
            EXPECT_FALSE(read.symmetric);
            CompressedMatrix general;
            general.compressFrom(lopsided);
            const std::vector<double> x = randomVector(matrix.n, ++seed, true);
            std::vector<double> expectedProduct, product(matrix.n);
            const double expectedDot = applyMatrixAndDot(general, x, expectedProduct);
            const double dot = applyFivePointAndDot(read, x.data(), product.data());
            EXPECT_TRUE(sameBits(expectedProduct, product));
            EXPECT_TRUE(sameBits({expectedDot}, {dot}));
        }
    }
}

// What the product and the preconditioner give with the matrix's and the
// factor's coefficients read by class, and with them read from their arrays.
struct ByClassAndByArray {
    std::vector<double> product[2], z[2];
    double dot[2];
};

ByClassAndByArray bothWays(const RowListMatrix& matrix, const std::vector<double>& x)
{
    ByClassAndByArray results;
    for (int way = 0; way < 2; ++way) {
        FivePointMatrix fivePoint;
        EXPECT_TRUE(readFivePointMatrix(matrix, fivePoint));
        EXPECT_FALSE(fivePoint.classes.held());
        if (way == 0)
            classifyCoefficients(fivePoint);
        EXPECT_EQ(fivePoint.classes.held(), way == 0);
        FivePointFactor factor;
        TriangularFactor general;
        computeFivePointFactor(fivePoint, 0.97, 0.25, factor, general);
        EXPECT_EQ(factor.forwardClasses.held(), way == 0);
        results.product[way].resize(matrix.n);
        results.z[way].resize(matrix.n);
        results.dot[way] = applyFivePointAndDot(fivePoint, x.data(), results.product[way].data());
        applyFivePointPreconditioner(fivePoint, factor, x.data(), results.z[way].data());
    }
    return results;
}

// A viscosity's matrix, I - s L, on a grid of 41 lines of 66: its factor's rows
// settle to a few classes down the grid, where four lanes of a sweep share
// one - but the last line's and the last column but one's, whose diagonals
// are a wall's, differ: one lane of four (of a sweep, or four cells of the
// product) has a class of its own there.
RowListMatrix settlingMatrix()
{
    const uint32_t lines = 41, length = 66, n = lines * length;
    const double s = 0.5;
    std::vector<double> right(n, -s), down(n, -s), diagonal(n, 1.0 + 4.0 * s);
    for (uint32_t k = (lines - 1) * length; k < n; ++k)
        diagonal[k] = 1.0 + 5.0 * s;
    for (uint32_t k = length - 2; k < n; k += length)
        diagonal[k] = 1.0 + 5.0 * s;
    return symmetricFivePointMatrix(lines, length, right, down, diagonal);
}

// Matrices of few distinct rows (the pressure's, a viscosity's) and of a class
// a row (random ones), on every instruction-set form: by class, the arrays' bits.
TEST(FivePoint, CoefficientsReadByClassGiveTheBitsOfTheArrays)
{
    uint32_t seed = 100;
    forEachRunnableForm([&](const std::string&) {
        {
            SCOPED_TRACE("a viscosity's matrix");
            const RowListMatrix matrix = settlingMatrix();
            const ByClassAndByArray results = bothWays(matrix, randomVector(matrix.n, ++seed, false));
            EXPECT_TRUE(sameBits(results.product[1], results.product[0]));
            EXPECT_TRUE(sameBits(results.z[1], results.z[0]));
        }
        for (const GridShape shape : shapes) {
            SCOPED_TRACE(::testing::Message() << shape.lines << " lines of " << shape.length);
            for (bool random : {false, true}) {
                const RowListMatrix matrix = random ? randomFivePointMatrix(shape.lines, shape.length, ++seed)
                                                    : neumannPressureMatrix(shape.lines, shape.length);
                if (!random) {
                    FivePointMatrix fivePoint;
                    ASSERT_TRUE(readFivePointMatrix(matrix, fivePoint));
                    classifyCoefficients(fivePoint);
                    EXPECT_LE(fivePoint.classes.tuples.size() / 5, 9u);  // corners, sides and inside
                }
                const ByClassAndByArray results = bothWays(matrix, randomVector(matrix.n, ++seed, true));
                EXPECT_TRUE(sameBits(results.product[1], results.product[0]));
                EXPECT_TRUE(sameBits({results.dot[1]}, {results.dot[0]}));
                EXPECT_TRUE(sameBits(results.z[1], results.z[0]));
            }
        }
    });
}

// More distinct rows than a class index names: held as arrays, with the
// general routines' results.
TEST(FivePoint, AMatrixOfTooManyDistinctRowsKeepsItsArrays)
{
    const RowListMatrix matrix = randomFivePointMatrix(260, 260, 5);  // 67,600 rows, nearly all distinct
    FivePointMatrix fivePoint;
    ASSERT_TRUE(readFivePointMatrix(matrix, fivePoint));
    classifyCoefficients(fivePoint);
    EXPECT_FALSE(fivePoint.classes.held());
    FivePointFactor factor;
    TriangularFactor general, expectedFactor;
    computeFivePointFactor(fivePoint, 0.97, 0.25, factor, general);
    EXPECT_FALSE(factor.forwardClasses.held());
    computeFactor(matrix, expectedFactor, 0.97, 0.25);
    const std::vector<double> x = randomVector(matrix.n, 6, false);
    std::vector<double> expectedZ(matrix.n), z(matrix.n);
    forwardSubstitute(expectedFactor, x, expectedZ);
    backSubstituteTransposed(expectedFactor, expectedZ);
    applyFivePointPreconditioner(fivePoint, factor, x.data(), z.data());
    EXPECT_TRUE(sameBits(expectedZ, z));
}

TEST(CoefficientClasses, AClassIsATuplesBitsAndThereAreAtMostTheLimit)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<double> values = {0.0, -0.0, -0.0, 1.0, nan, 0.0, nan, 1.0, 1.0, -0.0};
    CoefficientClasses<1> classes;
    ASSERT_TRUE(classify(values.size(), [&](size_t k, double* tuple) { tuple[0] = values[k]; }, classes));
    EXPECT_EQ(classes.classOf, (std::vector<uint16_t>{0, 1, 1, 2, 3, 0, 3, 2, 2, 1}));
    EXPECT_EQ(classes.tuples.size(), 4u);
    for (size_t k = 0; k < values.size(); ++k)
        EXPECT_EQ(std::memcmp(&classes.tuples[classes.classOf[k]], &values[k], sizeof(double)), 0) << k;

    // classLimit distinct pairs, twice over: the limit itself is held; one more is not.
    CoefficientClasses<2> pairs;
    auto pairOf = [](size_t distinct) {
        return [distinct](size_t k, double* tuple) {
            tuple[0] = -0.0;
            tuple[1] = double(k % distinct);
        };
    };
    ASSERT_TRUE(classify(2 * classLimit, pairOf(classLimit), pairs));
    EXPECT_EQ(pairs.tuples.size(), 2 * classLimit);
    for (size_t k : {size_t(0), size_t(1), classLimit - 1})
        EXPECT_EQ(pairs.classOf[k], pairs.classOf[k + classLimit]);
    EXPECT_FALSE(classify(classLimit + 1, pairOf(classLimit + 1), pairs));
    EXPECT_FALSE(pairs.held());
}

TEST(FivePoint, OtherPatternsAreLeftToTheGeneralRoutines)
{
    FivePointMatrix fivePoint;
    EXPECT_TRUE(readFivePointMatrix(neumannPressureMatrix(4, 5), fivePoint));

    auto withEntry = [](RowListMatrix matrix, uint32_t row, uint32_t column, double value) {
        matrix.addToRow(row, {column}, {value});
        return matrix;
    };
    // One coupling too many: cell 7 with cell 9, and cell 3 (end of a line) with cell 4.
    EXPECT_FALSE(readFivePointMatrix(withEntry(neumannPressureMatrix(4, 5), 7, 9, -1.0), fivePoint));
    EXPECT_FALSE(readFivePointMatrix(withEntry(neumannPressureMatrix(4, 5), 4, 5, -1.0), fivePoint));
    // A zero diagonal entry, which the factor skips.
    EXPECT_FALSE(readFivePointMatrix(withEntry(neumannPressureMatrix(4, 5), 12, 12, -4.0), fivePoint));
    // Lines of two cells, one line, and no line structure at all.
    EXPECT_FALSE(readFivePointMatrix(neumannPressureMatrix(5, 2), fivePoint));
    EXPECT_FALSE(readFivePointMatrix(neumannPressureMatrix(1, 9), fivePoint));
    EXPECT_FALSE(readFivePointMatrix(RowListMatrix(0), fivePoint));
    EXPECT_FALSE(readFivePointMatrix(RowListMatrix(6), fivePoint));

    // A missing coupling in the middle of the grid.
    RowListMatrix gap(12);
    const RowListMatrix full = neumannPressureMatrix(4, 3);
    for (uint32_t row = 0; row < 12; ++row) {
        std::vector<uint32_t> columns;
        std::vector<double> values;
        for (size_t e = 0; e < full.rowColumns[row].size(); ++e) {
            const uint32_t column = full.rowColumns[row][e];
            if ((row == 4 && column == 7) || (row == 7 && column == 4))
                continue;
            columns.push_back(column);
            values.push_back(full.rowValues[row][e]);
        }
        gap.addToRow(row, columns, values);
    }
    EXPECT_FALSE(readFivePointMatrix(gap, fivePoint));
    // The number of rows is no multiple of the line length read off row 0.
    RowListMatrix ragged(7);
    ragged.addToRow(0, {0, 1, 3}, {2.0, -1.0, -1.0});
    EXPECT_FALSE(readFivePointMatrix(ragged, fivePoint));
}

}  // namespace

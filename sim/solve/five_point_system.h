#pragma once
// The simulation's linear systems - the pressure over the cells, the viscosity
// over each velocity component's faces - are five-point systems on a grid,
// built one way: a row per point k = a*extent1 + b, its entries in column
// order (the point before along a, before along b, itself, after along b,
// after along a). A neighbour inside the grid keeps its place in the row, as
// 0.0 where it takes no part, so that every row has the grid's pattern and
// the solver's five-point path takes it.

#include "PCG/five_point_matrix.h"
#include "PCG/sparse_matrix.h"

#include <cstdint>
#include <cstring>
#include <vector>

// The coefficients of one row; those of neighbours beyond the grid are not read.
struct FivePointRow {
    double beforeA = 0.0, beforeB = 0.0, diagonal = 0.0, afterB = 0.0, afterA = 0.0;

    // Equal to the last bit, so that a run's rows are copies of its first.
    bool sameBits(const FivePointRow& other) const
    {
        const double mine[] = {beforeA, beforeB, diagonal, afterB, afterA};
        const double theirs[] = {other.beforeA, other.beforeB, other.diagonal, other.afterB, other.afterA};
        bool same = true;
        for (int e = 0; e < 5; ++e) {
            uint64_t a, b;
            std::memcpy(&a, &mine[e], sizeof a);
            std::memcpy(&b, &theirs[e], sizeof b);
            same = same && a == b;
        }
        return same;
    }
};

// rowAt(a, b) gives each row's coefficients, called once per row in order.
template <typename RowAt>
pcg::RowListMatrix fivePointSystem(uint32_t extent0, uint32_t extent1, RowAt rowAt)
{
    pcg::RowListMatrix matrix(extent0 * extent1);
    std::vector<uint32_t> columns;
    std::vector<double> values;
    columns.reserve(pcg::RowListMatrix::reservedEntriesPerRow);
    values.reserve(pcg::RowListMatrix::reservedEntriesPerRow);
    FivePointRow previous;
    uint32_t previousEdges = ~0u;
    for (uint32_t a = 0; a < extent0; ++a) {
        for (uint32_t b = 0; b < extent1; ++b) {
            const uint32_t k = a * extent1 + b;
            const bool beforeA = a > 0, beforeB = b > 0, afterB = b + 1 < extent1, afterA = a + 1 < extent0;
            const uint32_t edges = uint32_t(beforeA) | uint32_t(beforeB) << 1 | uint32_t(afterB) << 2 |
                                   uint32_t(afterA) << 3;
            const FivePointRow row = rowAt(a, b);
            if (edges == previousEdges && row.sameBits(previous)) {
                // The next point of a run with the same neighbours and values
                // (most of a line): every column one further on.
                for (uint32_t& column : columns)
                    ++column;
            } else {
                columns.clear();
                values.clear();
                auto entry = [&](bool exists, uint32_t column, double value) {
                    if (!exists)
                        return;
                    columns.push_back(column);
                    values.push_back(value);
                };
                entry(beforeA, k - extent1, row.beforeA);
                entry(beforeB, k - 1, row.beforeB);
                entry(true, k, row.diagonal);
                entry(afterB, k + 1, row.afterB);
                entry(afterA, k + extent1, row.afterA);
                previous = row;
                previousEdges = edges;
            }
            matrix.addToRow(k, columns, values);
        }
    }
    return matrix;
}

// The same rows read straight into the grid form the solver's fast paths take,
// as readFivePointMatrix would read them from fivePointSystem's row lists.
// False, with `grid` unspecified, where that form does not hold them: a grid
// under two lines of three points, or a row whose diagonal is 0.0.
template <typename RowAt>
bool fivePointGrid(uint32_t extent0, uint32_t extent1, RowAt rowAt, pcg::FivePointMatrix& grid)
{
    if (extent0 < 2 || extent1 < 3)
        return false;
    pcg::reshapeFivePointMatrix(grid, extent0, extent1);
    bool everyDiagonal = true;
    for (uint32_t a = 0; a < extent0; ++a) {
        for (uint32_t b = 0; b < extent1; ++b) {
            const uint32_t k = a * extent1 + b;
            const FivePointRow row = rowAt(a, b);
            grid.lineBefore[k] = a > 0 ? row.beforeA : 0.0;
            grid.before[k] = b > 0 ? row.beforeB : 0.0;
            grid.diagonal[k] = row.diagonal;
            grid.after[k] = b + 1 < extent1 ? row.afterB : 0.0;
            grid.lineAfter[k] = a + 1 < extent0 ? row.afterA : 0.0;
            everyDiagonal = everyDiagonal && row.diagonal != 0.0;
        }
    }
    pcg::noteSymmetry(grid);
    return everyDiagonal;
}

// A system in the form the solver takes fastest: the grid form where it holds
// the rows, else the row lists.
struct FivePointSystem {
    bool onGrid = false;
    pcg::FivePointMatrix grid;  // when onGrid
    pcg::RowListMatrix rows;    // otherwise
};

template <typename RowAt>
FivePointSystem fastestFivePointSystem(uint32_t extent0, uint32_t extent1, RowAt rowAt)
{
    FivePointSystem system;
    system.onGrid = fivePointGrid(extent0, extent1, rowAt, system.grid);
    if (!system.onGrid)
        system.rows = fivePointSystem(extent0, extent1, rowAt);
    return system;
}

#pragma once
// A multigrid V-cycle for five-point matrices, applied as the preconditioner
// of the conjugate gradient. Each coarser grid has one cell per block of 2 by
// 2 (1 wide at an odd edge); a coarse value is spread unchanged over the
// cells of its block (P), a fine residual summed over them (P^T), and the
// coarse matrix is half of P^T A P: the Galerkin product of the piecewise
// constant transfer is twice as stiff as the grid's own operator, which the
// half corrects. A row without neighbours (a solid cell: 1 on the diagonal
// and nothing beside) belongs to no block; the smoother sets it directly.
//
// The cycle is symmetric - red-black Gauss-Seidel sweeps, red before black on
// the way down and black before red on the way up, the coarsest grid by the
// same sweeps - and each coarse matrix is symmetric and positive
// semi-definite wherever the fine one is, so the preconditioner is symmetric
// and positive on the fine matrix's range, as the conjugate gradient needs;
// a closed box's singular matrix keeps its compatible right-hand side.

#include "PCG/five_point_matrix.h"

#include <cstdint>
#include <vector>

namespace pcg {

class MultigridPreconditioner {
public:
    static constexpr int smoothingSweeps = 2;       // each way, on every grid
    static constexpr int coarsestSweeps = 20;       // each way, on the coarsest grid
    static constexpr uint32_t coarsestCells = 64;   // a grid this small or smaller is the coarsest

    // Builds the coarser grids of the matrix, whose coefficients it copies:
    // its diagonal and the entries after each cell, standing for the
    // symmetric matrix they define (a symmetric matrix's own).
    void build(const FivePointMatrix& matrix);
    // result := M^-1 rhs: one V-cycle from zero, worked in result itself.
    // rhs and result hold n values each, apart.
    void apply(const double* rhs, double* result);

    size_t levelCount() const { return levels.size(); }

private:
    struct Level {
        uint32_t lines = 0, length = 0;
        // A(k, ·) by row, 0.0 where the grid has no such neighbour; the
        // entries before a cell are those after its neighbours.
        std::vector<double> diagonal, after, lineAfter;
        // The finest grid's matrix by class, where the matrix holds it so and
        // is symmetric: its entries before a cell are the entries after its neighbours.
        CoefficientClasses<5> classes;
        std::vector<uint32_t> block;  // per cell, its cell on the next grid; none for a row without neighbours
        // The level's solution and right-hand side: a coarser grid's own
        // vectors, the finest grid's those apply is given.
        double* x = nullptr;
        const double* b = nullptr;
        std::vector<double> ownX, ownB;
        size_t cells() const { return size_t(lines) * length; }
        std::vector<uint8_t> secondColourRelaxed;  // per line, in a sweep: scratch of smooth
    };
    static constexpr uint32_t noBlock = ~0u;

    static bool hasNeighbours(const Level& level, uint32_t line, uint32_t position);

    // Calls use(k, b - (A - diagonal) x in row k) for the positions first,
    // first + step, ... of a line: the Gauss-Seidel update's numerator, and
    // with the diagonal's term the residual.
    template <typename Use>
    static void alongLine(const Level& level, uint32_t line, uint32_t first, uint32_t step, Use use);
    // b - (A - D) x at the cell, its neighbours subtracted in the order of k.
    static double sumAt(const Level& level, uint32_t line, uint32_t position);
    void smooth(Level& level, bool redFirst, int sweeps) const;
    void cycle(size_t depth);

    std::vector<Level> levels;
};

}  // namespace pcg

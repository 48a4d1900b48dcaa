#include "PCG/multigrid.h"

#include "PCG/multigrid_kernels.h"
#include "parallel/thread_pool.h"
#include "simd/dispatch.h"

#include <algorithm>
#include <utility>

namespace pcg {

FLOWBOX_KERNEL_TABLE(MultigridKernels, multigridKernels)

namespace {

// body(first, last) over the lines of a grid of `length` cells each.
template <typename Body>
void forLines(uint32_t lines, uint32_t length, Body body)
{
    parallel::forLines(lines, length, [&](size_t first, size_t last) { body(uint32_t(first), uint32_t(last)); });
}

}  // namespace

bool MultigridPreconditioner::hasNeighbours(const Level& level, uint32_t line, uint32_t position)
{
    const size_t k = size_t(line) * level.length + position;
    return (line > 0 && level.lineAfter[k - level.length] != 0.0) || (position > 0 && level.after[k - 1] != 0.0) ||
           level.after[k] != 0.0 || level.lineAfter[k] != 0.0;
}

void MultigridPreconditioner::build(const FivePointMatrix& matrix)
{
    levels.clear();
    levels.emplace_back();
    Level& finest = levels.back();
    finest.lines = matrix.lines;
    finest.length = matrix.length;
    auto copy = [&](const Coefficients& from, std::vector<double>& to) { to.assign(from.data(), from.data() + matrix.n); };
    copy(matrix.diagonal, finest.diagonal);
    copy(matrix.after, finest.after);
    copy(matrix.lineAfter, finest.lineAfter);
    if (matrix.symmetric)
        finest.classes = matrix.classes;

    while (true) {
        Level& fine = levels.back();
        const size_t n = size_t(fine.lines) * fine.length;
        if (levels.size() > 1) {
            fine.ownX.assign(n, 0.0);
            fine.ownB.assign(n, 0.0);
        }
        if (n <= coarsestCells || fine.lines < 2 || fine.length < 2)
            break;
        Level coarse;
        coarse.lines = (fine.lines + 1) / 2;
        coarse.length = (fine.length + 1) / 2;
        const size_t m = size_t(coarse.lines) * coarse.length;
        for (std::vector<double>* c : {&coarse.diagonal, &coarse.after, &coarse.lineAfter})
            c->assign(m, 0.0);
        fine.block.assign(n, noBlock);
        for (uint32_t line = 0; line < fine.lines; ++line)
            for (uint32_t position = 0; position < fine.length; ++position)
                if (const size_t k = size_t(line) * fine.length + position; hasNeighbours(fine, line, position))
                    fine.block[k] = (line / 2) * coarse.length + position / 2;
        // Half of P^T A P. Each coarse coupling is summed once, from the block
        // before to the block after, and mirrored: the coarse matrix is exactly symmetric.
        for (uint32_t line = 0; line < fine.lines; ++line) {
            for (uint32_t position = 0; position < fine.length; ++position) {
                const size_t k = size_t(line) * fine.length + position;
                const uint32_t own = fine.block[k];
                if (own == noBlock)
                    continue;
                coarse.diagonal[own] += fine.diagonal[k];
                // A coupling inside the block adds to its diagonal; one to the
                // block after adds to that coupling, one to the block before
                // is that block's coupling after, counted there.
                auto couple = [&](bool exists, size_t neighbour, double value, std::vector<double>* after) {
                    if (!exists || value == 0.0 || fine.block[neighbour] == noBlock)
                        return;
                    if (fine.block[neighbour] == own)
                        coarse.diagonal[own] += value;
                    else if (after)
                        (*after)[own] += value;
                };
                couple(line > 0, k - fine.length, line > 0 ? fine.lineAfter[k - fine.length] : 0.0, nullptr);
                couple(position > 0, k - 1, position > 0 ? fine.after[k - 1] : 0.0, nullptr);
                couple(position + 1 < fine.length, k + 1, fine.after[k], &coarse.after);
                couple(line + 1 < fine.lines, k + fine.length, fine.lineAfter[k], &coarse.lineAfter);
            }
        }
        for (size_t c = 0; c < m; ++c) {
            coarse.diagonal[c] *= 0.5;
            coarse.after[c] *= 0.5;
            coarse.lineAfter[c] *= 0.5;
        }
        for (size_t c = 0; c < m; ++c) {
            if (coarse.diagonal[c] == 0.0)
                coarse.diagonal[c] = 1.0;  // a block of no cells: a row of its own, never reached
        }
        levels.push_back(std::move(coarse));
    }
}

double MultigridPreconditioner::sumAt(const Level& level, uint32_t line, uint32_t position)
{
    const uint32_t length = level.length;
    const size_t k = size_t(line) * length + position;
    const double* x = level.x;
    double sum = level.b[k];
    if (line > 0)
        sum -= level.lineAfter[k - length] * x[k - length];
    if (position > 0)
        sum -= level.after[k - 1] * x[k - 1];
    if (position + 1 < length)
        sum -= level.after[k] * x[k + 1];
    if (line + 1 < level.lines)
        sum -= level.lineAfter[k] * x[k + length];
    return sum;
}

template <typename Use>
void MultigridPreconditioner::alongLine(const Level& level, uint32_t line, uint32_t first, uint32_t step, Use use)
{
    const uint32_t length = level.length;
    const size_t start = size_t(line) * length;
    const double* x = level.x;
    auto atEdge = [&](uint32_t position) { use(start + position, sumAt(level, line, position)); };
    uint32_t position = first;
    if (line == 0 || line + 1 == level.lines) {
        for (; position < length; position += step)
            atEdge(position);
        return;
    }
    if (position == 0) {
        atEdge(0);
        position += step;
    }
    // Inside the grid every neighbour exists: the same terms in the same order,
    // without the tests (the smoother's half-sweep, relaxInside in
    // multigrid_kernels.cpp, spells them out too: a kernel source shares no
    // inline code).
    const double* b = level.b;
    if (level.classes.held()) {
        const uint16_t* classOf = level.classes.classOf.data();
        const double* tuples = level.classes.tuples.data();
        for (; position + 1 < length; position += step) {
            const size_t k = start + position;
            const double* tuple = tuples + 5 * size_t(classOf[k]);
            double sum = b[k];
            sum -= tuple[0] * x[k - length];
            sum -= tuple[1] * x[k - 1];
            sum -= tuple[3] * x[k + 1];
            sum -= tuple[4] * x[k + length];
            use(k, sum);
        }
    }
    const double *after = level.after.data(), *lineAfter = level.lineAfter.data();
    for (; position + 1 < length; position += step) {
        const size_t k = start + position;
        double sum = b[k];
        sum -= lineAfter[k - length] * x[k - length];
        sum -= after[k - 1] * x[k - 1];
        sum -= after[k] * x[k + 1];
        sum -= lineAfter[k] * x[k + length];
        use(k, sum);
    }
    if (position < length)
        atEdge(position);
}

void MultigridPreconditioner::smooth(Level& level, bool redFirst, int sweeps) const
{
    const uint32_t length = level.length;
    const uint32_t firstColour = redFirst ? 0 : 1, secondColour = 1 - firstColour;  // red: line + position even
    const SmoothedLevel inside{length,
                               level.b,
                               level.after.data(),
                               level.lineAfter.data(),
                               level.diagonal.data(),
                               level.x,
                               level.classes.classesOrNull(),
                               level.classes.tuplesOrNull()};
    const MultigridKernels& kernels = multigridKernels();
    auto relax = [&](uint32_t line, uint32_t colour) {
        uint32_t position = (line + colour) % 2;
        auto relaxAt = [&](uint32_t at) {
            const size_t k = size_t(line) * length + at;
            level.x[k] = sumAt(level, line, at) / level.diagonal[k];
        };
        if (line == 0 || line + 1 == level.lines) {
            for (; position < length; position += 2)
                relaxAt(position);
            return;
        }
        // Inside the grid every neighbour exists but at the line's two ends.
        if (position == 0) {
            relaxAt(0);
            position = 2;
        }
        position = kernels.relaxInside(inside, size_t(line) * length, position);
        if (position < length)
            relaxAt(position);
    };
    std::vector<uint8_t>& relaxed = level.secondColourRelaxed;
    relaxed.assign(level.lines, 0);
    for (int sweep = 0; sweep < sweeps; ++sweep) {
        // A cell reads only cells of the other colour. So the first colour's
        // line l, then the second colour's line l - 1, whose neighbours of the
        // first colour are all new by then, give the values of two whole
        // half-sweeps in one pass over the grid; and any split of the lines
        // gives them too, once the second colour's lines at the edges of each
        // part wait until every part has done its first colour.
        forLines(level.lines, length, [&](uint32_t first, uint32_t last) {
            for (uint32_t line = first; line < last; ++line) {
                relax(line, firstColour);
                if (line >= first + 2) {
                    relax(line - 1, secondColour);
                    relaxed[line - 1] = 1;
                }
            }
        });
        for (uint32_t line = 0; line < level.lines; ++line) {
            if (!relaxed[line])
                relax(line, secondColour);
            relaxed[line] = 0;
        }
    }
}

void MultigridPreconditioner::cycle(size_t depth)
{
    Level& level = levels[depth];
    std::fill(level.x, level.x + level.cells(), 0.0);
    if (depth + 1 == levels.size()) {
        smooth(level, true, coarsestSweeps);
        smooth(level, false, coarsestSweeps);
        return;
    }
    smooth(level, true, smoothingSweeps);
    const uint32_t length = level.length;
    Level& coarse = levels[depth + 1];
    std::fill(coarse.ownB.begin(), coarse.ownB.end(), 0.0);
    // Each coarse line sums its two fine lines, in the same order however the lines are split.
    forLines(coarse.lines, 2 * length, [&](uint32_t firstCoarse, uint32_t lastCoarse) {
        for (uint32_t line = 2 * firstCoarse; line < std::min(2 * lastCoarse, level.lines); ++line) {
            alongLine(level, line, 0, 1, [&](size_t k, double sum) {
                if (level.block[k] != noBlock)
                    coarse.ownB[level.block[k]] += sum - level.diagonal[k] * level.x[k];
            });
        }
    });
    cycle(depth + 1);
    forLines(level.lines, length, [&](uint32_t firstLine, uint32_t lastLine) {
        for (size_t k = size_t(firstLine) * length; k < size_t(lastLine) * length; ++k)
            if (level.block[k] != noBlock)
                level.x[k] += coarse.x[level.block[k]];
    });
    smooth(level, false, smoothingSweeps);
}

void MultigridPreconditioner::apply(const double* rhs, double* result)
{
    // The finest grid works in the caller's vectors, without copies; the
    // others in their own (pointed at here, so that a copy of the
    // preconditioner points at its own).
    for (size_t depth = 1; depth < levels.size(); ++depth) {
        levels[depth].x = levels[depth].ownX.data();
        levels[depth].b = levels[depth].ownB.data();
    }
    Level& finest = levels.front();
    finest.b = rhs;
    finest.x = result;
    cycle(0);
    finest.b = nullptr;
    finest.x = nullptr;
}

}  // namespace pcg

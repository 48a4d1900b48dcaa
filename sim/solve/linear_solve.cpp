#include "sim/solve/linear_solve.h"

#include "PCG/pcg_solver.h"
#include "sim/solve/solver_warning.h"


#include <algorithm>
#include <cassert>

SolveOutcome SolveOutcome::with(const SolveOutcome& other) const
{
    return {converged && other.converged, std::max(iterations, other.iterations), std::max(residual, other.residual),
            std::max(tolerance, other.tolerance)};
}

namespace {

void configure(pcg::PcgSolver& solver, const LinearSolve& settings)
{
    solver.relativeTolerance = settings.relativeTolerance;
    solver.iterationLimit = settings.iterationLimit;
    solver.preconditioner = settings.preconditioner;
    solver.keepBestIterate = settings.keepBestIterate;
}

template <typename Run>
SolveOutcome solveWith(pcg::PcgSolver& solver, Run run)
{
    SolveOutcome outcome;
    outcome.converged = run(solver, outcome.residual, outcome.iterations);
    outcome.tolerance = solver.lastTolerance();
    if (!outcome.converged)
        warn("WARNING: PCG solver failed.");
    return outcome;
}

}  // namespace

SolveOutcome LinearSolve::solve(const pcg::RowListMatrix& matrix, const std::vector<double>& rhs,
                                std::vector<double>& result, double rhsScale) const
{
    pcg::PcgSolver fresh;
    configure(fresh, *this);
    fresh.rhsScale = rhsScale;
    return solveWith(fresh, [&](pcg::PcgSolver& solver, double& residual, int& iterations) {
        return solver.solveSystem(matrix, rhs, result, residual, iterations);
    });
}

SolveOutcome LinearSolve::solve(const FivePointSystem& system, const std::vector<double>& rhs,
                                std::vector<double>& result) const
{
    if (!system.onGrid)
        return solve(system.rows, rhs, result);
    pcg::PcgSolver fresh;
    configure(fresh, *this);
    return solveWith(fresh, [&](pcg::PcgSolver& solver, double& residual, int& iterations) {
        return solver.solveFivePoint(system.grid, rhs, result, residual, iterations);
    });
}

bool RepeatedSolve::holds(const LinearSolve& settings, const SystemKey& key) const
{
    return holdsMatrix && key == heldKey && settings.preconditioner == solver.preconditioner;
}

void RepeatedSolve::take(const LinearSolve& settings, const SystemKey& key, FivePointSystem&& system)
{
    holdsMatrix = true;
    heldKey = key;
    configure(solver, settings);
    afresh = !system.onGrid;
    if (afresh)
        rows = std::move(system.rows);
    else
        solver.prepareFivePoint(std::move(system.grid));
}

SolveOutcome RepeatedSolve::solve(const LinearSolve& settings, const std::vector<double>& rhs,
                                  std::vector<double>& result, bool fromGuess, double rhsScale)
{
    assert(holds(settings, heldKey));
    if (afresh)
        return settings.solve(rows, rhs, result, rhsScale);
    configure(solver, settings);
    solver.rhsScale = rhsScale;
    return solveWith(solver, [&](pcg::PcgSolver& prepared, double& residual, int& iterations) {
        return prepared.solvePrepared(rhs, result, residual, iterations, fromGuess);
    });
}

void RepeatedSolve::multiply(const std::vector<double>& x, std::vector<double>& result) const
{
    assert(holdsMatrix);
    if (!afresh) {
        solver.multiplyPrepared(x, result);
        return;
    }
    pcg::CompressedMatrix compressed;
    compressed.compressFrom(rows);
    pcg::applyMatrix(compressed, x, result);
}

#include "sim/linear_solve.h"

#include "PCG/pcg_solver.h"

#include <QDebug>

#include <algorithm>

SolveOutcome SolveOutcome::with(const SolveOutcome& other) const
{
    return {converged && other.converged, std::max(iterations, other.iterations), std::max(residual, other.residual),
            std::max(tolerance, other.tolerance)};
}

namespace {

template <typename Run>
SolveOutcome solveWith(const LinearSolve& settings, Run run)
{
    pcg::PcgSolver solver;
    solver.relativeTolerance = settings.relativeTolerance;
    solver.iterationLimit = settings.iterationLimit;
    solver.preconditioner = settings.preconditioner;
    SolveOutcome outcome;
    outcome.converged = run(solver, outcome.residual, outcome.iterations);
    outcome.tolerance = solver.lastTolerance();
    if (!outcome.converged)
        qDebug("WARNING: PCG solver failed.");
    return outcome;
}

}  // namespace

SolveOutcome LinearSolve::solve(const pcg::RowListMatrix& matrix, const std::vector<double>& rhs,
                                std::vector<double>& result) const
{
    return solveWith(*this, [&](pcg::PcgSolver& solver, double& residual, int& iterations) {
        return solver.solveSystem(matrix, rhs, result, residual, iterations);
    });
}

SolveOutcome LinearSolve::solve(const FivePointSystem& system, const std::vector<double>& rhs,
                                std::vector<double>& result) const
{
    if (!system.onGrid)
        return solve(system.rows, rhs, result);
    return solveWith(*this, [&](pcg::PcgSolver& solver, double& residual, int& iterations) {
        return solver.solveFivePoint(system.grid, rhs, result, residual, iterations);
    });
}

#include "sim/linear_solve.h"

#include "PCG/pcg_solver.h"

#include <QDebug>

#include <algorithm>

SolveOutcome SolveOutcome::with(const SolveOutcome& other) const
{
    return {converged && other.converged, std::max(iterations, other.iterations), std::max(residual, other.residual),
            std::max(tolerance, other.tolerance)};
}

SolveOutcome LinearSolve::solve(const pcg::RowListMatrix& matrix, const std::vector<double>& rhs,
                                std::vector<double>& result) const
{
    pcg::PcgSolver solver;
    solver.relativeTolerance = relativeTolerance;
    solver.iterationLimit = iterationLimit;
    solver.preconditioner = preconditioner;
    SolveOutcome outcome;
    outcome.converged = solver.solveSystem(matrix, rhs, result, outcome.residual, outcome.iterations);
    outcome.tolerance = solver.lastTolerance();
    if (!outcome.converged)
        qDebug("WARNING: PCG solver failed.");
    return outcome;
}

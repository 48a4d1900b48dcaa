#pragma once
// One linear solve of the simulation's, set up once from the scene: the
// conjugate gradient from a zero guess, the warning line when it fails, and
// what a caller needs to check.

#include "PCG/preconditioner.h"
#include "PCG/sparse_matrix.h"
#include "sim/solve/five_point_system.h"

#include "PCG/pcg_solver.h"

#include <cstdint>
#include <vector>

// Outcome of a solve, kept for diagnostics only.
struct SolveOutcome {
    bool converged = true;
    int iterations = 0;
    double residual = 0.0;  // largest |residual| at the solver's last test
    double tolerance = 0.0; // the residual it had to reach

    // Two solves as one: converged when both did, the larger of the rest.
    SolveOutcome with(const SolveOutcome& other) const;
};

struct LinearSolve {
    double relativeTolerance;  // of the largest |rhs|
    int32_t iterationLimit;
    pcg::Preconditioner preconditioner = pcg::Preconditioner::incompleteCholesky;
    bool keepBestIterate = false;  // a failed solve leaves its best iterate, not its last

    // Solves matrix*result = rhs with a fresh PcgSolver; writes the warning
    // line when it does not converge, and leaves its last (or best) iterate
    // in result. rhsScale as PcgSolver's.
    SolveOutcome solve(const pcg::RowListMatrix& matrix, const std::vector<double>& rhs,
                       std::vector<double>& result, double rhsScale = 0.0) const;
    // The same for a system in either form; the same results.
    SolveOutcome solve(const FivePointSystem& system, const std::vector<double>& rhs,
                       std::vector<double>& result) const;
};

// What a scene's matrix is built from beyond its grid and walls, which stay.
struct SystemKey {
    uint64_t solidRevision = 0;  // Domain::solidRevision
    double viscosity = 0.0;      // 0.0 for the pressure
    double timeStep = 0.0;       // 0.0 for the pressure

    bool operator==(const SystemKey& other) const
    {
        return solidRevision == other.solidRevision && viscosity == other.viscosity && timeStep == other.timeStep;
    }
};

// Solves of one system after another whose matrix stays the same while its
// key does: the matrix, in its grid form, and its preconditioner are kept
// and built again only for a new key or preconditioner. The same results as
// LinearSolve's.
class RepeatedSolve {
public:
    // Whether it holds the matrix of this key, preconditioned as the settings say.
    bool holds(const LinearSolve& settings, const SystemKey& key) const;
    // Takes the matrix of a new key and builds its preconditioner.
    void take(const LinearSolve& settings, const SystemKey& key, FivePointSystem&& system);
    // Solves with the matrix it holds; with fromGuess, starting from what
    // result holds (PcgSolver::solvePrepared) - but for a matrix only the
    // row lists hold, solved from zero. rhsScale as PcgSolver's.
    SolveOutcome solve(const LinearSolve& settings, const std::vector<double>& rhs, std::vector<double>& result,
                       bool fromGuess = false, double rhsScale = 0.0);
    // result := the matrix it holds times x.
    void multiply(const std::vector<double>& x, std::vector<double>& result) const;

private:
    pcg::PcgSolver solver;
    bool holdsMatrix = false;
    SystemKey heldKey;
    bool afresh = false;      // the grid form cannot hold the matrix:
    pcg::RowListMatrix rows;  // it is solved afresh each time
};

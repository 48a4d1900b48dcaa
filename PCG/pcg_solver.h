#pragma once
// Conjugate gradient for symmetric sparse systems, preconditioned with a
// modified incomplete Cholesky factor of zero fill-in.

#include "PCG/five_point_factor.h"
#include "PCG/five_point_matrix.h"
#include "PCG/multigrid.h"
#include "PCG/preconditioner.h"
#include "PCG/sparse_matrix.h"
#include "PCG/triangular_factor.h"

#include <cstdint>
#include <vector>

namespace pcg {

struct PcgSolver {
    TriangularFactor factor;           // preconditioner of the current solve
    std::vector<double> auxiliary;     // scratch: A*direction, then M^-1*residual, then the next direction
    std::vector<double> direction;     // search direction
    std::vector<double> residual;      // rhs - A*result
    CompressedMatrix compressedMatrix; // copy of the system matrix for the products
    double relativeTolerance = 1e-5;   // of the largest |rhs|, in the maximum norm
    int32_t iterationLimit = 100;
    double modificationParameter = 0.97;
    double pivotFloorRatio = 0.25;
    Preconditioner preconditioner = Preconditioner::incompleteCholesky;
    // The tolerance is relativeTolerance times the larger of max|rhs| and
    // this: a system whose rhs is a small change of a larger one (a
    // pressure's change in a nearly steady flow) is solved to the larger
    // one's accuracy, not to rounding.
    double rhsScale = 0.0;
    // A failed solve leaves in result, of the iterate it started from, the
    // one of the smallest residual it reached and the last one, the one
    // whose true residual is smallest (and reports that residual).
    bool keepBestIterate = false;

    // Solves matrix*result = rhs from a zero guess. Returns true when the
    // largest |residual| falls to relativeTolerance*max(max|rhs|, rhsScale)
    // (or rhs is zero); otherwise result holds the last iterate (or the best). residualOut is the largest
    // |residual| at the last test; iterationsOut counts the matrix products.
    bool solveSystem(const RowListMatrix& matrix, const std::vector<double>& rhs,
                     std::vector<double>& result, double& residualOut, int& iterationsOut);

    // The same for a matrix already in the five-point form, with the
    // same results as solveSystem on the row lists it would be read from;
    // compressedMatrix is left as it is.
    bool solveFivePoint(const FivePointMatrix& matrix, const std::vector<double>& rhs, std::vector<double>& result,
                        double& residualOut, int& iterationsOut);

    // For one five-point matrix solved for many right-hand sides: takes the
    // matrix and builds its preconditioner once; solvePrepared then gives
    // what solveFivePoint would give on it, without building anything (until
    // a solveSystem or another prepareFivePoint replaces the matrix).
    void prepareFivePoint(FivePointMatrix&& matrix);
    // With fromGuess, the iteration starts from what result holds (the last
    // solution of a slowly changing system, say) rather than from zero; the
    // tolerance is still of the largest |rhs|, and it takes one iteration at
    // least: a guess never stands unimproved, or a steady flow would keep
    // the error its first solve left. A guess with a value that is not
    // finite counts as none; a zero rhs gives zero.
    bool solvePrepared(const std::vector<double>& rhs, std::vector<double>& result, double& residualOut,
                       int& iterationsOut, bool fromGuess = false);

    // The residual the last solve had to reach (0.0 when its rhs was zero).
    double lastTolerance() const { return tolerance; }

    // result := the prepared matrix times x (both n long).
    void multiplyPrepared(const std::vector<double>& x, std::vector<double>& result) const;

private:
    double tolerance = 0.0;

    // The five-point form of the matrix and its factor, when it has that
    // pattern: the same arithmetic as the general routines, faster.
    FivePointMatrix fivePoint;  // also the prepared matrix
    FivePointFactor fivePointFactor;
    MultigridPreconditioner multigrid;
    // With keepBestIterate: the iterate of the smallest residual so far (or
    // the vector the next iterate is written to, while the best is the
    // last), and the one the iteration started from with its residual.
    std::vector<double> best, startIterate, startResidual;

    // Sets up the residual and the tolerance; false when rhs is zero, with
    // `solved` saying whether that is a solved system.
    double toleranceFor(double largestRhs) const;
    bool start(uint32_t n, const std::vector<double>& rhs, std::vector<double>& result, double& residualOut,
               int& iterationsOut, bool& solved);
    // The iteration's vectors, n long (they keep their memory between solves).
    void sizeVectors(uint32_t n);
    // The same from the guess in result: the residual is rhs - A*result.
    bool startFromGuess(const FivePointMatrix& matrix, const std::vector<double>& rhs, std::vector<double>& result,
                        double& residualOut, int& iterationsOut, bool& solved);
    void buildPreconditioner(const FivePointMatrix& matrix);
    bool iterateFivePoint(const FivePointMatrix& matrix, std::vector<double>& result, double& residualOut,
                          int& iterationsOut);

    // resultIsBest: the last iterate is also the best (best holds an older one).
    template <typename Operations>
    double fallBack(const Operations& operations, std::vector<double>& result, bool resultIsBest);
    template <typename Operations>
    bool iterate(const Operations& operations, double tolerance, std::vector<double>& result, double& residualOut,
                 int& iterationsOut);
};

}  // namespace pcg

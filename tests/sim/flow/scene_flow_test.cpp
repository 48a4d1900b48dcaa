// Scenes: the standard box unchanged, the physics of walls, solids, outlets and
// viscosity where it can go wrong.
#include "PCG/five_point_factor.h"
#include "PCG/five_point_matrix.h"
#include "PCG/triangular_factor.h"
#include "run/run.h"
#include "sim/flow/fluid_solver.h"
#include "sim/solve/linear_solve.h"
#include "sim/solve/tick_stages.h"
#include "sim/scene/scene_file.h"
#include "sim/flow/scene_steps.h"
#include "tests/support/forms.h"

#include "tests/support/flow_checks.h"

#include "tests/support/scenes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

using testing_support::sceneFrom;
using testing_support::values;

using testing_support::sameBits;


TEST(Scene, TheStandardSceneFileRunsTheStandardBoxBitForBit)
{
    Scene fromFile;
    std::string error;
    ASSERT_TRUE(loadSceneFile(FLOWBOX_SCENES "/standard.toml", fromFile, error)) << error;
    FluidSolver standard(50, 50), scene(fromFile);
    for (int tick = 0; tick < 30; ++tick) {
        standard.step();
        scene.step();
    }
    EXPECT_TRUE(sameBits(values(standard.velocity->u), values(scene.velocity->u)));
    EXPECT_TRUE(sameBits(values(standard.velocity->v), values(scene.velocity->v)));
    EXPECT_TRUE(sameBits(values(standard.pressure->values), values(scene.pressure->values)));
}

TEST(Scene, EveryShippedSceneLoadsAndStaysDivergenceFree)
{
    for (const char* name : {"cavity", "cylinder", "step", "standard", "cylinder-re20", "cylinder-re100"}) {
        SCOPED_TRACE(name);
        Scene scene;
        std::string error;
        ASSERT_TRUE(loadSceneFile(std::string(FLOWBOX_SCENES "/") + name + ".toml", scene, error)) << error;
        ::Run run(scene);
        const FluidSolver& solver = run.solver();
        for (int tick = 0; tick < 5; ++tick) {
            run.step();
            ASSERT_TRUE(solver.lastPressureSolve().converged);
        }
        // The scaled divergence is what the solve drives below its tolerance.
        const double scale = solver.dx * solver.dx * solver.density / scene.timeStep;
        const double largest = testing_support::largestFluidDivergence(solver);
        EXPECT_LT(largest * scale, 10 * solver.lastPressureSolve().tolerance + 1e-12);
        // The tick line reports that, through the open parts of the faces a disc cuts.
        EXPECT_EQ(run.summary().maxDivergence, largest);
    }
}

// Walls of solid cells close a pocket of fluid; the pocket's own singular
// system must still solve, and nothing flows through a solid's faces.
TEST(Scene, SolidsHoldTheirFacesAtRestAndAClosedPocketStillSolves)
{
    const Scene scene = sceneFrom(R"([grid]
cells = [30, 20]
[fluid]
gravity = [3.0, 9.8]
[[inflow]]
side = "left"
cells = [2, 6]
speed = 2.0
[[outlet]]
side = "right"
cells = [0, 19]
[[solid]]
rectangle = { from = [10, 5], to = [20, 5] }
[[solid]]
rectangle = { from = [10, 15], to = [20, 15] }
[[solid]]
rectangle = { from = [10, 6], to = [10, 14] }
[[solid]]
rectangle = { from = [20, 6], to = [20, 14] }
[[solid]]
disc = { centre = [5.0, 14.0], radius = 2.5 }
)");
    FluidSolver solver(scene);
    EXPECT_TRUE(solver.domain.isSolid(5, 14) && !solver.domain.isSolid(15, 10) && solver.domain.isSolid(10, 10));
    for (int tick = 0; tick < 40; ++tick) {
        solver.step();
        ASSERT_TRUE(solver.lastPressureSolve().converged) << "tick " << tick;
    }
    for (uint32_t i = 0; i < solver.nx; ++i) {
        for (uint32_t j = 0; j < solver.ny; ++j) {
            if (!solver.domain.isSolid(i, j))
                continue;
            ASSERT_EQ(solver.velocity->u.at(i, j), 0.0);
            ASSERT_EQ(solver.velocity->u.at(i + 1, j), 0.0);
            ASSERT_EQ(solver.velocity->v.at(i, j), 0.0);
            ASSERT_EQ(solver.velocity->v.at(i, j + 1), 0.0);
        }
    }
    EXPECT_LT(testing_support::largestFluidDivergence(solver), 1e-3);
    // The pocket's fluid is cut off: gravity alone cannot move it. What is left
    // is the solve's tolerance, relative to the velocity gravity adds in a
    // step (a sum over a few cells' errors: a margin of 20).
    const double bound = 20 * scene.tolerance * scene.timeStep * scene.gravityY;
    for (uint32_t i = 11; i < 20; ++i)
        for (uint32_t j = 6; j < 15; ++j)
            ASSERT_LT(std::fabs(solver.velocity->v.at(i, j)), bound) << i << ", " << j;
}

TEST(Scene, GhostSamplesPutTheWallsOwnSpeedOnTheWall)
{
    Scene scene = sceneFrom("[grid]\ncells = [4, 4]\n[walls]\ntop = { slide = 2.0 }\nbottom = \"no-slip\"\n");
    FluidSolver solver(scene);
    for (size_t k = 0; k < solver.velocity->u.size(); ++k)
        solver.velocity->u.data[k] = 0.5;
    for (size_t k = 0; k < solver.velocity->v.size(); ++k)
        solver.velocity->v.data[k] = 0.25;
    const Domain& borders = solver.domain;
    const VelocityField& field = *solver.velocity;
    EXPECT_DOUBLE_EQ(sampleInScene(field, borders, 0, 1.5, 0.0), 2.0);   // on the sliding lid
    EXPECT_DOUBLE_EQ(sampleInScene(field, borders, 0, 1.5, 4.0), 0.0);   // on the no-slip floor
    EXPECT_DOUBLE_EQ(sampleInScene(field, borders, 0, 1.5, 0.25), 1.25); // halfway to the first sample
    EXPECT_DOUBLE_EQ(sampleInScene(field, borders, 1, 0.0, 2.0), 0.25);  // a slip wall: the sample inside
    EXPECT_DOUBLE_EQ(sampleInScene(field, borders, 0, 1.5, 2.0), 0.5);   // away from the walls, as sampled
}

// The advection of a whole field, four faces at a time and line by line over
// threads, is each face traced back alone by the point rule above: the ghosts
// beyond every kind of wall, on each side, and the solids included.
TEST(Scene, AdvectingTheFieldTracesEachFaceByThePointRule)
{
    const Scene scene = sceneFrom("[grid]\ncells = [17, 11]\n[walls]\ntop = { slide = 2.0 }\n"
                                  "bottom = { slide = -1.0 }\nleft = \"no-slip\"\nright = \"no-slip\"\n"
                                  "[[solid]]\ndisc = { centre = [6.0, 5.5], radius = 2.2 }\n"
                                  "[[solid]]\nrectangle = { from = [12, 0], to = [13, 3] }\n");
    const Scene slipping = sceneFrom("[grid]\ncells = [17, 11]\n");
    for (const Scene* which : {&scene, &slipping}) {
        FluidSolver solver(*which);
        VelocityField& field = *solver.velocity;
        // A swirl strong enough to carry most faces a cell or more, into the walls too.
        for (int component = 0; component < 2; ++component) {
            GridArray& samples = field.component(component);
            for (uint32_t a = 0; a < samples.extent[0]; ++a)
                for (uint32_t b = 0; b < samples.extent[1]; ++b)
                    samples.at(a, b) =
                        component == 0 ? 3.0 * std::sin(0.7 * a + 1.3 * b) : 2.5 * std::cos(0.9 * a - 0.4 * b);
        }
        const double dt = 0.6;
        testing_support::forEachRunnableForm([&](const std::string&) {
            VelocityField out(solver.nx, solver.ny, solver.dx);
            advectInScene(field, solver.domain, AdvectionScheme::linear, 0.0, dt, out);
            for (int component = 0; component < 2; ++component) {
                const GridArray& traced = out.component(component);
                for (uint32_t a = 0; a < traced.extent[0]; ++a) {
                    for (uint32_t b = 0; b < traced.extent[1]; ++b) {
                        const double x = (component == 0 ? a : a + 0.5) * solver.dx;
                        const double y = (component == 0 ? b + 0.5 : b) * solver.dx;
                        const double wx = sampleInScene(field, solver.domain, 0, x, y);
                        const double wy = sampleInScene(field, solver.domain, 1, x, y);
                        const double expected =
                            sampleInScene(field, solver.domain, component, x - dt * wx, y - dt * wy);
                        ASSERT_TRUE(testing_support::sameBits({expected}, {traced.at(a, b)}))
                            << "component " << component << " at " << a << ", " << b;
                    }
                }
            }
        });
    }
}

// The lid drags the fluid through viscosity: the top row follows it, the
// bottom stays slow, and the flow turns back along the floor.
TEST(Scene, ViscosityCarriesTheLidsMotionIntoTheFluid)
{
    Scene scene = sceneFrom("[grid]\ncells = [16, 16]\ncell_size = 0.0625\n[fluid]\ndensity = 1.0\nviscosity = 0.05\n"
                         "gravity = [0.0, 0.0]\n[time]\nstep = 0.01\n[walls]\ntop = { slide = 1.0 }\n"
                         "bottom = \"no-slip\"\nleft = \"no-slip\"\nright = \"no-slip\"\n");
    FluidSolver solver(scene);
    for (int tick = 0; tick < 150; ++tick)
        solver.step();
    ASSERT_TRUE(solver.lastDiffusionSolve().converged);
    const double top = solver.velocity->u.at(8, 0), middle = solver.velocity->u.at(8, 8);
    EXPECT_GT(top, 0.5);
    EXPECT_LT(top, 1.0);
    EXPECT_LT(middle, top);
    EXPECT_LT(solver.velocity->u.at(8, 14), 0.0);  // the return flow
    // Without viscosity there is no diffusion solve and the fluid never moves.
    scene.viscosity = 0.0;
    FluidSolver inviscid(scene);
    for (int tick = 0; tick < 20; ++tick)
        inviscid.step();
    EXPECT_EQ(inviscid.velocity->u.at(8, 0), 0.0);
}

// The scenes' matrices take the fast path, and it computes what the general
// routines compute, to the last bit.
TEST(Scene, SolidOutletAndViscosityMatricesTakeTheFastPathBitForBit)
{
    const Scene scene = sceneFrom(R"([grid]
cells = [23, 17]
[fluid]
viscosity = 0.3
[walls]
top = { slide = 1.5 }
bottom = "no-slip"
[[inflow]]
side = "left"
cells = [0, 16]
speed = 1.0
[[outlet]]
side = "right"
cells = [3, 12]
[[solid]]
disc = { centre = [8.0, 8.5], radius = 3.0 }
)");
    FluidSolver solver(scene);
    solver.step();
    std::vector<uint8_t> outletFaces(size_t(scene.nx) * scene.ny, 0);
    for (uint32_t j = 3; j <= 12; ++j)
        outletFaces[size_t(scene.nx - 1) * scene.ny + j] = 1;
    const DiffusionSystem diffusion =
        diffusionSystem(solver.velocity->u, 0, solver.domain, scene.viscosity, solver.dx, scene.timeStep,
                        SystemForm::rowLists);
    const pcg::RowListMatrix pressure =
        assemblePressureMatrix(scene.nx, scene.ny, solver.domain.solidCells(), outletFaces);
    for (const pcg::RowListMatrix* matrix : {&diffusion.matrix.rows, &pressure}) {
        pcg::FivePointMatrix fivePoint;
        ASSERT_TRUE(pcg::readFivePointMatrix(*matrix, fivePoint));
        pcg::TriangularFactor expected, factor;
        pcg::computeFactor(*matrix, expected, 0.97, 0.25);
        pcg::FivePointFactor fivePointFactor;
        pcg::computeFivePointFactor(fivePoint, 0.97, 0.25, fivePointFactor, factor);
        EXPECT_TRUE(sameBits(expected.inverseDiagonal, factor.inverseDiagonal));
        EXPECT_TRUE(sameBits(expected.entryValues, factor.entryValues));
        std::vector<double> x(matrix->n);
        for (uint32_t k = 0; k < matrix->n; ++k)
            x[k] = std::sin(0.37 * k) - 0.2;
        pcg::CompressedMatrix compressed;
        compressed.compressFrom(*matrix);
        std::vector<double> expectedProduct, product(matrix->n), expectedZ(matrix->n), z(matrix->n);
        const double expectedDot = pcg::applyMatrixAndDot(compressed, x, expectedProduct);
        const double dot = pcg::applyFivePointAndDot(fivePoint, x.data(), product.data());
        EXPECT_TRUE(sameBits(expectedProduct, product));
        EXPECT_TRUE(sameBits({expectedDot}, {dot}));
        pcg::forwardSubstitute(expected, x, expectedZ);
        pcg::backSubstituteTransposed(expected, expectedZ);
        pcg::applyFivePointPreconditioner(fivePoint, fivePointFactor, x.data(), z.data());
        EXPECT_TRUE(sameBits(expectedZ, z));
    }
}

// A scene's systems go to the solver in the grid form, built without row
// lists: the same coefficients as read from the row lists, and solves to the
// same bits with either preconditioner; the row lists where that form cannot
// hold a system (a fluid cell with no neighbour to take part, a grid two cells wide).
TEST(Scene, TheGridFormHoldsWhatTheRowListsHoldAndSolvesToTheSameBits)
{
    const Scene scene = sceneFrom("[grid]\ncells = [21, 15]\n[fluid]\nviscosity = 0.3\n[walls]\n"
                                  "top = { slide = 1.5 }\nleft = \"no-slip\"\n[[inflow]]\nside = \"left\"\n"
                                  "cells = [0, 14]\nspeed = 1.0\n[[outlet]]\nside = \"right\"\ncells = [3, 12]\n"
                                  "[[solid]]\ndisc = { centre = [8.0, 7.5], radius = 3.0 }\n");
    FluidSolver solver(scene);
    solver.step();
    const Domain& domain = solver.domain;
    const std::vector<double> pressureRhs = pressureRightHandSide(*solver.velocity, solver.dx, 1.0, 0.1);
    struct Pair {
        const char* what;
        FivePointSystem grid;
        pcg::RowListMatrix rows;
        std::vector<double> rhs;
    };
    std::vector<Pair> pairs;
    pairs.push_back({"pressure", pressureSystem(scene.nx, scene.ny, domain.solidCells(), domain.outletFaceCounts()),
                     assemblePressureMatrix(scene.nx, scene.ny, domain.solidCells(), domain.outletFaceCounts()),
                     pressureRhs});
    for (int number = 0; number < 2; ++number) {
        const GridArray& component = solver.velocity->component(number);
        DiffusionSystem fastest = diffusionSystem(component, number, domain, scene.viscosity, solver.dx, 0.1);
        DiffusionSystem rows =
            diffusionSystem(component, number, domain, scene.viscosity, solver.dx, 0.1, SystemForm::rowLists);
        EXPECT_TRUE(sameBits(fastest.rhs, rows.rhs));
        pairs.push_back({number == 0 ? "u's viscosity" : "v's viscosity", std::move(fastest.matrix),
                         std::move(rows.matrix.rows), fastest.rhs});
    }
    for (const Pair& pair : pairs) {
        SCOPED_TRACE(pair.what);
        ASSERT_TRUE(pair.grid.onGrid);
        pcg::FivePointMatrix read;
        ASSERT_TRUE(pcg::readFivePointMatrix(pair.rows, read));
        auto same = [&](const pcg::Coefficients& a, const pcg::Coefficients& b) {
            return std::memcmp(a.data(), b.data(), read.n * sizeof(double)) == 0;
        };
        EXPECT_EQ(pair.grid.grid.n, read.n);
        EXPECT_EQ(pair.grid.grid.length, read.length);
        EXPECT_TRUE(same(pair.grid.grid.lineBefore, read.lineBefore) && same(pair.grid.grid.before, read.before) &&
                    same(pair.grid.grid.diagonal, read.diagonal) && same(pair.grid.grid.after, read.after) &&
                    same(pair.grid.grid.lineAfter, read.lineAfter));
        for (pcg::Preconditioner preconditioner :
             {pcg::Preconditioner::incompleteCholesky, pcg::Preconditioner::multigrid}) {
            const LinearSolve solve{1e-8, 1000, preconditioner};
            std::vector<double> fromGrid(pair.rhs.size()), fromRows(pair.rhs.size());
            const SolveOutcome gridOutcome = solve.solve(pair.grid, pair.rhs, fromGrid);
            const SolveOutcome rowsOutcome = solve.solve(pair.rows, pair.rhs, fromRows);
            EXPECT_TRUE(gridOutcome.converged);
            EXPECT_EQ(gridOutcome.iterations, rowsOutcome.iterations);
            EXPECT_TRUE(sameBits(fromGrid, fromRows));
        }
    }

    // A fluid cell walled in on every side by solids has nothing on its diagonal.
    const std::string pocket = "[[solid]]\nrectangle = { from = [2, 2], to = [4, 2] }\n"
                               "[[solid]]\nrectangle = { from = [2, 4], to = [4, 4] }\n"
                               "[[solid]]\nrectangle = { from = [2, 3], to = [2, 3] }\n"
                               "[[solid]]\nrectangle = { from = [4, 3], to = [4, 3] }\n";
    for (const std::string& text : {"[grid]\ncells = [8, 8]\n" + pocket, std::string("[grid]\ncells = [9, 2]\n")}) {
        SCOPED_TRACE(text);
        const Scene other = sceneFrom(text);
        const Domain walls(other);
        const FivePointSystem system = pressureSystem(other.nx, other.ny, walls.solidCells(), walls.outletFaceCounts());
        EXPECT_FALSE(system.onGrid);
        EXPECT_EQ(system.rows.n, other.nx * other.ny);
    }
}

// A scene keeps its matrices and their preconditioners from tick to tick:
// after a wall is drawn, at another time step, with the other preconditioner
// and after a cell is erased, each solve must give the bits of one built afresh.
TEST(Scene, KeptSystemsFollowDrawnCellsTimeStepsAndPreconditioners)
{
    // The viscosity solves from zero, as the fresh ones they are held against.
    const Scene scene = sceneFrom(R"([grid]
cells = [40, 24]
[solver]
viscosity_start = "zero"
[fluid]
viscosity = 0.05
[walls]
top = { slide = 1.0 }
[[inflow]]
side = "left"
cells = [4, 12]
speed = 1.0
[[outlet]]
side = "right"
cells = [0, 23]
[[solid]]
disc = { centre = [12.0, 12.0], radius = 4.0 }
)");
    FluidSolver solver(scene);
    auto check = [&](double dt, const char* when) {
        SCOPED_TRACE(when);
        VelocityField& field = *solver.velocity;
        const LinearSolve freshViscosity{scene.tolerance, scene.iterationLimit};  // the factor's, always
        std::vector<double> diffused[2];
        for (int number = 0; number < 2; ++number) {
            DiffusionSystem system =
                diffusionSystem(field.component(number), number, solver.domain, scene.viscosity, solver.dx, dt);
            diffused[number].assign(system.rhs.size(), 0.0);
            ASSERT_TRUE(freshViscosity.solve(system.matrix, system.rhs, diffused[number]).converged);
        }
        solver.diffuse(field, dt);
        EXPECT_TRUE(sameBits(values(field.u), diffused[0]) && sameBits(values(field.v), diffused[1]));

        std::vector<double> rhs = pressureRightHandSide(field, solver.dx, solver.density, dt);
        for (size_t k = 0; k < rhs.size(); ++k)
            if (solver.domain.solidCells()[k])
                rhs[k] = 0.0;
        // From the last tick's pressure, 0 in the solids, as the scene starts its solves.
        std::vector<double> pressure(rhs.size(), 0.0);
        for (uint32_t i = 0; i < scene.nx; ++i)
            for (uint32_t j = 0; j < scene.ny; ++j)
                if (!solver.domain.isSolid(i, j))
                    pressure[i * scene.ny + j] = solver.pressure->values.at(i, j);
        pcg::PcgSolver afresh;
        afresh.relativeTolerance = scene.tolerance;
        afresh.iterationLimit = scene.iterationLimit;
        afresh.preconditioner = solver.scene.preconditioner;
        FivePointSystem system =
            pressureSystem(scene.nx, scene.ny, solver.domain.solidCells(), solver.domain.outletFaceCounts());
        ASSERT_TRUE(system.onGrid);
        afresh.prepareFivePoint(std::move(system.grid));
        double residual = 0.0;
        int iterations = 0;
        ASSERT_TRUE(afresh.solvePrepared(rhs, pressure, residual, iterations, true));
        solver.solvePressure(field, *solver.pressure, dt);
        EXPECT_TRUE(sameBits(values(solver.pressure->values), pressure));
    };
    solver.step();
    check(scene.timeStep, "as loaded");
    for (uint32_t j = 2; j < 22; ++j)
        ASSERT_TRUE(solver.setSolid(30, j, true));
    check(scene.timeStep, "a wall drawn");
    solver.step();
    check(scene.timeStep / 2, "at half the time step");
    solver.scene.preconditioner = pcg::Preconditioner::incompleteCholesky;
    check(scene.timeStep, "with the factor");
    ASSERT_TRUE(solver.setSolid(30, 12, false));
    check(scene.timeStep, "a cell erased");
}

// A viscosity solve that starts from the velocity plus the last tick's change
// lands within the tolerance of the solve from zero - through drawn walls
// and a changed time step - in far fewer iterations.
TEST(Scene, ViscositySolvesFromTheLastChangeMeetTheToleranceInFewerIterations)
{
    const Scene scene = sceneFrom(R"([grid]
cells = [48, 40]
cell_size = 0.025
[fluid]
viscosity = 0.05
gravity = [0.0, 0.0]
[time]
step = 0.01
[advection]
scheme = "maccormack"
[walls]
top = { slide = 1.0 }
left = "no-slip"
right = "no-slip"
bottom = "no-slip"
[[solid]]
disc = { centre = [30.0, 24.0], radius = 5.0 }
)");
    ASSERT_TRUE(scene.viscosityFromPrevious);
    FluidSolver solver(scene);
    const LinearSolve fromZero{scene.tolerance, scene.iterationLimit};
    int guessed = 0, afresh = 0;
    for (int tick = 0; tick < 40; ++tick) {
        SCOPED_TRACE(tick);
        if (tick == 20) {
            for (uint32_t j = 5; j < 30; ++j)
                ASSERT_TRUE(solver.setSolid(12, j, true));
        }
        const double dt = tick < 30 ? scene.timeStep : scene.timeStep / 2;
        VelocityField& field = *solver.velocity;
        solver.advect(field, dt);
        solver.applyBoundaryConditions(*solver.velocity, dt);
        VelocityField& advected = *solver.velocity;
        std::vector<double> reference[2];
        double largest = 0.0;
        int mostFromZero = 0;
        for (int number = 0; number < 2; ++number) {
            DiffusionSystem system =
                diffusionSystem(advected.component(number), number, solver.domain, scene.viscosity, solver.dx, dt);
            reference[number].assign(system.rhs.size(), 0.0);
            const SolveOutcome outcome = fromZero.solve(system.matrix, system.rhs, reference[number]);
            ASSERT_TRUE(outcome.converged);
            mostFromZero = std::max(mostFromZero, outcome.iterations);  // as the solver reports its two
            for (double value : system.rhs)
                largest = std::fmax(largest, std::fabs(value));
        }
        afresh += mostFromZero;
        solver.diffuse(advected, dt);
        ASSERT_TRUE(solver.lastDiffusionSolve().converged);
        guessed += solver.lastDiffusionSolve().iterations;
        // Once the lid's start has passed, half the iterations or fewer.
        if (tick >= 15 && tick < 20) {
            EXPECT_LE(2 * solver.lastDiffusionSolve().iterations, mostFromZero);
        }
        // Both residuals are within the tolerance of the largest right-hand
        // side, and (I - s L)^-1 shrinks every vector's largest element.
        const std::vector<double> diffused[2] = {values(advected.u), values(advected.v)};
        for (int number = 0; number < 2; ++number)
            for (size_t k = 0; k < diffused[number].size(); ++k)
                ASSERT_LE(std::fabs(diffused[number][k] - reference[number][k]), 2.0 * scene.tolerance * largest);
        solver.solvePressure(advected, *solver.pressure, dt);
        solver.subtractPressureGradient(advected, *solver.pressure, dt);
        solver.applyBoundaryConditions(advected, dt);
    }
    EXPECT_LT(3 * guessed, 2 * afresh) << guessed << " iterations from the last change, " << afresh << " from zero";
}

}  // namespace

namespace {
std::vector<std::string> stagesHeard;
void hearStage(const char* stage)
{
    stagesHeard.push_back(stage);
}
}  // namespace

// The benchmark's profile of a tick is only as good as the tick's word on
// where each stage ends: every stage, once, in the order it runs - the
// standard box, a viscous scene with heat (its diffusion's two orders of the
// first tick and the rest) and a liquid.
TEST(TickStages, ATickTellsEachStageOnceInTheOrderItRuns)
{
    const std::string heated = "[grid]\ncells = [12, 10]\ncell_size = 0.1\n[fluid]\nviscosity = 0.01\n"
                               "[time]\nstep = 0.01\n[heat]\ndiffusivity = 0.01\nexpansion = 0.1\n"
                               "[heat.walls]\nbottom = 1.0\n";
    const std::string liquid = "[grid]\ncells = [12, 10]\ncell_size = 0.1\n[fluid]\nviscosity = 0.001\n"
                               "gravity = [0.0, 9.8]\n[time]\nstep = 0.005\n[[liquid]]\n"
                               "rectangle = { from = [0.0, 0.4], to = [0.6, 1.0] }\n";
    using Stages = std::vector<std::string>;
    const Stages gasFirst = {"advection", "viscosity", "forces", "pressure solve", "projection", "dye and heat"};
    const Stages gas = {"advection", "forces", "viscosity", "forces", "pressure solve", "projection", "dye and heat"};
    const Stages liquidTick = {"particles to grid", "extension", "viscosity", "forces", "pressure solve",
                               "extension", "grid to particles", "spreading drift", "particles move",
                               "surface", "area hold"};
    struct Case {
        const char* what;
        FluidSolver solver;
        Stages first, then;
    } cases[] = {
        {"the standard box", FluidSolver(50, 50), {"advection", "forces", "pressure solve", "projection"},
         {"advection", "forces", "pressure solve", "projection"}},
        {"a heated viscous scene", FluidSolver(testing_support::sceneFrom(heated)), gasFirst, gas},
        {"a liquid", FluidSolver(testing_support::sceneFrom(liquid)), liquidTick, liquidTick},
    };
    setStageListener(hearStage);
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        stagesHeard.clear();
        c.solver.step();
        EXPECT_EQ(stagesHeard, c.first);
        stagesHeard.clear();
        c.solver.step();
        EXPECT_EQ(stagesHeard, c.then);
    }
    setStageListener(nullptr);
    stagesHeard.clear();
    cases[0].solver.step();
    EXPECT_TRUE(stagesHeard.empty());
}

// Where the solves start is a matter of speed alone: a lid-driven cavity's
// flow from the solves' last answers (the viscosity's steps grown where that
// comes nearer) and from zero differ by what their tolerance lets through.
TEST(SolveStarts, WhereTheSolvesStartChangesTheFlowByNoMoreThanTheirTolerance)
{
    const std::string cavity = "[grid]\ncells = [40, 32]\ncell_size = 0.025\n[fluid]\nviscosity = 0.02\n"
                               "gravity = [0.0, 0.0]\n[time]\nstep = 0.01\n[walls]\ntop = { slide = 1.0 }\n"
                               "[solver]\ntolerance = 1e-8\niteration_limit = 400\n";
    FluidSolver fromLast(testing_support::sceneFrom(cavity));
    FluidSolver fromZero(testing_support::sceneFrom(cavity + "pressure_start = \"zero\"\nviscosity_start = \"zero\"\n"));
    int grownTicks = 0;
    for (int tick = 0; tick < 150; ++tick) {
        fromLast.step();
        fromZero.step();
        const SavedRun state = fromLast.saveState(uint64_t(tick));
        grownTicks += state.stepsGrow[0] || state.stepsGrow[1];
        ASSERT_TRUE(fromLast.lastDiffusionSolve().converged && fromLast.lastPressureSolve().converged);
    }
    EXPECT_GT(grownTicks, 10) << "the case no longer grows the viscosity's steps";
    double largest = 0.0;
    for (int c = 0; c < 2; ++c) {
        const GridArray& a = fromLast.velocity->component(c);
        const GridArray& b = fromZero.velocity->component(c);
        for (size_t k = 0; k < a.size(); ++k)
            largest = std::max(largest, std::fabs(a.data[k] - b.data[k]));
    }
    std::printf("largest difference of a velocity sample: %.3g (the lid moves at 1)\n", largest);
    EXPECT_LT(largest, 1e-6);
}

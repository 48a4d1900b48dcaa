// Scenes: the standard box unchanged, the physics of walls, solids, outlets and
// viscosity where it can go wrong, and the file reader's refusals.
#include "PCG/five_point_factor.h"
#include "PCG/five_point_matrix.h"
#include "PCG/triangular_factor.h"
#include "run/run.h"
#include "sim/fluid_solver.h"
#include "sim/linear_solve.h"
#include "sim/scene_file.h"
#include "sim/scene_steps.h"
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
                    const double expected = sampleInScene(field, solver.domain, component, x - dt * wx, y - dt * wy);
                    ASSERT_EQ(traced.at(a, b), expected) << "component " << component << " at " << a << ", " << b;
                }
            }
        }
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

TEST(SceneFile, BadFilesGetOneLineWithTheirPlaceAndRunNothing)
{
    struct Case {
        const char* text;
        const char* message;  // a part of the one line
    };
    const Case cases[] = {
        {"[grid\ncells = [4, 4]\n", "test.toml:1:"},
        // Headers that trip an assertion inside toml++ 3.3 and 3.4.
        {"[grid]\ncells = [4, 4]\n[#\n", "test.toml:3:2:"},
        {"[[[1]]]\n", "test.toml:1:3:"},
        // What the parser quotes stays on the one line.
        {"[grid]\ncells = [8, 8]\ncell_size = in\n", "saw 'in\\n'"},
        // Characters beyond ASCII, where toml++ 3.3 and 3.4 meet undefined
        // behaviour: in values, and in strings after a backslash.
        {"[grid]\ncells = [4, \xcf\xa2]\n", "test.toml:2:13: a character beyond ASCII (scene files are ASCII)"},
        {"name = \"\"\"x\\  \n \xc3\xa9\"\"\"\n", "test.toml:2:2: a character beyond ASCII"},
        {"# K\xc3\xa1rm\xc3\xa1n\n[grid]\ncells = [2, 2]\n", "test.toml:1:4: a character beyond ASCII"},
        {"[grid]\ncells = [4, 4]\ncell_sise = 1.0\n", "test.toml:3:1: unknown key \"cell_sise\" in [grid] (the nearest known one is \"cell_size\")"},
        {"gird = 1\n[grid]\ncells = [4, 4]\n", "unknown key \"gird\" (the nearest known one is \"grid\")"},
        {"[fluid]\ndensity = 1.0\n", "[grid] cells = [nx, ny] is required"},
        {"[grid]\ncells = [1, 4]\n", "test.toml:2:10: [grid] cells must lie between 2 and 4096, not 1"},
        {"[grid]\ncells = [4097, 4]\n", "must lie between 2 and 4096"},
        {"[grid]\ncells = [4, \"4\"]\n", "must be a whole number"},
        {"[grid]\ncells = [4, 4]\ncell_size = -1.0\n", "test.toml:3:13: [grid] cell_size must be positive"},
        {"[grid]\ncells = [4, 4]\n[time]\nstep = 0\n", "[time] step must be positive"},
        {"[grid]\ncells = [4, 4]\n[fluid]\ngravity = [1.0]\n", "gravity must be an array of two numbers"},
        {"[grid]\ncells = [4, 4]\n[fluid]\nviscosity = nan\n", "must be finite"},
        {"[grid]\ncells = [4, 4]\n[walls]\ntop = \"sticky\"\n", "the top wall must be"},
        {"[grid]\ncells = [4, 4]\n[[inflow]]\nside = \"left\"\ncells = [0, 4]\nspeed = 1.0\n[[outlet]]\nside = \"right\"\ncells = [0, 3]\n",
         "do not lie along the left side, which has 4 cells"},
        {"[grid]\ncells = [4, 4]\n[walls]\ntop = { slide = 1.0 }\n[[outlet]]\nside = \"top\"\ncells = [0, 1]\n",
         "an opening on the top wall, which slides"},
        {"[grid]\ncells = [4, 4]\n[[inflow]]\nside = \"left\"\ncells = [0, 1]\nspeed = 1.0\n",
         "test.toml: without an outlet the bands must balance"},
        {"[grid]\ncells = [4, 4]\n[[solid]]\nrectangle = { from = [0, 0], to = [3, 3] }\n", "the solids leave no fluid cell"},
        {"[grid]\ncells = [4, 4]\n[[solid]]\nrectangle = { from = [0, 0], to = [4, 3] }\n", "must lie inside the grid"},
        {"[grid]\ncells = [4, 4]\n[[solid]]\ndisc = { centre = [9.0, 1.0], radius = 1.0 }\n", "centre must lie inside"},
        {"[grid]\ncells = [4, 4]\n[[solid]]\ndisc = { centre = [1.0, 1.0], radius = 1.0 }\nrectangle = { from = [0, 0], to = [1, 1] }\n",
         "either a disc or a rectangle"},
        {"[grid]\ncells = [4, 4]\n[[inflow]]\nside = \"up\"\ncells = [0, 1]\nspeed = 1.0\n", "side must be"},
        {"[grid]\ncells = [4, 4]\n[solver]\niteration_limit = 0\n", "iteration_limit must lie between 1"},
        {"[grid]\ncells = [4, 4]\n[[inflow]]\nside = \"left\"\ncells = [0, 3]\nspeed = 1.0\ndye = [1.0, 2.0, 0.0]\n"
         "[[outlet]]\nside = \"right\"\ncells = [0, 3]\n", "dye is [red, green, blue], each from 0 to 1"},
        {"[grid]\ncells = [4, 4]\n[[outflow]]\nside = \"left\"\ncells = [0, 3]\nspeed = 1.0\ndye = [1.0, 0.0, 0.0]\n"
         "[[outlet]]\nside = \"right\"\ncells = [0, 3]\n", "unknown key \"dye\" in [[outflow]]"},
        {"[grid]\ncells = [4, 4]\n[interaction]\nradius = 0.0\n", "[interaction] radius must lie above 0"},
        {"[grid]\ncells = [4, 4]\n[interaction]\nstrenght = 1.0\n", "(the nearest known one is \"strength\")"},
        {"inflow = 3\n[grid]\ncells = [4, 4]\n", "inflow must be written [[inflow]]"},
        {"[grid]\ncells = [4, 4]\n[[outlet]]\nside = \"left\"\ncells = [0, 2]\n[[outlet]]\nside = \"left\"\ncells = [2, 3]\n",
         "two openings overlap"},
        // An opening's first and last cells, on every side, may not be solid.
        {"[grid]\ncells = [6, 6]\n[[outlet]]\nside = \"right\"\ncells = [0, 3]\n"
         "[[solid]]\nrectangle = { from = [5, 3], to = [5, 3] }\n", "an opening leads into a solid cell"},
        {"[grid]\ncells = [6, 6]\n[[outlet]]\nside = \"left\"\ncells = [2, 4]\n"
         "[[solid]]\nrectangle = { from = [0, 2], to = [0, 2] }\n", "an opening leads into a solid cell"},
        {"[grid]\ncells = [6, 6]\n[[inflow]]\nside = \"top\"\ncells = [1, 2]\nspeed = 1.0\n[[outlet]]\nside = \"left\"\n"
         "cells = [0, 5]\n[[solid]]\ndisc = { centre = [2.5, 0.5], radius = 0.4 }\n", "an opening leads into a solid cell"},
        {"[grid]\ncells = [6, 6]\n[[outflow]]\nside = \"bottom\"\ncells = [0, 5]\nspeed = 1.0\n[[outlet]]\nside = \"top\"\n"
         "cells = [0, 5]\n[[solid]]\nrectangle = { from = [5, 5], to = [5, 5] }\n", "an opening leads into a solid cell"},
        // Speed times cells balances, not speed alone: 10 cells at 1 against 5 at 1.
        {"[grid]\ncells = [12, 12]\n[[inflow]]\nside = \"left\"\ncells = [0, 9]\nspeed = 1.0\n"
         "[[outflow]]\nside = \"right\"\ncells = [0, 4]\nspeed = 1.0\n", "without an outlet the bands must balance"},
        {"[grid]\ncells = [4, 4]\n[[inflow]]\nside = \"left\"\ncells = [0, 3]\nspeed = 1.0\ndye = [-1.0, 0.0, 0.0]\n"
         "[[outlet]]\nside = \"right\"\ncells = [0, 3]\n", "dye is [red, green, blue], each from 0 to 1"},
        {"[grid]\ncells = [4, 4]\n[[inflow]]\nside = \"left\"\ncells = [0, 3]\nspeed = 1.0\ndye = [0.0, 0.0]\n"
         "[[outlet]]\nside = \"right\"\ncells = [0, 3]\n", "dye is [red, green, blue], each from 0 to 1"},
        {"[grid]\ncells = [4, 4]\n[tracers]\ncount = 100001\n", "[tracers] count must lie between 0 and 100000"},
        {"[grid]\ncells = [4, 4]\n[tracers]\ncount = -1\n", "test.toml:4:9: [tracers] count must be a whole number of 0 or more"},
        {"[grid]\ncells = [4, 4]\n[tracers]\ncount = 5000000000\n", "test.toml:4:9: [tracers] count is too large"},
        {"[grid]\ncells = [4, 4]\n[tracers]\ncount = 2.5\n", "test.toml:4:9: [tracers] count must be a whole number"},
        // Values judged by the scene keep their place in the file.
        {"[grid]\ncells = [4, 4]\n[tracers]\ncount = 100001\n", "test.toml:4:9: [tracers] count must lie between"},
        {"[grid]\ncells = [4, 4]\n[fluid]\ndensity = -1.0\n", "test.toml:4:11: [fluid] density must be positive"},
        {"[grid]\ncells = [4, 4]\n[[inflow]]\nside = \"left\"\ncells = [0, 3]\nspeed = 1.0\n[[outflow]]\nside = \"right\"\n"
         "cells = [0, 3]\nspeed = -1.0\n", "test.toml:10:9: an [[outflow]] band's speed must be 0 or positive"},
        {"[grid]\ncells = [6, 6]\n[[solid]]\nrectangle = { from = [0, 0], to = [1, 1] }\n[[solid]]\n"
         "disc = { centre = [3.0, 3.0], radius = -2.0 }\n", "test.toml:6:40: a disc's radius must be positive"},
        {"[grid]\ncells = [6, 6]\n[[solid]]\ndisc = { centre = [3.0, 3.0], radius = 1.0 }\n[[solid]]\n"
         "rectangle = { from = [0, 0], to = [9, 1] }\n", "test.toml:6:35: a rectangle must lie inside the grid"},
        {"[grid]\ncells = [6, 6]\n[[solid]]\ndisc = { centre = [3.0, 3.0], radius = 1.0, surface = \"round\" }\n",
         "test.toml:4:55: a disc's surface must be \"cells\" or \"cut\""},
        {"[grid]\ncells = [6, 6]\n[[solid]]\ndisc = { centre = [3.0, 3.0], radius = 1.0, surface = true }\n",
         "test.toml:4:55: a disc's surface must be \"cells\" or \"cut\""},
        {"[grid]\ncells = [4, 4]\n[interaction]\nradius = 1000.5\n", "[interaction] radius must lie above 0"},
        {"[grid]\ncells = [4, 4]\n[interaction]\nstrength = -0.5\n", "[interaction] strength must lie between 0 and 100"},
        {"[grid]\ncells = [4, 4]\n[interaction]\nstrength = 100.5\n", "[interaction] strength must lie between 0 and 100"},
        {"[grid]\ncells = [4, 4]\n[solver]\ntolerance = 1.0\n", "[solver] tolerance must lie between 0 and 1"},
        {"[grid]\ncells = [4, 4]\n[solver]\niteration_limit = 1000001\n", "iteration_limit must lie between 1"},
        {"[grid]\ncells = [4, 4]\n[advection]\nscheme = \"MacCormack\"\n", "[advection] scheme must be"},
        {"[grid]\ncells = [4, 4]\n[solver]\npreconditioner = \"amg\"\n",
         "test.toml:4:18: [solver] preconditioner must be \"incomplete-cholesky\" or \"multigrid\""},
        {"[grid]\ncells = [4, 4]\n[solver]\npressure_start = \"last\"\n",
         "test.toml:4:18: [solver] pressure_start must be \"previous\" or \"zero\""},
        {"[grid]\ncells = [4, 4]\n[solver]\npressure_start = 0\n", "[solver] pressure_start must be"},
        {"[grid]\ncells = [4, 4]\n[solver]\nviscosity_start = \"velocity\"\n",
         "test.toml:4:19: [solver] viscosity_start must be \"previous\" or \"zero\""},
        {"[grid]\ncells = [4, 4]\n[[outflow]]\nside = \"left\"\ncells = [0, 3]\nspeed = -1.0\n[[outlet]]\n"
         "side = \"right\"\ncells = [0, 3]\n", "speed must be 0 or positive"},
        {"[grid]\ncells = [4, 4]\n[[inflow]]\nside = \"left\"\ncells = [0, 3]\nspeed = 1.0\nprofile = \"round\"\n"
         "[[outlet]]\nside = \"right\"\ncells = [0, 3]\n",
         "test.toml:7:11: an [[inflow]] band's profile must be \"uniform\" or \"parabolic\""},
        {"[grid]\ncells = [4, 4]\n[[inflow]]\nside = \"left\"\ncells = [2, 2]\nspeed = 1.0\nprofile = \"parabolic\"\n"
         "[[outlet]]\nside = \"right\"\ncells = [0, 3]\n",
         "test.toml:7:11: a parabolic band needs two cells at least"},
        // A parabolic band carries 2/3 of what a uniform one of its speed and width does.
        {"[grid]\ncells = [12, 12]\n[[inflow]]\nside = \"left\"\ncells = [0, 9]\nspeed = 1.0\nprofile = \"parabolic\"\n"
         "[[outflow]]\nside = \"right\"\ncells = [0, 9]\nspeed = 1.0\n", "without an outlet the bands must balance"},
        {"[grid]\ncells = [4, 4]\n[fluid]\ndensity = 0.0\n", "[fluid] density must be positive"},
        {"[grid]\ncells = [4, 4]\n[fluid]\nviscosity = -0.1\n", "[fluid] viscosity must be 0 or positive"},
        {"[grid]\ncells = [4, 4]\n[walls]\nleft = { slide = 1.0, speed = 2.0 }\n", "unknown key \"speed\" in the left wall"},
        {"[grid]\ncells = [4, 4]\n[[solid]]\ndisc = { centre = [1.0, 1.0], radius = 0.0 }\n", "a disc's radius must be positive"},
        {"[grid]\ncells = [4, 4]\n[[solid]]\nrectangle = { from = [2, 2], to = [1, 3] }\n", "from its smaller corner"},
        // Liquid: where it starts, and what a scene with liquid cannot have yet.
        {"[grid]\ncells = [8, 8]\n[[liquid]]\nrectangle = { from = [0.0, 4.0], to = [9.0, 8.0] }\n",
         "test.toml:3:1: liquid must lie inside the grid, 0 to 8 across and 0 to 8 down"},
        {"[grid]\ncells = [8, 8]\n[[liquid]]\nrectangle = { from = [2.0, 4.0], to = [1.0, 8.0] }\n",
         "test.toml:4:13: a liquid rectangle goes from its smaller corner to its larger one"},
        {"[grid]\ncells = [8, 8]\n[[liquid]]\ndisc = { centre = [4.0, 4.0], radius = 0.0 }\n",
         "test.toml:4:8: a liquid disc's radius must be positive"},
        {"[grid]\ncells = [8, 8]\n[[liquid]]\ndisc = { centre = [4.0, 4.0], radius = 1.0 }\nrectangle = { from = "
         "[0.0, 0.0], to = [1.0, 1.0] }\n", "a [[liquid]] is either a disc or a rectangle"},
        {"[grid]\ncells = [8, 8]\n[[liquid]]\ndisc = { centre = [4.0, 4.0], radius = 1.0 }\nvelocity = [1.0]\n",
         "test.toml:5:12: a liquid's velocity"},
        {"[grid]\ncells = [8, 8]\n[[solid]]\nrectangle = { from = [0, 4], to = [7, 7] }\n[[liquid]]\n"
         "rectangle = { from = [1.0, 5.0], to = [6.0, 7.5] }\n",
         "test.toml:5:1: liquid lies inside a solid, or is too small for a particle of the grid"},
        {"[grid]\ncells = [8, 8]\n[[liquid]]\nrectangle = { from = [1.0, 5.0], to = [1.1, 5.1] }\n",
         "liquid lies inside a solid, or is too small for a particle of the grid"},
        {"[grid]\ncells = [4096, 4096]\n[[liquid]]\nrectangle = { from = [0.0, 2000.0], to = [4096.0, 4096.0] }\n",
         "the liquid takes 34340864 particles, more than the 4194304 a scene may hold"},
        // Taps: an inflow band in a liquid scene pours liquid, only liquid,
        // into a box that lets it out, on a wall that is there.
        {"[grid]\ncells = [8, 8]\n[[liquid]]\nrectangle = { from = [0.0, 4.0], to = [8.0, 8.0] }\n[[inflow]]\n"
         "side = \"top\"\ncells = [1, 2]\nspeed = 1.0\n[[outlet]]\nside = \"right\"\ncells = [6, 7]\n",
         "test.toml:5:1: in a scene with liquid an inflow band pours liquid: say liquid = true"},
        {"[grid]\ncells = [8, 8]\n[[inflow]]\nside = \"top\"\ncells = [1, 2]\nspeed = 1.0\nliquid = \"yes\"\n",
         "test.toml:7:10: an [[inflow]] band's liquid is true (the band pours liquid: a tap) or false"},
        {"[grid]\ncells = [8, 8]\n[[inflow]]\nside = \"top\"\ncells = [1, 2]\nspeed = 1.0\nliquid = true\n"
         "dye = [1.0, 0.0, 0.0]\n[[outlet]]\nside = \"right\"\ncells = [6, 7]\n", "test.toml:8:7: a tap pours liquid, not dye"},
        {"[grid]\ncells = [8, 8]\n[[inflow]]\nside = \"top\"\ncells = [1, 2]\nspeed = 1.0\nliquid = true\n",
         "test.toml: the taps pour 2 (speed times cells) into a box that lets out 0: it would fill up"},
        {"[grid]\ncells = [8, 8]\n[[inflow]]\nside = \"top\"\ncells = [1, 2]\nspeed = 1.0\nliquid = true\n"
         "[[outflow]]\nside = \"bottom\"\ncells = [5, 5]\nspeed = 1.0\n", "into a box that lets out 1: it would fill up"},
        {"[grid]\ncells = [8, 8]\n[[inflow]]\nside = \"top\"\ncells = [7, 8]\nspeed = 1.0\nliquid = true\n"
         "[[outlet]]\nside = \"right\"\ncells = [6, 7]\n", "cells 7 to 8 do not lie along the top side, which has 8 cells"},
        {"[grid]\ncells = [8, 8]\n[walls]\ntop = { slide = 1.0 }\n[[inflow]]\nside = \"top\"\ncells = [1, 2]\n"
         "speed = 1.0\nliquid = true\n[[outlet]]\nside = \"right\"\ncells = [6, 7]\n", "an opening on the top wall, which slides"},
        {"[grid]\ncells = [8, 8]\n[[solid]]\nrectangle = { from = [0, 0], to = [3, 1] }\n[[inflow]]\nside = \"top\"\n"
         "cells = [1, 2]\nspeed = 1.0\nliquid = true\n[[outlet]]\nside = \"right\"\ncells = [6, 7]\n",
         "an opening leads into a solid cell (cells 1 to 2 of the top side)"},
        {"[grid]\ncells = [8, 8]\n[fluid]\nviscosity = 1000.0\n[[liquid]]\nrectangle = { from = [0.0, 4.0], to = [8.0, 8.0] }\n",
         "test.toml:4:13: a liquid's viscosity may be at most 10 cell sizes squared a step (200 here)"},
        {"[grid]\ncells = [8, 8]\n[heat]\n[[liquid]]\nrectangle = { from = [0.0, 4.0], to = [8.0, 8.0] }\n",
         "test.toml:3:1: a scene with liquid carries no heat yet"},
        // Heat: its table, its walls, and temperatures that only a scene with heat takes.
        {"[grid]\ncells = [4, 4]\n[heat]\ndiffusivity = -0.1\n", "test.toml:4:15: [heat] diffusivity must be 0 or positive"},
        {"[grid]\ncells = [4, 4]\n[heat]\nexpansoin = 1.0\n",
         "test.toml:4:1: unknown key \"expansoin\" in [heat] (the nearest known one is \"expansion\")"},
        {"[grid]\ncells = [4, 4]\n[heat]\ninitial = \"warm\"\n", "test.toml:4:11: [heat] initial must be a number"},
        {"heat = 1.0\n[grid]\ncells = [4, 4]\n", "test.toml:1:8: [heat] must be a table"},
        {"[grid]\ncells = [4, 4]\n[heat.walls]\nfloor = 1.0\n",
         "test.toml:4:1: unknown key \"floor\" in [heat.walls] (the nearest known one is"},
        {"[grid]\ncells = [4, 4]\n[heat.walls]\nleft = nan\n", "test.toml:4:8: [heat.walls] left must be finite"},
        {"[grid]\ncells = [4, 4]\n[heat]\nwalls = [1.0, 0.0]\n", "test.toml:4:9: [heat.walls] must be a table"},
        {"[grid]\ncells = [4, 4]\n[[solid]]\ndisc = { centre = [1.0, 1.0], radius = 1.0 }\ntemperature = 1.0\n",
         "test.toml:5:15: a temperature needs a [heat] table"},
        {"[grid]\ncells = [4, 4]\n[[inflow]]\nside = \"left\"\ncells = [0, 3]\nspeed = 1.0\ntemperature = 2.0\n"
         "[[outlet]]\nside = \"right\"\ncells = [0, 3]\n", "test.toml:7:15: a temperature needs a [heat] table"},
        {"[grid]\ncells = [4, 4]\n[heat]\n[[solid]]\nrectangle = { from = [1, 1], to = [2, 2] }\ntemperature = \"hot\"\n",
         "test.toml:6:15: a solid's temperature must be a number"},
        // A view's fixed ranges: by field, rising, finite.
        {"[grid]\ncells = [4, 4]\n[view.range]\ncurl = [0.0, 1.0]\n",
         "test.toml:4:1: unknown key \"curl\" in [view.range]"},
        {"[grid]\ncells = [4, 4]\n[view.range]\nspeed = [2.0, 1.0]\n",
         "test.toml:4:9: [view.range] speed must rise: its low end below its high"},
        {"[grid]\ncells = [4, 4]\n[view.range]\npressure = [1.0, 1.0]\n", "[view.range] pressure must rise"},
        {"[grid]\ncells = [4, 4]\n[view.range]\nvorticity = [-inf, 1.0]\n",
         "test.toml:4:14: [view.range] vorticity must be finite"},
        {"[grid]\ncells = [4, 4]\n[view.range]\ndye = 1.0\n", "test.toml:4:7: [view.range] dye must be an array of two"},
        {"[grid]\ncells = [4, 4]\n[view]\nrange = 1.0\n", "test.toml:4:9: [view.range] must be a table"},
        {"[grid]\ncells = [4, 4]\n[view]\nranges = {}\n", "unknown key \"ranges\" in [view]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Scene scene;
        std::string error;
        EXPECT_FALSE(parseScene(c.text, "test.toml", scene, error));
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
        EXPECT_EQ(error.rfind("test.toml", 0), 0u) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
}

// A changed value reaches only what the file holds: a path to an array's
// element past its end, into a value that is not a table or malformed is
// refused with one line that names it; one that is there changes the scene
// as the same file with that value would.
TEST(SceneFile, ChangedValuesReachOnlyWhatTheFileHolds)
{
    Scene tap;
    std::string error;
    ASSERT_TRUE(loadSceneFile(FLOWBOX_SCENES "/tap.toml", tap, error)) << error;
    ASSERT_EQ(tap.inflows.size(), 1u);
    const SceneValue two{SceneValue::Kind::number, 2.0, 0, false, {}, {}};
    const struct {
        const char* path;
        const char* says;
    } refused[] = {
        {"inflow[1].speed", "\"inflow[1].speed\": the file has no inflow[1]"},
        {"inflow[7].speed", "\"inflow[7].speed\": the file has no inflow[7]"},
        {"outflow[0].speed", "\"outflow[0].speed\": the file has no outflow[0]"},
        {"grid.cells[2]", "\"grid.cells[2]\": the file has no cells[2]"},
        {"inflow[0].speed.x", "\"inflow[0].speed.x\": speed is not a table"},
        {"grid.cells[0].x", "\"grid.cells[0].x\": cells[0] is not a table"},
        {"inflow[].speed", "\"inflow[].speed\" is not a key's path (as fluid.viscosity or inflow[0].speed)"},
        {"inflow[-1].speed", "\"inflow[-1].speed\" is not a key's path (as fluid.viscosity or inflow[0].speed)"},
        {".speed", "\".speed\" is not a key's path (as fluid.viscosity or inflow[0].speed)"},
    };
    Scene changed = tap;
    for (const auto& c : refused) {
        SCOPED_TRACE(c.path);
        error.clear();
        EXPECT_FALSE(sceneWithValues(tap, {{c.path, two}}, changed, error));
        EXPECT_EQ(error, FLOWBOX_SCENES "/tap.toml: " + std::string(c.says));
    }
    // Where the path is there, the value is read as the file's own would be.
    EXPECT_FALSE(sceneWithValues(tap, {{"outlet[0].side", two}}, changed, error));
    EXPECT_EQ(error.rfind(FLOWBOX_SCENES "/tap.toml (with values changed):", 0), 0u) << error;
    EXPECT_NE(error.find(": side must be \"left\", \"right\", \"top\" or \"bottom\""), std::string::npos) << error;
    ASSERT_TRUE(sceneWithValues(tap, {{"inflow[0].speed", two}}, changed, error)) << error;
    EXPECT_EQ(changed.inflows[0].speed, 2.0);
    EXPECT_EQ(changed.inflows[0].range.side, tap.inflows[0].range.side);
}

TEST(SceneFile, DefaultsAreTheStandardBoxsWithoutItsBandsAndSolvedByMultigrid)
{
    const Scene scene = sceneFrom("[grid]\ncells = [7, 5]\n");
    const Scene standard = Scene::standard();
    EXPECT_EQ(scene.nx, 7u);
    EXPECT_EQ(scene.ny, 5u);
    EXPECT_EQ(scene.cellSize, standard.cellSize);
    EXPECT_EQ(scene.density, standard.density);
    EXPECT_EQ(scene.gravityY, standard.gravityY);
    EXPECT_EQ(scene.timeStep, standard.timeStep);
    EXPECT_EQ(scene.tolerance, standard.tolerance);
    EXPECT_EQ(scene.iterationLimit, standard.iterationLimit);
    EXPECT_EQ(scene.tracerCount, standard.tracerCount);
    EXPECT_TRUE(scene.inflows.empty() && scene.outflows.empty() && scene.outlets.empty());
    EXPECT_EQ(scene.top.kind, Wall::Kind::slip);
    EXPECT_EQ(scene.preconditioner, pcg::Preconditioner::multigrid);
    EXPECT_EQ(standard.preconditioner, pcg::Preconditioner::incompleteCholesky);
    EXPECT_EQ(sceneFrom("[grid]\ncells = [7, 5]\n[solver]\npreconditioner = \"incomplete-cholesky\"\n").preconditioner,
              pcg::Preconditioner::incompleteCholesky);
    EXPECT_TRUE(scene.pressureFromPrevious);
    EXPECT_FALSE(standard.pressureFromPrevious);
    EXPECT_FALSE(sceneFrom("[grid]\ncells = [7, 5]\n[solver]\npressure_start = \"zero\"\n").pressureFromPrevious);
    EXPECT_TRUE(scene.viscosityFromPrevious);
    EXPECT_FALSE(standard.viscosityFromPrevious);
    EXPECT_FALSE(sceneFrom("[grid]\ncells = [7, 5]\n[solver]\nviscosity_start = \"zero\"\n").viscosityFromPrevious);
}

}  // namespace

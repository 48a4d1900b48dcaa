// A window given a scene, touched through synthetic mouse and key events.
// The timer is paused and ticks are driven one by one, so that every case is
// the same on a fast and a busy machine.
#include "app/main_window.h"
#include "app/playground.h"
#include "run/run.h"
#include "sim/measure/body_forces.h"
#include "sim/flow/fluid_solver.h"
#include "sim/scene/scene_file.h"
#include "sim/saved/state_file.h"
#include "view/flow_view.h"
#include "view/frame.h"
#include "view/frame_geometry.h"

#include <QDir>
#include <QFileInfo>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

#include "tests/app/touched_window.h"
#include "tests/support/flow_checks.h"

#include "tests/support/scenes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

namespace {

using testing_support::sceneFrom;

const char* closedBox = "[grid]\ncells = [30, 20]\n[fluid]\ngravity = [0.0, 0.0]\ndensity = 1.0\n"
                        "[time]\nstep = 0.05\n";

TEST(Playground, ADragPushesTheFlowItsWayAndTheFlowStaysDivergenceFree)
{
    Touched box(sceneFrom(closedBox));
    QTest::mousePress(&box.view(), Qt::LeftButton, {}, box.pixelOf(10, 10));
    box.tick();
    QTest::mouseMove(&box.view(), box.pixelOf(13, 10));
    box.tick();  // the push is measured: three cells in a step
    box.tick();  // and given to this step, before its projection
    QTest::mouseRelease(&box.view(), Qt::LeftButton, {}, box.pixelOf(13, 10));
    const FluidSolver& solver = box.solver();
    EXPECT_GT(solver.velocity->u.at(13, 10), 1.0);  // about 3 cells / 0.05
    EXPECT_LT(std::fabs(solver.velocity->v.at(13, 10)), std::fabs(solver.velocity->u.at(13, 10)));
    EXPECT_LT(testing_support::largestFluidDivergence(solver) * solver.dx * solver.dx / solver.scene.timeStep,
              10 * solver.lastPressureSolve().tolerance + 1e-12);
    // Up and to the left: the other way.
    QTest::mousePress(&box.view(), Qt::LeftButton, {}, box.pixelOf(20, 12));
    box.tick();
    QTest::mouseMove(&box.view(), box.pixelOf(20, 8));
    box.tick(2);
    EXPECT_LT(solver.velocity->v.at(20, 8), -1.0);
}

TEST(Playground, DrawnWallsHoldTheFlowAndOpeningsStayOpen)
{
    Touched channel(sceneFrom("[grid]\ncells = [30, 20]\n[fluid]\ngravity = [0.0, 0.0]\ndensity = 1.0\n"
                            "[[inflow]]\nside = \"left\"\ncells = [0, 19]\nspeed = 2.0\n"
                            "[[outlet]]\nside = \"right\"\ncells = [0, 19]\n"));
    channel.tick(5);
    // A wall across the channel but for its two lowest rows.
    QTest::mousePress(&channel.view(), Qt::RightButton, {}, channel.pixelOf(15, 0));
    for (int j = 1; j <= 17; ++j)
        QTest::mouseMove(&channel.view(), channel.pixelOf(15, j));
    QTest::mouseRelease(&channel.view(), Qt::RightButton, {}, channel.pixelOf(15, 17));
    const FluidSolver& solver = channel.solver();
    for (uint32_t j = 0; j <= 17; ++j)
        ASSERT_TRUE(solver.domain.isSolid(15, j)) << j;
    EXPECT_FALSE(solver.domain.isSolid(15, 18));
    channel.tick(10);
    ASSERT_TRUE(solver.lastPressureSolve().converged);
    for (uint32_t j = 0; j <= 17; ++j) {
        EXPECT_EQ(solver.velocity->u.at(15, j), 0.0);
        EXPECT_EQ(solver.velocity->u.at(16, j), 0.0);
    }
    // All that passes goes through the gap, and faster than the inflow.
    EXPECT_GT(solver.velocity->u.at(16, 18) + solver.velocity->u.at(16, 19), 2 * 2.0);
    // Shift takes a cell back, which starts at rest; a band's cell stays fluid.
    QTest::mouseClick(&channel.view(), Qt::RightButton, Qt::ShiftModifier, channel.pixelOf(15, 5));
    EXPECT_FALSE(solver.domain.isSolid(15, 5));
    EXPECT_EQ(solver.velocity->u.at(15, 5), 0.0);
    QTest::mouseClick(&channel.view(), Qt::RightButton, {}, channel.pixelOf(0, 5));
    QTest::mouseClick(&channel.view(), Qt::RightButton, {}, channel.pixelOf(29, 5));
    EXPECT_FALSE(solver.domain.isSolid(0, 5));
    EXPECT_FALSE(solver.domain.isSolid(29, 5));
}

TEST(Playground, KeysPauseResetSaveAndHide)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString before = QDir::currentPath();
    QDir::setCurrent(dir.path());
    {
        Scene scene = sceneFrom(closedBox);
        scene.name = "keys";
        Touched box(scene);
        box.window.setPaused(false);
        QTest::keyClick(&box.window, Qt::Key_Space);
        EXPECT_TRUE(box.window.paused());
        const uint64_t ticks = box.window.ticks();
        QTest::qWait(300);  // six timer periods
        EXPECT_EQ(box.window.ticks(), ticks);
        QTest::keyClick(&box.window, Qt::Key_Space);
        EXPECT_FALSE(box.window.paused());
        box.window.setPaused(true);

        // R: the scene's first frame again, tracers and all.
        QTest::keyClick(&box.window, Qt::Key_R);
        const QImage first = box.view().grabFramebuffer();
        QTest::mousePress(&box.view(), Qt::LeftButton, {}, box.pixelOf(5, 5));
        box.tick();
        QTest::mouseMove(&box.view(), box.pixelOf(9, 9));
        box.tick(5);
        QTest::mouseRelease(&box.view(), Qt::LeftButton, {}, box.pixelOf(9, 9));
        EXPECT_NE(box.view().grabFramebuffer(), first);
        QTest::keyClick(&box.window, Qt::Key_R);
        EXPECT_EQ(box.window.ticks(), 0u);
        EXPECT_EQ(box.view().grabFramebuffer(), first);

        QTest::keyClick(&box.window, Qt::Key_S);
        EXPECT_TRUE(QFileInfo::exists(dir.filePath("flowbox-tick-0.png")));
        EXPECT_TRUE(box.window.statusBar()->currentMessage().contains("flowbox-tick-0.png"));
        QTest::keyClick(&box.window, Qt::Key_D);
        QTest::keyClick(&box.window, Qt::Key_A);
        EXPECT_FALSE(box.view().options.dye);
        EXPECT_FALSE(box.view().options.arrows);
        box.tick();
        EXPECT_TRUE(box.window.statusBar()->currentMessage().startsWith("tick 1 · "));
    }
    QDir::setCurrent(before);
}

// A scene with solids: the status bar carries the drag and lift on the first
// one, as a force meter beside the same run reads them, started again with
// the scene; without room around the first solid, neither.
TEST(Playground, TheStatusBarShowsTheDragAndLiftOnTheFirstSolid)
{
    const std::string channel = "[grid]\ncells = [40, 16]\ncell_size = 0.1\n[fluid]\ndensity = 1.0\nviscosity = 0.01\n"
                                "gravity = [0.0, 0.0]\n[time]\nstep = 0.02\n[[inflow]]\nside = \"left\"\n"
                                "cells = [0, 15]\nspeed = 1.0\n[[outlet]]\nside = \"right\"\ncells = [0, 15]\n";
    const Scene scene = sceneFrom(channel + "[[solid]]\ndisc = { centre = [12.0, 7.0], radius = 2.5 }\n");
    Touched box(scene);
    box.tick(6);
    FluidSolver beside(scene);
    ForceMeter meter(beside);
    BodyForce force;
    for (uint64_t tick = 0; tick < box.window.ticks(); ++tick) {
        beside.step();
        force = meter.measure(beside, scene.timeStep)[0];
    }
    // (The window's meter starts after the first tick; by the sixth both read the same.)
    const QString expected =
        QString(" · drag %1 · lift %2").arg(force.x, 0, 'g', 4).arg(-force.y, 0, 'g', 4);
    EXPECT_TRUE(box.window.statusBar()->currentMessage().contains(expected))
        << box.window.statusBar()->currentMessage().toStdString() << " against " << expected.toStdString();
    QTest::keyClick(&box.window, Qt::Key_R);
    box.tick(2);
    EXPECT_TRUE(box.window.statusBar()->currentMessage().contains(" · drag "));

    Touched cornered(sceneFrom(channel + "[[solid]]\nrectangle = { from = [20, 0], to = [22, 1] }\n"));
    cornered.tick(3);
    EXPECT_FALSE(cornered.window.statusBar()->currentMessage().contains("drag"));
}

// The pour's reach is the scene's interaction radius in cells, whatever a
// cell measures: about pi r^2 cells of dye.
TEST(Playground, PouringDyesTheCellsWithinTheRadiusOnCellsOfAnySize)
{
    for (const char* cellSize : {"0.05", "4.0"}) {
        SCOPED_TRACE(cellSize);
        Touched box(sceneFrom(std::string("[grid]\ncells = [30, 20]\ncell_size = ") + cellSize +
                            "\n[fluid]\ngravity = [0.0, 0.0]\n[interaction]\nradius = 3.0\n"));
        QTest::mousePress(&box.view(), Qt::LeftButton, Qt::ControlModifier, box.pixelOf(12, 10));
        box.tick();
        QTest::mouseRelease(&box.view(), Qt::LeftButton, Qt::ControlModifier, box.pixelOf(12, 10));
        int dyed = 0;
        for (uint32_t i = 0; i < box.solver().nx; ++i)
            for (uint32_t j = 0; j < box.solver().ny; ++j)
                dyed += box.solver().dye->channel[0].at(i, j) > 0.0;
        const double disc = std::acos(-1.0) * 3.0 * 3.0;
        EXPECT_GT(dyed, 0.6 * disc);
        EXPECT_LT(dyed, 1.4 * disc);
    }
}

// A key that changes the picture shows it at once, also while paused.
TEST(Playground, KeysThatChangeThePictureRepaintItWhilePaused)
{
    struct PaintCounter : QObject {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* event) override
        {
            paints += event->type() == QEvent::Paint;
            return false;
        }
    };
    Touched box(sceneFrom(closedBox));
    PaintCounter counter;
    box.view().installEventFilter(&counter);
    const std::pair<Qt::Key, const char*> keys[] = {{Qt::Key_A, "A"}, {Qt::Key_D, "D"}, {Qt::Key_A, "A again"}};
    for (const auto& [key, name] : keys) {
        SCOPED_TRACE(name);
        QTest::qWait(50);
        const int before = counter.paints;
        QTest::keyClick(&box.window, key);
        QTest::qWait(100);
        EXPECT_GT(counter.paints, before);
    }
    EXPECT_TRUE(box.window.paused());
}

TEST(Playground, TheStandardWindowTakesNoMouseOrKeys)
{
    MainWindow window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.setPaused(true);
    FlowView& view = window.flowView();
    QTest::mousePress(&view, Qt::RightButton, {}, QPoint(60, 60));
    QTest::mouseRelease(&view, Qt::RightButton, {}, QPoint(60, 60));
    QTest::keyClick(&window, Qt::Key_Space);
    EXPECT_TRUE(window.paused());
    EXPECT_FALSE(window.simulation().domain.anySolid());
    EXPECT_EQ(window.simulation().dye, nullptr);
    EXPECT_TRUE(window.statusBar()->currentMessage().isEmpty());
}

}  // namespace

// A scene with heat: T hides the temperature under the grid and shows it
// again; drawing a solid over heated fluid and erasing it starts that cell
// at the initial temperature.
TEST(Playground, TShowsAndHidesTheTemperatureAndAnErasedCellStartsAtTheInitialOne)
{
    Touched box(sceneFrom("[grid]\ncells = [24, 16]\n[fluid]\ndensity = 1.0\n[time]\nstep = 0.05\n"
                          "[heat]\ndiffusivity = 5.0\nexpansion = 0.01\ninitial = 0.25\n[heat.walls]\nleft = 1.0\n"));
    box.tick(20);
    const QImage shown = box.view().grabFramebuffer();
    QTest::keyClick(&box.window, Qt::Key_T);
    EXPECT_FALSE(box.view().options.temperature);
    const QImage hidden = box.view().grabFramebuffer();
    EXPECT_NE(hidden, shown);
    // The warm column beside the left wall is drawn red over blue only with the temperature.
    const QPoint warm = box.pixelOf(0, 8) + QPoint(2, 2);
    EXPECT_GT(qRed(shown.pixel(warm)), qBlue(shown.pixel(warm)) + 40);
    EXPECT_EQ(qRed(hidden.pixel(warm)), qBlue(hidden.pixel(warm)));
    QTest::keyClick(&box.window, Qt::Key_T);
    const QImage again = box.view().grabFramebuffer();
    EXPECT_EQ(again.pixel(warm), shown.pixel(warm));

    ASSERT_GT(box.solver().heat->temperature.at(0, 8), 0.3);
    QTest::mousePress(&box.view(), Qt::RightButton, {}, box.pixelOf(0, 8));
    QTest::mouseRelease(&box.view(), Qt::RightButton, {}, box.pixelOf(0, 8));
    QTest::mousePress(&box.view(), Qt::RightButton, Qt::ShiftModifier, box.pixelOf(0, 8));
    QTest::mouseRelease(&box.view(), Qt::RightButton, Qt::ShiftModifier, box.pixelOf(0, 8));
    EXPECT_FALSE(box.solver().domain.isSolid(0, 8));
    EXPECT_EQ(box.solver().heat->temperature.at(0, 8), 0.25);
}

// Ctrl+S saves the whole state - the cells drawn, the dye poured, the flow -
// as flowbox-tick-N.state; a window resumed from it goes on with the same
// flow as the one that saved it.
TEST(Playground, CtrlSSavesTheStateAndAWindowResumedFromItGoesOnAlike)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString before = QDir::currentPath();
    QDir::setCurrent(dir.path());
    {
        Touched channel(sceneFrom("[grid]\ncells = [24, 16]\n[fluid]\ngravity = [0.0, 0.0]\nviscosity = 0.05\n"
                                  "[[inflow]]\nside = \"left\"\ncells = [0, 15]\nspeed = 2.0\n"
                                  "[[outlet]]\nside = \"right\"\ncells = [0, 15]\n"));
        channel.tick(4);
        QTest::mouseClick(&channel.view(), Qt::RightButton, {}, channel.pixelOf(10, 7));
        QTest::mousePress(&channel.view(), Qt::LeftButton, Qt::ControlModifier, channel.pixelOf(6, 4));
        channel.tick(3);
        QTest::mouseRelease(&channel.view(), Qt::LeftButton, Qt::ControlModifier, channel.pixelOf(6, 4));
        // The timer may have ticked once before the window was paused.
        const uint64_t ticks = channel.window.ticks();
        ASSERT_GE(ticks, 7u);
        QTest::keyClick(&channel.window, Qt::Key_S, Qt::ControlModifier);
        const QString name = QString("flowbox-tick-%1").arg(ticks);
        const QString path = dir.filePath(name + ".state");
        ASSERT_TRUE(QFileInfo::exists(path));
        EXPECT_FALSE(QFileInfo::exists(dir.filePath(name + ".png")));
        EXPECT_TRUE(channel.window.statusBar()->currentMessage().contains(name + ".state"));

        SavedRun run;
        std::string error;
        ASSERT_TRUE(loadStateFile(path.toStdString(), Trail::capacity, run, error)) << error;
        Touched resumed(run.scene);
        ASSERT_TRUE(resumed.window.resume(run, error)) << error;
        EXPECT_EQ(resumed.window.ticks(), ticks);
        EXPECT_TRUE(resumed.solver().domain.isSolid(10, 7));
        EXPECT_EQ(resumed.view().tracers.size(), channel.view().tracers.size());
        EXPECT_GT(resumed.solver().dyeTotal(0), 0.0);
        channel.tick(3);
        resumed.tick(3);
        for (auto field : {&VelocityField::u, &VelocityField::v}) {
            const GridArray& a = channel.solver().velocity.get()->*field;
            const GridArray& b = resumed.solver().velocity.get()->*field;
            EXPECT_EQ(0, std::memcmp(a.data.get(), b.data.get(), a.size() * sizeof(double)));
        }
        EXPECT_EQ(resumed.solver().dyeTotal(0), channel.solver().dyeTotal(0));
        EXPECT_TRUE(resumed.window.statusBar()->currentMessage().startsWith(QString("tick %1 · ").arg(ticks + 3)));
    }
    QDir::setCurrent(before);
}

// A run saved without dye to pour, as flowbox-headless saves one, opens in a
// window, which goes on with the same flow and can pour; a state that does
// not fit leaves the window's run as it was.
TEST(Playground, AWindowGoesOnFromARunSavedWithoutDyeAndKeepsItsOwnWhenAStateDoesNotFit)
{
    const Scene scene = sceneFrom("[grid]\ncells = [24, 16]\n[fluid]\ngravity = [0.0, 0.0]\nviscosity = 0.05\n"
                                  "[[inflow]]\nside = \"left\"\ncells = [0, 15]\nspeed = 2.0\n"
                                  "[[outlet]]\nside = \"right\"\ncells = [0, 15]\n");
    ::Run headless(scene);
    headless.advance(5);
    const SavedRun saved = headless.save();
    ASSERT_TRUE(saved.dye[0].empty());
    Touched window(scene);
    std::string error;
    ASSERT_TRUE(window.window.resume(saved, error)) << error;
    EXPECT_TRUE(window.solver().dye);
    headless.advance(3);
    window.tick(3);
    EXPECT_EQ(window.window.ticks(), 8u);
    EXPECT_EQ(0, std::memcmp(window.solver().velocity->u.data.get(), headless.solver().velocity->u.data.get(),
                             headless.solver().velocity->u.size() * sizeof(double)));

    SavedRun unfit = headless.save();
    unfit.solid[3] = 1;  // cell (0, 3), at the inflow
    const FluidSolver* before = &window.solver();
    EXPECT_FALSE(window.window.resume(unfit, error));
    EXPECT_NE(error.find("opening"), std::string::npos) << error;
    EXPECT_EQ(&window.solver(), before);
    EXPECT_EQ(window.window.ticks(), 8u);
    EXPECT_FALSE(window.solver().domain.isSolid(0, 3));
}

// V steps through the flow and each field the scene has, names it in the
// status bar, and the window draws the field's colour bar, its scale from
// the map's high colour at the top to its low one at the bottom.
TEST(Playground, VStepsThroughTheFieldsEachWithItsColourBar)
{
    Touched box(sceneFrom(std::string(closedBox) + "[heat]\ndiffusivity = 0.01\n[heat.walls]\nleft = 1.0\n"));
    box.tick(3);
    const CellField order[] = {CellField::speed, CellField::vorticity, CellField::pressure, CellField::dye,
                               CellField::temperature};
    for (CellField field : order) {
        SCOPED_TRACE(cellFieldName(field));
        QTest::keyClick(&box.window, Qt::Key_V);
        ASSERT_TRUE(box.view().options.field.has_value());
        EXPECT_EQ(*box.view().options.field, field);
        EXPECT_TRUE(box.window.statusBar()->currentMessage().contains(QString(" · ") + cellFieldName(field)));
        const QImage shown = box.view().grabFramebuffer();
        Frame frame;
        composeFrame(box.solver(), uint32_t(box.view().width()), uint32_t(box.view().height()), frame,
                     box.view().options);
        ASSERT_TRUE(frame.colourBar.shown);
        auto near = [](QRgb pixel, const uint8_t* rgb) {
            return std::abs(qRed(pixel) - rgb[0]) <= 3 && std::abs(qGreen(pixel) - rgb[1]) <= 3 &&
                   std::abs(qBlue(pixel) - rgb[2]) <= 3;
        };
        const ColourBar& bar = frame.colourBar;
        const uint8_t* highColour = &bar.colours[bar.colours.size() - 3];
        const uint8_t* lowColour = &bar.colours[0];
        int firstHigh = -1, lastLow = -1;
        const int column = int(bar.x + 13.0f);
        for (int y = int(bar.y); y < int(bar.y + bar.height); ++y) {
            if (firstHigh < 0 && near(shown.pixel(column, y), highColour))
                firstHigh = y;
            if (near(shown.pixel(column, y), lowColour))
                lastLow = y;
        }
        EXPECT_GE(firstHigh, 0);
        EXPECT_GT(lastLow, firstHigh + bar.height / 2);
    }
    QTest::keyClick(&box.window, Qt::Key_V);
    EXPECT_FALSE(box.view().options.field.has_value());
}

// C records each frame the window shows into a new folder, as the window
// shows it, until C again; the next recording takes a folder of its own.
TEST(Playground, CRecordsEachFrameShownIntoANewFolder)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString before = QDir::currentPath();
    QDir::setCurrent(dir.path());
    {
        Touched box(sceneFrom(closedBox));
        box.tick(2);
        QTest::keyClick(&box.window, Qt::Key_C);
        EXPECT_TRUE(QFileInfo(dir.filePath("flowbox-recording-1")).isDir());
        box.tick(4);
        EXPECT_TRUE(box.window.statusBar()->currentMessage().contains("recording to flowbox-recording-1"));
        const QImage last = box.view().grabFramebuffer();  // draws once more, recorded too
        QTest::keyClick(&box.window, Qt::Key_C);
        box.tick(3);
        const QStringList frames = QDir(dir.filePath("flowbox-recording-1")).entryList({"frame-*.png"}, QDir::Files, QDir::Name);
        ASSERT_GE(frames.size(), 5);
        EXPECT_EQ(frames.first(), "frame-000000.png");
        const QImage recorded(QDir(dir.filePath("flowbox-recording-1")).filePath(frames.last()));
        EXPECT_EQ(recorded.size(), last.size());
        EXPECT_EQ(recorded.convertToFormat(QImage::Format_RGB32), last.convertToFormat(QImage::Format_RGB32));
        const int count = frames.size();
        box.tick(2);
        EXPECT_EQ(QDir(dir.filePath("flowbox-recording-1")).entryList({"frame-*.png"}, QDir::Files).size(), count);
        EXPECT_TRUE(box.window.statusBar()->currentMessage().contains("frames in flowbox-recording-1"));
        QTest::keyClick(&box.window, Qt::Key_C);
        EXPECT_TRUE(QFileInfo(dir.filePath("flowbox-recording-2")).isDir());
        QTest::keyClick(&box.window, Qt::Key_C);
    }
    QDir::setCurrent(before);
}

// A window given a scene, used through its menus and its settings panel:
// each action does what its key does and each toggle turns its own part of
// the picture, a setting changed while it runs goes on as a scene file with
// that setting resumed would, a scene saved from the window reads back to the
// same run, a scene opened shows its own flow, a file that cannot be opened
// leaves the run shown as it was, and the tracers keep the flow's pace at any
// ticks a frame.
#include "app/main_window.h"
#include "app/settings_panel.h"
#include "run/run.h"
#include "sim/scene/scene_file.h"
#include "sim/saved/state_file.h"
#include "sim/tracers/tracers.h"

#include <QAction>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QSet>
#include <QStatusBar>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

#include "tests/app/touched_window.h"
#include "tests/support/scenes.h"

#include <cstring>
#include <cmath>
#include <cstdio>
#include <functional>
#include <iterator>
#include <string>

namespace {

using testing_support::sceneFrom;

// Viscous, heated, with a band, an outlet, a cutting disc and a block.
const std::string heatedChannel =
    "[grid]\ncells = [24, 16]\ncell_size = 0.1\n[fluid]\ndensity = 1.0\nviscosity = 0.01\ngravity = [0.0, 1.0]\n"
    "[time]\nstep = 0.02\n"
    "[[inflow]]\nside = \"left\"\ncells = [4, 11]\nspeed = 1.0\n"
    "[[outlet]]\nside = \"right\"\ncells = [0, 15]\n"
    "[[solid]]\ndisc = { centre = [9.0, 8.0], radius = 2.5, surface = \"cut\" }\n"
    "[[solid]]\nrectangle = { from = [16, 3], to = [17, 5] }\n"
    "[heat]\ndiffusivity = 0.01\nexpansion = 0.5\n[heat.walls]\nbottom = 1.0\n";

bool sameBits(const GridArray& a, const GridArray& b)
{
    return a.size() == b.size() && std::memcmp(a.data.get(), b.data.get(), a.size() * sizeof(double)) == 0;
}

bool sameFlow(const FluidSolver& a, const FluidSolver& b)
{
    return sameBits(a.velocity->u, b.velocity->u) && sameBits(a.velocity->v, b.velocity->v) &&
           sameBits(a.pressure->values, b.pressure->values) &&
           (!a.heat || sameBits(a.heat->temperature, b.heat->temperature));
}

QAction* action(MainWindow& window, const char* name)
{
    QAction* found = window.findChild<QAction*>(name);
    EXPECT_NE(found, nullptr) << name;
    return found;
}

// Types into a field of the panel and confirms with Return, as a person would.
void type(QLineEdit* field, const QString& text)
{
    ASSERT_NE(field, nullptr);
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, text);
    QTest::keyClick(field, Qt::Key_Return);
}

// The working folder for files the window writes, for as long as it lives.
struct InTemporaryFolder {
    InTemporaryFolder() { QDir::setCurrent(dir.path()); }
    ~InTemporaryFolder() { QDir::setCurrent(before); }
    QString path(const QString& name) const { return dir.filePath(name); }
    void empty() const
    {
        for (const QFileInfo& entry : QDir(dir.path()).entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot))
            entry.isDir() ? QDir(entry.filePath()).removeRecursively() : QFile::remove(entry.filePath());
    }
    QTemporaryDir dir;
    QString before = QDir::currentPath();
};

}  // namespace

TEST(Menus, EachActionDoesWhatItsKeyDoesAndShowsItsKey)
{
    InTemporaryFolder folder;
    struct Case {
        const char* action;
        QKeySequence shown;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        std::function<QString(Touched&)> state;
    };
    const Case cases[] = {
        {"actionNextField", QKeySequence("V"), Qt::Key_V, {},
         [](Touched& t) { return QString::number(t.view().options.field ? int(*t.view().options.field) : -1); }},
        {"actionArrows", QKeySequence("A"), Qt::Key_A, {}, [](Touched& t) { return QString::number(t.view().options.arrows); }},
        {"actionDye", QKeySequence("D"), Qt::Key_D, {}, [](Touched& t) { return QString::number(t.view().options.dye); }},
        {"actionTemperature", QKeySequence("T"), Qt::Key_T, {},
         [](Touched& t) { return QString::number(t.view().options.temperature); }},
        {"actionRun", QKeySequence("Space"), Qt::Key_Space, {}, [](Touched& t) { return QString::number(t.window.paused()); }},
        {"actionRestart", QKeySequence("R"), Qt::Key_R, {}, [](Touched& t) { return QString::number(t.window.ticks()); }},
        {"actionSavePicture", QKeySequence("S"), Qt::Key_S, {},
         [&](Touched& t) { return QString::number(QFileInfo::exists(folder.path(QString("flowbox-tick-%1.png").arg(t.window.ticks())))); }},
        {"actionSaveRun", QKeySequence("Ctrl+S"), Qt::Key_S, Qt::ControlModifier,
         [&](Touched& t) { return QString::number(QFileInfo::exists(folder.path(QString("flowbox-tick-%1.state").arg(t.window.ticks())))); }},
        {"actionRecord", QKeySequence("C"), Qt::Key_C, {},
         [](Touched& t) { return t.window.statusBar()->currentMessage().contains("recording") ? QString("on") : QString("off"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.action);
        Touched byMenu(sceneFrom(heatedChannel)), byKey(sceneFrom(heatedChannel));
        // The timer may have ticked before the windows were paused: both from tick 0.
        byMenu.window.restart();
        byKey.window.restart();
        byMenu.tick(3);
        byKey.tick(3);
        folder.empty();
        const QString before = c.state(byMenu);
        ASSERT_EQ(before, c.state(byKey));
        QAction* menuAction = action(byMenu.window, c.action);
        ASSERT_NE(menuAction, nullptr);
        EXPECT_EQ(menuAction->shortcut(), c.shown);
        menuAction->trigger();
        const QString afterMenu = c.state(byMenu);
        folder.empty();
        QTest::keyClick(&byKey.window, c.key, c.modifiers);
        EXPECT_NE(afterMenu, before);
        EXPECT_EQ(afterMenu, c.state(byKey));
        byMenu.window.setPaused(true);
        byKey.window.setPaused(true);
        if (c.key == Qt::Key_C) {
            menuAction->trigger();
            QTest::keyClick(&byKey.window, c.key);
        }
    }
    // Those without a key.
    Touched box(sceneFrom(heatedChannel));
    box.window.restart();
    action(box.window, "actionStep")->trigger();
    EXPECT_EQ(box.window.ticks(), 1u);
    EXPECT_TRUE(box.window.paused());
    action(box.window, "actionTicks-4")->trigger();
    box.tick();
    EXPECT_EQ(box.window.ticks(), 5u);
    action(box.window, "actionGrid")->trigger();
    EXPECT_FALSE(box.view().options.grid);
    EXPECT_FALSE(action(box.window, "actionGrid")->isChecked());
    action(box.window, "actionTracers")->trigger();
    EXPECT_FALSE(box.view().tracersShown);
    action(box.window, "actionField-vorticity")->trigger();
    EXPECT_EQ(box.view().options.field, CellField::vorticity);
    EXPECT_TRUE(action(box.window, "actionField-vorticity")->isChecked());
    EXPECT_FALSE(action(box.window, "actionField-flow")->isChecked());
    action(box.window, "actionSettings")->trigger();
    EXPECT_TRUE(box.window.settingsPanel()->isVisible());
    // A ParaView series of every tick while exporting, and none after.
    QString problem;
    ASSERT_TRUE(QDir().mkpath(folder.path("series")));
    EXPECT_FALSE(box.window.startExport(folder.path("absent"), problem));
    ASSERT_TRUE(box.window.startExport(folder.path("series"), problem)) << problem.toStdString();
    EXPECT_TRUE(action(box.window, "actionExport")->isChecked());
    const uint64_t first = box.window.ticks() + 1;
    box.tick(2);  // four ticks a frame, as chosen above
    const uint64_t last = box.window.ticks();
    box.window.stopExport();
    box.tick();
    EXPECT_FALSE(action(box.window, "actionExport")->isChecked());
    QStringList series;
    for (uint64_t tick = first; tick <= last; ++tick)
        series << QString("field-%1.vti").arg(tick, 8, 10, QChar('0'));
    EXPECT_EQ(QDir(folder.path("series")).entryList({"*.vti"}, QDir::Files, QDir::Name).join(' ').toStdString(),
              series.join(' ').toStdString());
    EXPECT_TRUE(QFileInfo::exists(folder.path("series/flowbox.pvd")));
    action(box.window, "actionQuit")->trigger();
    EXPECT_FALSE(box.window.isVisible());
}

TEST(Menus, ASettingChangedWhileRunningGoesOnAsAFileWithItResumed)
{
    InTemporaryFolder folder;
    Touched box(sceneFrom(heatedChannel));
    action(box.window, "actionSettings")->trigger();
    box.tick(6);
    const uint64_t tick = box.window.ticks();
    SavedRun atTick = box.window.currentRun().save();
    type(box.window.settingsPanel()->field("fluid.viscosity"), "0.03");
    EXPECT_EQ(box.solver().scene.viscosity, 0.03);
    EXPECT_TRUE(box.window.statusBar()->currentMessage().contains(QString("fluid.viscosity = 0.03 from tick %1").arg(tick)))
        << box.window.statusBar()->currentMessage().toStdString();
    box.tick(8);

    // The same file with that viscosity, resumed from the state at that tick.
    std::string text = heatedChannel;
    text.replace(text.find("viscosity = 0.01"), std::strlen("viscosity = 0.01"), "viscosity = 0.03");
    atTick.scene = sceneFrom(text);
    ::Run resumed(atTick.scene, ::Run::Tracers::drawn);
    std::string error;
    ASSERT_TRUE(resumed.resume(atTick, error)) << error;
    resumed.advance(8);
    EXPECT_TRUE(sameFlow(resumed.solver(), box.solver()));

    // What a scene file refuses, the panel refuses: the run and the field stay.
    for (const auto& [path, typed, says] : {std::tuple<const char*, const char*, const char*>{"fluid.viscosity", "-1", "viscosity"},
                                            {"time.step", "fast", "not a number"},
                                            {"time.step", "0.01 s", "not a number"},
                                            {"fluid.gravity", "1, 2, 3", "gravity"}}) {
        SCOPED_TRACE(path);
        const QString before = box.window.settingsPanel()->field(path)->text();
        type(box.window.settingsPanel()->field(path), typed);
        EXPECT_TRUE(box.window.statusBar()->currentMessage().contains(says))
            << box.window.statusBar()->currentMessage().toStdString();
        EXPECT_EQ(box.window.settingsPanel()->field(path)->text(), before);
    }
    EXPECT_EQ(box.solver().scene.viscosity, 0.03);

    // Gravity reads as its label says, x then y: editing y alone changes y alone.
    QLineEdit* gravity = box.window.settingsPanel()->field("fluid.gravity");
    EXPECT_EQ(gravity->text(), "0, 1");
    gravity->setFocus();
    QTest::keyClick(gravity, Qt::Key_End);
    QTest::keyClick(gravity, Qt::Key_Backspace);
    QTest::keyClicks(gravity, "3");
    QTest::keyClick(gravity, Qt::Key_Return);
    EXPECT_EQ(box.solver().scene.gravityX, 0.0);
    EXPECT_EQ(box.solver().scene.gravityY, 3.0);

    // Every setting the panel offers for this scene takes effect, and a run saved keeps them.
    type(box.window.settingsPanel()->field("inflow[0].speed"), "1.5");
    type(box.window.settingsPanel()->field("fluid.gravity"), "0.5, 2");
    type(box.window.settingsPanel()->field("heat.expansion"), "0.25");
    type(box.window.settingsPanel()->field("heat.walls.bottom"), "2");
    type(box.window.settingsPanel()->field("time.step"), "0.01");
    box.tick();
    QTest::keyClick(&box.window, Qt::Key_S, Qt::ControlModifier);
    SavedRun saved;
    ASSERT_TRUE(loadStateFile(folder.path(QString("flowbox-tick-%1.state").arg(box.window.ticks())).toStdString(),
                              Trail::capacity, saved, error))
        << error;
    for (const Scene* scene : {&box.solver().scene, static_cast<const Scene*>(&saved.scene)}) {
        EXPECT_EQ(scene->viscosity, 0.03);
        EXPECT_EQ(scene->inflows[0].speed, 1.5);
        EXPECT_EQ(scene->gravityX, 0.5);
        EXPECT_EQ(scene->gravityY, 2.0);
        EXPECT_EQ(scene->heat.expansion, 0.25);
        EXPECT_EQ(scene->heat.wall[int(Side::bottom)], 2.0);
        EXPECT_EQ(scene->timeStep, 0.01);
    }
}

TEST(Menus, ASceneSavedFromTheWindowReadsBackToTheSameRun)
{
    InTemporaryFolder folder;
    Touched box(sceneFrom(heatedChannel));
    box.tick(3);
    // A wall drawn, a cell of the block erased, a cell the disc cuts filled, a band turned up.
    QTest::mousePress(&box.view(), Qt::RightButton, {}, box.pixelOf(3, 1));
    for (int i = 4; i <= 6; ++i)
        QTest::mouseMove(&box.view(), box.pixelOf(i, 1));
    QTest::mouseRelease(&box.view(), Qt::RightButton, {}, box.pixelOf(6, 1));
    QTest::mouseClick(&box.view(), Qt::RightButton, Qt::ShiftModifier, box.pixelOf(17, 4));
    QTest::mouseClick(&box.view(), Qt::RightButton, {}, box.pixelOf(9, 5));
    EXPECT_TRUE(box.solver().domain.isSolid(5, 1));
    EXPECT_TRUE(box.solver().domain.isSolid(9, 5));
    EXPECT_FALSE(box.solver().domain.isSolid(17, 4));
    QString problem;
    ASSERT_TRUE(box.window.changeSetting("inflow[0].speed", "1.25", problem)) << problem.toStdString();
    ASSERT_TRUE(box.window.saveSceneAs(folder.path("shaped.toml"), problem)) << problem.toStdString();

    Scene read;
    std::string error;
    ASSERT_TRUE(loadSceneFile(folder.path("shaped.toml").toStdString(), read, error)) << error;
    EXPECT_EQ(read.inflows[0].speed, 1.25);
    // From its start, the scene read runs as the window's scene with the
    // same cells made solid before its first tick.
    ::Run fromFile(read), shaped(box.solver().scene);
    EXPECT_EQ(fromFile.solver().domain.solidCells(), box.solver().domain.solidCells());
    for (uint32_t i = 0; i < read.nx; ++i) {
        for (uint32_t j = 0; j < read.ny; ++j) {
            const bool solid = box.solver().domain.isSolid(i, j);
            if (solid != shaped.solver().domain.isSolid(i, j)) {
                ASSERT_TRUE(shaped.solver().setSolid(i, j, solid));
            }
        }
    }
    fromFile.advance(12);
    shaped.advance(12);
    EXPECT_TRUE(sameFlow(fromFile.solver(), shaped.solver()));

    // Unchanged cells: the scene's own text, comments and all.
    Touched plain(sceneFrom(heatedChannel));
    ASSERT_TRUE(plain.window.saveSceneAs(folder.path("plain.toml"), problem)) << problem.toStdString();
    QFile written(folder.path("plain.toml"));
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll().toStdString(), heatedChannel);
    written.close();
    // Saved again over a scene file that is there: the new scene alone.
    ASSERT_TRUE(plain.window.saveSceneAs(folder.path("shaped.toml"), problem)) << problem.toStdString();
    ASSERT_TRUE(loadSceneFile(folder.path("shaped.toml").toStdString(), read, error)) << error;
    EXPECT_EQ(read.inflows[0].speed, 1.0);
    EXPECT_FALSE(plain.window.saveSceneAs(folder.path("no/such/folder/x.toml"), problem));
    EXPECT_TRUE(problem.contains("could not write"));
}

TEST(Menus, OpeningReplacesTheRunInPlaceAndABadFileLeavesItAsItWas)
{
    InTemporaryFolder folder;
    Touched box(sceneFrom(heatedChannel));
    action(box.window, "actionField-temperature")->trigger();
    action(box.window, "actionOpen-cavity")->trigger();
    EXPECT_EQ(box.window.windowTitle(), "flowbox: lid-driven cavity");
    // The new scene's flow, not the field the last one showed.
    EXPECT_FALSE(box.view().options.field.has_value());
    EXPECT_TRUE(action(box.window, "actionField-flow")->isChecked());
    EXPECT_FALSE(box.window.statusBar()->currentMessage().contains("temperature"))
        << box.window.statusBar()->currentMessage().toStdString();
    EXPECT_EQ(box.solver().nx, 128u);
    EXPECT_EQ(box.window.ticks(), 0u);
    EXPECT_EQ(box.window.settingsPanel()->field("fluid.viscosity")->text(), "0.01");
    EXPECT_EQ(box.window.settingsPanel()->field("heat.expansion"), nullptr);
    box.tick(2);
    QTest::keyClick(&box.window, Qt::Key_S, Qt::ControlModifier);
    const QString state = folder.path("flowbox-tick-2.state");
    ASSERT_TRUE(QFileInfo::exists(state));

    // Refused, each in a message box with its one line; the cavity runs on.
    QFile bad(folder.path("bad.toml"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("[grid]\ncells = [8, 8]\n[fluid]\nviscosity = -1\n");
    bad.close();
    QFile damaged(folder.path("damaged.state"));
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write("flowbox state\nnonsense");
    damaged.close();
    for (const QString& path : {folder.path("bad.toml"), folder.path("damaged.state"), folder.path("absent.toml")}) {
        SCOPED_TRACE(path.toStdString());
        EXPECT_FALSE(box.window.openFile(path));
        QMessageBox* refusal = box.window.findChild<QMessageBox*>("refusal");
        ASSERT_NE(refusal, nullptr);
        EXPECT_TRUE(refusal->text().contains(QFileInfo(path).fileName())) << refusal->text().toStdString();
        EXPECT_FALSE(refusal->text().contains('\n'));
        refusal->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(box.solver().nx, 128u);
        EXPECT_EQ(box.window.ticks(), 2u);
    }

    // A scene from a file, then the saved run dropped on the window.
    ASSERT_TRUE(box.window.openFile(QString(FLOWBOX_SCENES) + "/step.toml"));
    EXPECT_EQ(box.window.ticks(), 0u);
    QMimeData dropped;
    dropped.setUrls({QUrl::fromLocalFile(state)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&box.window, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&box.window, &drop);
    EXPECT_EQ(box.solver().nx, 128u);
    EXPECT_EQ(box.window.ticks(), 2u);
    box.tick();
    EXPECT_EQ(box.window.ticks(), 3u);
}

// In a liquid scene each toggle of the View menu turns its own part of the
// picture on or off, and no other, as its key does.
TEST(Menus, EachToggleTurnsItsOwnPartOfThePicture)
{
    Scene dam;
    std::string error;
    ASSERT_TRUE(loadSceneFile(FLOWBOX_SCENES "/dam-break.toml", dam, error)) << error;
    Touched box(dam);
    auto shown = [&] {
        const FrameOptions& o = box.view().options;
        return std::vector<bool>{o.arrows, o.grid, box.view().tracersShown, o.particles};
    };
    const char* toggles[] = {"actionArrows", "actionGrid", "actionTracers", "actionParticles"};
    for (size_t k = 0; k < std::size(toggles); ++k) {
        SCOPED_TRACE(toggles[k]);
        std::vector<bool> expected = shown();
        expected[k] = !expected[k];
        ASSERT_TRUE(action(box.window, toggles[k])->isEnabled());
        action(box.window, toggles[k])->trigger();
        EXPECT_EQ(shown(), expected);
        EXPECT_EQ(action(box.window, toggles[k])->isChecked(), expected[k]);
    }
    const std::vector<bool> before = shown();
    QTest::keyClick(&box.window, Qt::Key_P);
    EXPECT_EQ(shown(), (std::vector<bool>{before[0], before[1], before[2], !before[3]}));
    // What a liquid scene cannot show is not offered, and no two entries share a name.
    EXPECT_FALSE(action(box.window, "actionDye")->isEnabled());
    EXPECT_FALSE(action(box.window, "actionTemperature")->isEnabled());
    EXPECT_FALSE(action(box.window, "actionField-dye")->isVisible());
    EXPECT_FALSE(action(box.window, "actionField-temperature")->isVisible());
    QStringList names;
    for (QAction* entry : box.window.findChildren<QAction*>())
        if (!entry->text().isEmpty() && entry->objectName().startsWith("action") &&
            !entry->objectName().startsWith("actionOpen-") && !entry->objectName().startsWith("actionTicks-"))
            names << entry->text().remove('&');
    EXPECT_EQ(names.size(), QSet<QString>(names.begin(), names.end()).size()) << names.join(", ").toStdString();
}

// At four ticks a frame the tracers keep the flow's pace: a frame of four
// ticks moves them as far as four frames of one tick do.
TEST(Menus, TicksPerFrameMoveTheTracersAtTheFlowsPace)
{
    Touched four(sceneFrom(heatedChannel)), one(sceneFrom(heatedChannel));
    four.window.restart();
    one.window.restart();
    four.tick(30);
    one.tick(30);
    action(four.window, "actionTicks-4")->trigger();
    four.tick(1);
    one.tick(4);
    ASSERT_EQ(four.window.ticks(), one.window.ticks());
    const TracerList &fast = four.view().tracers, &slow = one.view().tracers;
    ASSERT_EQ(fast.size(), slow.size());
    // Against how far the tracers went in those four ticks, by their trails.
    double apart = 0.0, moved = 0.0;
    for (size_t k = 0; k < slow.size(); ++k) {
        const Trail& trail = slow[k].trail;
        if (trail.size() < 5)
            continue;
        const TracerPoint now = trail[trail.size() - 1], then = trail[trail.size() - 5];
        moved += std::hypot(now.x - then.x, now.y - then.y);
        apart += std::hypot(fast[k].position.x - slow[k].position.x, fast[k].position.y - slow[k].position.y);
    }
    std::printf("the tracers moved %.4g in four ticks; a frame of four left them %.4g from there\n", moved, apart);
    EXPECT_GT(moved, 0.0);
    EXPECT_LT(apart, 0.1 * moved);
}

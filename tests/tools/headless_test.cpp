#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>

#include "sim/measure/body_forces.h"
#include "sim/flow/fluid_solver.h"
#include "sim/measure/probes.h"
#include "sim/scene/scene_file.h"
#include "sim/saved/state_file.h"
#include "simd/dispatch.h"

#include "tests/support/files.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct HeadlessRun {
    int status;
    QByteArray out;
    QByteArray err;
};

HeadlessRun runHeadless(const QStringList& arguments,
                        const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(HEADLESS_BINARY, arguments);
    EXPECT_TRUE(process.waitForFinished(120000));
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardOutput(),
            process.readAllStandardError()};
}

QJsonObject parseLine(const QByteArray& line)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << line.left(200).toStdString();
    return document.object();
}

TEST(Headless, PrintsOneJsonLinePerTickWithThePromisedKeys)
{
    const HeadlessRun run = runHeadless({"--ticks", "12"});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.isEmpty());
    const QList<QByteArray> lines = run.out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 12);
    for (int k = 0; k < lines.size(); ++k) {
        const QJsonObject tick = parseLine(lines[k]);
        const QStringList keys{"tick",      "converged",      "iterations", "residual", "tolerance", "max_divergence",
                               "max_speed", "kinetic_energy", "tracers",    "step_us"};
        EXPECT_EQ(tick.keys().size(), keys.size());
        for (const QString& key : keys)
            ASSERT_TRUE(tick.contains(key)) << key.toStdString();
        EXPECT_EQ(tick["tick"].toInt(), k + 1);
        EXPECT_TRUE(tick["converged"].toBool());
        EXPECT_LE(tick["residual"].toDouble(), tick["tolerance"].toDouble());
        EXPECT_GT(tick["residual"].toDouble(), tick["tolerance"].toDouble() / 1000);
        EXPECT_GT(tick["iterations"].toInt(), 0);
        EXPECT_LE(tick["iterations"].toInt(), 35);
        EXPECT_LT(tick["max_divergence"].toDouble(), 1e-3);
        EXPECT_GT(tick["max_speed"].toDouble(), 10.0);
        EXPECT_GT(tick["kinetic_energy"].toDouble(), 0.0);
        // Tracers removed in a frame are replaced at the start of the next.
        EXPECT_GE(tick["tracers"].toInt(), 390);
        EXPECT_LE(tick["tracers"].toInt(), 400);
        EXPECT_GE(tick["step_us"].toDouble(), 0.0);
    }
    EXPECT_EQ(parseLine(lines[0])["iterations"].toInt(), 29);
}

TEST(Headless, DumpHoldsTheFieldsAndTracersAndRepeatsExactly)
{
    const HeadlessRun first = runHeadless({"--ticks", "3", "--dump"});
    const HeadlessRun second = runHeadless({"--dump", "--ticks=3"});
    ASSERT_EQ(first.status, 0);
    const QList<QByteArray> lines = first.out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 4);
    const QJsonObject dump = parseLine(lines.last());
    EXPECT_EQ(dump["u"].toArray().size(), 2550);
    EXPECT_EQ(dump["v"].toArray().size(), 2550);
    EXPECT_EQ(dump["pressure"].toArray().size(), 2500);
    EXPECT_FALSE(dump.contains("dye"));  // the standard box pours none
    const QJsonArray tracers = dump["tracers"].toArray();
    ASSERT_EQ(tracers.size(), 400);
    const QJsonArray firstTracer = tracers[0].toArray();
    ASSERT_EQ(firstTracer.size(), 5);
    EXPECT_EQ(firstTracer[2].toInt(), 4);  // one frame on show, then one per tick
    EXPECT_EQ(firstTracer[3].toInt(), 4);
    EXPECT_EQ(firstTracer[4].toInt(), 0);
    // Inflow band on the left border after the last tick: u index i*ny + j.
    EXPECT_EQ(dump["u"].toArray()[9].toDouble(), 10.0);
    EXPECT_EQ(dump["u"].toArray()[10].toDouble(), 0.0);
    EXPECT_EQ(lines.last(), second.out.trimmed().split('\n').last());
}

// The tick lines without their timings, and the dump.
QByteArray withoutTimings(QByteArray out)
{
    static const QRegularExpression timing("\"step_us\": [^}]*");
    return QString::fromUtf8(out).remove(timing).toUtf8();
}

TEST(Headless, EveryKernelFormPrintsTheSameRun)
{
    const QByteArray widest = runHeadless({"--ticks", "40", "--dump"}).out;
    ASSERT_FALSE(widest.isEmpty());
    for (const std::string& form : simd::runnableForms()) {
        SCOPED_TRACE(form);
        const HeadlessRun run = runHeadless({"--ticks", "40", "--dump", "--form", QString::fromStdString(form)});
        ASSERT_EQ(run.status, 0) << run.err.toStdString();
        EXPECT_EQ(withoutTimings(run.out), withoutTimings(widest));
    }
}

TEST(Headless, QuietWithoutAUtf8Locale)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"LANG", "LANGUAGE", "LC_CTYPE", "LC_MESSAGES"})
        environment.remove(name);
    environment.insert("LC_ALL", "C");
    const HeadlessRun run = runHeadless({"--ticks", "2"}, environment);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, QByteArray());
    EXPECT_EQ(run.out.count('\n'), 2);
}

TEST(HeadlessFrames, WritesTheChosenTicksAtTheChosenSizeAndRunsAsWithout)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString frames = dir.filePath("new/frames");  // created, parents and all
    const HeadlessRun plain = runHeadless({"--ticks", "7", "--dump"});
    const HeadlessRun drawn = runHeadless({"--ticks", "7", "--dump", "--frames", frames, "--every", "3"});
    ASSERT_EQ(drawn.status, 0) << drawn.err.toStdString();
    EXPECT_EQ(drawn.err, QByteArray());
    // Tracers move once a tick whether or not a picture is drawn.
    EXPECT_EQ(withoutTimings(drawn.out), withoutTimings(plain.out));
    EXPECT_EQ(QDir(frames).entryList(QDir::Files), (QStringList{"frame-00000003.png", "frame-00000006.png"}));
    const QImage picture(QDir(frames).filePath("frame-00000006.png"));
    EXPECT_EQ(picture.size(), QSize(600, 361));  // the window's view at its default size

    const QString small = dir.filePath("small");
    ASSERT_EQ(runHeadless({"--ticks", "1", "--frames", small, "--size", "120x80"}).status, 0);
    EXPECT_EQ(QImage(QDir(small).filePath("frame-00000001.png")).size(), QSize(120, 80));
}

TEST(HeadlessFrames, BadInputGetsOneLineAndStatusTwoAndWritesNothing)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath("a-file");
    QFile(file).open(QIODevice::WriteOnly);
    const QString readOnly = dir.filePath("read-only");
    QDir().mkdir(readOnly);
    QFile::setPermissions(readOnly, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const bool permissionsHold = !QFileInfo(readOnly).isWritable();  // root ignores them
    const QString fresh = dir.filePath("fresh");
    struct Case {
        QStringList arguments;
        bool needsPermissions;
    };
    const Case cases[] = {
        {{"--frames", file}, false},
        {{"--frames", file + "/below"}, false},
        {{"--frames", readOnly}, true},
        {{"--frames", readOnly + "/below"}, true},
        {{"--frames", fresh, "--size", "0x10"}, false},
        {{"--frames", fresh, "--size", "10x0"}, false},
        {{"--frames", fresh, "--size", "8193x10"}, false},
        {{"--frames", fresh, "--size", "10x8193"}, false},
        {{"--frames", fresh, "--size", "10"}, false},
        {{"--frames", fresh, "--size", "-5x10"}, false},
        {{"--frames", fresh, "--every", "0"}, false},
        {{"--frames", fresh, "--every", "x"}, false},
        {{"--every", "2"}, false},
        {{"--size", "10x10"}, false},
        {{"--frames"}, false},
        {{"--vtk", file}, false},
        {{"--vtk", readOnly}, true},
        {{"--vtk", fresh, "--size", "10x10"}, false},
        {{"--vtk"}, false},
        {{"--view", "speed"}, false},
        {{"--frames", fresh, "--view", "curl"}, false},
        {{"--frames", fresh, "--view", "temperature"}, false},
        {{"--frames", fresh, "--view", "dye"}, false},
    };
    for (const Case& c : cases) {
        if (c.needsPermissions && !permissionsHold)
            continue;
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const HeadlessRun run = runHeadless(QStringList{"--ticks", "2"} + c.arguments);
        EXPECT_EQ(run.status, 2);
        EXPECT_TRUE(run.out.isEmpty());
        EXPECT_EQ(run.err.count('\n'), 1) << run.err.toStdString();
        EXPECT_FALSE(QFileInfo::exists(fresh));
    }
    EXPECT_TRUE(QDir(readOnly).isEmpty());
}

TEST(Headless, ZeroTicksPrintsNothingButTheDump)
{
    const HeadlessRun run = runHeadless({"--ticks", "0", "--dump"});
    ASSERT_EQ(run.status, 0);
    const QList<QByteArray> lines = run.out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 1);
    const QJsonObject dump = parseLine(lines[0]);
    EXPECT_EQ(dump["tracers"].toArray().size(), 400);
    // Before any solve the pressure is the resting one, not whatever memory held.
    const QJsonArray pressure = dump["pressure"].toArray();
    ASSERT_EQ(pressure.size(), 2500);
    for (const QJsonValue& value : pressure)
        ASSERT_EQ(value.toDouble(-1.0), 0.0);
}

// Every option's largest promised value is taken, and one more is refused.
// A refusal names the option, so a run that stops at a later, deliberately bad
// option shows that the earlier one was accepted without running its ticks.
TEST(Headless, TheLimitsOfEveryOptionAreAcceptedAndOnePastRefused)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString frames = dir.filePath("frames");
    const HeadlessRun largestSize = runHeadless({"--ticks", "0", "--frames", frames, "--size", "8192x8192"});
    EXPECT_EQ(largestSize.status, 0) << largestSize.err.toStdString();
    EXPECT_EQ(runHeadless({"--ticks", "0", "--frames", frames, "--size", "1x1"}).status, 0);
    struct Case {
        QStringList arguments;
        const char* refused;  // the option the one line must name
    };
    const Case cases[] = {
        {{"--ticks", "10000000", "--every", "0", "--frames", frames}, "--every"},
        {{"--ticks", "10000001"}, "--ticks"},
        {{"--ticks", "0", "--every", "999999999", "--frames", frames, "--size", "0x1"}, "--size"},
        {{"--ticks", "0", "--every", "1000000000", "--frames", frames}, "--every"},
        {{"--ticks", "0", "--frames", frames, "--size", "8193x8192"}, "--size"},
        {{"--ticks", "0", "--frames", frames, "--size", "8192x8193"}, "--size"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const HeadlessRun run = runHeadless(c.arguments);
        EXPECT_EQ(run.status, 2);
        EXPECT_TRUE(run.err.startsWith(QByteArray("flowbox-headless: ") + c.refused)) << run.err.toStdString();
    }
}

TEST(HeadlessScene, TheStandardSceneByNameOrPathRunsTheStandardBoxBitForBit)
{
    const QByteArray plain = withoutTimings(runHeadless({"--ticks", "40", "--dump"}).out);
    ASSERT_FALSE(plain.isEmpty());
    EXPECT_EQ(withoutTimings(runHeadless({"--scene", "standard", "--ticks", "40", "--dump"}).out), plain);
    EXPECT_EQ(withoutTimings(runHeadless({"--scene", FLOWBOX_SCENES "/standard.toml", "--ticks", "40", "--dump"}).out),
              plain);
}

TEST(HeadlessScene, AShippedSceneRunsOnItsOwnGridAndDrawsItsFrames)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const HeadlessRun run =
        runHeadless({"--scene", "cylinder", "--ticks", "4", "--dump", "--frames", dir.path(), "--every", "4"});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    const QList<QByteArray> lines = run.out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 5);
    EXPECT_TRUE(parseLine(lines[3])["converged"].toBool());
    const QJsonObject dump = parseLine(lines.last());
    EXPECT_EQ(dump["pressure"].toArray().size(), 200 * 80);
    // The scene's own count; the few that died in a frame are replaced in the next.
    EXPECT_LE(dump["tracers"].toArray().size(), 800);
    EXPECT_GT(dump["tracers"].toArray().size(), 700);
    const QImage frame(dir.filePath("frame-00000004.png"));
    ASSERT_FALSE(frame.isNull());
    // The disc is drawn in the solids' own grey at its centre, (40, 41) cells
    // at 3 pixels a cell (600 / 200).
    const QRgb disc = frame.pixel(40 * 3 + 1, 41 * 3 + 1);
    EXPECT_GT(qRed(disc), 60);
    EXPECT_EQ(qRed(disc), qGreen(disc));
    // A scene without heat has no temperature.
    EXPECT_FALSE(parseLine(lines[3]).contains("nusselt"));
    EXPECT_FALSE(dump.contains("temperature"));
}

// The temperature under the grid, cold blue to hot red: the heated cavity's
// hot wall on the left, its cold one on the right.
TEST(HeadlessFrames, TheTemperatureIsDrawnFromColdBlueToHotRed)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const HeadlessRun run = runHeadless({"--scene", "heated-cavity", "--ticks", "20", "--frames", dir.path(),
                                         "--every", "20", "--size", "400x400"});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    const QJsonObject last = parseLine(run.out.trimmed().split('\n').last());
    EXPECT_GT(last["nusselt"].toObject()["left"].toDouble(), 1.0);
    EXPECT_LT(last["nusselt"].toObject()["right"].toDouble(), -1.0);
    const QImage frame(dir.filePath("frame-00000020.png"));
    ASSERT_FALSE(frame.isNull());
    // The first and last two columns of cells (4 pixels a cell), halfway
    // down, grid lines and dots and all.
    auto redOverBlue = [&](int fromX) {
        int difference = 0;
        for (int x = fromX; x < fromX + 8; ++x)
            for (int y = 180; y < 220; ++y)
                difference += qRed(frame.pixel(x, y)) - qBlue(frame.pixel(x, y));
        return difference / (8 * 40);
    };
    EXPECT_GT(redOverBlue(0), 30);
    EXPECT_LT(redOverBlue(392), -30);
}

using testing_support::writeFile;

bool sameBits(const QJsonArray& printed, const GridArray& expected)
{
    if (size_t(printed.size()) != expected.size())
        return false;
    for (size_t k = 0; k < expected.size(); ++k) {
        const double value = printed[qsizetype(k)].toDouble();
        if (std::memcmp(&value, &expected.data[k], sizeof value) != 0)
            return false;
    }
    return true;
}

// A scene of settings the shipped scenes lack: cells of a quarter, a time
// step of 0.02, a band on the top that pours, a partial outlet, solids, heat.
const QByteArray manySettingsScene =
    "[grid]\ncells = [14, 10]\ncell_size = 0.25\n[time]\nstep = 0.02\n"
    "[fluid]\nviscosity = 0.01\n[advection]\nscheme = \"maccormack\"\n"
    "[walls]\nleft = \"no-slip\"\n"
    "[[inflow]]\nside = \"top\"\ncells = [1, 4]\nspeed = 2.0\ndye = [0.0, 1.0, 0.0]\n"
    "[[outlet]]\nside = \"bottom\"\ncells = [8, 12]\n"
    "[[solid]]\ndisc = { centre = [7.0, 5.0], radius = 1.5 }\ntemperature = 2.0\n"
    "[[solid]]\nrectangle = { from = [12, 0], to = [13, 1] }\n"
    "[[probe]]\npoint = [1.375, 1.25]\n[[probe]]\npoint = [0.3, 2.4]\n"
    "[heat]\ndiffusivity = 0.01\nexpansion = 0.5\n"
    "[heat.walls]\nleft = 1.0\nbottom = -0.5\n";

// That scene runs in flowbox-headless exactly as its solver does in this process.
TEST(HeadlessScene, AnySceneRunsAsItsSolverDoesInProcessBitForBit)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = writeFile(dir, "settings.toml", manySettingsScene);
    constexpr int ticks = 15;
    const HeadlessRun run = runHeadless({"--scene", path, "--ticks", QString::number(ticks), "--dump"});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    const QList<QByteArray> lines = run.out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), ticks + 1);

    Scene scene;
    std::string error;
    ASSERT_TRUE(loadSceneFile(path.toStdString(), scene, error)) << error;
    FluidSolver solver(scene);
    ForceMeter meter(solver);
    for (int tick = 0; tick < ticks; ++tick) {
        SCOPED_TRACE(tick + 1);
        solver.step();
        const QJsonObject line = parseLine(lines[tick]);
        EXPECT_EQ(line["kinetic_energy"].toDouble(), kineticEnergy(*solver.velocity));
        // A pair per solid in the file's order: the disc's, and null for the
        // rectangle in the corner, which has no room for a box of its own.
        const std::vector<BodyForce> forces = meter.measure(solver, scene.timeStep);
        const QJsonArray printed = line["forces"].toArray();
        ASSERT_EQ(printed.size(), 2);
        EXPECT_EQ(printed[0].toArray()[0].toDouble(), forces[0].x);
        EXPECT_EQ(printed[0].toArray()[1].toDouble(), forces[0].y);
        EXPECT_TRUE(printed[1].toArray()[0].isNull() && printed[1].toArray()[1].isNull());
        const std::vector<ProbeReading> readings =
            readProbes(scene.probes, *solver.velocity, *solver.pressure, solver.domain);
        const QJsonArray probes = line["probes"].toArray();
        ASSERT_EQ(probes.size(), 2);
        for (int k = 0; k < 2; ++k) {
            EXPECT_EQ(probes[k].toObject()["u"].toDouble(), readings[size_t(k)].u);
            EXPECT_EQ(probes[k].toObject()["v"].toDouble(), readings[size_t(k)].v);
            EXPECT_EQ(probes[k].toObject()["p"].toDouble(), readings[size_t(k)].p);
        }
        // The held walls' Nusselt numbers, by side, in the order left, right, top, bottom.
        const std::vector<WallNusselt> walls = solver.heat->nusselt(solver.domain);
        const QJsonObject nusselt = line["nusselt"].toObject();
        ASSERT_EQ(walls.size(), 2u);
        EXPECT_EQ(nusselt.keys(), (QStringList{"bottom", "left"}));
        EXPECT_TRUE(lines[tick].contains("\"nusselt\": {\"left\""));
        for (const WallNusselt& wall : walls)
            EXPECT_EQ(nusselt[sideName(wall.side)].toDouble(), wall.value) << sideName(wall.side);
    }
    const QJsonObject dump = parseLine(lines.last());
    EXPECT_TRUE(sameBits(dump["temperature"].toArray(), solver.heat->temperature));
    EXPECT_TRUE(sameBits(dump["u"].toArray(), solver.velocity->u));
    EXPECT_TRUE(sameBits(dump["v"].toArray(), solver.velocity->v));
    EXPECT_TRUE(sameBits(dump["pressure"].toArray(), solver.pressure->values));
    // The dye the top band pours, channel by channel.
    ASSERT_TRUE(solver.dye);
    const QJsonArray dye = dump["dye"].toArray();
    ASSERT_EQ(dye.size(), 3);
    for (int c = 0; c < 3; ++c)
        EXPECT_TRUE(sameBits(dye[c].toArray(), solver.dye->channel[c])) << "channel " << c;
}

// A scene's advection (MacCormack, ghosts beyond sliding, sticking and
// slipping walls, solids across the lines) and its dye give every form the
// same bits; an odd line length leaves each form a one-at-a-time tail.
TEST(HeadlessScene, EveryKernelFormPrintsTheSameSceneRun)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = writeFile(dir, "forms.toml",
                                    "[grid]\ncells = [23, 13]\n[time]\nstep = 0.05\n[fluid]\nviscosity = 0.02\n"
                                    "[advection]\nscheme = \"maccormack\"\n"
                                    "[walls]\ntop = { slide = -1.5 }\nbottom = \"no-slip\"\n"
                                    "[[inflow]]\nside = \"left\"\ncells = [2, 9]\nspeed = 3.0\n"
                                    "dye = [1.0, 0.25, 0.0]\n"
                                    "[[inflow]]\nside = \"bottom\"\ncells = [3, 6]\nspeed = 1.0\n"
                                    "dye = [0.0, 0.5, 1.0]\n"
                                    "[[outlet]]\nside = \"right\"\ncells = [1, 11]\n"
                                    "[[solid]]\ndisc = { centre = [9.0, 6.5], radius = 2.6 }\n"
                                    "[[solid]]\nrectangle = { from = [15, 0], to = [16, 4] }\n");
    const QStringList arguments = {"--scene", path, "--ticks", "30", "--dump"};
    const QByteArray widest = withoutTimings(runHeadless(arguments).out);
    ASSERT_TRUE(widest.contains("\"dye\""));
    for (const std::string& form : simd::runnableForms()) {
        SCOPED_TRACE(form);
        const HeadlessRun run = runHeadless(arguments + QStringList{"--form", QString::fromStdString(form)});
        ASSERT_EQ(run.status, 0) << run.err.toStdString();
        EXPECT_EQ(withoutTimings(run.out), widest);
    }
}

// A band that pours is drawn in the frames also when it is the scene's only band.
TEST(HeadlessFrames, ThePouringBandsDyeIsDrawnWhenItIsTheOnlyBand)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray channel = "[grid]\ncells = [20, 10]\n[fluid]\ngravity = [0.0, 0.0]\n[[outlet]]\nside = \"right\"\n"
                               "cells = [0, 9]\n[[inflow]]\nside = \"left\"\ncells = [0, 9]\nspeed = 10.0\n";
    QImage frames[2];
    for (int pours = 0; pours < 2; ++pours) {
        const QString name = pours ? "pours" : "clear";
        const QString path = writeFile(dir, name + ".toml", channel + (pours ? "dye = [0.0, 1.0, 0.0]\n" : ""));
        const HeadlessRun run = runHeadless({"--scene", path, "--ticks", "20", "--frames", dir.filePath(name),
                                             "--every", "20", "--size", "200x100"});
        ASSERT_EQ(run.status, 0) << run.err.toStdString();
        frames[pours] = QImage(dir.filePath(name + "/frame-00000020.png"));
        ASSERT_FALSE(frames[pours].isNull());
    }
    // 20 ticks at ten cells a second carry the dye ten cells in: the left
    // half of the channel turns green, where the clear band's stays as it was.
    int greener = 0;
    for (int x = 0; x < 100; ++x)
        for (int y = 0; y < 100; ++y)
            greener += qGreen(frames[1].pixel(x, y)) > qGreen(frames[0].pixel(x, y)) + 60;
    EXPECT_GT(greener, 100 * 100 / 2);
}

TEST(HeadlessScene, ABadSceneGetsOneLineWithItsPlaceAndStatusTwo)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString bad = writeFile(dir, "bad.toml", "[grid]\ncells = [8, 8]\n[fluid]\ndensty = 1.0\n");
    const HeadlessRun run = runHeadless({"--scene", bad, "--ticks", "3"});
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_EQ(run.err, "flowbox-headless: " + bad.toUtf8() +
                           ":4:1: unknown key \"densty\" in [fluid] (the nearest known one is \"density\")\n");
    const HeadlessRun missing = runHeadless({"--scene", "nosuchscene"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err.count('\n'), 1);
    EXPECT_TRUE(missing.err.contains("cavity, convection, cylinder, cylinder-re100, cylinder-re20, dam-break, heated-cavity, sloshing, standard, step, tap")) << missing.err.toStdString();
}

TEST(HeadlessScene, UntilSteadyStopsOnceTheFlowIsSteadyOrSaysItNeverWas)
{
    // A rate no tick falls below, and one every tick does.
    const HeadlessRun never = runHeadless({"--scene", "cavity", "--ticks", "3", "--until-steady", "1e-30"});
    EXPECT_EQ(never.status, 3);
    EXPECT_EQ(never.out.count('\n'), 3);
    EXPECT_EQ(never.err.count('\n'), 1);
    EXPECT_TRUE(never.err.startsWith("flowbox-headless: not steady after 3 ticks")) << never.err.toStdString();
    const HeadlessRun soon = runHeadless({"--scene", "cavity", "--ticks", "50", "--until-steady", "1e30"});
    EXPECT_EQ(soon.status, 0);
    EXPECT_EQ(soon.out.count('\n'), 1);
    for (const char* bad : {"0", "-1", "abc", "nan", "inf"}) {
        SCOPED_TRACE(bad);
        const HeadlessRun run = runHeadless({"--until-steady", bad});
        EXPECT_EQ(run.status, 2);
        EXPECT_TRUE(run.err.startsWith("flowbox-headless: --until-steady")) << run.err.toStdString();
    }
}

TEST(Headless, HelpAndVersionSucceed)
{
    const HeadlessRun help = runHeadless({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.contains("--ticks"));
    const HeadlessRun version = runHeadless({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_TRUE(version.out.startsWith("flowbox-headless"));
}

// A solve that fails says so on stderr, one line each time, and the run goes on.
TEST(HeadlessScene, AFailedSolveWarnsOnStderrOnceEachTime)
{
    QTemporaryDir dir;
    const QString scene = testing_support::writeFile(
        dir, "hard.toml", "[grid]\ncells = [16, 16]\n[solver]\ntolerance = 1e-12\niteration_limit = 1\n");
    const HeadlessRun run = runHeadless({"--scene", scene, "--ticks", "3"});
    EXPECT_EQ(run.status, 0);
    const std::string line = "WARNING: PCG solver failed.\n";
    EXPECT_EQ(run.err.toStdString(), line + line + line);
    const QList<QByteArray> lines = run.out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 3);
    EXPECT_FALSE(parseLine(lines[2])["converged"].toBool());
}

TEST(Headless, BadArgumentsGetStatusTwoAndOneLineOnStderr)
{
    const QList<QStringList> cases{{"--ticks", "abc"}, {"--ticks", "-1"},       {"--ticks", "1e3"},
                                   {"--ticks"},        {"--ticks", "10000001"}, {"--ticks", "99999999999999999999"},
                                   {"--ticks", ""},    {"--ticks", " 5"},       {"--ticks", "+5"},
                                   {"--frobnicate"},   {"-x"},                  {"stray"},
                                   {"--form", "nosuchform"}, {"--form", ""}};
    for (const QStringList& arguments : cases) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const HeadlessRun run = runHeadless(arguments);
        EXPECT_EQ(run.status, 2);
        EXPECT_TRUE(run.out.isEmpty());
        EXPECT_EQ(run.err.count('\n'), 1) << run.err.toStdString();
        EXPECT_TRUE(run.err.endsWith('\n'));
    }
}

}  // namespace

// Run, saved, resumed: the tick lines after the save (forces, probes and
// Nusselt numbers included), the dump and the state saved at the end are
// those of one run straight through, byte for byte.
TEST(HeadlessState, ASavedRunResumedGoesOnAsOneRunByteForByte)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString manySettings = writeFile(dir, "settings.toml", manySettingsScene);
    struct Case {
        QStringList scene;
        int before, after;
    };
    for (const Case& c : {Case{{}, 100, 100}, Case{{"--scene", manySettings}, 20, 25},
                          Case{{"--scene", "cylinder"}, 30, 10}}) {
        SCOPED_TRACE(c.scene.join(' ').toStdString());
        const QString whole = dir.filePath("whole.state"), first = dir.filePath("first.state"),
                      second = dir.filePath("second.state");
        const HeadlessRun straight = runHeadless(
            c.scene + QStringList{"--ticks", QString::number(c.before + c.after), "--dump", "--save", whole});
        const HeadlessRun start =
            runHeadless(c.scene + QStringList{"--ticks", QString::number(c.before), "--save", first});
        const HeadlessRun resumed = runHeadless(
            {"--resume", first, "--ticks", QString::number(c.after), "--dump", "--save", second});
        ASSERT_EQ(straight.status, 0) << straight.err.toStdString();
        ASSERT_EQ(start.status, 0) << start.err.toStdString();
        ASSERT_EQ(resumed.status, 0) << resumed.err.toStdString();
        const QList<QByteArray> lines = withoutTimings(straight.out).trimmed().split('\n');
        ASSERT_EQ(lines.size(), c.before + c.after + 1);
        EXPECT_EQ(withoutTimings(resumed.out).trimmed(), lines.mid(c.before).join('\n'));
        EXPECT_EQ(parseLine(resumed.out.split('\n').first()).value("tick").toInt(), c.before + 1);
        QFile a(whole), b(second);
        ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
        EXPECT_TRUE(a.readAll() == b.readAll()) << "the states saved at the end differ";
    }
}

// A state file that is truncated, damaged, foreign or newer ends the program
// with one line naming the file, status 2, before it runs, draws or saves.
TEST(HeadlessState, AFileThatIsNotASoundStateIsRefusedAndNothingRuns)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString good = dir.filePath("good.state");
    ASSERT_EQ(runHeadless({"--scene", writeFile(dir, "settings.toml", manySettingsScene), "--ticks", "3", "--save",
                           good}).status, 0);
    QFile goodFile(good);
    ASSERT_TRUE(goodFile.open(QIODevice::ReadOnly));
    const QByteArray bytes = goodFile.readAll();
    constexpr int header = 14 + 4 + 8;
    auto changed = [&](qsizetype at, char value) {
        QByteArray copy = bytes;
        copy[at] = value;
        return copy;
    };
    QByteArray newer = bytes;
    newer[14] = char(stateFormatVersion + 1);
    struct Case {
        const char* name;
        QByteArray contents;
        const char* says;
    };
    const Case cases[] = {
        {"empty", QByteArray(), "not a flowbox state file"},
        {"scene", manySettingsScene, "not a flowbox state file"},
        {"header-cut", bytes.left(header - 3), "truncated"},
        {"body-cut", bytes.left(bytes.size() / 2), "truncated"},
        {"checksum-cut", bytes.left(bytes.size() - 1), "truncated"},
        {"longer", bytes + "x", "damaged"},
        {"body-byte", changed(header + 700, char(bytes[header + 700] ^ 0x10)), "checksum"},
        {"checksum-byte", changed(bytes.size() - 5, char(bytes[bytes.size() - 5] ^ 1)), "checksum"},
        {"length", changed(14 + 4 + 5, 1), "damaged"},
        {"newer", newer, "newer flowbox"},
        {"version-0", changed(14, 0), "damaged"},
    };
    const QString frames = dir.filePath("frames"), saved = dir.filePath("saved.state");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = writeFile(dir, QString(c.name) + ".state", c.contents);
        const HeadlessRun run =
            runHeadless({"--resume", path, "--ticks", "2", "--dump", "--frames", frames, "--save", saved});
        EXPECT_EQ(run.status, 2);
        EXPECT_TRUE(run.out.isEmpty());
        EXPECT_EQ(run.err.count('\n'), 1) << run.err.toStdString();
        EXPECT_TRUE(run.err.startsWith(("flowbox-headless: " + path + ": ").toUtf8())) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(c.says)) << run.err.toStdString();
        EXPECT_FALSE(QFileInfo::exists(frames) || QFileInfo::exists(saved));
    }
    for (const QStringList& arguments :
         {QStringList{"--resume", dir.filePath("missing.state")}, QStringList{"--resume", dir.path()},
          QStringList{"--resume", good, "--scene", "cavity"}, QStringList{"--save", dir.path()},
          QStringList{"--save", dir.filePath("missing/x.state")}, QStringList{"--save"}}) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const HeadlessRun run = runHeadless(arguments + QStringList{"--ticks", "2"});
        EXPECT_EQ(run.status, 2);
        EXPECT_TRUE(run.out.isEmpty());
        EXPECT_EQ(run.err.count('\n'), 1) << run.err.toStdString();
    }
}

// A field view changes the picture, not the run: the same lines, quietly,
// and frames that differ from the flow's by a field and its colour bar.
TEST(HeadlessFrames, AFieldViewDrawsItsFieldAndBarAndRunsAsWithout)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const HeadlessRun flow = runHeadless({"--scene", "cylinder", "--ticks", "20", "--every", "20", "--frames",
                                          dir.filePath("flow"), "--size", "300x120", "--dump"});
    ASSERT_EQ(flow.status, 0) << flow.err.toStdString();
    for (const char* field : {"speed", "vorticity", "pressure", "dye"}) {
        SCOPED_TRACE(field);
        const HeadlessRun run = runHeadless({"--scene", "cylinder", "--ticks", "20", "--every", "20", "--frames",
                                             dir.filePath(field), "--size", "300x120", "--view", field, "--dump"});
        ASSERT_EQ(run.status, 0) << run.err.toStdString();
        EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
        EXPECT_EQ(withoutTimings(run.out), withoutTimings(flow.out));
        const QImage picture(QDir(dir.filePath(field)).filePath("frame-00000020.png"));
        const QImage flowPicture(QDir(dir.filePath("flow")).filePath("frame-00000020.png"));
        ASSERT_FALSE(picture.isNull());
        EXPECT_NE(picture, flowPicture);
        // The bar's panel darkens the picture's top right corner.
        EXPECT_LT(qGray(picture.pixel(picture.width() - 12, 40)), 200);
    }
}

// flowbox-headless: the window's simulation without a display. Prints one JSON
// line per tick (and, with --dump, the final state) on stdout; with --frames it
// also draws what the window shows, in software, into PNG files.

#include "run/run.h"
#include "process/heap_tuning.h"
#include "sim/scene/scene_catalog.h"
#include "sim/saved/state_file.h"
#include "process/utf8_locale.h"
#include "simd/dispatch.h"
#include "view/frame.h"
#include "view/frame_painter.h"
#include "tools/vtk_files.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSize>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QRegularExpression>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <memory>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr qulonglong maxTicks = 10'000'000;
constexpr int badArgumentsStatus = 2;
constexpr int notSteadyStatus = 3;
constexpr int largestFrameSide = 8192;
// Frame names carry the tick padded to the width of the largest, so that they sort in order.
constexpr int frameNumberWidth = 8;
static_assert(maxTicks < 100'000'000, "frame numbers must fit their width");

// Shortest text that reads back to the same value; JSON has no NaN or infinity.
template <typename Real>
void appendNumber(std::string& out, Real value)
{
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

void appendInteger(std::string& out, long long value)
{
    out += std::to_string(value);
}

void appendArray(std::string& out, const GridArray& array)
{
    out += '[';
    for (size_t k = 0; k < array.size(); ++k) {
        if (k > 0)
            out += ", ";
        appendNumber(out, array.data[k]);
    }
    out += ']';
}

// ", "key": [item, item, ...]", each item written by appendItem.
template <typename Item, typename AppendItem>
void appendList(std::string& line, const char* key, const std::vector<Item>& items, AppendItem appendItem)
{
    line += ", \"";
    line += key;
    line += "\": [";
    for (size_t k = 0; k < items.size(); ++k) {
        if (k > 0)
            line += ", ";
        appendItem(items[k]);
    }
    line += ']';
}

void writeLine(std::string& line)
{
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stdout);
}

void printTick(const Run& run, double stepMicroseconds)
{
    const FluidSolver& solver = run.solver();
    const SolveOutcome& solve = solver.lastPressureSolve();
    const FlowSummary summary = run.summary();
    std::string line = "{\"tick\": ";
    appendInteger(line, (long long)run.tick());
    line += ", \"converged\": ";
    line += solve.converged ? "true" : "false";
    line += ", \"iterations\": ";
    appendInteger(line, solve.iterations);
    line += ", \"residual\": ";
    appendNumber(line, solve.residual);
    line += ", \"tolerance\": ";
    appendNumber(line, solve.tolerance);
    line += ", \"max_divergence\": ";
    appendNumber(line, summary.maxDivergence);
    line += ", \"max_speed\": ";
    appendNumber(line, summary.maxSpeed);
    line += ", \"kinetic_energy\": ";
    appendNumber(line, summary.kineticEnergy);
    line += ", \"tracers\": ";
    appendInteger(line, (long long)run.tracers().size());
    if (!run.forces().empty())
        appendList(line, "forces", run.forces(), [&](const BodyForce& force) {
            line += '[';
            appendNumber(line, force.x);
            line += ", ";
            appendNumber(line, force.y);
            line += ']';
        });
    if (!solver.scene.probes.empty())
        appendList(line, "probes", run.probes(), [&](const ProbeReading& reading) {
                       line += "{\"u\": ";
                       appendNumber(line, reading.u);
                       line += ", \"v\": ";
                       appendNumber(line, reading.v);
                       line += ", \"p\": ";
                       appendNumber(line, reading.p);
                       line += '}';
                   });
    if (solver.liquid) {
        line += ", \"liquid_area\": ";
        appendNumber(line, solver.liquid->area());
        line += ", \"liquid_largest_speed\": ";
        appendNumber(line, solver.liquid->largestSpeed());
        line += ", \"liquid_particles\": " + std::to_string(solver.liquid->particles().size());
        line += ", \"liquid_surface_shift\": ";
        appendNumber(line, solver.liquid->lastSurfaceShift());
    }
    if (solver.heat) {
        // Each held wall's mean Nusselt number, by side.
        line += ", \"nusselt\": {";
        const std::vector<WallNusselt> walls = run.nusselt();
        for (size_t k = 0; k < walls.size(); ++k) {
            line += k > 0 ? ", \"" : "\"";
            line += sideName(walls[k].side);
            line += "\": ";
            appendNumber(line, walls[k].value);
        }
        line += '}';
    }
    line += ", \"step_us\": ";
    appendNumber(line, stepMicroseconds);
    line += '}';
    writeLine(line);
}

void printDump(const Run& run)
{
    const FluidSolver& solver = run.solver();
    const TracerList& tracers = run.tracers();
    std::string line = "{\"u\": ";
    appendArray(line, solver.velocity->u);
    line += ", \"v\": ";
    appendArray(line, solver.velocity->v);
    line += ", \"pressure\": ";
    appendArray(line, solver.pressure->values);
    if (solver.dye) {
        line += ", \"dye\": [";
        for (int c = 0; c < 3; ++c) {
            if (c > 0)
                line += ", ";
            appendArray(line, solver.dye->channel[c]);
        }
        line += ']';
    }
    if (solver.heat) {
        line += ", \"temperature\": ";
        appendArray(line, solver.heat->temperature);
    }
    if (solver.liquid) {
        line += ", \"level_set\": ";
        appendArray(line, solver.liquid->levelSet());
    }
    line += ", \"tracers\": [";
    for (size_t k = 0; k < tracers.size(); ++k) {
        const Tracer& tracer = tracers[k];
        line += k > 0 ? ", [" : "[";
        appendNumber(line, tracer.position.x);
        line += ", ";
        appendNumber(line, tracer.position.y);
        line += ", ";
        appendInteger(line, tracer.age);
        line += ", ";
        appendInteger(line, tracer.trail.size());
        line += tracer.dying ? ", 1]" : ", 0]";
    }
    line += "]}";
    writeLine(line);
}

std::string joined(const std::vector<std::string>& names)
{
    std::string text;
    for (const std::string& name : names)
        text += (text.empty() ? "" : ", ") + name;
    return text;
}

// Creates the folder if need be and checks that a file can be made in it.
bool writableFolder(const QString& path, QString& problem)
{
    const QFileInfo info(path);
    if (info.exists() && !info.isDir()) {
        problem = "it is not a folder";
        return false;
    }
    if (!QDir().mkpath(path)) {
        problem = "the folder cannot be created";
        return false;
    }
    QTemporaryFile probe(QDir(path).filePath("probe-XXXXXX"));
    if (!probe.open()) {
        problem = probe.errorString();
        return false;
    }
    return true;
}

[[noreturn]] void failArguments(const QString& message)
{
    std::fprintf(stderr, "flowbox-headless: %s\n", qPrintable(message));
    std::exit(badArgumentsStatus);
}

}  // namespace

int main(int argc, char* argv[])
{
    keepFreedHeapForReuse();
    useUtf8CharacterType();
    // A field view's colour bar names its field in text, which takes a
    // QGuiApplication: on the platform without a display unless one is chosen.
    const bool drawsText = std::any_of(argv + 1, argv + argc, [](const char* argument) {
        return std::strncmp(argument, "--view", 6) == 0;
    });
    if (drawsText && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // A platform wants a runtime folder of its own and warns without one.
    std::unique_ptr<QTemporaryDir> runtimeFolder;
    if (drawsText && qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        runtimeFolder = std::make_unique<QTemporaryDir>();
        if (runtimeFolder->isValid())
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeFolder->path()));
    }
    const std::unique_ptr<QCoreApplication> application =
        drawsText ? std::make_unique<QGuiApplication>(argc, argv) : std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName("flowbox-headless");
    QCoreApplication::setApplicationVersion("0.1.0");

    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Runs the flowbox simulation without a display and prints one JSON line per tick.");
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption ticksOption("ticks", "Number of ticks to run (0 to 10000000, default 100).", "N", "100");
    const QCommandLineOption dumpOption("dump", "After the last tick, print the fields and the tracers.");
    const QCommandLineOption formOption(
        "form",
        QString("Instruction-set form of the kernels: %1 (default: the widest this processor runs). "
                "Every form gives the same results.")
            .arg(QString::fromStdString(joined(simd::formNames()))),
        "NAME");
    const QCommandLineOption framesOption(
        "frames", "After each tick (or every K-th), write what the window shows to DIR/frame-TICK.png.", "DIR");
    const QCommandLineOption everyOption("every", "With --frames or --vtk: every K-th tick (default 1).", "K", "1");
    const QCommandLineOption vtkOption(
        "vtk", "After each tick (or every K-th), write the fields to DIR/field-TICK.vti, listed in DIR/flowbox.pvd "
               "for ParaView.", "DIR");
    const QCommandLineOption sizeOption(
        "size",
        QString("With --frames: pictures of W by H pixels, 1 to %1 each (default %2x%3, the window's view).")
            .arg(largestFrameSide)
            .arg(standardViewWidth)
            .arg(standardViewHeight),
        "WxH");
    const QCommandLineOption sceneOption(
        "scene", "Run the scene in FILE, or the shipped scene NAME (cavity, cylinder, step, standard, ...), "
                 "instead of the standard box.", "FILE|NAME");
    const QCommandLineOption steadyOption(
        "until-steady",
        "Stop once no velocity sample (nor temperature) changes faster than RATE per unit of time; --ticks is then the limit, "
        "and reaching it unsteady ends with status 3.",
        "RATE");
    const QCommandLineOption saveOption(
        "save", "After the last tick, write the whole state to FILE, to go on from with --resume.", "FILE");
    const QCommandLineOption resumeOption(
        "resume", "Go on from the state in FILE (its scene, fields, tracers and tick) for --ticks more ticks.",
        "FILE");
    parser.addOption(sceneOption);
    parser.addOption(resumeOption);
    parser.addOption(saveOption);
    parser.addOption(steadyOption);
    parser.addOption(ticksOption);
    parser.addOption(dumpOption);
    parser.addOption(formOption);
    parser.addOption(framesOption);
    parser.addOption(vtkOption);
    const QCommandLineOption viewOption(
        "view", "With --frames: draw NAME under the grid with its colour bar: flow (the default), speed, "
                "vorticity, pressure, dye or temperature.", "NAME");
    parser.addOption(viewOption);
    const QCommandLineOption particlesOption("particles", "With --frames: draw a liquid's particles as dots too.");
    parser.addOption(particlesOption);
    parser.addOption(everyOption);
    parser.addOption(sizeOption);

    if (!parser.parse(QCoreApplication::arguments()))
        failArguments(parser.errorText());
    if (parser.isSet(helpOption))
        parser.showHelp(0);
    if (parser.isSet(versionOption))
        parser.showVersion();
    if (!parser.positionalArguments().isEmpty())
        failArguments(QString("unexpected argument '%1'").arg(parser.positionalArguments().first()));

    const QString ticksText = parser.value(ticksOption);
    static const QRegularExpression digits("^[0-9]{1,9}$");
    bool ok = digits.match(ticksText).hasMatch();
    const qulonglong ticks = ok ? ticksText.toULongLong(&ok) : 0;
    if (!ok || ticks > maxTicks)
        failArguments(QString("--ticks takes a whole number from 0 to %1, not '%2'").arg(maxTicks).arg(ticksText));

    const QString everyText = parser.value(everyOption);
    const qulonglong every = digits.match(everyText).hasMatch() ? everyText.toULongLong(&ok) : 0;
    if (every == 0)
        failArguments(QString("--every takes a whole number of ticks from 1 to 999999999, not '%1'").arg(everyText));
    QSize frameSize{int(standardViewWidth), int(standardViewHeight)};
    if (parser.isSet(sizeOption)) {
        static const QRegularExpression widthByHeight("^([0-9]{1,5})x([0-9]{1,5})$");
        const QRegularExpressionMatch size = widthByHeight.match(parser.value(sizeOption));
        frameSize = size.hasMatch() ? QSize(size.captured(1).toInt(), size.captured(2).toInt()) : QSize();
        if (frameSize.width() < 1 || frameSize.height() < 1 || frameSize.width() > largestFrameSide ||
            frameSize.height() > largestFrameSide)
            failArguments(QString("--size takes WxH, each from 1 to %1, not '%2'")
                              .arg(largestFrameSide)
                              .arg(parser.value(sizeOption)));
    }
    if (!parser.isSet(framesOption) &&
        (parser.isSet(sizeOption) || parser.isSet(viewOption) || parser.isSet(particlesOption)))
        failArguments("--size, --view and --particles go with --frames");
    FrameOptions frameOptions;
    frameOptions.particles = parser.isSet(particlesOption);
    if (parser.isSet(viewOption) && parser.value(viewOption) != "flow") {
        for (int f = 0; f < cellFieldCount; ++f)
            if (parser.value(viewOption) == cellFieldName(CellField(f)))
                frameOptions.field = CellField(f);
        if (!frameOptions.field)
            failArguments(QString("--view takes flow, speed, vorticity, pressure, dye or temperature, not '%1'")
                              .arg(parser.value(viewOption)));
    }
    if (!parser.isSet(framesOption) && !parser.isSet(vtkOption) && parser.isSet(everyOption))
        failArguments("--every goes with --frames or --vtk");

    if (parser.isSet(formOption) && !simd::useForm(parser.value(formOption).toStdString()))
        failArguments(QString("--form takes one of %1 that this processor runs, not '%2'")
                          .arg(QString::fromStdString(joined(simd::formNames())), parser.value(formOption)));

    double steadyRate = 0.0;
    if (parser.isSet(steadyOption)) {
        bool number = false;
        steadyRate = parser.value(steadyOption).toDouble(&number);
        if (!number || !(steadyRate > 0.0) || !std::isfinite(steadyRate))
            failArguments(QString("--until-steady takes a positive rate, not '%1'").arg(parser.value(steadyOption)));
    }

    // The scene, from its file or a saved state.
    SavedRun saved;
    if (parser.isSet(sceneOption) && parser.isSet(resumeOption))
        failArguments("--resume runs the scene saved with the state; leave out --scene");
    if (parser.isSet(resumeOption)) {
        std::string problem;
        if (!loadStateFile(parser.value(resumeOption).toStdString(), Trail::capacity, saved, problem))
            failArguments(QString::fromStdString(problem));
    } else {
        saved.scene = Scene::standard();
        std::string problem;
        if (parser.isSet(sceneOption) &&
            !sceneFromArgument(parser.value(sceneOption).toStdString(), saved.scene, problem))
            failArguments(QString::fromStdString(problem));
    }
    const Scene& scene = saved.scene;
    QString savePath;
    if (parser.isSet(saveOption)) {
        savePath = parser.value(saveOption);
        const QFileInfo info(savePath);
        if (info.isDir() || !QFileInfo(info.absolutePath()).isDir() || !QFileInfo(info.absolutePath()).isWritable())
            failArguments(QString("cannot save the state to '%1': %2")
                              .arg(savePath, info.isDir() ? "it is a folder" : "its folder is missing or not writable"));
    }

    const auto run = std::make_unique<Run>(scene);
    std::string problem;
    if (parser.isSet(resumeOption) && !run->resume(saved, problem))
        failArguments(QString("%1: does not fit its scene: %2")
                          .arg(parser.value(resumeOption), QString::fromStdString(problem)));
    const FluidSolver& solver = run->solver();
    if (frameOptions.field && !hasField(solver, *frameOptions.field))
        failArguments(QString("--view %1: the scene has no %1 (%2)")
                          .arg(cellFieldName(*frameOptions.field),
                               *frameOptions.field == CellField::dye ? "no band pours dye" : "it has no [heat]"));
    // Last, so that bad arguments leave no folder behind.
    QString framesDir;
    if (parser.isSet(framesOption)) {
        framesDir = parser.value(framesOption);
        QString problem;
        if (!writableFolder(framesDir, problem))
            failArguments(QString("cannot write frames to '%1': %2").arg(framesDir, problem));
    }
    std::unique_ptr<VtkSeries> vtk;
    if (parser.isSet(vtkOption)) {
        QString problem;
        if (!writableFolder(parser.value(vtkOption), problem))
            failArguments(QString("cannot write VTK files to '%1': %2").arg(parser.value(vtkOption), problem));
        vtk = std::make_unique<VtkSeries>(parser.value(vtkOption));
    }

    Frame frame;
    const RunOutcome outcome = run->advance(ticks, steadyRate, [&](uint64_t, double microseconds) {
        const uint64_t tick = run->tick();
        printTick(*run, microseconds);
        if (tick % every != 0)
            return true;
        QString failed;
        if (vtk && !vtk->write(solver, tick, failed)) {
            std::fflush(stdout);
            std::fprintf(stderr, "flowbox-headless: cannot write %s\n", qPrintable(failed));
            return false;
        }
        if (framesDir.isEmpty())
            return true;
        composeFrame(solver, uint32_t(frameSize.width()), uint32_t(frameSize.height()), frame, frameOptions);
        composeTrails(run->tracers(), frame);
        const QString path =
            QDir(framesDir).filePath(QString("frame-%1.png").arg(tick, frameNumberWidth, 10, QChar('0')));
        if (paintFrame(frame).save(path, "PNG"))
            return true;
        std::fflush(stdout);
        std::fprintf(stderr, "flowbox-headless: cannot write %s\n", qPrintable(path));
        return false;
    });
    if (outcome.stopped)
        return 1;
    if (parser.isSet(dumpOption))
        printDump(*run);
    std::fflush(stdout);
    if (!savePath.isEmpty()) {
        std::string problem;
        if (!saveStateFile(savePath.toStdString(), run->save(), problem)) {
            std::fprintf(stderr, "flowbox-headless: %s\n", problem.c_str());
            return 1;
        }
    }
    if (steadyRate > 0.0 && !outcome.steady) {
        std::fprintf(stderr, "flowbox-headless: not steady after %llu ticks: the velocity still changes at %g per unit of time\n",
                     ticks, outcome.changeRate);
        return notSteadyStatus;
    }
    return 0;
}

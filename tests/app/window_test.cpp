#include "app/main_window.h"
#include "app/startup.h"
#include "sim/flow/fluid_solver.h"
#include "sim/scene/scene.h"
#include "sim/solve/solver_warning.h"
#include "view/flow_view.h"
#include "view/frame_geometry.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMenuBar>
#include <QMetaMethod>
#include <QProcess>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include "tests/support/files.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

TEST(MainWindow, FormTitleSizeAndBars)
{
    MainWindow window;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(window.windowTitle(), "MainWindow");
    EXPECT_EQ(window.objectName(), "MainWindow");
    EXPECT_EQ(window.size(), QSize(600, 400));
    ASSERT_NE(window.menuBar(), nullptr);
    EXPECT_EQ(window.menuBar()->objectName(), "menuBar");
    EXPECT_TRUE(window.menuBar()->actions().isEmpty());
    EXPECT_EQ(window.statusBar()->objectName(), "statusBar");
    const QList<QToolBar*> toolBars = window.findChildren<QToolBar*>();
    ASSERT_EQ(toolBars.size(), 1);
    EXPECT_EQ(toolBars[0]->objectName(), "mainToolBar");
    EXPECT_TRUE(toolBars[0]->actions().isEmpty());

    // The view replaced the placeholder as central widget.
    EXPECT_NE(dynamic_cast<FlowView*>(window.centralWidget()), nullptr);
    EXPECT_EQ(window.findChild<QWidget*>("centralWidget"), nullptr);
    EXPECT_EQ(window.centralWidget()->parent(), &window);
}

TEST(MainWindow, MetaObjectAddsExactlyTheProtectedSlotAdvance)
{
    MainWindow window;
    const QMetaObject* meta = window.metaObject();
    EXPECT_STREQ(meta->className(), "MainWindow");
    EXPECT_EQ(meta->superClass(), &QMainWindow::staticMetaObject);
    EXPECT_EQ(meta->methodCount() - meta->methodOffset(), 1);
    const QMetaMethod advance = meta->method(meta->methodOffset());
    EXPECT_EQ(advance.methodSignature(), "advance()");
    EXPECT_EQ(advance.methodType(), QMetaMethod::Slot);
    EXPECT_EQ(advance.access(), QMetaMethod::Protected);
    EXPECT_EQ(advance.parameterCount(), 0);
    EXPECT_EQ(meta->propertyCount(), meta->propertyOffset());
    EXPECT_EQ(meta->enumeratorCount(), meta->enumeratorOffset());
    EXPECT_EQ(meta->classInfoCount(), meta->classInfoOffset());
    EXPECT_EQ(meta->constructorCount(), 0);
    EXPECT_NE(window.qt_metacast("MainWindow"), nullptr);
    EXPECT_NE(window.qt_metacast("QMainWindow"), nullptr);
    EXPECT_EQ(window.qt_metacast(nullptr), nullptr);
    // The view has no meta-object of its own.
    EXPECT_EQ(window.centralWidget()->metaObject(), &QOpenGLWidget::staticMetaObject);
}

TEST(MainWindow, TimerTicksEveryFiftyMillisecondsAndSteps)
{
    MainWindow window;
    EXPECT_TRUE(window.tickTimer().isActive());
    EXPECT_EQ(window.tickTimer().interval(), 50);
    EXPECT_FALSE(window.tickTimer().isSingleShot());
    EXPECT_EQ(window.simulation().nx, 50u);
    EXPECT_EQ(window.simulation().velocity->u.at(0, 0), 0.0);  // at rest before the first tick
    window.show();
    int ticks = 0;
    QObject::connect(&window.tickTimer(), &QTimer::timeout, [&ticks] { ++ticks; });
    // Two ticks, however slow the first frame (software rendering on a loaded machine).
    QElapsedTimer clock;
    clock.start();
    while (ticks < 2 && clock.elapsed() < 10000)
        QTest::qWait(10);
    EXPECT_GE(ticks, 2);
    EXPECT_EQ(window.simulation().velocity->u.at(0, 0), 10.0);  // the inflow band is on
    EXPECT_GT(window.simulation().lastPressureSolve().iterations, 0);
}

TEST(MainWindow, ClosingEndsTheEventLoopAndTheTimerStopsBeforeTheViewGoes)
{
    auto* window = new MainWindow;
    window->show();
    QElapsedTimer clock;
    clock.start();
    QTimer::singleShot(200, window, &QWidget::close);
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_LT(clock.elapsed(), 1200);

    window->close();  // a second close is harmless
    const QTimer* timer = &window->tickTimer();
    bool timerStoppedFirst = false;
    bool viewDestroyed = false;
    QObject::connect(window->centralWidget(), &QObject::destroyed, [&] {
        viewDestroyed = true;
        timerStoppedFirst = !timer->isActive();
    });
    delete window;
    EXPECT_TRUE(viewDestroyed);
    EXPECT_TRUE(timerStoppedFirst);
    QTest::qWait(150);  // a stray tick would reach freed memory here
}

TEST(MainWindow, CloseBeforeTheFirstTickIsHarmless)
{
    MainWindow window;
    window.close();
    EXPECT_FALSE(window.isVisible());
    window.show();
    window.close();
    EXPECT_FALSE(window.isVisible());
    // Closing hides the window and leaves the simulation to the destructor:
    // ticks go on until then, and never touch a freed view.
    QTest::qWait(120);
    EXPECT_TRUE(window.tickTimer().isActive());
    EXPECT_EQ(window.simulation().velocity->u.at(0, 0), 10.0);
}

// Counts the paints a widget receives.
class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

TEST(MainWindow, EveryTickDrawsItsFrameBeforeItEnds)
{
    MainWindow window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::qWait(100);
    FlowView* view = dynamic_cast<FlowView*>(window.centralWidget());
    ASSERT_NE(view, nullptr);
    PaintCounter counter;
    view->installEventFilter(&counter);
    const int firstAge = view->tracers.front().age;
    // Connected after the window's own slot, so called right after each advance().
    int ticks = 0;
    std::vector<std::pair<int, int>> seen;  // paints and tracer steps when each tick ended
    QObject::connect(&window.tickTimer(), &QTimer::timeout, [&] {
        ++ticks;
        seen.emplace_back(counter.paints, view->tracers.front().age - firstAge);
    });
    QElapsedTimer clock;
    clock.start();
    while (ticks < 20 && clock.elapsed() < 20000)
        QTest::qWait(5);
    ASSERT_EQ(seen.size(), 20u);
    for (int tick = 1; tick <= 20; ++tick) {
        EXPECT_EQ(seen[tick - 1].first, tick) << "paints when tick " << tick << " ended";
        EXPECT_EQ(seen[tick - 1].second, tick) << "tracer steps when tick " << tick << " ended";
    }
}

QStringList heardByTheHandlerBefore;

void handlerBefore(QtMsgType, const QMessageLogContext&, const QString& message)
{
    heardByTheHandlerBefore.append(message);
}

TEST(StartupGuard, KeepsQtsMessagesOnlyUntilReleasedOrGone)
{
    const QtMessageHandler original = qInstallMessageHandler(handlerBefore);
    {
        StartupGuard guard;
        qWarning("while starting");
        guard.release();
        qWarning("after release");
    }
    {
        StartupGuard guard;
        qWarning("while starting again");
    }
    qWarning("after the guard");
    qInstallMessageHandler(original);
    EXPECT_EQ(heardByTheHandlerBefore, (QStringList{"after release", "after the guard"}));
}

// The window's program hears a failed solve's warning through Qt's
// messages, as it hears Qt's own.
TEST(StartupGuard, HearsTheSolversWarningThroughQtsMessages)
{
    heardByTheHandlerBefore.clear();
    const QtMessageHandler original = qInstallMessageHandler(handlerBefore);
    sendSolverWarningsToQt();
    FluidSolver tooLarge(300, 300);  // its first solve needs more than the hundred iterations it may take
    tooLarge.step();
    setWarningSink(nullptr);
    qInstallMessageHandler(original);
    EXPECT_FALSE(tooLarge.lastPressureSolve().converged);
    EXPECT_EQ(heardByTheHandlerBefore, QStringList{"WARNING: PCG solver failed."});
}

struct ProgramRun {
    int status;
    QByteArray err;
};

ProgramRun runFlowbox(const QProcessEnvironment& environment, const QStringList& arguments = {})
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(FLOWBOX_BINARY, arguments);
    EXPECT_TRUE(process.waitForFinished(20000));
    // A crash (an abort with its core dump, a segmentation fault) is no status at all.
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardError()};
}

// Whether anything accepts a connection at the address.
bool answers(int family, const sockaddr* address, socklen_t length)
{
    const int fd = socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool connected = connect(fd, address, length) == 0;
    close(fd);
    return connected;
}

// A display number that no X server serves on this machine now: no socket
// file or lock file of it, nothing on its abstract socket or its TCP port.
// (A fixed number would reach another program's display where one runs.)
QString displayNobodyServes()
{
    for (int number = 77; number < 1000; ++number) {
        const std::string path = "/tmp/.X11-unix/X" + std::to_string(number);
        const std::string lock = "/tmp/.X" + std::to_string(number) + "-lock";
        if (access(path.c_str(), F_OK) == 0 || access(lock.c_str(), F_OK) == 0)
            continue;
        sockaddr_un local{};
        local.sun_family = AF_UNIX;
        std::memcpy(local.sun_path + 1, path.data(), path.size());  // abstract: a leading NUL
        const auto localLength = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + path.size());
        sockaddr_in tcp{};
        tcp.sin_family = AF_INET;
        tcp.sin_port = htons(uint16_t(6000 + number));
        tcp.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (answers(AF_UNIX, reinterpret_cast<const sockaddr*>(&local), localLength) ||
            answers(AF_INET, reinterpret_cast<const sockaddr*>(&tcp), sizeof tcp))
            continue;
        return ":" + QString::number(number);
    }
    ADD_FAILURE() << "every display from :77 to :999 is served";
    return ":77";
}

struct StartupFailure {
    const char* what;
    QStringList unset;       // environment variables removed
    QStringList set;         // NAME=VALUE pairs added
    QStringList arguments;   // Qt's own options among them
    QByteArray line;         // the one line on stderr, without "flowbox: " and the newline
};

TEST(Program, EveryStartupFailureEndsWithOneLineNamingTheCauseAndStatusOne)
{
    const QByteArray available = "(available: ";
    const QString silent = displayNobodyServes();
    const QByteArray cannotConnect = "cannot connect to display \"" + silent.toUtf8() + "\"";
    const StartupFailure cases[] = {
        {"no display", {"DISPLAY", "QT_QPA_PLATFORM"}, {}, {}, "no display available (DISPLAY is not set)"},
        {"a display that does not answer", {"QT_QPA_PLATFORM"}, {"DISPLAY=" + silent}, {},
         cannotConnect},
        {"Qt's -display option", {"QT_QPA_PLATFORM"}, {}, {"-display", silent}, cannotConnect},
        {"a platform that does not exist", {}, {"QT_QPA_PLATFORM=nosuchplatform"}, {},
         "there is no Qt platform plugin \"nosuchplatform\" " + available},
        {"Qt's -platform option naming one", {"QT_QPA_PLATFORM"}, {}, {"-platform", "nosuchplatform"},
         "there is no Qt platform plugin \"nosuchplatform\" " + available},
        {"a plugin that is found but cannot start", {"DISPLAY"}, {"QT_QPA_PLATFORM=xcb"}, {"-display", silent},
         cannotConnect},
        {"a platform without OpenGL widgets", {"QT_QPA_PLATFORM"}, {}, {"-platform", "offscreen"},
         "the \"offscreen\" platform cannot show OpenGL widgets"},
        {"the same with Qt's warnings switched off", {"QT_QPA_PLATFORM"}, {"QT_LOGGING_RULES=*.warning=false"},
         {"-platform", "offscreen"}, "the \"offscreen\" platform cannot show OpenGL widgets"},
        {"the same without a display", {"QT_QPA_PLATFORM", "DISPLAY"}, {}, {"-platform", "offscreen"},
         "OpenGL is not available on the \"offscreen\" platform"},
        {"a platform without OpenGL", {"QT_QPA_PLATFORM"}, {}, {"-platform", "minimal"},
         "OpenGL is not available on the \"minimal\" platform"},
        {"no OpenGL on the display", {}, {"QT_XCB_GL_INTEGRATION=none"}, {},
         "OpenGL is not available on the \"xcb\" platform"},
    };
    for (const StartupFailure& failure : cases) {
        SCOPED_TRACE(failure.what);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const QString& name : failure.unset)
            environment.remove(name);
        for (const QString& pair : failure.set)
            environment.insert(pair.section('=', 0, 0), pair.section('=', 1));
        const ProgramRun run = runFlowbox(environment, failure.arguments);
        EXPECT_EQ(run.status, 1) << run.err.toStdString();
        EXPECT_EQ(run.err.count('\n'), 1) << run.err.toStdString();
        EXPECT_TRUE(run.err.startsWith("flowbox: " + failure.line)) << run.err.toStdString();
        EXPECT_TRUE(run.err.endsWith(")\n") || !failure.line.endsWith(available)) << run.err.toStdString();
    }
}

TEST(Program, SceneOptionRunsASceneAndRefusesABadOneInOneLine)
{
    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const ProgramRun missing = runFlowbox(environment, {"--scene", "nosuchscene"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err.count('\n'), 1) << missing.err.toStdString();
    EXPECT_TRUE(missing.err.startsWith("flowbox: no scene file or shipped scene \"nosuchscene\""));
    const ProgramRun noValue = runFlowbox(environment, {"--scene"});
    EXPECT_EQ(noValue.status, 2);
    EXPECT_EQ(noValue.err.count('\n'), 1);
    EXPECT_EQ(runFlowbox(environment, {"--help"}).status, 0);

    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(FLOWBOX_BINARY, {"--scene", "cylinder"});
    ASSERT_TRUE(process.waitForStarted());
    EXPECT_FALSE(process.waitForFinished(1500)) << process.readAllStandardError().toStdString();
    process.kill();
    process.waitForFinished();
}

TEST(MainWindow, ASceneWindowStepsItsOwnGridAndNamesIt)
{
    Scene scene = Scene::standard();
    scene.builtIn = false;
    scene.name = "a lid";
    scene.nx = 20;
    scene.ny = 12;
    scene.inflows.clear();
    scene.outflows.clear();
    scene.gravityY = 0.0;
    scene.top = {Wall::Kind::sliding, 5.0};
    scene.viscosity = 0.5;  // the lid drags the fluid from the first tick on
    MainWindow window(scene);
    EXPECT_EQ(window.windowTitle(), "flowbox: a lid");
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QElapsedTimer clock;
    clock.start();
    while (window.simulation().lastPressureSolve().iterations == 0 && clock.elapsed() < 10000)
        QTest::qWait(20);
    EXPECT_EQ(window.simulation().nx, 20u);
    EXPECT_GT(window.simulation().lastPressureSolve().iterations, 0);
}

TEST(Program, RunsThroughEglWhenGlxIsNotUsed)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_XCB_GL_INTEGRATION", "xcb_egl");
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(FLOWBOX_BINARY, {});
    ASSERT_TRUE(process.waitForStarted());
    EXPECT_FALSE(process.waitForFinished(1500)) << process.readAllStandardError().toStdString();
    EXPECT_EQ(process.state(), QProcess::Running);
    process.kill();
    process.waitForFinished();
}

// A scene's picture fills its window's view, whatever the grid's
// proportions, as large as fits comfortably on the screen; the standard
// window keeps its size.
// A scene of the standard box's values on another grid, without bands.
static Scene closedSceneOn(uint32_t nx, uint32_t ny, double cellSize)
{
    Scene scene = Scene::standard();
    scene.builtIn = false;
    scene.nx = nx;
    scene.ny = ny;
    scene.cellSize = cellSize;
    scene.inflows.clear();
    scene.outflows.clear();
    return scene;
}

TEST(MainWindow, ASceneWindowTakesItsGridsProportions)
{
    struct Grid {
        uint32_t nx, ny;
        double cellSize;
    };
    for (const Grid& grid : {Grid{200, 80, 0.05}, Grid{30, 90, 1.0}, Grid{700, 300, 0.01}}) {
        SCOPED_TRACE(std::to_string(grid.nx) + " by " + std::to_string(grid.ny));
        MainWindow window(closedSceneOn(grid.nx, grid.ny, grid.cellSize));
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        window.setPaused(true);
        const FlowView& view = window.flowView();
        const double pixels = cellSize(uint32_t(view.width()), uint32_t(view.height()), grid.nx, grid.ny, grid.cellSize,
                                       true);
        // The picture fills the view one way, and sits in its middle the
        // other (a tall grid's window keeps the width of its status line).
        const QPointF origin = view.pictureOrigin();
        EXPECT_TRUE(origin.x() == 0.0 || origin.y() == 0.0) << origin.x() << ", " << origin.y();
        EXPECT_NEAR(2.0 * origin.x() + grid.nx * pixels, view.width(), 1.0);
        EXPECT_NEAR(2.0 * origin.y() + grid.ny * pixels, view.height(), 1.0);
        EXPECT_LE(window.statusBar()->fontMetrics().horizontalAdvance(window.statusBar()->currentMessage()),
                  window.statusBar()->width());
        // As large as fits comfortably, by any factor: two thirds of the
        // screen's available width or height, whichever binds first.
        const QRect available = window.screen()->availableGeometry();
        const double wide = 2.0 / 3.0 * available.width(), high = 2.0 / 3.0 * available.height();
        EXPECT_LE(grid.nx * pixels, wide + 1.0);
        EXPECT_LE(grid.ny * pixels, high + 1.0);
        EXPECT_TRUE(grid.nx * pixels > wide - 1.0 || grid.ny * pixels > high - 1.0)
            << grid.nx * pixels << " x " << grid.ny * pixels << " on " << available.width() << " x "
            << available.height();
    }
    MainWindow standard;
    standard.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&standard));
    EXPECT_EQ(standard.size(), QSize(600, 400));
    EXPECT_EQ(standard.flowView().pictureOrigin(), QPointF(0.0, 0.0));
}

// Resized, a scene's picture follows: as large as the view holds, by any
// factor, filling it one way and in its middle the other; a pointer on a
// cell still reaches that cell.
TEST(MainWindow, AResizedScenesPictureFollowsInTheMiddle)
{
    MainWindow window(closedSceneOn(40, 20, 1.0));
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.setPaused(true);
    FlowView& view = window.flowView();
    for (const QSize size : {QSize(1000, 300), QSize(700, 700), QSize(1200, 800)}) {
        SCOPED_TRACE(std::to_string(size.width()) + " x " + std::to_string(size.height()));
        window.resize(size);
        QTRY_COMPARE(view.viewWidth, uint32_t(view.width()));
        QTRY_COMPARE(view.viewHeight, uint32_t(view.height()));
        const double pixels = cellSize(uint32_t(view.width()), uint32_t(view.height()), 40, 20, 1.0, true);
        EXPECT_TRUE(40 * pixels > view.width() - 1.0 || 20 * pixels > view.height() - 1.0);
        const QPointF origin = view.pictureOrigin();
        EXPECT_NEAR(2.0 * origin.x() + 40 * pixels, view.width(), 1.0);
        EXPECT_NEAR(2.0 * origin.y() + 20 * pixels, view.height(), 1.0);
        // A solid drawn at the middle of cell (5, 7), through the margin.
        const QPoint at = (origin + QPointF(5.5 * pixels, 7.5 * pixels)).toPoint();
        QTest::mouseClick(&view, Qt::RightButton, Qt::NoModifier, at);
        EXPECT_TRUE(window.simulation().domain.isSolid(5, 7));
        QTest::mouseClick(&view, Qt::RightButton, Qt::ShiftModifier, at);
        EXPECT_FALSE(window.simulation().domain.isSolid(5, 7));
    }
}

TEST(Program, RunsQuietlyWithoutAUtf8Locale)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"LANG", "LANGUAGE", "LC_CTYPE", "LC_MESSAGES"})
        environment.remove(name);
    environment.insert("LC_ALL", "C");
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(FLOWBOX_BINARY, {});
    ASSERT_TRUE(process.waitForStarted());
    EXPECT_FALSE(process.waitForFinished(1500));
    process.kill();
    process.waitForFinished();
    EXPECT_EQ(process.readAllStandardError(), QByteArray());
}

}  // namespace

TEST(Program, ResumeOptionRefusesWhatIsNotASoundStateInOneLine)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString scene = testing_support::writeFile(dir, "scene.toml", "[grid]\ncells = [8, 8]\n");
    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QStringList& arguments : {QStringList{"--resume", scene}, QStringList{"--resume"},
                                         QStringList{"--resume", dir.filePath("missing.state")},
                                         QStringList{"--resume=" + scene, "--scene", "cavity"}}) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const ProgramRun run = runFlowbox(environment, arguments);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.err.count('\n'), 1) << run.err.toStdString();
        EXPECT_TRUE(run.err.startsWith("flowbox: ")) << run.err.toStdString();
    }
    EXPECT_TRUE(runFlowbox(environment, {"--resume", scene}).err.contains(scene.toUtf8() + ": not a flowbox state"));
}

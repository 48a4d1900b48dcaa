#include "app/main_window.h"

#include "app/main_window_ui.h"
#include "app/playground.h"
#include "run/run.h"
#include "view/flow_view.h"
#include "view/frame_geometry.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLayout>
#include <QScreen>
#include <QStatusBar>

#include <cmath>

MainWindow::MainWindow(QWidget* parent) : MainWindow(Scene::standard(), parent) {}

MainWindow::MainWindow(const Scene& scene, QWidget* parent)
    : QMainWindow(parent, Qt::WindowFlags()), ui(new MainWindowUi), view(nullptr), solver(nullptr)
{
    ui->setupUi(this);
    if (!scene.builtIn)
        setWindowTitle(QString("flowbox: %1").arg(QString::fromStdString(scene.name.empty() ? scene.file : scene.name)));
    view = new FlowView(this);
    setCentralWidget(view);
    run = std::make_unique<Run>(scene, Run::Tracers::drawn);
    solver = &run->solver();
    view->setSolver(solver);
    connect(&timer, SIGNAL(timeout()), this, SLOT(advance()));
    if (!scene.builtIn) {
        solver->enableDye();  // for the dye a user pours
        playground = new Playground(*view, *run, this);
        view->installEventFilter(playground);
        installEventFilter(playground);
        connect(playground, &Playground::pauseToggleRequested, this, [this] { setPaused(!paused()); });
        connect(playground, &Playground::restartRequested, this, [this] { restart(); });
        connect(playground, &Playground::statusChanged, statusBar(), [this](const QString& status) {
            statusBar()->showMessage(status);
        });
        fitToScene();
    }
    timer.start(standardBox::tickIntervalMs);
}

void MainWindow::fitToScene()
{
    // The view as the standard window lays it out; then the scene's picture
    // as large as fits comfortably, two thirds of the screen's available
    // width or height, in the grid's proportions and never smaller than in
    // the standard view; the window around it.
    layout()->activate();
    const QSize shown = view->size();
    double pixelsPerCell =
        cellSize(uint32_t(shown.width()), uint32_t(shown.height()), solver->nx, solver->ny, solver->dx, true);
    if (const QScreen* display = screen()) {
        const QRect available = display->availableGeometry();
        double comfortable =
            std::fmin(2.0 / 3.0 * available.width() / solver->nx, 2.0 / 3.0 * available.height() / solver->ny);
        if (comfortable >= 1.0)
            comfortable = std::floor(comfortable);  // the view draws whole pixels a cell
        pixelsPerCell = std::fmax(pixelsPerCell, comfortable);
    }
    const QSize picture(int(std::ceil(solver->nx * pixelsPerCell)), int(std::ceil(solver->ny * pixelsPerCell)));
    if (pixelsPerCell > 0.0)
        resize(size() - (shown - picture));
}

void MainWindow::setPaused(bool pause)
{
    if (pause)
        timer.stop();
    else
        timer.start(standardBox::tickIntervalMs);
    if (playground)
        playground->showState(paused());
}

uint64_t MainWindow::ticks() const
{
    return run->tick();
}

void MainWindow::restart()
{
    run->restart();
    solver = &run->solver();
    view->setSolver(solver);
    view->restart();
    view->update();
    if (playground)
        playground->showState(paused());
}

bool MainWindow::resume(const SavedRun& saved, std::string& problem)
{
    // The run checks the tracers too: once it has gone on, the view's cannot fail.
    if (!run->resume(saved, problem))
        return false;
    solver = &run->solver();
    view->setSolver(solver);
    if (!view->resumeTracers(saved, problem))
        return false;
    view->update();
    if (playground)
        playground->showState(paused());
    return true;
}

MainWindow::~MainWindow()
{
    // No tick may reach a view or solver that is gone; the view reads the solver, so it goes first.
    timer.stop();
    delete view;
    run.reset();
    delete ui;
}

void MainWindow::advance()
{
    run->step();
    view->repaint();  // draw this step now, before the next tick
    // A window that composes an OpenGL widget turns a repaint into a later
    // update when it composed less than a screen refresh ago, as happens when a
    // busy machine delays one tick until just before the next. Its update
    // request then waits in the queue: deliver it here, so that the frame is
    // still drawn inside this tick. Without one waiting this does nothing.
    QCoreApplication::sendPostedEvents(this, QEvent::UpdateRequest);
    // In a scene: what the pointer did goes to the next step.
    if (playground)
        playground->afterTick(paused());
}

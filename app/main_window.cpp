#include "app/main_window.h"

#include "app/main_window_ui.h"
#include "app/playground.h"
#include "app/settings_panel.h"
#include "run/run.h"
#include "sim/scene/scene_catalog.h"
#include "sim/scene/scene_file.h"
#include "sim/saved/state_file.h"
#include "tools/vtk_files.h"
#include "view/flow_view.h"
#include "view/frame.h"

#include <QAction>
#include <QActionGroup>
#include <QCoreApplication>
#include <QDir>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QScreen>
#include <QStatusBar>

#include <cmath>

namespace {

// The keys and gestures of a scene's window, for Help.
const char* const mouseAndKeys =
    "<table cellspacing='6'>"
    "<tr><td><b>Left drag</b></td><td>push the flow</td></tr>"
    "<tr><td><b>Ctrl + left drag</b></td><td>pour dye (liquid, in a scene with liquid)</td></tr>"
    "<tr><td><b>Right drag</b></td><td>draw solid cells</td></tr>"
    "<tr><td><b>Shift + right drag</b></td><td>erase solid cells</td></tr>"
    "<tr><td><b>Space</b></td><td>run or pause</td></tr>"
    "<tr><td><b>R</b></td><td>restart the scene</td></tr>"
    "<tr><td><b>V</b></td><td>the next field: flow, speed, vorticity, pressure, dye, temperature</td></tr>"
    "<tr><td><b>A</b> / <b>D</b> / <b>T</b> / <b>P</b></td><td>arrows / dye / temperature / a liquid's particles on or off</td></tr>"
    "<tr><td><b>S</b></td><td>save a picture (flowbox-tick-N.png)</td></tr>"
    "<tr><td><b>Ctrl+S</b></td><td>save the run (flowbox-tick-N.state)</td></tr>"
    "<tr><td><b>C</b></td><td>start or stop recording frames</td></tr>"
    "<tr><td><b>Ctrl+Q</b></td><td>quit</td></tr>"
    "<tr><td>a file dropped on the window</td><td>opens it: a scene (.toml) or a saved run (.state)</td></tr>"
    "</table>";

// A shortcut shown beside its action; the key itself reaches the playground,
// which does the same, whatever has the focus in the picture.
void showKey(QAction* action, const QKeySequence& key)
{
    action->setShortcut(key);
    action->setShortcutContext(Qt::WidgetShortcut);
}

}  // namespace

MainWindow::MainWindow(QWidget* parent) : MainWindow(Scene::standard(), parent) {}

MainWindow::MainWindow(const Scene& scene, QWidget* parent)
    : QMainWindow(parent, Qt::WindowFlags()), ui(new MainWindowUi), view(nullptr), solver(nullptr)
{
    ui->setupUi(this);
    view = new FlowView(this);
    setCentralWidget(view);
    run = std::make_unique<Run>(scene, Run::Tracers::drawn);
    solver = &run->solver();
    view->setSolver(solver);
    connect(&timer, SIGNAL(timeout()), this, SLOT(advance()));
    if (!scene.builtIn) {
        showTitle();
        solver->enableDye();  // for the dye a user pours
        view->centred = true;
        playground = new Playground(*view, *run, this);
        view->installEventFilter(playground);
        installEventFilter(playground);
        connect(playground, &Playground::pauseToggleRequested, this, [this] { setPaused(!paused()); });
        connect(playground, &Playground::restartRequested, this, [this] { restart(); });
        connect(playground, &Playground::statusChanged, statusBar(), [this](const QString& status) {
            statusBar()->showMessage(status);
            followState();
        });
        settings = new SettingsPanel;
        settings->showScene(scene);
        connect(settings, &SettingsPanel::changeRequested, this, [this](const QString& path, const QString& text) {
            QString problem;
            if (!changeSetting(path, text, problem))
                playground->tell(problem);
        });
        settingsDock = new QDockWidget("Settings", this);
        settingsDock->setObjectName("settingsDock");
        settingsDock->setWidget(settings);
        addDockWidget(Qt::RightDockWidgetArea, settingsDock);
        settingsDock->hide();
        // The panel opens beside the picture, not over its room (as chosen;
        // not as the window closes).
        connect(settingsDock->toggleViewAction(), &QAction::triggered, this, [this](bool shown) {
            if (isMaximized() || isFullScreen() || settingsDock->isFloating())
                return;
            const int room = settingsDock->sizeHint().width();
            resize(width() + (shown ? room : -room), height());
        });
        ui->mainToolBar->hide();  // empty in a scene's window too, where the menus hold every action
        buildMenus();
        setAcceptDrops(true);
        // Wide enough for the status line of a run with a solid, paused.
        const QString widest = "tick 000000 · 000 iterations · 00.0 frames/s · drag -0.0000 · lift -0.0000 · vorticity "
                               "· paused";
        setMinimumWidth(statusBar()->fontMetrics().horizontalAdvance(widest) + 40);
        fitToScene();
    }
    timer.start(standardBox::tickIntervalMs);
}

void MainWindow::buildMenus()
{
    QMenuBar* bar = menuBar();
    auto add = [this](QMenu* menu, const QString& text, const QString& name, auto slot) {
        QAction* action = menu->addAction(text);
        action->setObjectName(name);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };

    QMenu* file = bar->addMenu("&File");
    QMenu* open = file->addMenu("Open &Scene");
    for (const std::string& name : shippedScenes(sceneFolders())) {
        const QString scene = QString::fromStdString(name);
        add(open, scene, "actionOpen-" + scene, [this, scene] { openShippedScene(scene); });
    }
    open->addSeparator();
    add(open, "From &File…", "actionOpenSceneFile", [this] {
        const QString path = QFileDialog::getOpenFileName(this, "Open Scene", QString(), "Scenes (*.toml);;All files (*)");
        if (!path.isEmpty())
            openFile(path);
    });
    add(file, "Open Saved &Run…", "actionOpenRun", [this] {
        const QString path = QFileDialog::getOpenFileName(this, "Open Saved Run", QString(), "Saved runs (*.state);;All files (*)");
        if (!path.isEmpty())
            openFile(path);
    });
    file->addSeparator();
    showKey(add(file, "Save R&un", "actionSaveRun", [this] { playground->saveState(); playground->updateStatus(); }),
            QKeySequence("Ctrl+S"));
    add(file, "Save Scene &As…", "actionSaveScene", [this] {
        const QString path = QFileDialog::getSaveFileName(this, "Save Scene As", "scene.toml", "Scenes (*.toml)");
        QString problem;
        if (!path.isEmpty() && !saveSceneAs(path, problem))
            showRefusal(problem);
    });
    showKey(add(file, "Save &Picture", "actionSavePicture", [this] { playground->savePicture(); playground->updateStatus(); }),
            QKeySequence("S"));
    QAction* exportAction = add(file, "&Export to ParaView…", "actionExport", [this] {
        if (exporting()) {
            stopExport();
            return;
        }
        const QString folder = QFileDialog::getExistingDirectory(this, "Export to ParaView: a folder for the series");
        QString problem;
        if (!folder.isEmpty() && !startExport(folder, problem))
            showRefusal(problem);
        followState();
    });
    exportAction->setCheckable(true);
    QAction* record = add(file, "Re&cord", "actionRecord", [this] { playground->toggleRecording(); playground->updateStatus(); });
    record->setCheckable(true);
    showKey(record, QKeySequence("C"));
    file->addSeparator();
    QAction* quit = add(file, "&Quit", "actionQuit", [this] { close(); });
    quit->setShortcut(QKeySequence("Ctrl+Q"));

    QMenu* show = bar->addMenu("&View");
    fieldGroup = new QActionGroup(this);
    auto addField = [&](const QString& text, int field) {
        QAction* action = add(show, text, field < 0 ? QString("actionField-flow") : QString("actionField-") + cellFieldName(CellField(field)),
                              [this, field] {
                                  view->options.field = field < 0 ? std::nullopt : std::optional<CellField>(CellField(field));
                                  view->update();
                                  playground->updateStatus();
                              });
        action->setCheckable(true);
        action->setData(field);
        fieldGroup->addAction(action);
    };
    addField("&Flow", -1);
    for (int field = 0; field < cellFieldCount; ++field) {
        QString name = cellFieldName(CellField(field));
        name[0] = name[0].toUpper();
        addField(name, field);
    }
    showKey(add(show, "&Next Field", "actionNextField", [this] { playground->showNextField(); view->update(); playground->updateStatus(); }),
            QKeySequence("V"));
    show->addSeparator();
    auto addToggle = [&](const QString& text, const QString& name, bool& option, const QString& key) {
        QAction* action = add(show, text, name, [this, &option] {
            option = !option;
            view->update();
            playground->updateStatus();
        });
        action->setCheckable(true);
        if (!key.isEmpty())
            showKey(action, QKeySequence(key));
    };
    addToggle("&Arrows", "actionArrows", view->options.arrows, "A");
    addToggle("&Grid", "actionGrid", view->options.grid, "");
    addToggle("T&racers", "actionTracers", view->tracersShown, "");
    // Under the flow, apart from the field views of the same names.
    addToggle("&Dye Colours", "actionDye", view->options.dye, "D");
    addToggle("&Temperature Colours", "actionTemperature", view->options.temperature, "T");
    addToggle("&Particles", "actionParticles", view->options.particles, "P");
    show->addSeparator();
    QAction* panel = settingsDock->toggleViewAction();
    panel->setText("&Settings Panel");
    panel->setObjectName("actionSettings");
    show->addAction(panel);

    QMenu* simulation = bar->addMenu("&Simulation");
    QAction* running = add(simulation, "Run / &Pause", "actionRun", [this] { setPaused(!paused()); });
    running->setCheckable(true);
    showKey(running, QKeySequence("Space"));
    add(simulation, "Step One &Tick", "actionStep", [this] { stepOnce(); });
    showKey(add(simulation, "R&estart", "actionRestart", [this] { restart(); }), QKeySequence("R"));
    QMenu* perFrame = simulation->addMenu("Ticks per &Frame");
    auto* perFrameGroup = new QActionGroup(this);
    for (int ticks : {1, 2, 4}) {
        QAction* action = add(perFrame, QString::number(ticks), QString("actionTicks-%1").arg(ticks),
                              [this, ticks] { setTicksPerFrame(ticks); });
        action->setCheckable(true);
        action->setChecked(ticks == frameTicks);
        perFrameGroup->addAction(action);
    }

    QMenu* help = bar->addMenu("&Help");
    add(help, "&Mouse and Keys", "actionKeys", [this] {
        auto* sheet = new QMessageBox(QMessageBox::NoIcon, "Mouse and Keys", mouseAndKeys, QMessageBox::Close, this);
        sheet->setAttribute(Qt::WA_DeleteOnClose);
        sheet->setModal(false);
        sheet->show();
    });
    add(help, "&About flowbox", "actionAbout", [this] {
        auto* about = new QMessageBox(QMessageBox::NoIcon, "About flowbox",
                                      "<b>flowbox 0.1.0</b><p>An interactive two-dimensional incompressible fluid "
                                      "simulation: a staggered grid, semi-Lagrangian advection and a pressure "
                                      "projection solved by preconditioned conjugate gradients.</p>",
                                      QMessageBox::Close, this);
        about->setAttribute(Qt::WA_DeleteOnClose);
        about->setModal(false);
        about->show();
    });
    followState();
}

void MainWindow::followState()
{
    if (!fieldGroup)
        return;
    const std::optional<CellField>& shown = view->options.field;
    for (QAction* action : fieldGroup->actions()) {
        const int field = action->data().toInt();
        action->setVisible(field < 0 || hasField(*solver, CellField(field)));
        action->setChecked(shown ? field == int(*shown) : field < 0);
    }
    auto check = [this](const char* name, bool on) {
        if (QAction* action = findChild<QAction*>(name))
            action->setChecked(on);
    };
    check("actionArrows", view->options.arrows);
    check("actionGrid", view->options.grid);
    check("actionTracers", view->tracersShown);
    check("actionDye", view->options.dye);
    check("actionTemperature", view->options.temperature);
    check("actionParticles", view->options.particles);
    check("actionRun", !paused());
    check("actionRecord", playground->recordingFrames());
    check("actionExport", exporting());
    if (QAction* dye = findChild<QAction*>("actionDye"))
        dye->setEnabled(solver->dye != nullptr);
    if (QAction* temperature = findChild<QAction*>("actionTemperature"))
        temperature->setEnabled(solver->heat != nullptr);
    if (QAction* particles = findChild<QAction*>("actionParticles"))
        particles->setEnabled(solver->liquid != nullptr);
}

void MainWindow::fitToScene()
{
    // The view as the standard window lays it out; then the scene's picture
    // as large as fits comfortably, two thirds of the screen's available
    // width or height (whichever binds first), in the grid's proportions and
    // never smaller than in the standard view; the window around it.
    layout()->activate();
    const QSize shown = view->size();
    double pixelsPerCell = pictureCellSize(*solver, standardViewWidth, standardViewHeight);
    if (const QScreen* display = screen()) {
        const QRect available = display->availableGeometry();
        double comfortable =
            std::fmin(2.0 / 3.0 * available.width() / solver->nx, 2.0 / 3.0 * available.height() / solver->ny);
        if (solver->scene.builtIn && comfortable >= 1.0)
            comfortable = std::floor(comfortable);  // the standard box is drawn whole pixels a cell
        pixelsPerCell = std::fmax(pixelsPerCell, comfortable);
    }
    const QSize picture(int(std::ceil(solver->nx * pixelsPerCell)), int(std::ceil(solver->ny * pixelsPerCell)));
    if (pixelsPerCell > 0.0)
        resize(size() - (shown - picture));
}

void MainWindow::showTitle()
{
    const Scene& scene = run->scene();
    setWindowTitle(QString("flowbox: %1").arg(QString::fromStdString(scene.name.empty() ? scene.file : scene.name)));
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
    if (settings)
        settings->showScene(run->scene());
    if (playground)
        playground->showState(paused());
    return true;
}

void MainWindow::showRun(std::unique_ptr<Run> next)
{
    stopExport();
    run = std::move(next);
    solver = &run->solver();
    solver->enableDye();
    view->setSolver(solver);
    view->restart();
    view->options.field.reset();
    playground->setRun(*run);
    settings->showScene(run->scene());
    showTitle();
    if (!isMaximized() && !isFullScreen())
        fitToScene();
    view->update();
    playground->showState(paused());
}

void MainWindow::showRefusal(const QString& line)
{
    auto* box = new QMessageBox(QMessageBox::Warning, "flowbox", line, QMessageBox::Ok, this);
    box->setObjectName("refusal");
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

bool MainWindow::openFile(const QString& path)
{
    std::string problem;
    if (path.endsWith(".state")) {
        SavedRun saved;
        if (!loadStateFile(path.toStdString(), Trail::capacity, saved, problem))
            return showRefusal(QString::fromStdString(problem)), false;
        if (saved.scene.builtIn)
            return showRefusal(path + ": a run of the standard box, which its own window shows (flowbox --resume)"), false;
        auto next = std::make_unique<Run>(saved.scene, Run::Tracers::drawn);
        next->solver().enableDye();
        if (!next->resume(saved, problem))
            return showRefusal(path + ": does not fit its scene: " + QString::fromStdString(problem)), false;
        showRun(std::move(next));
        // Checked by the run already: the view's tracers cannot fail now.
        view->resumeTracers(saved, problem);
        return true;
    }
    Scene scene;
    if (!sceneFromArgument(path.toStdString(), scene, problem))
        return showRefusal(QString::fromStdString(problem)), false;
    if (scene.builtIn)
        return showRefusal(path + ": the standard box, which its own window shows (flowbox without options)"), false;
    showRun(std::make_unique<Run>(scene, Run::Tracers::drawn));
    return true;
}

bool MainWindow::openShippedScene(const QString& name)
{
    return openFile(name);
}

bool MainWindow::changeSetting(const QString& path, const QString& text, QString& problem)
{
    std::string error;
    if (!run->changeSetting(path.toStdString(), text.toStdString(), error)) {
        problem = QString::fromStdString(error);
        settings->showScene(run->scene());
        return false;
    }
    solver = &run->solver();
    view->setSolver(solver);
    settings->showScene(run->scene());
    playground->tell(QString("%1 = %2 from tick %3").arg(path, text.trimmed()).arg(run->tick()));
    return true;
}

bool MainWindow::saveSceneAs(const QString& path, QString& problem)
{
    Scene now;
    std::string error;
    if (!sceneWithSolidCells(run->scene(), solver->domain.solidCells(), now, error))
        return problem = QString::fromStdString(error), false;
    QFile file(path);
    const QByteArray text = QByteArray::fromStdString(now.text);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size() || !file.flush())
        return problem = QString("could not write %1").arg(QDir::current().filePath(path)), false;
    playground->tell(QString("scene saved as %1").arg(path));
    return true;
}

bool MainWindow::startExport(const QString& folder, QString& problem)
{
    if (!QFileInfo(folder).isDir())
        return problem = QString("%1: not a folder").arg(folder), false;
    series = std::make_unique<VtkSeries>(folder);
    playground->tell(QString("exporting to %1").arg(folder));
    return true;
}

void MainWindow::stopExport()
{
    if (!series)
        return;
    series.reset();
    playground->tell("export stopped");
}

void MainWindow::stepOnce()
{
    setPaused(true);
    tick(1);
}

void MainWindow::setTicksPerFrame(int ticks)
{
    frameTicks = ticks;
    view->tracerStepsPerFrame = ticks;
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
    tick(frameTicks);
}

void MainWindow::tick(int ticks)
{
    for (int k = 0; k < ticks; ++k) {
        run->step();
        QString failed;
        if (series && !series->write(*solver, run->tick(), failed)) {
            series.reset();
            playground->tell(QString("could not write %1; export stopped").arg(failed));
        }
    }
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

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls() && event->mimeData()->urls().size() == 1 &&
        event->mimeData()->urls().first().isLocalFile())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event)
{
    openFile(event->mimeData()->urls().first().toLocalFile());
    event->acceptProposedAction();
}

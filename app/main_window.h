#pragma once

#include <QMainWindow>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <string>

class FlowView;
class FluidSolver;
class MainWindowUi;
class Playground;
class QActionGroup;
class QDockWidget;
class Run;
class SettingsPanel;
class VtkSeries;
struct SavedRun;
struct Scene;

// The one window: owns the simulation (a run of its scene), the view that
// draws it and the timer that steps and redraws it every tick: the standard
// box, or a scene. A window given a scene also has menus with every action,
// a panel of live settings, and opens other scenes and saved runs in place.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);
    // A scene other than the standard box; the title names it.
    explicit MainWindow(const Scene& scene, QWidget* parent = nullptr);
    ~MainWindow() override;

    const FluidSolver& simulation() const { return *solver; }
    const QTimer& tickTimer() const { return timer; }

    FlowView& flowView() { return *view; }
    const FlowView& flowView() const { return *view; }
    uint64_t ticks() const;
    const Run& currentRun() const { return *run; }
    bool paused() const { return !timer.isActive(); }
    void setPaused(bool pause);
    // The scene from its start again: the solver anew, no tracers yet, tick 0.
    void restart();
    // Goes on from a run saved of the window's scene: its cells, fields,
    // tracers and tick. False, saying why, where the run does not fit.
    bool resume(const SavedRun& run, std::string& problem);

    // What a window given a scene does besides. Opening a scene file, a
    // shipped scene or a saved run replaces the run shown; a file that
    // cannot be opened shows its one line in a message box and leaves the
    // run as it was (false).
    bool openFile(const QString& path);
    bool openShippedScene(const QString& name);
    // A value of the scene file changed from the next tick on ("fluid.viscosity",
    // the text typed): false, saying why, where the file's rules refuse it.
    bool changeSetting(const QString& path, const QString& text, QString& problem);
    // The scene as it now stands, its settings and its cells drawn, as a scene file.
    bool saveSceneAs(const QString& path, QString& problem);
    // Writes every tick's fields into the folder as a ParaView series, until stopped.
    bool startExport(const QString& folder, QString& problem);
    void stopExport();
    bool exporting() const { return bool(series); }
    void stepOnce();
    void setTicksPerFrame(int ticks);
    int ticksPerFrame() const { return frameTicks; }
    SettingsPanel* settingsPanel() const { return settings; }

protected slots:
    void advance();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // A window given a scene opens with its picture as large as fits comfortably.
    void fitToScene();
    void buildMenus();
    // The run shown from now on, in place of the one before.
    void showRun(std::unique_ptr<Run> next);
    void showTitle();
    void showRefusal(const QString& line);
    // The menus' checks as the view and the run now stand.
    void followState();
    void tick(int ticks);

    MainWindowUi* ui;
    FlowView* view;
    FluidSolver* solver;  // the run's; the view holds a second pointer to it
    QTimer timer;
    std::unique_ptr<Run> run;  // the solver, its tick count and its forces; the view moves the tracers
    Playground* playground = nullptr;  // a child of the window; only for a scene
    SettingsPanel* settings = nullptr;
    QDockWidget* settingsDock = nullptr;
    QActionGroup* fieldGroup = nullptr;
    std::unique_ptr<VtkSeries> series;
    int frameTicks = 1;
};

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
class Run;
struct SavedRun;
struct Scene;

// The one window: owns the simulation (a run of its scene), the view that
// draws it and the timer that steps and redraws it every tick: the standard
// box, or a scene.
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
    bool paused() const { return !timer.isActive(); }
    void setPaused(bool pause);
    // The scene from its start again: the solver anew, no tracers yet, tick 0.
    void restart();
    // Goes on from a run saved of the window's scene: its cells, fields,
    // tracers and tick. False, saying why, where the run does not fit.
    bool resume(const SavedRun& run, std::string& problem);

protected slots:
    void advance();

private:
    // A window given a scene opens with its picture as large as fits comfortably.
    void fitToScene();

    MainWindowUi* ui;
    FlowView* view;
    FluidSolver* solver;  // the run's; the view holds a second pointer to it
    QTimer timer;
    std::unique_ptr<Run> run;  // the solver, its tick count and its forces; the view moves the tracers
    Playground* playground = nullptr;  // a child of the window; only for a scene
};

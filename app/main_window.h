#pragma once

#include <QMainWindow>
#include <QTimer>

class FlowView;
class FluidSolver;
class MainWindowUi;
struct Scene;

// The one window: owns the simulation, the view that draws it and the timer
// that steps and redraws it every tick: the standard box, or a scene.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);
    // A scene other than the standard box; the title names it.
    explicit MainWindow(const Scene& scene, QWidget* parent = nullptr);
    ~MainWindow() override;

    const FluidSolver& simulation() const { return *solver; }
    const QTimer& tickTimer() const { return timer; }

protected slots:
    void advance();

private:
    MainWindowUi* ui;
    FlowView* view;
    FluidSolver* solver;
    QTimer timer;
};

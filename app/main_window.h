#pragma once

#include <QMainWindow>
#include <QTimer>

class FlowView;
class FluidSolver;
class MainWindowUi;

// The one window: owns the simulation, the view that draws it and the timer
// that steps and redraws it every 50 ms.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    static constexpr int tickIntervalMs = 50;
    static constexpr uint32_t gridCells = 50;  // along each axis

    explicit MainWindow(QWidget* parent = nullptr);
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

#pragma once
// What a window given a scene lets its user do; the standard window has none
// of it. Left-drag pushes the flow, Ctrl+left-drag pours dye, right-drag
// draws solid cells and Shift+right-drag takes them away. Keys: Space pauses
// and resumes, R starts the scene again, S saves a PNG of the view, D shows or
// hides the dye, A the arrows. The status bar shows the tick, the last solve's
// iterations and the frame rate.

#include <QElapsedTimer>
#include <QObject>
#include <QPointF>
#include <QString>

class MainWindow;

class Playground : public QObject {
public:
    explicit Playground(MainWindow& window);

    bool eventFilter(QObject* watched, QEvent* event) override;

    // Called after every tick: hands the pointer's push or dye to the next
    // step and brings the status bar up to date.
    void afterTick();

    const QString& lastSaved() const { return saved; }

private:
    enum class Drag { none, push, pour, drawSolid, eraseSolid };

    QPointF toScene(QPointF pixel) const;  // length units of the simulation
    void drawAt(QPointF pixel);
    void updateStatus();

    MainWindow& window;
    Drag drag = Drag::none;
    QPointF pointer;            // in length units, as last seen
    QPointF pointerAtLastTick;  // where the push of the coming step is measured from
    QElapsedTimer clock;        // for the frame rate
    int framesThisSecond = 0;
    double frameRate = 0.0;
    QString saved;
};

#pragma once
// What a window given a scene lets its user do; the standard window has none
// of it. Left-drag pushes the flow, Ctrl+left-drag pours dye (liquid, in a
// scene with liquid), right-drag draws solid cells and Shift+right-drag takes
// them away. Keys: Space pauses and resumes, R starts the scene again, S saves
// a PNG of the view and Ctrl+S the whole state (to go on from with --resume),
// T shows or hides the temperature, D the dye, A the arrows, P a liquid's
// particles, V shows the flow, its speed,
// vorticity or pressure, the dye or the temperature in turn, each with its
// colour bar, and C starts and stops recording each frame shown to a new
// folder of numbered PNGs. The status bar shows the tick, the last solve's
// iterations and the frame rate, and in a scene with solids the drag and
// lift on the first.
//
// It works on the window's run and the view that draws it; what only the
// window can do (pause, start again, show the status) it asks for through
// signals. Each key's action is a public function of its own, which the
// window's menus call as well.

#include <QElapsedTimer>
#include <QObject>
#include <QPointF>
#include <QString>


class FlowView;
class Run;

class Playground : public QObject {
    Q_OBJECT

public:
    Playground(FlowView& view, Run& run, QObject* parent);
    ~Playground() override;

    // The run the window shows now (a scene or a saved run opened in it).
    void setRun(Run& shown);

    bool eventFilter(QObject* watched, QEvent* event) override;

    // Called after every tick: hands the pointer's push or dye to the next
    // step and brings the status up to date.
    void afterTick(bool paused);
    // The window's state changed between ticks (paused, resumed, started again).
    void showState(bool paused);

    const QString& lastSaved() const { return saved; }
    bool recordingFrames() const { return !recording.isEmpty(); }

    // What the keys do.
    void showNextField();  // V
    void toggleRecording();  // C: each frame shown to a new folder, or stop
    void savePicture();  // S: flowbox-tick-N.png in the working folder
    void saveState();    // Ctrl+S: flowbox-tick-N.state
    // A line after the status (a file written, a setting changed), until the next.
    void tell(const QString& line);
    void updateStatus();

signals:
    void pauseToggleRequested();
    void restartRequested();
    void statusChanged(const QString& status);

private:
    enum class Drag { none, push, pour, drawSolid, eraseSolid };

    QPointF toScene(QPointF pixel) const;  // length units of the simulation
    void drawAt(QPointF pixel);

    FlowView& view;
    Run* run;
    Drag drag = Drag::none;
    QPointF pointer;            // in length units, as last seen
    QPointF pointerAtLastTick;  // where the push of the coming step is measured from
    QElapsedTimer clock;        // for the frame rate
    int framesThisSecond = 0;
    double frameRate = 0.0;
    bool paused = false;        // as the window last told
    QString saved;
    QString recording;  // the folder frames go to, while recording
    int recordedFrames = 0;
};

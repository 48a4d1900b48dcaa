#pragma once

#include "view/frame.h"
#include "sim/tracers/tracers.h"

#include <QImage>
#include <QPointF>
#include <QOpenGLWidget>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class FluidSolver;

// Draws the solver's state: grid, one velocity arrow and one dot per cell, then
// the tracers. Reads the simulation, never changes it; every frame drawn moves
// the tracers one step.
class FlowView : public QOpenGLWidget {
public:
    explicit FlowView(QWidget* parent = nullptr);
    ~FlowView() override;

    void setSolver(FluidSolver* solver);
    // No tracers, and the generator at its start: the first frame comes again.
    void restart();
    // The tracers and their generator into a state to save, and back from a
    // saved one (false, saying why, where they do not fit the solver's scene).
    void saveTracers(SavedRun& run) const;
    bool resumeTracers(const SavedRun& run, std::string& problem);

    uint32_t viewHeight = 0;        // logical pixels, as last given to resizeGL
    uint32_t viewWidth = 0;         // logical pixels, as last given to resizeGL
    FluidSolver* solver = nullptr;  // not owned; outlives the view
    TracerList tracers;
    FrameOptions options;           // what the picture leaves out
    bool tracersShown = true;       // hidden, they still move, to be where the flow took them when shown
    int tracerStepsPerFrame = 1;    // as many as the ticks between frames
    // A scene's picture in the middle of a view larger than it; the standard
    // window's keeps to the top left.
    bool centred = false;
    // The picture's top left corner in the view, in logical pixels.
    QPointF pictureOrigin() const;
    // Given each frame as drawn, in device pixels, when set (a recording).
    std::function<void(const QImage&)> frameDrawn;

protected:
    void initializeGL() override;
    void resizeGL(int width, int height) override;
    void paintGL() override;
    void paintTracers();
    void paintColourBarOver();

private:
    TracerRandom random;
    Frame frame;  // reused from frame to frame
    unsigned cellTexture = 0;  // made at the first frame with dye
    unsigned barTexture = 0;   // made at the first frame with a colour bar
};

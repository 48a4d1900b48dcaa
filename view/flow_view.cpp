#include "view/flow_view.h"

#include "sim/flow/fluid_solver.h"
#include "view/frame.h"
#include "view/frame_painter.h"

#include <GL/glu.h>

#include <cmath>

namespace {

void drawSegments(const std::vector<ScreenSegment>& segments)
{
    glBegin(GL_LINES);
    for (const ScreenSegment& s : segments) {
        glVertex2f(s.from.x, s.from.y);
        glVertex2f(s.to.x, s.to.y);
    }
    glEnd();
}

// Pixels of width by height in the format, as a texture (made at the first
// call) stretched over the rectangle from (left, top) to (right, bottom).
void drawTexture(unsigned& texture, GLenum format, GLint filter, GLsizei width, GLsizei height, const void* pixels,
                 float left, float top, float right, float bottom)
{
    if (!texture)
        glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, GLint(format), width, height, 0, format, GL_UNSIGNED_BYTE, pixels);
    glEnable(GL_TEXTURE_2D);
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex2f(left, top);
    glTexCoord2f(1.0f, 0.0f);
    glVertex2f(right, top);
    glTexCoord2f(1.0f, 1.0f);
    glVertex2f(right, bottom);
    glTexCoord2f(0.0f, 1.0f);
    glVertex2f(left, bottom);
    glEnd();
    glDisable(GL_TEXTURE_2D);
}

}  // namespace

FlowView::FlowView(QWidget* parent) : QOpenGLWidget(parent) {}

FlowView::~FlowView()
{
    if (cellTexture || barTexture) {
        makeCurrent();
        for (unsigned* texture : {&cellTexture, &barTexture})
            if (*texture)
                glDeleteTextures(1, texture);
        doneCurrent();
    }
}

void FlowView::setSolver(FluidSolver* solver)
{
    this->solver = solver;
}

void FlowView::restart()
{
    tracers.clear();
    random = TracerRandom();
    frame.lastRange.known = false;
}

void FlowView::saveTracers(SavedRun& run) const
{
    ::saveTracers(tracers, random, run);
}

bool FlowView::resumeTracers(const SavedRun& run, std::string& problem)
{
    return ::restoreTracers(run, tracerSettings(*solver).count, tracers, random, problem);
}

void FlowView::initializeGL()
{
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
    glEnable(GL_LINE_SMOOTH);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}

void FlowView::resizeGL(int width, int height)
{
    viewWidth = uint32_t(width);
    viewHeight = uint32_t(height);
    // Geometry stays in logical pixels; the viewport covers the device pixels.
    const qreal ratio = devicePixelRatioF();
    glViewport(0, 0, GLsizei(width * ratio), GLsizei(height * ratio));
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(0.0, viewWidth, viewHeight, 0.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

QPointF FlowView::pictureOrigin() const
{
    if (!centred || !solver)
        return {0.0, 0.0};
    const double pixelsPerCell = pictureCellSize(*solver, uint32_t(width()), uint32_t(height()));
    // Whole pixels, so that lines and cells stay sharp.
    return {std::floor(std::fmax(0.0, width() - solver->nx * pixelsPerCell) / 2.0),
            std::floor(std::fmax(0.0, height() - solver->ny * pixelsPerCell) / 2.0)};
}

void FlowView::paintGL()
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    const QPointF origin = pictureOrigin();
    glTranslatef(float(origin.x()), float(origin.y()), 0.0f);

    composeFrame(*solver, viewWidth, viewHeight, frame, options);

    if (!frame.cellColours.empty()) {
        // One texel a cell, its centre on the cell's centre, blended linearly between.
        glColor3f(1.0f, 1.0f, 1.0f);
        drawTexture(cellTexture, GL_RGB, GL_LINEAR, GLsizei(frame.cellColumns), GLsizei(frame.cellRows),
                    frame.cellColours.data(), 0.0f, 0.0f, float(frame.cellColumns * frame.cellSize),
                    float(frame.cellRows * frame.cellSize));
    }

    // Points of one colour, drawn as `mode` takes them (triangles, points).
    auto drawVertices = [](GLenum mode, const std::vector<ScreenPoint>& points, const FrameColour& colour) {
        glColor3f(colour.red, colour.green, colour.blue);
        glBegin(mode);
        for (const ScreenPoint& point : points)
            glVertex2f(point.x, point.y);
        glEnd();
    };
    drawVertices(GL_TRIANGLES, frame.liquid, liquidColour);
    drawVertices(GL_TRIANGLES, frame.air, airColour);

    glColor3f(gridColour.red, gridColour.green, gridColour.blue);
    drawSegments(frame.grid);

    if (!frame.solids.empty()) {
        glColor3f(solidColour.red, solidColour.green, solidColour.blue);
        glBegin(GL_QUADS);
        const float side = float(frame.cellSize);
        for (const ScreenPoint& corner : frame.solids) {
            glVertex2f(corner.x, corner.y);
            glVertex2f(corner.x + side, corner.y);
            glVertex2f(corner.x + side, corner.y + side);
            glVertex2f(corner.x, corner.y + side);
        }
        glEnd();
    }
    glColor3f(solidColour.red, solidColour.green, solidColour.blue);
    for (const std::vector<ScreenPoint>& outline : frame.discOutlines) {
        glBegin(GL_POLYGON);
        for (const ScreenPoint& corner : outline)
            glVertex2f(corner.x, corner.y);
        glEnd();
    }

    glColor3f(arrowColour.red, arrowColour.green, arrowColour.blue);
    drawSegments(frame.arrows);

    glPointSize(dotSize);
    drawVertices(GL_POINTS, frame.dots, dotColour);
    drawVertices(GL_POINTS, frame.particles, particleColour);

    paintTracers();
    if (frame.colourBar.shown)
        paintColourBarOver();
    if (frameDrawn) {
        // The frame as it will be shown, read back from the widget's buffer (rows from the bottom).
        const qreal ratio = devicePixelRatioF();
        QImage drawn(int(std::lround(width() * ratio)), int(std::lround(height() * ratio)), QImage::Format_RGBX8888);
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glReadPixels(0, 0, drawn.width(), drawn.height(), GL_RGBA, GL_UNSIGNED_BYTE, drawn.bits());
        frameDrawn(drawn.mirrored());
    }
}

void FlowView::paintColourBarOver()
{
    // Drawn as the software painter draws it, at the screen's own pixels.
    const qreal ratio = devicePixelRatioF();
    const QImage bar = paintColourBar(frame.colourBar, ratio).convertToFormat(QImage::Format_RGBA8888_Premultiplied);
    // The image's colours are premultiplied by its alpha.
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    const ColourBar& b = frame.colourBar;
    drawTexture(barTexture, GL_RGBA, GL_NEAREST, bar.width(), bar.height(), bar.constBits(), b.x, b.y,
                b.x + float(bar.width() / ratio), b.y + float(bar.height() / ratio));
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}

void FlowView::paintTracers()
{
    for (int step = 0; step < tracerStepsPerFrame; ++step)
        updateTracers(tracers, random, *solver->velocity, tracerLifetime(), tracerSettings(*solver));
    if (!tracersShown)
        return;
    composeTrails(tracers, frame);
    for (size_t t = 0; t + 1 < frame.trailStarts.size(); ++t) {
        glBegin(GL_LINE_STRIP);
        for (uint32_t k = frame.trailStarts[t]; k < frame.trailStarts[t + 1]; ++k) {
            const TrailVertex& vertex = frame.trailVertices[k];
            glColor4f(vertex.colour.red, vertex.colour.green, vertex.colour.blue, vertex.colour.alpha);
            glVertex2f(vertex.point.x, vertex.point.y);
        }
        glEnd();
    }
}

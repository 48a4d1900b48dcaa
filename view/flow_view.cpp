#include "view/flow_view.h"

#include "sim/fluid_solver.h"

#include <GL/glu.h>

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

}  // namespace

FlowView::FlowView(QWidget* parent) : QOpenGLWidget(parent) {}

FlowView::~FlowView() = default;

void FlowView::setSolver(FluidSolver* solver)
{
    this->solver = solver;
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

void FlowView::paintGL()
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();

    const double size = cellSize(viewWidth, viewHeight, solver->nx, solver->ny, solver->dx);

    glColor3f(0.1f, 0.0f, 0.0f);
    gridLines(solver->nx, solver->ny, size, segments);
    drawSegments(segments);

    glColor3f(0.0f, 0.5f, 0.0f);
    velocityArrows(*solver->velocity, size, segments);
    drawSegments(segments);

    glColor3f(0.0f, 0.1f, 0.0f);
    glPointSize(2.0f);
    glBegin(GL_POINTS);
    for (uint32_t i = 0; i < solver->nx; ++i) {
        for (uint32_t j = 0; j < solver->ny; ++j) {
            const ScreenPoint centre = cellCentre(i, j, size);
            glVertex2f(centre.x, centre.y);
        }
    }
    glEnd();

    paintTracers();
}

void FlowView::paintTracers()
{
    updateTracers(tracers, random, *solver->velocity, tracerLifetime());
    const double size = cellSize(viewWidth, viewHeight, solver->nx, solver->ny, solver->dx);
    for (const Tracer& tracer : tracers) {
        const uint32_t n = tracer.trail.size();
        glBegin(GL_LINE_STRIP);
        for (uint32_t k = 0; k < n; ++k) {
            const TracerPoint& point = tracer.trail[k];
            const TrailColour colour = trailColour(point.x, k, n);
            glColor4f(colour.red, colour.green, colour.blue, colour.alpha);
            glVertex2f(float(size * point.x), float(size * point.y));
        }
        glEnd();
    }
}

#include "app/playground.h"

#include "run/run.h"
#include "sim/flow/fluid_solver.h"
#include "sim/saved/state_file.h"
#include "view/flow_view.h"
#include "view/frame.h"

#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMouseEvent>

#include <cmath>
#include <string>

namespace {

constexpr float pouredDye[3] = {1.0f, 0.55f, 0.1f};  // an orange that reads on black and grey
constexpr int pngQuality = 70;  // Qt's scale: lighter compression than the default, faster

}  // namespace

Playground::~Playground() = default;

Playground::Playground(FlowView& view, Run& run, QObject* parent) : QObject(parent), view(view), run(&run)
{
    clock.start();
}

void Playground::setRun(Run& shown)
{
    run = &shown;
    drag = Drag::none;
    saved.clear();
    updateStatus();
}

void Playground::tell(const QString& line)
{
    saved = line;
    updateStatus();
}

QPointF Playground::toScene(QPointF pixel) const
{
    const FluidSolver& solver = run->solver();
    const double pixelsPerCell = pictureCellSize(solver, uint32_t(view.width()), uint32_t(view.height()));
    if (pixelsPerCell <= 0.0)
        return {-1.0, -1.0};
    return (pixel - view.pictureOrigin()) / pixelsPerCell * solver.dx;
}

void Playground::drawAt(QPointF pixel)
{
    FluidSolver& solver = run->solver();
    const QPointF at = toScene(pixel) / solver.dx;
    if (at.x() < 0.0 || at.y() < 0.0 || at.x() >= solver.nx || at.y() >= solver.ny)
        return;
    solver.setSolid(uint32_t(at.x()), uint32_t(at.y()), drag == Drag::drawSolid);
    view.update();
}

bool Playground::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        if (watched != &view)
            return false;
        const auto* mouse = static_cast<QMouseEvent*>(event);
        pointer = pointerAtLastTick = toScene(mouse->position());
        if (mouse->button() == Qt::LeftButton)
            drag = mouse->modifiers() & Qt::ControlModifier ? Drag::pour : Drag::push;
        else if (mouse->button() == Qt::RightButton)
            drag = mouse->modifiers() & Qt::ShiftModifier ? Drag::eraseSolid : Drag::drawSolid;
        if (drag == Drag::drawSolid || drag == Drag::eraseSolid)
            drawAt(mouse->position());
        return true;
    }
    case QEvent::MouseMove: {
        if (watched != &view || drag == Drag::none)
            return false;
        const auto* mouse = static_cast<QMouseEvent*>(event);
        pointer = toScene(mouse->position());
        if (drag == Drag::drawSolid || drag == Drag::eraseSolid)
            drawAt(mouse->position());
        return true;
    }
    case QEvent::MouseButtonRelease:
        if (watched != &view)
            return false;
        drag = Drag::none;
        return true;
    case QEvent::KeyPress: {
        const auto* key = static_cast<QKeyEvent*>(event);
        switch (key->key()) {
        case Qt::Key_Space:
            emit pauseToggleRequested();
            break;
        case Qt::Key_R:
            emit restartRequested();
            break;
        case Qt::Key_S:
            if (key->modifiers() & Qt::ControlModifier)
                saveState();
            else
                savePicture();
            break;
        case Qt::Key_T:
            view.options.temperature = !view.options.temperature;
            view.update();
            break;
        case Qt::Key_D:
            view.options.dye = !view.options.dye;
            view.update();
            break;
        case Qt::Key_A:
            view.options.arrows = !view.options.arrows;
            view.update();
            break;
        case Qt::Key_P:
            view.options.particles = !view.options.particles;
            view.update();
            break;
        case Qt::Key_C:
            toggleRecording();
            break;
        case Qt::Key_V:
            showNextField();
            view.update();
            break;
        default:
            return false;
        }
        updateStatus();
        return true;
    }
    default:
        return false;
    }
}

void Playground::showNextField()
{
    // The flow, then each field the solver has, then the flow again.
    std::optional<CellField>& shown = view.options.field;
    int next = shown ? int(*shown) + 1 : 0;
    while (next < cellFieldCount && !hasField(run->solver(), CellField(next)))
        ++next;
    shown = next < cellFieldCount ? std::optional<CellField>(CellField(next)) : std::nullopt;
}

void Playground::toggleRecording()
{
    if (view.frameDrawn) {
        view.frameDrawn = nullptr;
        saved = QString("recorded %1 frames in %2").arg(recordedFrames).arg(recording);
        recording.clear();
        return;
    }
    // A new folder beside the last: flowbox-recording-1, -2, ...
    int number = 1;
    while (QFileInfo::exists(QString("flowbox-recording-%1").arg(number)))
        ++number;
    const QString folder = QString("flowbox-recording-%1").arg(number);
    if (!QDir().mkdir(folder)) {
        saved = QString("could not make %1").arg(QDir::current().filePath(folder));
        return;
    }
    recording = folder;
    recordedFrames = 0;
    saved.clear();
    view.frameDrawn = [this](const QImage& frame) {
        // Numbered in the order shown; PNG's faster compression keeps up with the ticks.
        const QString path = QDir(recording).filePath(QString("frame-%1.png").arg(recordedFrames, 6, 10, QChar('0')));
        if (frame.save(path, "PNG", pngQuality))
            ++recordedFrames;
    };
}

void Playground::savePicture()
{
    saved = QString("flowbox-tick-%1.png").arg(run->tick());
    if (!view.grabFramebuffer().save(saved, "PNG"))
        saved = QString("could not write %1").arg(QDir::current().filePath(saved));
}

void Playground::saveState()
{
    SavedRun state = run->save();
    view.saveTracers(state);
    saved = QString("flowbox-tick-%1.state").arg(run->tick());
    std::string problem;
    if (!saveStateFile(saved.toStdString(), state, problem))
        saved = QString("could not write %1").arg(QDir::current().filePath(saved));
}

void Playground::afterTick(bool pausedNow)
{
    paused = pausedNow;
    FluidSolver& solver = run->solver();
    // The pointer's velocity: how far it went since the last tick, over a step.
    if (drag == Drag::push) {
        const QPointF moved = pointer - pointerAtLastTick;
        const double dt = solver.scene.timeStep;
        solver.push({pointer.x(), pointer.y(), moved.x() / dt, moved.y() / dt});
    } else if (drag == Drag::pour && solver.liquid) {
        const QPointF moved = pointer - pointerAtLastTick;
        const double dt = solver.scene.timeStep;
        solver.liquid->pourAt(pointer.x(), pointer.y(), solver.scene.interaction.radius * solver.dx,
                              {moved.x() / dt, moved.y() / dt});
    } else if (drag == Drag::pour) {
        solver.pourDye(pointer.x(), pointer.y(), solver.scene.interaction.radius * solver.dx, pouredDye);
    }
    pointerAtLastTick = pointer;

    ++framesThisSecond;
    if (clock.elapsed() >= 1000) {
        frameRate = framesThisSecond * 1000.0 / clock.restart();
        framesThisSecond = 0;
    }
    updateStatus();
}

void Playground::showState(bool pausedNow)
{
    paused = pausedNow;
    updateStatus();
}

void Playground::updateStatus()
{
    QString status = QString("tick %1 · %2 iterations · %3 frames/s")
                         .arg(run->tick())
                         .arg(run->solver().lastPressureSolve().iterations)
                         .arg(frameRate, 0, 'f', 1);
    // The first solid's, lift up the picture; not before a tick, nor for a solid without a box of its own.
    if (!run->forces().empty() && std::isfinite(run->forces()[0].x))
        status += QString(" · drag %1 · lift %2").arg(run->forces()[0].x, 0, 'g', 4).arg(-run->forces()[0].y, 0, 'g', 4);
    if (view.options.field)
        status += QString(" · ") + cellFieldName(*view.options.field);
    if (paused)
        status += " · paused";
    if (!recording.isEmpty())
        status += QString(" · recording to %1 (%2 frames)").arg(recording).arg(recordedFrames);
    if (!saved.isEmpty())
        status += " · " + saved;
    emit statusChanged(status);
}

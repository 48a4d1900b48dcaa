// flowbox-window-pictures: the README's pictures of a scene's window, made
// as a new user would use it: the cavity opened by name, the File menu with
// its Open Scene list, then the cylinder opened from it, its inflow turned up
// in the settings panel and its vorticity shown from the View menu:
//
//   flowbox-window-pictures FOLDER
//
// writes FOLDER/window-menus.png and FOLDER/window-settings.png. Run it on a
// private display: tests/with-xvfb build/release/tests/flowbox-window-pictures docs

#include "app/main_window.h"
#include "app/settings_panel.h"
#include "sim/scene/scene_catalog.h"
#include "view/opengl_support.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QScreen>
#include <QSurfaceFormat>
#include <QTest>

#include <cstdio>
#include <string>

namespace {

// What the screen shows around the window, its menus open included.
QPixmap screenAround(const QWidget& window, const QRect& alsoCovering)
{
    const QRect area = window.frameGeometry().united(alsoCovering).adjusted(-4, -4, 4, 4);
    return QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
}

}  // namespace

int main(int argc, char* argv[])
{
    QSurfaceFormat::setDefaultFormat(compatibilityFormat());
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: flowbox-window-pictures FOLDER\n");
        return 2;
    }
    const QDir folder(argv[1]);
    Scene cavity;
    std::string error;
    if (!QDir().mkpath(folder.path()) || !sceneFromArgument("cavity", cavity, error)) {
        std::fprintf(stderr, "flowbox-window-pictures: %s\n", error.c_str());
        return 2;
    }
    MainWindow window(cavity);
    window.move(20, 20);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    QTest::qWait(1500);

    // File, then Open Scene, open.
    QMenu* file = window.menuBar()->actions().at(0)->menu();
    const QRect fileTitle = window.menuBar()->actionGeometry(window.menuBar()->actions().at(0));
    file->popup(window.menuBar()->mapToGlobal(fileTitle.bottomLeft()));
    QTest::qWait(300);
    QMenu* open = file->actions().at(0)->menu();
    file->setActiveAction(file->actions().at(0));
    open->popup(file->mapToGlobal(file->actionGeometry(file->actions().at(0)).topRight()));
    QTest::qWait(500);
    if (!screenAround(window, open->geometry().united(file->geometry())).save(folder.filePath("window-menus.png")))
        return 1;
    open->hide();
    file->hide();

    // The cylinder from the menu, its inflow turned up, its vorticity shown.
    window.findChild<QAction*>("actionOpen-cylinder")->trigger();
    window.findChild<QAction*>("actionSettings")->trigger();
    QLineEdit* speed = window.settingsPanel()->field("inflow[0].speed");
    speed->setFocus();
    speed->selectAll();
    QTest::keyClicks(speed, "1.5");
    QTest::keyClick(speed, Qt::Key_Return);
    window.findChild<QAction*>("actionField-vorticity")->trigger();
    QTest::qWait(12000);
    if (!window.grab().save(folder.filePath("window-settings.png")))
        return 1;
    return 0;
}

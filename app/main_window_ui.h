#pragma once

#include <QCoreApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QMetaObject>
#include <QStatusBar>
#include <QToolBar>
#include <QWidget>

// The main window's form: empty bars and a placeholder central widget. The
// window's widget tree owns the widgets; this record only points at them.
class MainWindowUi {
public:
    QMenuBar* menuBar = nullptr;
    QToolBar* mainToolBar = nullptr;
    QWidget* centralWidget = nullptr;
    QStatusBar* statusBar = nullptr;

    void setupUi(QMainWindow* window)
    {
        if (window->objectName().isEmpty())
            window->setObjectName("MainWindow");
        window->resize(600, 400);
        menuBar = new QMenuBar(window);
        menuBar->setObjectName("menuBar");
        window->setMenuBar(menuBar);
        mainToolBar = new QToolBar(window);
        mainToolBar->setObjectName("mainToolBar");
        window->addToolBar(mainToolBar);
        centralWidget = new QWidget(window);
        centralWidget->setObjectName("centralWidget");
        window->setCentralWidget(centralWidget);
        statusBar = new QStatusBar(window);
        statusBar->setObjectName("statusBar");
        window->setStatusBar(statusBar);
        retranslateUi(window);
        QMetaObject::connectSlotsByName(window);
    }

    void retranslateUi(QMainWindow* window)
    {
        window->setWindowTitle(QCoreApplication::translate("MainWindow", "MainWindow", nullptr));
    }
};

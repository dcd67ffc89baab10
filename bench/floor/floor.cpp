// SPDX-License-Identifier: GPL-3.0-or-later
// The floor the benchmarks compare with: a bare Qt window that asks a name
// first, built and measured like Garivolo.
#include <QApplication>
#include <QInputDialog>
#include <QMainWindow>

#include "shownmarker.h"

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
    QApplication app(argc, argv);
    QInputDialog prompt;
    prompt.setWindowTitle(QStringLiteral("Garivolo"));
    prompt.setLabelText(QStringLiteral("Come ti chiami?"));
    ShownMarker marker;
    prompt.installEventFilter(&marker);
    prompt.exec();
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("floor"));
    window.resize(785, 575);
    window.show();
    return QApplication::exec();
}

// SPDX-License-Identifier: GPL-3.0-or-later
// The floor the benchmarks compare with: a bare Qt window that asks a name
// first, built and measured like Garivolo.
#include <QApplication>
#include <QInputDialog>
#include <QMainWindow>

#include <cstdio>
#include <ctime>

namespace {
class ShownMarker : public QObject
{
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show) {
            timespec now{};
            clock_gettime(CLOCK_MONOTONIC, &now);
            std::printf("garivolo-marker prompt %lld\n", (long long)now.tv_sec * 1000000000LL + now.tv_nsec);
            std::fflush(stdout);
            watched->removeEventFilter(this);
        }
        return false;
    }
};
} // namespace

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

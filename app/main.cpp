// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktopagent.h"
#include "dialogs.h"
#include "formcanvas.h"
#include "voicemodule.h"
#include "randomsource.h"
#include "tavola.h"
#include "ticker.h"

#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <functional>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <QApplication>
#include <QInputDevice>
#include <QScreen>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QLabel>
#include <QLineEdit>

#ifndef GARIVOLO_RECORD_DIR
#error "GARIVOLO_RECORD_DIR must be set by the build"
#endif

namespace {

// Runs once, just after the first window of the program has been painted.
class FirstPaint : public QObject
{
public:
    explicit FirstPaint(std::function<void()> then)
        : m_then(std::move(then))
    {
    }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (m_then && event->type() == QEvent::Paint && watched->isWidgetType()
            && static_cast<QWidget *>(watched)->isWindow()) {
            QTimer::singleShot(0, this, std::exchange(m_then, nullptr));
            QCoreApplication::instance()->removeEventFilter(this);
        }
        return false;
    }

private:
    std::function<void()> m_then;
};

} // namespace

int main(int argc, char *argv[])
{
#ifdef __GLIBC__
    // Big short-lived buffers (his frames while he moves, each text's sound
    // stream) go back to the system when freed: by default glibc raises its
    // threshold after the first and keeps them in the heap for good. The
    // voice's and the sound server's threads share heaps instead of one each.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    mallopt(M_ARENA_MAX, 2);
#endif
    // Everything is drawn with QPainter; probing the GL driver would only cost memory.
    if (qEnvironmentVariableIsEmpty("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Garivolo"));
    QApplication::setDesktopFileName(QStringLiteral("garivolo"));

    Tavola::installFonts();

    // The boxes' own buttons speak Italian like the rest, whatever the desktop's language.
    QTranslator qtItalian;
    if (qtItalian.load(QLocale(QLocale::Italian, QLocale::Italy), QStringLiteral("qtbase"), QStringLiteral("_"),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtItalian);
    QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy));

    // A build run uses the files of its source tree; an installed one the installed files.
    const bool inBuildTree = QApplication::applicationFilePath() == QStringLiteral(GARIVOLO_BUILD_BINARY);
    VoiceParts voice = voiceFromModule(inBuildTree ? QStringLiteral(GARIVOLO_VOICE_MODULE_BUILD)
                                                   : QStringLiteral(GARIVOLO_VOICE_MODULE_INSTALLED));
    DesktopAgent agent({inBuildTree ? QStringLiteral(GARIVOLO_CHARS_BUILD_DIR) : QStringLiteral(GARIVOLO_CHARS_INSTALL_DIR)},
                       std::move(voice.engine), std::move(voice.output));
    QtDialogs dialogs;
    ClockSeededRandom random(&ClockSeededRandom::systemClock);
    SecondTicker timer;

    const QString helper = inBuildTree ? QStringLiteral(GARIVOLO_RECORD_HELPER_BUILD)
                                       : QStringLiteral(GARIVOLO_RECORD_HELPER_INSTALLED);

    Tavola tavola({dialogs, agent, random, timer, QStringLiteral(GARIVOLO_RECORD_DIR), helper,
                   [&agent](int status) {
                       agent.shutdown();
                       QApplication::exit(status);
                   }},
                  nullptr, Tavola::Controls::Later);
    dialogs.setParent(&tavola);
    dialogs.setScale([&tavola] { return tavola.boxScale(); });
    // A child at a touch screen answers on the number pad beside the design.
    const QList<const QInputDevice *> devices = QInputDevice::devices();
    tavola.setTouchScreen(std::any_of(devices.begin(), devices.end(), [](const QInputDevice *device) {
        return device->type() == QInputDevice::DeviceType::TouchScreen;
    }));
    // On a screen smaller than the design (a school netbook) everything shrinks together, Merlin too.
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        tavola.setDesignScale(tavola.scaleToFit(screen->availableGeometry().size()));
    agent.setDesignScale(tavola.designScale());
    QObject::connect(&tavola, &Tavola::designScaleChanged, &tavola, [&agent](qreal scale) { agent.setDesignScale(scale); });
    // At the interactive whiteboard the teacher starts it full screen.
    const bool fullScreen = QApplication::arguments().contains(QStringLiteral("--schermo-intero"));
    if (fullScreen)
        tavola.prepareFullScreen();
    // Merlin lives in the design's area, above every control.
    QWidget *client = tavola.canvas();
    agent.setHost(client);
    agent.setKeepClear([&tavola] { return tavola.keepClearOfBalloon(); });
    // The window's controls, the voice and the sound server wait until the
    // name prompt is on the screen, so that the child sees it without delay.
    FirstPaint firstPaint([&tavola, &agent] {
        tavola.buildControls();
        agent.startVoice();
    });
    app.installEventFilter(&firstPaint);
    if (!tavola.load())
        return tavola.exitStatus();
    if (fullScreen)
        tavola.showFullScreen();
    else
        tavola.show();
    const int status = QApplication::exec();
    agent.shutdown();
    return status;
}

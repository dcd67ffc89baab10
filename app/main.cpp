// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktopagent.h"
#include "dialogs.h"
#include "speechengine.h"
#include "randomsource.h"
#include "tavola.h"
#include "ticker.h"

#include <QApplication>
#include <QScreen>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QLineEdit>

#ifndef GARIVOLO_RECORD_DIR
#error "GARIVOLO_RECORD_DIR must be set by the build"
#endif

int main(int argc, char *argv[])
{
    // Everything is drawn with QPainter; probing the GL driver would only cost memory.
    if (qEnvironmentVariableIsEmpty("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Garivolo"));
    QApplication::setDesktopFileName(QStringLiteral("garivolo"));

    Tavola::installFontSubstitutions();

    // The boxes' own buttons speak Italian like the rest, whatever the desktop's language.
    QTranslator qtItalian;
    if (qtItalian.load(QLocale(QLocale::Italian, QLocale::Italy), QStringLiteral("qtbase"), QStringLiteral("_"),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtItalian);
    QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy));

    // A build run uses the files of its source tree; an installed one the installed files.
    const bool inBuildTree = QApplication::applicationFilePath() == QStringLiteral(GARIVOLO_BUILD_BINARY);
    DesktopAgent agent({inBuildTree ? QStringLiteral(GARIVOLO_CHARS_BUILD_DIR) : QStringLiteral(GARIVOLO_CHARS_INSTALL_DIR)},
                       std::make_unique<EspeakEngine>());
    QtDialogs dialogs;
    ClockSeededRandom random(&ClockSeededRandom::systemClock);
    SecondTicker timer;

    const QString helper = inBuildTree ? QStringLiteral(GARIVOLO_RECORD_HELPER_BUILD)
                                       : QStringLiteral(GARIVOLO_RECORD_HELPER_INSTALLED);

    Tavola tavola({dialogs, agent, random, timer, QStringLiteral(GARIVOLO_RECORD_DIR), helper, [&agent](int status) {
                       agent.shutdown();
                       QApplication::exit(status);
                   }});
    dialogs.setParent(&tavola);
    // On a screen smaller than the design (a school netbook) everything shrinks together.
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        tavola.setDesignScale(tavola.scaleToFit(screen->availableGeometry().size()));
    agent.setKeepClear([&tavola] {
        return QRect(tavola.Text3->mapToGlobal(QPoint(0, 0)), tavola.Text3->size());
    });
    if (!tavola.load())
        return tavola.exitStatus();
    tavola.show();
    const int status = QApplication::exec();
    agent.shutdown();
    return status;
}

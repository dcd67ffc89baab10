// SPDX-License-Identifier: GPL-3.0-or-later
// The floor the benchmarks compare with: a bare Qt window that asks a name
// first, built and measured like Garivolo. With --verdetto it answers Enter
// the way Garivolo's window does, with plain Qt widgets in the same places:
// a verdict and two counts change, a button takes the focus, and its click
// empties them again; --schermo-intero shows that full screen, larger.
#include <QApplication>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QScreen>

#include <memory>

#include "shownmarker.h"

namespace {

QFont sized(int pixels, qreal scale, bool bold, bool italic = false)
{
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(qRound(pixels * scale));
    font.setBold(bold);
    font.setItalic(italic);
    return font;
}

QRect at(int x, int y, int w, int h, qreal scale)
{
    return QRectF(x * scale, y * scale, w * scale, h * scale).toRect();
}

void buildVerdictScene(QMainWindow &window, qreal scale)
{
    auto *client = new QWidget(&window);
    window.setCentralWidget(client);
    auto *verdict = new QLabel(client);
    verdict->setFont(sized(32, scale, true, true));
    verdict->move(at(424, 136, 0, 0, scale).topLeft());
    QPalette red = verdict->palette();
    red.setColor(QPalette::WindowText, QColor(255, 0, 0));
    verdict->setPalette(red);
    auto *wrong = new QLabel(QStringLiteral("0"), client);
    auto *total = new QLabel(QStringLiteral("0"), client);
    wrong->setGeometry(at(104, 144, 40, 36, scale));
    total->setGeometry(at(104, 240, 40, 36, scale));
    for (QLabel *count : {wrong, total}) {
        count->setFont(sized(29, scale, true));
        count->setFrameShape(QFrame::Box);
    }
    auto *answer = new QLineEdit(client);
    answer->setGeometry(at(208, 336, 457, 75, scale));
    answer->setFont(sized(64, scale, false));
    answer->setAlignment(Qt::AlignCenter);
    auto *next = new QPushButton(QStringLiteral("&Nuovo calcolo"), client);
    next->setGeometry(at(208, 424, 121, 57, scale));
    next->setAutoDefault(true);
    next->setEnabled(false);
    auto counts = std::make_shared<int>(0);
    QObject::connect(answer, &QLineEdit::returnPressed, &window, [=] {
        ++*counts;
        verdict->setText(QStringLiteral("Sbagliato!! 28"));
        verdict->adjustSize();
        wrong->setText(QString::number(*counts));
        total->setText(QString::number(*counts));
        next->setEnabled(true);
        next->setFocus();
    });
    QObject::connect(next, &QPushButton::clicked, &window, [=] {
        verdict->clear();
        answer->clear();
        answer->setFocus();
        next->setEnabled(false);
    });
    answer->setFocus();
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    QInputDialog prompt;
    prompt.setWindowTitle(QStringLiteral("Garivolo"));
    prompt.setLabelText(QStringLiteral("Come ti chiami?"));
    ShownMarker marker;
    prompt.installEventFilter(&marker);
    prompt.exec();
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("floor"));
    const QSize designed(785, 575);
    const bool fullScreen = args.contains(QStringLiteral("--schermo-intero"));
    qreal scale = 1.0;
    if (fullScreen && QGuiApplication::primaryScreen()) {
        const QSize screen = QGuiApplication::primaryScreen()->size();
        scale = qMin(qreal(screen.width()) / designed.width(), qreal(screen.height()) / designed.height());
    }
    if (args.contains(QStringLiteral("--verdetto")))
        buildVerdictScene(window, scale);
    window.resize(designed);
    if (fullScreen)
        window.showFullScreen();
    else
        window.show();
    return QApplication::exec();
}

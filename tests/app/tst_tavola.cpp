// SPDX-License-Identifier: GPL-3.0-or-later
// The window as it opens, its start-up, the keyboard, and the new question.
#include "harness.h"

#include "controls.h"
#include "designscale.h"
#include "formcanvas.h"
#include "gradient.h"
#include "halolabel.h"
#include "numberpad.h"

#include <QAccessible>
#include <QApplication>
#include <QFile>
#include <QInputMethodQueryEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QSignalSpy>
#include <QToolTip>
#include <QtTest>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {
const QString kIntro =
    u"Allora attenzione, iniziamo la nostra avventura con la tabellina del 4. Io detto e tu scrivi il risultato "
    u"nello spazio sotto di me. Mi raccomando inserisci il risultato e premi invio e poi aspetta che io finisca di "
    u"parlare e premi ancora invio per avere la domanda successiva"_s;

QStringList dictation(const QString &words)
{
    // What still waits for an earlier question goes first: the new one is the one he says.
    return {u"Drop waiting"_s, u"Show"_s, u"MoveTo 250,175"_s, u"Play Greet"_s, u"Height 205"_s, u"Speak 4"_s,
            u"Speak per"_s, u"Speak "_s + words};
}
} // namespace

class TestTavola : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { Tavola::installFonts(); }

    void nameAndGreeting_data();
    void nameAndGreeting();
    void clockCaptionDuringLoadThenAtActivation();
    void characterRequestsAtStartUp_data();
    void characterRequestsAtStartUp();
    void controlsBuiltLaterAreTheSame();
    void stateAfterActivation();

    void controlsAsTheWindowOpens_data();
    void controlsAsTheWindowOpens();
    void menuBarEntries();
    void captionAndClientArea();
    void focusStartsOnExitThenTabCycles();
    void enterAndSpaceClickFocusedButton_data();
    void enterAndSpaceClickFocusedButton();
    void resizingMovesNoControl_data();
    void resizingMovesNoControl();
    void designScaleFitsTheScreen_data();
    void designScaleFitsTheScreen();
    void padKeysFitAFinger_data();
    void padKeysFitAFinger();
    void fullScreenAndBack_data();
    void fullScreenAndBack();
    void autosizeLabelGrowsWithLongName_data();
    void autosizeLabelGrowsWithLongName();
    void activationRunsOnce();
    void closingRunsNoHandlerAndKeepsRecord();
    void failuresAtStartUpEndWithStatusOne_data();
    void failuresAtStartUpEndWithStatusOne();

    void newQuestionSetsEveryControl();
    void factorTenIsSpelledDieci();
    void twoClicksQueueTwoDictations();
    void newQuestionClearsVerdictButNotScores();
    void gradientCoversClientAreaAndSurvivesHiding();
    void surfaceKeepsEachDrawingAtItsSize_data();
    void surfaceKeepsEachDrawingAtItsSize();
};

void TestTavola::nameAndGreeting_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("greeting");
    QTest::addColumn<QString>("shownName");

    QTest::newRow("a name") << u"Luca"_s << u" Luca vediamo se sei un vero campione  "_s << u"Luca"_s;
    QTest::newRow("cancel or empty becomes Amico") << QString() << u"  vediamo se sei un vero campione  "_s << u"Amico"_s;
    QTest::newRow("blanks only kept") << u"   "_s << u"     vediamo se sei un vero campione  "_s << u"   "_s;
    QTest::newRow("accents kept") << u"Niccol\u00f2"_s << u" Niccol\u00f2 vediamo se sei un vero campione  "_s
                                  << u"Niccol\u00f2"_s;
    QTest::newRow("markup shown, not obeyed") << u"<b>Lu</b><i>ca</i>"_s
                                              << u" <b>Lu</b><i>ca</i> vediamo se sei un vero campione  "_s
                                              << u"<b>Lu</b><i>ca</i>"_s;
    QTest::newRow("entity shown as typed") << u"&amp;&lt;"_s << u" &amp;&lt; vediamo se sei un vero campione  "_s
                                           << u"&amp;&lt;"_s;
}

void TestTavola::nameAndGreeting()
{
    QFETCH(QString, typed);
    QFETCH(QString, greeting);
    QFETCH(QString, shownName);
    Harness h;
    h.dialogs.name = typed;
    QVERIFY(h.w().load());
    QCOMPARE(h.dialogs.prompts, QStringList{u"Come ti chiami?"_s});
    QCOMPARE(h.dialogs.messages, QStringList{greeting});
    QCOMPARE(h.w().lblnome1->text(), shownName);
    QCOMPARE(h.w().Txtnome1->text(), shownName);
    // Every character of the name is drawn: markup would shrink the label to what it renders.
    QVERIFY(h.w().lblnome1->width() >= h.w().lblnome1->fontMetrics().horizontalAdvance(shownName));
}

void TestTavola::clockCaptionDuringLoadThenAtActivation()
{
    Harness h;
    h.dialogs.name = u"Luca"_s;
    QVERIFY(h.w().load());
    // Between load and activation the clock reads the load's caption, and it is already running.
    QCOMPARE(h.w().lblconto->text(), u"00:00:00"_s);
    QVERIFY(h.timer.isActive());
    QCOMPARE(h.timer.starts, 1);
    h.w().show();
    QTRY_COMPARE(h.w().lblconto->text(), u"00.07.00"_s);
}

void TestTavola::characterRequestsAtStartUp_data()
{
    QTest::addColumn<Tavola::Controls>("controls");
    QTest::newRow("controls built with the window") << Tavola::Controls::Now;
    QTest::newRow("controls built while the name is asked") << Tavola::Controls::Later;
}

void TestTavola::characterRequestsAtStartUp()
{
    QFETCH(Tavola::Controls, controls);
    Harness h(QStringLiteral(GARIVOLO_TEST_RECORD_HELPER), controls);
    h.random.question(3, 7);
    h.start();
    const QStringList expected = QStringList{u"Load Merlin C:\\WINDOWS\\msagent\\chars\\Merlin.acs"_s, u"Show"_s,
                                             u"MoveTo 250,175"_s, u"Play Announce"_s, u"Height 205"_s,
                                             u"Speak "_s + kIntro + u" (kept)"_s}
                                 + dictation(u"sette"_s);
    QCOMPARE(h.agent.log, expected);
}

// The program shows the name prompt before the window has its controls: the
// prompt is centred on a window already of its final size, and the window
// the child then sees is the one built at once.
void TestTavola::controlsBuiltLaterAreTheSame()
{
    Harness now;
    Harness later(QStringLiteral(GARIVOLO_TEST_RECORD_HELPER), Tavola::Controls::Later);
    QCOMPARE(later.w().size(), now.w().size());
    QVERIFY(!later.w().findChild<QLineEdit *>(u"Text3"_s));
    now.random.question(3, 7);
    later.random.question(3, 7);
    now.start();
    later.start();

    const auto controls = now.w().canvas()->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    QVERIFY(controls.size() > 20);
    for (const QWidget *a : controls) {
        if (a->objectName().isEmpty())
            continue;
        const auto *b = later.w().canvas()->findChild<QWidget *>(a->objectName(), Qt::FindDirectChildrenOnly);
        QVERIFY2(b, qPrintable(a->objectName()));
        const QString what = a->objectName();
        QCOMPARE(b->metaObject()->className(), a->metaObject()->className());
        QVERIFY2(b->geometry() == a->geometry(), qPrintable(what));
        QVERIFY2(b->font() == a->font(), qPrintable(what));
        QVERIFY2(b->isVisible() == a->isVisible() && b->isEnabled() == a->isEnabled(), qPrintable(what));
        QVERIFY2(b->toolTip() == a->toolTip() && b->accessibleName() == a->accessibleName(), qPrintable(what));
        if (auto *label = qobject_cast<const QLabel *>(a)) {
            QVERIFY2(static_cast<const QLabel *>(b)->text() == label->text(), qPrintable(what));
            QVERIFY2(static_cast<const QLabel *>(b)->pixmap().size() == label->pixmap().size(), qPrintable(what));
        }
    }
    QVERIFY(now.w().focusWidget() && later.w().focusWidget());
    QCOMPARE(later.w().focusWidget()->objectName(), now.w().focusWidget()->objectName());
}

void TestTavola::stateAfterActivation()
{
    Harness h;
    h.start();
    QCOMPARE(h.w().giuste, 0);
    QCOMPARE(h.w().sbagliate, 0);
    QCOMPARE(h.w().ore, 0);
    QCOMPARE(h.w().minuti, 7);
    QCOMPARE(h.w().secondi, 0.0f);
    QVERIFY(!h.w().lblNum1->isVisible());
    QVERIFY(!h.w().lblNum2->isVisible());
    QVERIFY(!h.w().Label10->isVisible());
    QVERIFY(h.w().sysdir.endsWith(u'/'));
    // First run: the record files now exist, empty, and the record line is empty.
    QCOMPARE(QFile(h.dir.filePath(u"atabvenr4.txt"_s)).size(), 0);
    QCOMPARE(QFile(h.dir.filePath(u"ntabvenr4.txt"_s)).size(), 0);
    QCOMPARE(h.w().lblpunti->text(), QString());
    QCOMPARE(h.w().lblnome->text(), QString());
}

// The design of the window, written out again here so that a slip in either copy shows.
void TestTavola::controlsAsTheWindowOpens_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QRect>("pixels"); // width and height of -1: sized to fit the caption
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("family");
    QTest::addColumn<int>("pixelSize");
    QTest::addColumn<bool>("bold");
    QTest::addColumn<QString>("fore"); // "" when not set
    QTest::addColumn<QString>("back");
    QTest::addColumn<bool>("visible");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QString>("tip");

    const QString sans = u"MS Sans Serif"_s, serif = u"Times New Roman"_s, arial = u"Arial"_s;
    auto row = [](const char *name, const char *type, QRect px, const QString &text, const QString &family, int size,
                  bool bold, const char *fore, const char *back, bool visible, bool enabled, const QString &tip = {}) {
        QTest::newRow(name) << QString::fromLatin1(type) << px << text << family << size << bold
                            << QString::fromLatin1(fore) << QString::fromLatin1(back) << visible << enabled << tip;
    };
    row("Txtnome1", "QLineEdit", {552, 248, 89, 41}, u"Text8"_s, sans, 11, false, "", "", false, true);
    row("Text7", "QLineEdit", {304, 232, 73, 73}, u"Text7"_s, sans, 11, false, "", "", false, true);
    row("Text6", "QLineEdit", {688, 384, 161, 73}, u"Text6"_s, sans, 11, false, "", "", false, true);
    row("Command3", "QPushButton", {288, 128, 65, 29}, u"verifica"_s, sans, 11, false, "", "", false, true);
    row("Text3", "QLineEdit", {208, 336, 457, 75}, u"Text3"_s, arial, 64, false, "#0000ff", "#ffff80", true, true,
        u"Scrivi il numero e poi premi  il tasto Return (Invio)"_s);
    row("Text1", "QLineEdit", {240, 136, 129, 27}, u"0"_s, sans, 16, true, "", "#ff80ff", false, true);
    row("cmdNext", "PictureButton", {208, 424, 121, 57}, u"&Nuovo calcolo"_s, sans, 11, true, "", "#ff80ff", true,
        false, u"Usa il tasto Return(invio) per l'esercizio successivo"_s);
    row("cmdExit1", "PictureButton", {544, 424, 121, 57}, u"E&xit"_s, sans, 11, true, "", "#00c0c0", true, true,
        u"Ti prego resta ancora, forse riuscirai a farmi uscire "_s);
    row("lblMessage", "HaloLabel", {424, 136, -1, -1}, u"io"_s, sans, 32, true, "#ff0000", "", true, true);
    row("lblconto", "HaloLabel", {624, 80, 105, 25}, u"00.07.00"_s, u"Arial Black"_s, 16, true, "#ffff00", "#8080ff",
        true, true);
    row("lblNum1", "HaloLabel", {256, 0, -1, -1}, QString(), arial, 64, true, "", "#00ffff", false, true);
    row("Label10", "HaloLabel", {376, 8, 41, 65}, u"X"_s, arial, 64, false, "", "#80ffff", false, true);
    row("lblNum2", "HaloLabel", {504, 0, -1, -1}, QString(), arial, 64, true, "", "#00ffff", false, true);
    row("Image1", "QLabel", {659, 8, 32, 32}, QString(), sans, 11, false, "", "", true, true,
        u"Clicca sotto di me per impostare il Timer"_s);
    row("Label11", "HaloLabel", {618, 48, 121, 41}, u"Tempo restante"_s, serif, 19, false, "#ffff00", "", true, true);
    row("Label14", "HaloLabel", {8, 424, -1, -1}, u"Sfidante"_s, sans, 18, false, "#ffff00", "", true, true);
    row("lblnome1", "HaloLabel", {8, 480, -1, -1}, QString(), sans, 18, true, "#ffff00", "", true, true);
    row("Label12", "HaloLabel", {8, 512, 153, 25}, u"Il record  \u00e8 di "_s, sans, 24, false, "#c000c0", "", true, true);
    row("lblnome", "HaloLabel", {160, 512, -1, -1}, u"nome"_s, sans, 24, true, "#0000ff", "", true, true);
    row("Label13", "HaloLabel", {400, 512, -1, -1}, u"con punti"_s, sans, 24, false, "#c000c0", "", true, true);
    row("lblpunti", "HaloLabel", {512, 512, -1, -1}, u"0"_s, sans, 24, false, "#c000c0", "", true, true);
    row("Label1", "HaloLabel", {24, 104, -1, -1}, u"Risposte errate"_s, serif, 29, false, "#ff0000", "", true, true);
    row("Label3", "HaloLabel", {24, 192, -1, -1}, u"Risposte totali"_s, serif, 29, false, "#0000ff", "", true, true);
    row("lblScore2", "HaloLabel", {104, 240, -1, -1}, u"0"_s, serif, 29, true, "#0000ff", "", true, true);
    row("lblScore1", "HaloLabel", {104, 144, -1, -1}, u"0"_s, serif, 29, true, "#ff0000", "", true, true);
    row("lblScore", "HaloLabel", {96, 56, -1, -1}, u"0"_s, serif, 29, true, "#ffff80", "", true, true,
        u"Questo \u00e8 il tuo punteggio. Forza con il  record"_s);
    row("Label6", "HaloLabel", {24, 16, -1, -1}, u"Risposte esatte"_s, serif, 29, false, "#ffff80", "", true, true);
}

void TestTavola::controlsAsTheWindowOpens()
{
    QFETCH(QString, type);
    QFETCH(QRect, pixels);
    QFETCH(QString, text);
    QFETCH(QString, family);
    QFETCH(int, pixelSize);
    QFETCH(bool, bold);
    QFETCH(QString, fore);
    QFETCH(QString, back);
    QFETCH(bool, visible);
    QFETCH(bool, enabled);
    QFETCH(QString, tip);

    Harness h;
    h.w().show();
    QVERIFY(QTest::qWaitForWindowExposed(&h.w()));
    auto *control = h.w().findChild<QWidget *>(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(control);
    QCOMPARE(QString::fromLatin1(control->metaObject()->className()), type);
    QCOMPARE(control->pos(), pixels.topLeft());
    if (pixels.width() >= 0)
        QCOMPARE(control->size(), pixels.size());
    QCOMPARE(control->isVisible(), visible);
    QCOMPARE(control->isEnabled(), enabled);
    QCOMPARE(control->font().family(), family);
    QCOMPARE(control->font().pixelSize(), pixelSize);
    QCOMPARE(control->font().bold(), bold);
    QCOMPARE(control->font().styleStrategy() & QFont::PreferNoShaping, QFont::PreferNoShaping);
    QCOMPARE(control->toolTip(), tip);

    if (auto *label = qobject_cast<QLabel *>(control)) {
        if (type == u"HaloLabel"_s)
            QCOMPARE(label->text(), text);
        if (!fore.isEmpty())
            QCOMPARE(label->palette().color(QPalette::WindowText).name(), fore);
        // Only labels that are not transparent paint a back colour.
        QCOMPARE(label->autoFillBackground(), !back.isEmpty());
        if (!back.isEmpty())
            QCOMPARE(label->palette().color(QPalette::Window).name(), back);
        // Every transparent caption may lie on a light background; the clock's yellow is faint on its lilac.
        if (auto *halo = qobject_cast<HaloLabel *>(label))
            QCOMPARE(halo->halo(), back.isEmpty() || QByteArrayView(QTest::currentDataTag()) == "lblconto");
    } else if (auto *box = qobject_cast<QLineEdit *>(control)) {
        QCOMPARE(box->text(), text);
        if (!fore.isEmpty())
            QCOMPARE(box->palette().color(QPalette::Text).name(), fore);
        if (!back.isEmpty())
            QCOMPARE(box->palette().color(QPalette::Base).name(), back);
    } else if (auto *button = qobject_cast<QPushButton *>(control)) {
        QCOMPARE(button->text(), text);
    }
}

void TestTavola::menuBarEntries()
{
    Harness h;
    const QList<QAction *> top = h.w().menuBar()->actions();
    QCOMPARE(top.size(), 3);
    QCOMPARE(top[0]->menu()->objectName(), u"ven"_s);
    QCOMPARE(top[0]->menu()->actions().at(0)->objectName(), u"is"_s);
    QCOMPARE(top[1]->menu()->objectName(), u"Ciao"_s);
    QCOMPARE(top[1]->menu()->property("index").toInt(), 1);
    QStringList under;
    for (QAction *a : top[1]->menu()->actions())
        under << a->objectName();
    QCOMPARE(under, (QStringList{u"INFOMAZIONI"_s, u"em"_s}));
    QCOMPARE(top[2]->objectName(), u"comune"_s);
    QVERIFY(!top[2]->menu());
    for (QAction *a : top)
        QVERIFY(!a->text().isEmpty());
}

void TestTavola::captionAndClientArea()
{
    Harness h;
    const QString title = h.w().windowTitle();
    QVERIFY(title.startsWith(QString(83, u' ') + u"GARIVOLO"_s + QString(31, u' ')));
    QVERIFY(title.endsWith(u"@example.org"_s + QString(4, u' ')));
    // A screen reader says the program's name, not the caption's blanks and address.
    QCOMPARE(QAccessible::queryAccessibleInterface(&h.w())->text(QAccessible::Name), u"Garivolo"_s);
    // Screen readers speak a notification wherever the focus is.
    auto *announcer = h.w().findChild<QWidget *>(u"announcer"_s);
    QCOMPARE(QAccessible::queryAccessibleInterface(announcer)->role(), QAccessible::Notification);
    QVERIFY(QToolTip::font().pixelSize() >= 14);
    // Window managers take the icon at the size they show it: drawn there, not blank.
    for (int side : {16, 64}) {
        const QImage icon = h.w().windowIcon().pixmap(side).toImage();
        QCOMPARE(icon.size(), QSize(side, side));
        int drawn = 0;
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x)
                drawn += qAlpha(icon.pixel(x, y)) > 0;
        QVERIFY2(drawn > side * side / 4, qPrintable(QString::number(drawn)));
    }
    h.w().show();
    QVERIFY(QTest::qWaitForWindowExposed(&h.w()));
    QCOMPARE(h.w().canvas()->size(), QSize(785, 556));
}

void TestTavola::focusStartsOnExitThenTabCycles()
{
    Harness h;
    QCOMPARE(h.w().focusWidget(), h.w().cmdExit1);
    h.start();
    QVERIFY(QTest::qWaitForWindowActive(&h.w()));
    QCOMPARE(QApplication::focusWidget(), h.w().Text3);

    auto cycle = [&](int presses) {
        QList<QWidget *> seen;
        for (int i = 0; i < presses; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            seen << QApplication::focusWidget();
        }
        return seen;
    };
    // The next-question button is skipped while it is disabled.
    QCOMPARE(cycle(2), (QList<QWidget *>{h.w().cmdExit1, h.w().Text3}));
    h.w().cmdNext->setEnabled(true);
    QCOMPARE(cycle(3), (QList<QWidget *>{h.w().cmdNext, h.w().cmdExit1, h.w().Text3}));
}

void TestTavola::enterAndSpaceClickFocusedButton_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("key");
    QTest::newRow("Return on cmdNext") << u"cmdNext"_s << int(Qt::Key_Return);
    QTest::newRow("keypad Enter on cmdNext") << u"cmdNext"_s << int(Qt::Key_Enter);
    QTest::newRow("Space on cmdNext") << u"cmdNext"_s << int(Qt::Key_Space);
    QTest::newRow("Return on cmdExit1") << u"cmdExit1"_s << int(Qt::Key_Return);
    QTest::newRow("Space on cmdExit1") << u"cmdExit1"_s << int(Qt::Key_Space);
}

void TestTavola::enterAndSpaceClickFocusedButton()
{
    QFETCH(QString, button);
    QFETCH(int, key);
    Harness h;
    h.start();
    QVERIFY(QTest::qWaitForWindowActive(&h.w()));
    auto *target = h.w().findChild<QPushButton *>(button);
    target->setEnabled(true);
    target->setFocus();
    QSignalSpy clicked(target, &QPushButton::clicked);
    QTest::keyClick(target, Qt::Key(key));
    QCOMPARE(clicked.count(), 1);
}

void TestTavola::resizingMovesNoControl_data()
{
    QTest::addColumn<qreal>("scale");
    QTest::newRow("as designed") << 1.0;
    QTest::newRow("netbook") << 0.9;
    QTest::newRow("half") << 0.5;
}

// At any scale every control keeps its place in the design, only smaller, and resizing moves none.
void TestTavola::resizingMovesNoControl()
{
    QFETCH(qreal, scale);
    Harness h;
    h.w().setDesignScale(scale);
    h.start();
    QCOMPARE(h.w().canvas()->size(), (QSizeF(785, 556) * scale).toSize());
    for (const ControlSpec &spec : controlTable()) {
        QWidget *c = h.w().canvas()->findChild<QWidget *>(QString::fromLatin1(spec.name));
        const QRect design = spec.pixels();
        QVERIFY2(qAbs(c->x() - design.x() * scale) <= 1 && qAbs(c->y() - design.y() * scale) <= 1, spec.name);
        if (!c->property("autosize").toBool())
            QVERIFY2(qAbs(c->width() - design.width() * scale) <= 1, spec.name);
        if (spec.font) {
            const int pixels = qRound(spec.points * 96 / 72);
            QVERIFY2(qAbs(c->font().pixelSize() - pixels * scale) <= 1, spec.name);
        }
    }
    // The record line stays in one piece and inside the window.
    QVERIFY(h.w().lblpunti->geometry().right() < h.w().canvas()->width());
    QVERIFY(h.w().Label13->x() > h.w().lblnome->geometry().right());
    QHash<QString, QRect> before;
    for (QWidget *c : h.w().canvas()->findChildren<QWidget *>())
        before.insert(c->objectName(), c->geometry());
    h.w().resize(400, 300);
    h.w().resize(1000, 800);
    for (QWidget *c : h.w().canvas()->findChildren<QWidget *>())
        QCOMPARE(c->geometry(), before.value(c->objectName()));
}

void TestTavola::designScaleFitsTheScreen_data()
{
    QTest::addColumn<QSize>("available");
    QTest::addColumn<bool>("fullScreen");
    QTest::addColumn<qreal>("lowest");
    QTest::addColumn<qreal>("highest");
    // The window is 785 by 556 plus a menu bar of about 25 and the window manager's title bar.
    QTest::newRow("1280x1024 as designed") << QSize(1280, 994) << false << 1.0 << 1.0;
    QTest::newRow("1024x768 as designed") << QSize(1024, 738) << false << 1.0 << 1.0;
    QTest::newRow("netbook 1024x600, 30 px panel") << QSize(1024, 570) << false << 0.85 << 0.95;
    QTest::newRow("narrow 800 wide") << QSize(640, 1000) << false << 0.75 << 0.82;
    QTest::newRow("unreadably small") << QSize(100, 80) << false << 1.0 / 3 << 1.0 / 3;
    QTest::newRow("no screen") << QSize() << false << 1.0 << 1.0;
    // Full screen: the room under the menu bar, filled on its tighter side with the pad beside.
    QTest::newRow("full 1024x600") << QSize(1024, 575) << true << 1.0 << 1.05;
    QTest::newRow("full 1366x768") << QSize(1366, 743) << true << 1.3 << 1.35;
    QTest::newRow("full 1920x1080") << QSize(1920, 1055) << true << 1.85 << 1.9;
    QTest::newRow("full 3840x2160") << QSize(3840, 2135) << true << 3.75 << 3.9;
    QTest::newRow("full 4:3 projector 1024x768, the pad makes the width tighter") << QSize(1024, 743) << true << 0.9 << 1.0;
    QTest::newRow("full portrait 1080x1920, the pad under the design") << QSize(1080, 1895) << true << 1.3 << 1.38;
}

void TestTavola::designScaleFitsTheScreen()
{
    QFETCH(QSize, available);
    QFETCH(bool, fullScreen);
    QFETCH(qreal, lowest);
    QFETCH(qreal, highest);
    if (fullScreen) {
        const int minimumKey = minimumKeySide(available, {});
        const DesignFit fit = fitDesign(available, QSize(785, 556), true, minimumKey);
        QVERIFY2(fit.scale >= lowest && fit.scale <= highest, qPrintable(QString::number(fit.scale)));
        // Never stretched: both sides by the same factor, to the pixel.
        QCOMPARE(fit.design.width(), int(785 * fit.scale));
        QCOMPARE(fit.design.height(), int(556 * fit.scale));
        // Everything on the screen, the pad beside the design and overlapping nothing of it.
        const QRect room(QPoint(), available);
        QVERIFY(room.contains(fit.design));
        QVERIFY(room.contains(fit.pad));
        QVERIFY(!fit.pad.intersects(fit.design));
        const bool below = fit.pad.top() > fit.design.bottom();
        QCOMPARE(below ? fit.pad.top() : fit.pad.left(), (below ? fit.design.bottom() : fit.design.right()) + 1);
        QCOMPARE(fit.pad.size(), padSize(fit.key));
        QVERIFY(fit.key >= minimumKey);
        // The tighter side is filled within 2 %.
        const QRect both = fit.design.united(fit.pad);
        const qreal filled = std::max(qreal(below ? both.height() : fit.design.height()) / available.height(),
                                      qreal(below ? fit.design.width() : both.width()) / available.width());
        QVERIFY2(filled >= 0.98, qPrintable(QString::number(filled)));
        // Centred: the margins either side are the same, to a pixel.
        const QRect centred = below ? QRect(fit.design.left(), both.top(), fit.design.width(), both.height())
                                    : QRect(both.left(), fit.design.top(), both.width(), fit.design.height());
        QVERIFY(qAbs(centred.left() - (available.width() - 1 - centred.right())) <= 1);
        QVERIFY(qAbs(centred.top() - (available.height() - 1 - centred.bottom())) <= 1);
        return;
    }
    Harness h;
    const qreal scale = h.w().scaleToFit(available);
    QVERIFY2(scale >= lowest - 1e-9 && scale <= highest + 1e-9, qPrintable(QString::number(scale)));
    if (scale > 1.0 / 3 && scale < 1.0) {
        // Fits with its menu bar and title bar, and not by much more than needed.
        const int menu = h.w().menuBar()->sizeHint().height();
        QVERIFY(556 * scale + menu + kWindowDecorations.height() <= available.height() + 0.5
                && 785 * scale + kWindowDecorations.width() <= available.width() + 0.5);
    }
}

void TestTavola::padKeysFitAFinger_data()
{
    QTest::addColumn<QSize>("screen");
    QTest::addColumn<QSizeF>("millimetres");
    QTest::addColumn<int>("atLeast");
    QTest::addColumn<int>("atMost");
    QTest::newRow("netbook, size unknown") << QSize(1024, 600) << QSizeF() << 64 << 67;
    QTest::newRow("projector, size unknown") << QSize(1920, 1080) << QSizeF() << 120 << 121;
    QTest::newRow("4K, size unknown") << QSize(3840, 2160) << QSizeF() << 240 << 241;
    // 18 mm of a 15.6 inch laptop's 194 mm high screen.
    QTest::newRow("touch laptop 1920x1080, 344x194 mm") << QSize(1920, 1080) << QSizeF(344, 194) << 101 << 101;
    QTest::newRow("10 inch tablet 1280x800, 217x136 mm") << QSize(1280, 800) << QSizeF(217, 136) << 106 << 106;
}

void TestTavola::padKeysFitAFinger()
{
    QFETCH(QSize, screen);
    QFETCH(QSizeF, millimetres);
    QFETCH(int, atLeast);
    QFETCH(int, atMost);
    const int side = minimumKeySide(screen, millimetres);
    QVERIFY2(side >= atLeast && side <= atMost, qPrintable(QString::number(side)));
    // Full screen keeps at least that, whatever the design's scale.
    QVERIFY(fitDesign(screen, QSize(785, 556), true, side).key >= side);
}

void TestTavola::fullScreenAndBack_data()
{
    QTest::addColumn<bool>("maximise");
    QTest::newRow("F11") << false;
    QTest::newRow("the window manager maximises") << true;
}

// Whether the focused control asks for the system's on-screen keyboard, asked as the platform asks.
static bool acceptsInputMethod()
{
    QInputMethodQueryEvent query(Qt::ImEnabled);
    QCoreApplication::sendEvent(QGuiApplication::focusObject(), &query);
    return query.value(Qt::ImEnabled).toBool();
}

// Full screen or maximised, everything grows by one factor; back in a window, all is as it was.
void TestTavola::fullScreenAndBack()
{
    QFETCH(bool, maximise);
    Harness h;
    h.start();
    QVERIFY(QTest::qWaitForWindowActive(&h.w()));
    QSignalSpy scaled(&h.w(), &Tavola::designScaleChanged);
    const QRect window = h.w().geometry();
    QHash<QString, std::pair<QRect, int>> before;
    for (QWidget *c : h.w().canvas()->findChildren<QWidget *>())
        before.insert(c->objectName(), {c->geometry(), c->font().pixelSize()});
    QVERIFY(!h.w().numberPad()->isVisible());
    // Without the pad, a system on-screen keyboard may serve the answer box, with digits.
    QVERIFY(acceptsInputMethod());
    QVERIFY(h.w().Text3->inputMethodHints() & Qt::ImhDigitsOnly);

    if (maximise)
        h.w().showMaximized();
    else
        QTest::keyClick(h.w().Text3, Qt::Key_F11);
    QTRY_VERIFY(maximise ? h.w().isMaximized() : h.w().isFullScreen());
    QTRY_VERIFY(h.w().designScale() > 1.0 || h.w().canvas()->size() != QSize(785, 556));
    const qreal s = h.w().designScale();
    QCOMPARE(scaled.last().value(0).toReal(), s);
    QCOMPARE(h.w().canvas()->size(), QSize(int(785 * s), int(556 * s)));
    QVERIFY(h.w().centralWidget()->rect().contains(h.w().canvas()->geometry()));
    QVERIFY(h.w().numberPad()->isVisible());
    QVERIFY(!h.w().numberPad()->geometry().intersects(h.w().canvas()->geometry()));
    for (const ControlSpec &spec : controlTable()) {
        QWidget *c = h.w().canvas()->findChild<QWidget *>(QString::fromLatin1(spec.name));
        QVERIFY2(qAbs(c->x() - spec.pixels().x() * s) <= 1 && qAbs(c->y() - spec.pixels().y() * s) <= 1, spec.name);
        if (spec.font)
            QVERIFY2(qAbs(c->font().pixelSize() - qRound(spec.points * 96 / 72) * s) <= 1, spec.name);
    }
    // The keyboard works as before: the answer box still has the focus.
    QCOMPARE(QApplication::focusWidget(), h.w().Text3);
    // The pad is the on-screen keyboard now: the system's would cover it and the design.
    QVERIFY(!acceptsInputMethod());

    if (maximise)
        h.w().showNormal();
    else
        QTest::keyClick(h.w().Text3, Qt::Key_F11);
    QTRY_VERIFY(!h.w().isFullScreen() && !h.w().isMaximized());
    QTRY_COMPARE(h.w().geometry().size(), window.size());
    QCOMPARE(h.w().designScale(), 1.0);
    QVERIFY(!h.w().numberPad()->isVisible());
    QVERIFY(acceptsInputMethod());
    for (QWidget *c : h.w().canvas()->findChildren<QWidget *>())
        QCOMPARE(std::make_pair(c->geometry(), c->font().pixelSize()), before.value(c->objectName()));
}

void TestTavola::autosizeLabelGrowsWithLongName_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("cut");
    QTest::newRow("challenger, short") << u"lblnome1"_s << u"Lu"_s << false;
    QTest::newRow("challenger, three names") << u"lblnome1"_s << u"Maria Vittoria Benedetta"_s << false;
    QTest::newRow("challenger, 300 letters") << u"lblnome1"_s << QString(300, u'W') << true;
    QTest::newRow("challenger, 300 with blanks") << u"lblnome1"_s << QString(u"Anna "_s).repeated(60).chopped(1) << true;
    QTest::newRow("holder, short") << u"lblnome"_s << u"Anna"_s << false;
    QTest::newRow("holder, 40 letters") << u"lblnome"_s << u"Maria Vittoria Benedetta Annunziata Ros"_s << true;
    QTest::newRow("holder, 300 letters") << u"lblnome"_s << QString(300, u'W') << true;
}

// A name grows its label up to the next control or the window's edge, and is cut short there,
// whole in its tip and for a screen reader; the label itself keeps the name whole for the record.
void TestTavola::autosizeLabelGrowsWithLongName()
{
    QFETCH(QString, label);
    QFETCH(QString, name);
    QFETCH(bool, cut);
    Harness h;
    if (label == u"lblnome"_s) {
        QFile file(h.dir.filePath(u"ntabvenr4.txt"_s));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(name.toLatin1() + "\r\n");
    }
    h.dialogs.name = label == u"lblnome1"_s ? name : u"Lu"_s;
    QVERIFY(h.w().load());
    auto *shown = h.w().canvas()->findChild<HaloLabel *>(label);
    QCOMPARE(shown->text().trimmed(), name);
    QCOMPARE(shown->elided(), cut);
    QCOMPARE(shown->toolTip(), cut ? name : QString());
    QVERIFY(shown->accessibleName().endsWith(name));
    const QRect room = shown->geometry();
    QCOMPARE(room.topLeft(), label == u"lblnome1"_s ? QPoint(8, 480) : QPoint(160, 512));
    // Nothing of the name is drawn outside the window or over "con punti".
    const int limit = label == u"lblnome1"_s ? 785 : h.w().Label13->x();
    QVERIFY2(room.right() < limit, qPrintable(QString::number(room.right())));
    if (!cut)
        QVERIFY(room.width() >= shown->fontMetrics().horizontalAdvance(name));
}

void TestTavola::activationRunsOnce()
{
    Harness h;
    h.start();
    QCOMPARE(h.random.seeds, 1);
    QEvent activation(QEvent::WindowActivate);
    QApplication::sendEvent(&h.w(), &activation);
    h.w().hide();
    h.w().show();
    QVERIFY(QTest::qWaitForWindowExposed(&h.w()));
    QTest::qWait(20);
    QCOMPARE(h.random.seeds, 1);
    QCOMPARE(h.agent.log.count(u"Speak per"_s), 1);
}

void TestTavola::closingRunsNoHandlerAndKeepsRecord()
{
    Harness h;
    {
        QFile score(h.dir.filePath(u"atabvenr4.txt"_s));
        QVERIFY(score.open(QIODevice::WriteOnly));
        score.write("12\r\n");
    }
    h.start();
    h.w().close();
    QCOMPARE(h.quits, QList<int>{0});
    QCOMPARE(h.dialogs.messages.size(), 1); // only the greeting
    QFile score(h.dir.filePath(u"atabvenr4.txt"_s));
    QVERIFY(score.open(QIODevice::ReadOnly));
    QCOMPARE(score.readAll(), QByteArray("12\r\n"));
}

void TestTavola::failuresAtStartUpEndWithStatusOne_data()
{
    QTest::addColumn<bool>("characterMissing");
    QTest::addColumn<bool>("directoryMissing");
    QTest::addColumn<QString>("named");
    QTest::newRow("character file missing") << true << false << u"Personaggio"_s;
    QTest::newRow("record directory missing") << false << true << u"no/such/dir"_s;
}

void TestTavola::failuresAtStartUpEndWithStatusOne()
{
    QFETCH(bool, characterMissing);
    QFETCH(bool, directoryMissing);
    QFETCH(QString, named);

    // A character collection whose Load fails the way a missing file does.
    struct MissingCharacter : RecordingAgent
    {
        void Load(const QString &, const QString &path) override
        {
            throw CharacterError(u"Personaggio: file non trovato: "_s + path);
        }
    };
    MissingCharacter missing;
    RecordingAgent present;
    ScriptedDialogs dialogs;
    ScriptedRandom random;
    ManualTicker timer;
    QTemporaryDir dir;
    QList<int> quits;
    const QString recordDir = directoryMissing ? dir.filePath(u"no/such/dir"_s) : dir.path();
    Tavola w({dialogs, characterMissing ? static_cast<Characters &>(missing) : present, random, timer, recordDir,
              QStringLiteral(GARIVOLO_TEST_RECORD_HELPER), [&](int status) { quits << status; }});
    QVERIFY(!w.load());
    QCOMPARE(w.exitStatus(), 1);
    QCOMPARE(quits, QList<int>{1});
    QCOMPARE(dialogs.errors.size(), 1);
    QVERIFY(dialogs.errors[0].startsWith(u"Errore: "_s));
    QVERIFY2(dialogs.errors[0].contains(named), qPrintable(dialogs.errors[0]));
    QVERIFY(!timer.isActive());
}

void TestTavola::newQuestionSetsEveryControl()
{
    Harness h;
    h.random.question(3, 7);
    h.start();
    Tavola &w = h.w();
    QCOMPARE(h.random.seeds, 1);
    QCOMPARE(w.num1, 4);
    QCOMPARE(w.num2, 3);
    QCOMPARE(w.fattore, 7);
    QCOMPARE(w.risultato, 28);
    QCOMPARE(w.Text1->text(), u"4"_s);
    QCOMPARE(w.lblNum1->text(), u"4"_s);
    QCOMPARE(w.lblNum2->text(), u"7"_s);
    QCOMPARE(w.Text7->text(), u"28"_s);
    QCOMPARE(w.Text6->text(), u"sette"_s);
    QCOMPARE(w.Label10->text(), u"X"_s);
    QCOMPARE(w.Text3->text(), QString());
    QCOMPARE(QApplication::focusWidget(), w.Text3);
    QCOMPARE(w.lblMessage->text(), QString());
    QVERIFY(!w.lblNum1->isVisible() && !w.lblNum2->isVisible() && !w.Label10->isVisible());
    QCOMPARE(h.agent.log.mid(6), dictation(u"sette"_s));
}

void TestTavola::factorTenIsSpelledDieci()
{
    Harness h;
    h.random.values = {0.0, 0.9999999};
    h.start();
    QCOMPARE(h.w().num2, 1);
    QCOMPARE(h.w().lblNum2->text(), u"10"_s);
    QCOMPARE(h.w().Text7->text(), u"40"_s);
    QCOMPARE(h.agent.log.last(), u"Speak dieci"_s);
}

void TestTavola::twoClicksQueueTwoDictations()
{
    Harness h;
    h.start();
    h.agent.log.clear();
    h.random.question(1, 2);
    h.random.question(5, 9);
    h.w().cmdNext->setEnabled(true);
    h.w().cmdNext->click();
    h.w().cmdNext->click();
    QCOMPARE(h.agent.log, dictation(u"due"_s) + dictation(u"nove"_s));
    QCOMPARE(h.w().Text7->text(), u"36"_s);
}

void TestTavola::newQuestionClearsVerdictButNotScores()
{
    Harness h;
    h.random.question(2, 7);
    h.start();
    h.judge(u"28"_s);
    h.judge(u"5"_s);
    QCOMPARE(h.w().lblMessage->text(), u"Sbagliato!! 28"_s);
    h.w().cmdNext->click();
    QCOMPARE(h.w().lblMessage->text(), QString());
    QCOMPARE(h.w().lblScore->text(), u"1"_s);
    QCOMPARE(h.w().lblScore1->text(), u"1"_s);
    QCOMPARE(h.w().lblScore2->text(), u"2"_s);
}

void TestTavola::gradientCoversClientAreaAndSurvivesHiding()
{
    Harness h;
    h.random.question(6, 3);
    h.start();
    auto check = [](const QImage &image, int green) {
        QCOMPARE(QColor(image.pixel(0, 0)), QColor(80, green, 0));
        QCOMPARE(QColor(image.pixel(image.width() - 1, image.height() - 1)), QColor(80, green, 255));
        int lastBlue = -1;
        for (int y = 0; y < image.height(); ++y) {
            const QRgb first = image.pixel(0, y);
            QCOMPARE(qRed(first), 80);
            QCOMPARE(qGreen(first), green);
            QVERIFY(qBlue(first) == lastBlue || qBlue(first) == lastBlue + 1);
            lastBlue = qBlue(first);
            for (int x = 1; x < image.width(); ++x) {
                if (image.pixel(x, y) != first)
                    QFAIL(qPrintable(u"row %1 is not one colour"_s.arg(y)));
            }
        }
        QCOMPARE(lastBlue, 255);
    };
    check(h.w().canvas()->surfaceImage().copy(0, 0, 785, 556), 120);
    h.w().hide();
    h.w().show();
    QVERIFY(QTest::qWaitForWindowExposed(&h.w()));
    check(h.w().canvas()->surfaceImage().copy(0, 0, 785, 556), 120);
    // What reaches the screen: the band behind the answer box's left edge, where no shape or control lies.
    const QImage shown = h.w().canvas()->grab().toImage();
    QCOMPARE(QColor(shown.pixel(5, 555)), QColor(80, 120, 255));
}

void TestTavola::surfaceKeepsEachDrawingAtItsSize_data()
{
    QTest::addColumn<qreal>("scale");
    QTest::addColumn<QList<QSize>>("drawnAt"); // the canvas is this large at each new gradient
    QTest::addColumn<bool>("cleared");
    QTest::addColumn<QList<QSize>>("then"); // and then takes these sizes in turn
    const QSize design(785, 556);
    QTest::newRow("gradient") << 1.0 << QList<QSize>{design} << false << QList<QSize>{};
    QTest::newRow("cleared") << 1.0 << QList<QSize>{design} << true << QList<QSize>{};
    QTest::newRow("cleared then grown") << 1.0 << QList<QSize>{design} << true << QList<QSize>{QSize(900, 700)};
    QTest::newRow("grown after drawing") << 1.0 << QList<QSize>{design} << false << QList<QSize>{QSize(900, 700)};
    QTest::newRow("shrunk and grown") << 1.0 << QList<QSize>{design} << false
                                      << QList<QSize>{QSize(300, 200), QSize(1000, 640)};
    QTest::newRow("drawn small, grown, drawn again")
        << 1.0 << QList<QSize>{design, QSize(820, 600)} << false << QList<QSize>{QSize(1000, 700)};
    QTest::newRow("drawn after shrinking") << 1.0 << QList<QSize>{QSize(400, 300)} << false
                                           << QList<QSize>{QSize(1000, 640)};
    QTest::newRow("half scale") << 0.5 << QList<QSize>{QSize(392, 278)} << false << QList<QSize>{};
    QTest::newRow("half scale, grown after drawing")
        << 0.5 << QList<QSize>{QSize(392, 278)} << false << QList<QSize>{QSize(450, 320)};
    QTest::newRow("a small screen") << 0.9 << QList<QSize>{QSize(706, 500)} << false << QList<QSize>{};
}

// What reaches the screen is what a picture of the surface would hold: each
// drawing as large as the surface was when it was made, the background
// wherever the surface grew later or was cleared.
void TestTavola::surfaceKeepsEachDrawingAtItsSize()
{
    QFETCH(qreal, scale);
    QFETCH(QList<QSize>, drawnAt);
    QFETCH(bool, cleared);
    QFETCH(QList<QSize>, then);
    const QColor background(0xC8, 0xC8, 0xC8);
    // A child of a shown window gets its resize events at once, as the central widget does.
    QWidget window;
    window.resize(1100, 800);
    FormCanvas canvas(QSize(785, 556), background, {}, &window);

    // The pixels that surface holds, kept in design pixels and only ever made larger.
    QImage expected(785, 556, QImage::Format_RGB32);
    expected.fill(background);
    const auto resize = [&](QSize size) {
        canvas.resize(size);
        const QSize wanted = expected.size().expandedTo((QSizeF(size) / scale).toSize());
        if (wanted != expected.size()) {
            QImage bigger(wanted, QImage::Format_RGB32);
            bigger.fill(background);
            QPainter(&bigger).drawImage(0, 0, expected);
            expected = bigger;
        }
    };
    // Scaled before it shows, as the window does.
    canvas.setScale(scale);
    resize((QSizeF(785, 556) * scale).toSize());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    for (int i = 0; i < drawnAt.size(); ++i) {
        resize(drawnAt[i]);
        const int red = 40 + 60 * i, green = 200 - 70 * i;
        canvas.coverSurface([=](QPainter &painter, QSize size) { paintGradient(painter, size, red, green); });
        QPainter painter(&expected);
        paintGradient(painter, expected.size(), red, green);
    }
    if (cleared) {
        canvas.clearSurface();
        expected.fill(background);
    }
    for (QSize size : std::as_const(then))
        resize(size);

    QCOMPARE(canvas.surfaceImage(), expected);
    QTest::qWait(0);
    const QImage shown = canvas.grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shown.deviceIndependentSize().toSize(), canvas.size());
    // Each screen pixel shows a colour of the part of the surface it covers.
    const qreal designPerPixel = 1 / (scale * shown.devicePixelRatio());
    for (int y = 0; y < shown.height(); ++y) {
        const int top = int(y * designPerPixel), bottom = qMax(top, int(std::ceil((y + 1) * designPerPixel)) - 1);
        for (int x = 0; x < shown.width(); ++x) {
            const int left = int(x * designPerPixel), right = qMax(left, int(std::ceil((x + 1) * designPerPixel)) - 1);
            bool found = false;
            for (int v = top; v <= qMin(bottom, expected.height() - 1) && !found; ++v)
                for (int u = left; u <= qMin(right, expected.width() - 1) && !found; ++u)
                    found = expected.pixel(u, v) == shown.pixel(x, y);
            if (!found)
                QFAIL(qPrintable(u"pixel %1,%2 is %3, the surface there %4"_s.arg(x).arg(y)
                                     .arg(shown.pixel(x, y), 0, 16)
                                     .arg(expected.pixel(qMin(left, expected.width() - 1),
                                                         qMin(top, expected.height() - 1)), 0, 16)));
        }
    }

    // Repainted in a few scattered parts, as a verdict is, the shapes over the
    // surface look as they do when the whole is repainted.
    FormCanvas shaped(QSize(785, 556), background,
                      {{"disc", Shape::Circle, QRectF(560, 0, 233, 137), QColor(0x00, 0xFF, 0xFF)},
                       {"board", Shape::Rectangle, QRectF(0, 0, 225, 297), QColor(0x00, 0xC0, 0xC0)}},
                      &window);
    shaped.setScale(scale);
    shaped.resize(canvas.size());
    shaped.coverSurface([](QPainter &painter, QSize size) { paintGradient(painter, size, 80, 120); });
    shaped.show();
    const QImage whole = shaped.grab().toImage();
    const QRegion scattered = QRegion(QRect(QPointF(3, 5).toPoint(), QSize(40, 30)))
                              + QRect((QPointF(100, 280) * scale).toPoint(), QSize(50, 40))
                              + QRect((QPointF(570, 100) * scale).toPoint(), QSize(60, 40))
                              + QRect((QPointF(700, 10) * scale).toPoint(), QSize(30, 30));
    QImage parts(whole.size(), whole.format());
    parts.setDevicePixelRatio(whole.devicePixelRatio());
    parts.fill(Qt::magenta);
    // What is rendered lands with its bounding rectangle's corner at the offset given.
    shaped.render(&parts, scattered.boundingRect().topLeft(), scattered);
    for (const QRect &part : scattered)
        for (int y = part.top(); y <= part.bottom(); ++y)
            for (int x = part.left(); x <= part.right(); ++x)
                if (parts.pixel(x, y) != whole.pixel(x, y))
                    QFAIL(qPrintable(u"pixel %1,%2 is %3 repainted in parts, %4 whole"_s.arg(x).arg(y)
                                         .arg(parts.pixel(x, y), 0, 16).arg(whole.pixel(x, y), 0, 16)));
}

QTEST_MAIN(TestTavola)
#include "tst_tavola.moc"

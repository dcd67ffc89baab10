// SPDX-License-Identifier: GPL-3.0-or-later
// Judging answers: the verdict, the board, the praise ladder and the keys of the answer box.
#include "harness.h"

#include "formcanvas.h"
#include "halolabel.h"
#include "numberpad.h"

#include <QAbstractButton>
#include <QPointingDevice>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using namespace Qt::StringLiterals;

class TestVerdict : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { Tavola::installFonts(); }

    void rightAnswerByShownScore_data();
    void rightAnswerByShownScore();
    void wrongAnswers_data();
    void wrongAnswers();
    void wrongAnswersLeaveTheLadderAlone();
    void enterTwiceCountsTwice();
    void verdictStaysUntilNextQuestion();
    void screenReaderHearsQuestionThenVerdict_data();
    void screenReaderHearsQuestionThenVerdict();
    void scoreLabelsGrowWithCounts();
    void overflowEndsTheProgram();
    void everyTypingKeyClearsBackgroundAndShowsQuestion_data();
    void everyTypingKeyClearsBackgroundAndShowsQuestion();
    void keysThatTypeNothingDoNothing();
    void laterKeysRepaintOnlyWhatChanged();
    void verdictDrawnAheadIsTheOneShown_data();
    void verdictDrawnAheadIsTheOneShown();
    void wholeContestThroughRealKeys();
    void wholeContestOnThePad_data();
    void wholeContestOnThePad();
    void padKeyBounce_data();
    void padKeyBounce();
};

namespace {
// One screen-wide touch device, as Qt keeps input devices for the program's life.
QPointingDevice *touchScreen()
{
    static QPointingDevice *device = QTest::createTouchDevice(QInputDevice::DeviceType::TouchScreen);
    return device;
}

// A tap of the pointer or of a finger on the middle of a widget, let go at once.
void tap(QWidget *target, bool touch)
{
    const QPoint centre = target->rect().center();
    if (touch) {
        QTest::touchEvent(target, touchScreen()).press(0, centre, target);
        QTest::touchEvent(target, touchScreen()).release(0, centre, target);
    } else {
        QTest::mouseClick(target, Qt::LeftButton, {}, centre);
    }
}

QAbstractButton *padKey(Harness &h, const QString &name)
{
    auto *key = h.w().numberPad()->findChild<QAbstractButton *>(u"pad"_s + name);
    if (!key)
        qFatal("no pad key %s", qPrintable(name));
    return key;
}
} // namespace

// After a right answer: what the character is asked, by the score on the board before it.
void TestVerdict::rightAnswerByShownScore_data()
{
    QTest::addColumn<int>("shown");
    QTest::addColumn<QStringList>("after");

    const QString name = u"Speak Luca"_s, result = u"Speak 28"_s, esatto = u"Speak Esatto"_s, giusto = u"Speak Giusto"_s;
    auto praise = [](const char *animation, const QString &line) {
        return QStringList{u"Play "_s + QLatin1String(animation), u"Speak "_s + line + u" (kept)"_s};
    };
    QHash<int, QStringList> rows;
    for (int s : {0, 1, 4, 6, 8, 9})
        rows[s] = {esatto, result};
    rows[2] = QStringList{esatto, result} + praise("congratulate", u"Sei grande"_s);
    rows[3] = rows[7] = {esatto, name, result};
    rows[5] = QStringList{esatto, result} + praise("domagic1", u"Sei forte"_s);
    rows[10] = QStringList{result} + praise("congratulate", u"Sei sulla buona strada per diventare cavaliere"_s);
    for (int s : {11, 15, 16, 17, 19, 20, 22, 24, 25, 28, 29, 30})
        rows[s] = {giusto, result};
    rows[12] = rows[21] = rows[26] = {giusto, name, result};
    rows[13] = QStringList{giusto, result} + praise("domagic2", u"Sei in gamba"_s);
    rows[14] = QStringList{giusto, result} + praise("congratulate", u"Sei eccezionale"_s);
    rows[18] = QStringList{giusto, result} + praise("congratulate", u"Sei insuperabile"_s);
    rows[23] = QStringList{giusto, result}
               + praise("congratulate", u"Ti nomino cavaliere della tabellina, il massimo ordine per un eroe"_s);
    rows[27] = QStringList{giusto, result}
               + praise("congratulate", u"Hai lavorato bene mio leale campione: sei invincibile"_s);
    for (int s = 0; s <= 30; ++s)
        QTest::addRow("shown %d", s) << s << rows.value(s);
}

void TestVerdict::rightAnswerByShownScore()
{
    QFETCH(int, shown);
    QFETCH(QStringList, after);
    Harness h;
    h.random.question(1, 7);
    h.start();
    // Reach the shown score the way a child does: that many right answers.
    for (int i = 0; i < shown; ++i) {
        h.judge(u"28"_s);
    }
    QCOMPARE(h.w().lblScore->text(), QString::number(shown));
    h.agent.log.clear();
    h.judge(u"28"_s);
    QCOMPARE(h.agent.log, QStringList({u"Show"_s, u"MoveTo 250,175"_s, u"Height 205"_s}) + after);
    QCOMPARE(h.w().lblMessage->text(), u"Esatto. Sei forte!!!"_s);
    QCOMPARE(h.w().lblMessage->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    QCOMPARE(h.w().lblScore->text(), QString::number(shown + 1));
    QCOMPARE(h.w().giuste, shown + 1);
}

void TestVerdict::wrongAnswers_data()
{
    QTest::addColumn<QString>("answer");
    QTest::newRow("empty") << QString();
    QTest::newRow("trailing blank") << u"28 "_s;
    QTest::newRow("leading blank") << u" 28"_s;
    QTest::newRow("leading zero") << u"028"_s;
    QTest::newRow("plus sign") << u"+28"_s;
    QTest::newRow("in words") << u"ventotto"_s;
    QTest::newRow("blank inside") << u"2 8"_s;
    QTest::newRow("decimals") << u"28.0"_s;
    QTest::newRow("250 characters") << QString(250, u'2');
}

void TestVerdict::wrongAnswers()
{
    QFETCH(QString, answer);
    Harness h;
    h.random.question(1, 7);
    h.start();
    h.agent.log.clear();
    h.w().Text3->setText(answer);
    QCOMPARE(h.w().Text3->text(), answer);
    h.w().Command3_Click();
    QCOMPARE(h.w().sbagliate, 1);
    QCOMPARE(h.w().giuste, 0);
    QCOMPARE(h.w().lblMessage->text(), u"Sbagliato!! 28"_s);
    QCOMPARE(h.w().lblMessage->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    QCOMPARE(h.agent.log, (QStringList{u"Show"_s, u"MoveTo 250,175"_s, u"Play Greet"_s, u"Height 205"_s,
                                       u"Speak Sbagliato"_s, u"Speak 28"_s}));
    QCOMPARE(h.w().lblScore1->text(), u"1"_s);
    QCOMPARE(h.w().lblScore2->text(), u"1"_s);
    QCOMPARE(h.w().lblScore->text(), u"0"_s);
    QVERIFY(h.w().cmdNext->isEnabled());
    QCOMPARE(QApplication::focusWidget(), h.w().cmdNext);
    QCOMPARE(h.w().Text3->text(), answer); // the answer is never changed
}

void TestVerdict::wrongAnswersLeaveTheLadderAlone()
{
    Harness h;
    h.random.question(1, 7);
    h.start();
    h.judge(u"28"_s);
    h.judge(u"28"_s);
    for (int i = 0; i < 5; ++i)
        h.judge(u"27"_s);
    h.agent.log.clear();
    h.judge(u"28"_s); // the third right answer: the first rung
    QVERIFY(h.agent.log.contains(u"Speak Sei grande (kept)"_s));
    QCOMPARE(h.w().lblScore2->text(), u"8"_s);
    QCOMPARE(h.w().lblScore1->text(), u"5"_s);
}

void TestVerdict::enterTwiceCountsTwice()
{
    Harness h;
    h.random.question(1, 7);
    h.start();
    h.typeIntoFocus(u"28"_s);
    h.enterOnFocus();
    h.w().Text3->setFocus(); // back into the box with the mouse
    h.enterOnFocus();
    QCOMPARE(h.w().giuste, 2);
    QCOMPARE(h.w().lblScore->text(), u"2"_s);
    QCOMPARE(h.w().lblScore2->text(), u"2"_s);
}

void TestVerdict::verdictStaysUntilNextQuestion()
{
    Harness h;
    h.random.question(1, 7);
    h.start();
    h.judge(u"27"_s);
    for (int i = 0; i < 3; ++i)
        h.timer.fire();
    QCOMPARE(h.w().lblMessage->text(), u"Sbagliato!! 28"_s);
    h.w().cmdNext_Click();
    QCOMPARE(h.w().lblMessage->text(), QString());
}

void TestVerdict::scoreLabelsGrowWithCounts()
{
    Harness h;
    h.random.question(1, 7);
    h.start();
    const int oneDigit = h.w().lblScore2->width();
    for (int i = 0; i < 100; ++i) {
        h.judge(i % 2 ? u"28"_s : u"1"_s);
    }
    QCOMPARE(h.w().lblScore2->text(), u"100"_s);
    QVERIFY(h.w().lblScore2->width() > oneDigit);
    QVERIFY(h.w().lblScore2->width() >= h.w().lblScore2->fontMetrics().horizontalAdvance(u"100"_s));
    QCOMPARE(h.w().lblScore2->pos(), QPoint(104, 240));
}

// A count past 32767 is an error shown to the user, never a wrapped negative number.
void TestVerdict::overflowEndsTheProgram()
{
    Harness h;
    h.random.question(1, 7);
    h.start();
    h.w().giuste = 32767;
    h.w().Text3->setText(u"28"_s);
    QVERIFY_THROWS_EXCEPTION(std::overflow_error, h.w().Command3_Click());

    Harness sum;
    sum.random.question(1, 7);
    sum.start();
    sum.w().giuste = 32000;
    sum.w().sbagliate = 767;
    sum.w().Text3->setFocus();
    QTest::keyClick(sum.w().Text3, Qt::Key_Return); // wrong: 768 + 32000 is past the limit
    QCOMPARE(sum.quits, QList<int>{1});
    QCOMPARE(sum.dialogs.errors.size(), 1);
    QVERIFY(sum.dialogs.errors[0].startsWith(u"Errore: "_s));
    QVERIFY(!sum.w().lblScore2->text().startsWith(u'-'));
}

void TestVerdict::everyTypingKeyClearsBackgroundAndShowsQuestion_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("judges");
    QTest::newRow("digit") << int(Qt::Key_2) << u"2"_s << false;
    QTest::newRow("letter") << int(Qt::Key_A) << u"a"_s << false;
    QTest::newRow("blank") << int(Qt::Key_Space) << u" "_s << false;
    QTest::newRow("backspace") << int(Qt::Key_Backspace) << u"\b"_s << false;
    QTest::newRow("escape") << int(Qt::Key_Escape) << u"\x1b"_s << false;
    QTest::newRow("return") << int(Qt::Key_Return) << u"\r"_s << true;
    QTest::newRow("keypad enter") << int(Qt::Key_Enter) << u"\r"_s << true;
}

void TestVerdict::everyTypingKeyClearsBackgroundAndShowsQuestion()
{
    QFETCH(int, key);
    QFETCH(QString, text);
    QFETCH(bool, judges);
    Harness h;
    h.random.question(1, 7);
    h.start();
    QVERIFY(QTest::qWaitForWindowActive(&h.w()));
    QVERIFY(QColor(h.w().canvas()->surfaceImage().pixel(5, 5)) != QColor(0xC8, 0xC8, 0xC8));
    h.w().Text3->setText(u"2"_s);
    QKeyEvent press(QEvent::KeyPress, key, key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier, text);
    QApplication::sendEvent(h.w().Text3, &press);
    QCOMPARE(QColor(h.w().canvas()->surfaceImage().pixel(5, 5)), QColor(0xC8, 0xC8, 0xC8));
    QCOMPARE(QColor(h.w().canvas()->surfaceImage().pixel(784, 555)), QColor(0xC8, 0xC8, 0xC8));
    QCOMPARE(h.w().sbagliate + h.w().giuste, judges ? 1 : 0);
    // The verdict hides the question again; any other key leaves it shown.
    QCOMPARE(h.w().lblNum1->isVisible(), !judges);
    QCOMPARE(h.w().lblNum2->isVisible(), !judges);
    QCOMPARE(h.w().Label10->isVisible(), !judges);
    if (key == Qt::Key_A || key == Qt::Key_Space)
        QCOMPARE(h.w().Text3->text(), u"2"_s + text); // no key is filtered
}

namespace {
// The parts of a widget repainted, as its paint events give them.
struct PaintedRegion : QObject
{
    QRegion painted;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            painted += static_cast<QPaintEvent *>(event)->region();
        return false;
    }
};
} // namespace

// Only the first key has a background to clear: the keys after it, and the
// verdict, repaint the controls they change and not the whole window.
void TestVerdict::laterKeysRepaintOnlyWhatChanged()
{
    Harness h;
    h.random.question(1, 7);
    h.start();
    QVERIFY(QTest::qWaitForWindowActive(&h.w()));
    QTest::keyClick(h.w().Text3, Qt::Key_2);
    QTRY_VERIFY(h.w().lblNum1->isVisible());
    QApplication::processEvents();
    PaintedRegion region;
    h.w().canvas()->installEventFilter(&region);
    QTest::keyClick(h.w().Text3, Qt::Key_8);
    QTest::keyClick(h.w().Text3, Qt::Key_Return);
    QTRY_COMPARE(h.w().lblScore->text(), u"1"_s);
    QApplication::processEvents();
    qint64 area = 0;
    for (const QRect &r : region.painted)
        area += qint64(r.width()) * r.height();
    const QSize whole = h.w().canvas()->size();
    QVERIFY2(area < qint64(whole.width()) * whole.height() / 4, qPrintable(QString::number(area)));
}

void TestVerdict::verdictDrawnAheadIsTheOneShown_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<qreal>("scale");
    QTest::addColumn<QString>("shown");
    QTest::newRow("right") << u"28"_s << 1.0 << u"Esatto. Sei forte!!!"_s;
    QTest::newRow("wrong") << u"27"_s << 1.0 << u"Sbagliato!! 28"_s;
    QTest::newRow("right, on a netbook") << u"28"_s << 0.8 << u"Esatto. Sei forte!!!"_s;
    QTest::newRow("wrong, on a netbook") << u"27"_s << 0.8 << u"Sbagliato!! 28"_s;
}

// Both verdicts of a question are drawn while the child thinks: Enter then
// shows one of them without drawing anything anew, and it is exactly the
// verdict the label draws when it has none ready.
void TestVerdict::verdictDrawnAheadIsTheOneShown()
{
    QFETCH(QString, answer);
    QFETCH(qreal, scale);
    QFETCH(QString, shown);
    Harness h;
    h.random.question(1, 7);
    h.w().setDesignScale(scale);
    h.start();
    auto *verdict = static_cast<HaloLabel *>(h.w().lblMessage);
    // A moment after the question is asked.
    QTest::qWait(400);
    const int before = verdict->captionsDrawn();
    QVERIFY(before >= 2);
    h.judge(answer);
    QCOMPARE(verdict->text(), shown);
    const QImage ahead = verdict->grab().toImage();
    QCOMPARE(verdict->captionsDrawn(), before);

    // Forgotten, then drawn when shown.
    verdict->setKeptCaptions(1);
    verdict->setText(u"io"_s);
    verdict->grab();
    verdict->setText(shown);
    const QImage drawn = verdict->grab().toImage();
    QCOMPARE(verdict->captionsDrawn(), before + 2);
    QCOMPARE(ahead, drawn);
}

void TestVerdict::keysThatTypeNothingDoNothing()
{
    Harness h;
    h.start();
    QVERIFY(QTest::qWaitForWindowActive(&h.w()));
    // Alt+N reaches the box as a key while "Nuovo calcolo" is disabled: it
    // is a command all the same, as are the other combinations.
    QVERIFY(!h.w().cmdNext->isEnabled());
    const struct
    {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        QString text;
    } keys[] = {
        {Qt::Key_Shift, Qt::NoModifier, {}},          {Qt::Key_Left, Qt::NoModifier, {}},
        {Qt::Key_F5, Qt::NoModifier, {}},             {Qt::Key_Tab, Qt::NoModifier, u"\t"_s},
        {Qt::Key_Delete, Qt::NoModifier, u"\x7f"_s},  {Qt::Key_N, Qt::AltModifier, u"n"_s},
        {Qt::Key_2, Qt::AltModifier, u"2"_s},         {Qt::Key_N, Qt::AltModifier | Qt::ShiftModifier, u"N"_s},
        {Qt::Key_2, Qt::MetaModifier, u"2"_s},        {Qt::Key_N, Qt::ControlModifier, u"\x0e"_s},
        {Qt::Key_2, Qt::ControlModifier, u"2"_s},     {Qt::Key_Return, Qt::AltModifier, u"\r"_s},
    };
    for (const auto &k : keys) {
        h.w().Text3->setFocus();
        QKeyEvent press(QEvent::KeyPress, k.key, k.modifiers, k.text);
        QApplication::sendEvent(h.w().Text3, &press);
        QVERIFY2(!h.w().lblNum1->isVisible(), qPrintable(k.text));
        QVERIFY(QColor(h.w().canvas()->surfaceImage().pixel(5, 5)) != QColor(0xC8, 0xC8, 0xC8));
        QCOMPARE(h.w().Text3->text(), QString());
        QCOMPARE(h.w().sbagliate + h.w().giuste, 0);
    }
}

// Forty questions answered with real keys, each sent to whatever holds the focus.
void TestVerdict::wholeContestThroughRealKeys()
{
    Harness h;
    const QList<int> factors{3, 7, 10, 1, 5, 9, 2, 8, 4, 6};
    for (int q = 0; q < 41; ++q)
        h.random.question(1 + q % 10, factors[q % factors.size()]);
    h.start();
    QVERIFY(QTest::qWaitForWindowActive(&h.w()));

    int right = 0, wrong = 0;
    for (int q = 0; q < 40; ++q) {
        const int expected = 4 * factors[q % factors.size()];
        QCOMPARE(h.w().Text7->text(), QString::number(expected));
        QCOMPARE(QApplication::focusWidget(), h.w().Text3);
        const bool answerRight = (q % 3) != 1;
        h.agent.log.clear();
        h.typeIntoFocus(QString::number(answerRight ? expected : expected + 1));
        QVERIFY(h.w().lblNum1->isVisible());
        h.enterOnFocus();
        (answerRight ? right : wrong) += 1;

        QCOMPARE(h.w().lblScore->text(), QString::number(right));
        QCOMPARE(h.w().lblScore1->text(), QString::number(wrong));
        QCOMPARE(h.w().lblScore2->text(), QString::number(right + wrong));
        QCOMPARE(h.w().lblMessage->palette().color(QPalette::WindowText),
                 answerRight ? QColor(0, 0, 255) : QColor(255, 0, 0));
        QCOMPARE(h.agent.log.contains(u"Speak Sbagliato"_s), !answerRight);
        QVERIFY(h.agent.log.contains(u"Speak "_s + QString::number(expected)));
        QCOMPARE(QApplication::focusWidget(), h.w().cmdNext);
        h.agent.log.clear();
        h.enterOnFocus(); // the second Enter asks the next question
        QCOMPARE(h.agent.log.mid(5, 2), (QStringList{u"Speak 4"_s, u"Speak per"_s}));
    }
    QCOMPARE(h.w().giuste, right);
    QCOMPARE(h.w().sbagliate, wrong);
}

void TestVerdict::wholeContestOnThePad_data()
{
    QTest::addColumn<bool>("touch");
    QTest::newRow("pointer") << false;
    QTest::newRow("finger") << true;
}

// A child without a keyboard: digits, Cancella and Invio on the pad do what the keys do.
void TestVerdict::wholeContestOnThePad()
{
    QFETCH(bool, touch);
    Harness h;
    const QList<int> factors{7, 3, 10, 6};
    for (int q = 0; q < 5; ++q)
        h.random.question(1, factors[q % factors.size()]);
    // Small enough for the whole window to lie on the test's 800x600 screen, where touches land.
    h.w().setDesignScale(0.6);
    h.w().setTouchScreen(true);
    h.start();
    QVERIFY(QTest::qWaitForWindowActive(&h.w()));
    qint64 now = 0;
    // Far apart, so that no tap is taken for a bounce of the one before.
    h.w().numberPad()->setClock([&now] { return now += 1000; });
    QVERIFY(h.w().numberPad()->isVisible());
    // Beside the design, over none of its controls.
    QVERIFY(h.w().numberPad()->x() >= qRound(785 * 0.6));
    QVERIFY(h.w().numberPad()->geometry().right() < h.w().centralWidget()->width());

    int right = 0, wrong = 0;
    for (int q = 0; q < 4; ++q) {
        const QString expected = QString::number(4 * factors[q]);
        QCOMPARE(QApplication::focusWidget(), h.w().Text3);
        const bool answerRight = q % 2 == 0;
        // A wrong digit first, taken back with Cancella on the right answers.
        const QString typed = answerRight ? expected + u'9' : u"1"_s + expected;
        QVERIFY(!h.w().lblNum1->isVisible());
        for (QChar digit : typed) {
            tap(padKey(h, digit), touch);
            // The question shows from the first key, as typing shows it.
            QVERIFY(h.w().lblNum1->isVisible());
        }
        QCOMPARE(h.w().Text3->text(), typed);
        if (answerRight) {
            tap(padKey(h, u"Cancella"_s), touch);
            QCOMPARE(h.w().Text3->text(), expected);
        }
        // The pad takes no focus from the answer box.
        QCOMPARE(QApplication::focusWidget(), h.w().Text3);
        h.agent.log.clear();
        tap(padKey(h, u"Invio"_s), touch);
        (answerRight ? right : wrong) += 1;
        QCOMPARE(h.w().lblScore->text(), QString::number(right));
        QCOMPARE(h.w().lblScore1->text(), QString::number(wrong));
        QCOMPARE(h.agent.log.contains(u"Speak Sbagliato"_s), !answerRight);
        QCOMPARE(QApplication::focusWidget(), h.w().cmdNext);
        h.agent.log.clear();
        // Invio after the verdict presses "Nuovo calcolo", as the second Enter does.
        tap(padKey(h, u"Invio"_s), touch);
        QCOMPARE(h.agent.log.mid(5, 2), (QStringList{u"Speak 4"_s, u"Speak per"_s}));
        QCOMPARE(h.w().giuste + h.w().sbagliate, right + wrong);
    }
    // The buttons answer a finger as they answer the pointer.
    h.judge(u"0"_s);
    h.agent.log.clear();
    tap(h.w().cmdNext, touch);
    QCOMPARE(h.agent.log.mid(5, 2), (QStringList{u"Speak 4"_s, u"Speak per"_s}));
    h.dialogs.messages.clear();
    tap(h.w().cmdExit1, touch);
    QCOMPARE(h.dialogs.messages.value(0), u"Ciao. Ti aspetto per la prossima sfida "_s);
    QCOMPARE(h.quits, QList<int>{0});
}

void TestVerdict::padKeyBounce_data()
{
    QTest::addColumn<bool>("touch");
    QTest::addColumn<int>("apartMs");
    QTest::addColumn<int>("counted");
    QTest::newRow("pen bounces at once") << false << 0 << 1;
    QTest::newRow("finger taps twice within 149 ms") << true << 149 << 1;
    QTest::newRow("two taps 150 ms apart") << true << 150 << 2;
    QTest::newRow("two taps half a second apart") << false << 500 << 2;
}

// A pen or finger that bounces on the same key types its digit once; a child typing 44 gets 44.
void TestVerdict::padKeyBounce()
{
    QFETCH(bool, touch);
    QFETCH(int, apartMs);
    QFETCH(int, counted);
    Harness h;
    h.w().setDesignScale(0.6);
    h.w().setTouchScreen(true);
    h.start();
    QVERIFY(QTest::qWaitForWindowActive(&h.w()));
    qint64 now = 10000;
    h.w().numberPad()->setClock([&now] { return now; });
    tap(padKey(h, u"4"_s), touch);
    now += apartMs;
    tap(padKey(h, u"4"_s), touch);
    QCOMPARE(h.w().Text3->text(), QString(counted, u'4'));
    // Another key is never a bounce of the last one.
    tap(padKey(h, u"8"_s), touch);
    QCOMPARE(h.w().Text3->text(), QString(counted, u'4') + u'8');
}

QTEST_MAIN(TestVerdict)
void TestVerdict::screenReaderHearsQuestionThenVerdict_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("verdict");
    QTest::newRow("right") << u"28"_s << u"Esatto. Sei forte!!! Risposte esatte: 1 Risposte errate: 0 Risposte totali: 1"_s;
    QTest::newRow("wrong") << u"27"_s << u"Sbagliato!! 28 Risposte esatte: 0 Risposte errate: 1 Risposte totali: 1"_s;
    QTest::newRow("empty") << QString() << u"Sbagliato!! 28 Risposte esatte: 0 Risposte errate: 1 Risposte totali: 1"_s;
}

// What a sighted child sees change is said too: the question once as it is asked, then the
// verdict with the board, after the focus has moved to the next button; typing repeats nothing.
void TestVerdict::screenReaderHearsQuestionThenVerdict()
{
    QFETCH(QString, typed);
    QFETCH(QString, verdict);
    Harness h;
    h.random.question(1, 7);
    h.start();
    QVERIFY(QTest::qWaitForWindowActive(&h.w()));
    QCOMPARE(Harness::announced.count(u"4 per 7"_s), 1);
    Harness::announced.clear();
    h.w().Text3->setFocus();
    QTest::keyClicks(h.w().Text3, typed);
    QTest::keyClick(h.w().Text3, Qt::Key_Return);
    QCOMPARE(Harness::announced, QStringList{verdict});
    QCOMPARE(QApplication::focusWidget(), h.w().cmdNext);
    QCOMPARE(h.w().lblScore2->accessibleName(), u"Risposte totali: 1"_s);
}

#include "tst_verdict.moc"

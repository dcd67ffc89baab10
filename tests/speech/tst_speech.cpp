// SPDX-License-Identifier: GPL-3.0-or-later
// The speech character on its own: the request queue, the character file and the drawing.
#include "characterdata.h"
#include "characterqueue.h"
#include "characterrenderer.h"
#include "announcer.h"
#include "characterlayer.h"
#include "characterperformer.h"
#include "desktopagent.h"
#include "fakespeech.h"
#include "numlett.h"
#include "praise.h"
#include "pronunciation.h"
#include "tavola.h"
#include "espeakengine.h"
#include "speechengine.h"
#include "voice.h"
#include "voicemodule.h"

#include <QAccessible>
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>

#include <cmath>
#include <cstdio>
#include <espeak-ng/speak_lib.h>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <QtTest>

Q_DECLARE_METATYPE(CharacterRequest)

using namespace Qt::StringLiterals;

namespace {

// A performer that keeps real timing: Show, MoveTo and Height are over at
// once, Play and Speak take a while and end on a timer.
class TimedPerformer : public Performer
{
public:
    struct Span
    {
        QString what;
        qint64 start, end = -1;
    };
    QList<Span> spans;
    int active = 0;
    int maxActive = 0;
    int durationMs = 15;
    QElapsedTimer clock;
    QTimer timer;
    std::function<void()> pending;

    TimedPerformer()
    {
        clock.start();
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, &timer, [this] {
            if (auto done = std::exchange(pending, nullptr))
                end(std::move(done));
        });
    }

    void begin(const CharacterRequest &request, std::function<void()> done) override
    {
        spans.append({describe(request), clock.elapsed()});
        maxActive = qMax(maxActive, ++active);
        if (request.kind == CharacterRequest::Play || request.kind == CharacterRequest::Speak) {
            pending = std::move(done);
            timer.start(durationMs);
        } else {
            end(std::move(done));
        }
    }
    void stop() override
    {
        timer.stop();
        pending = nullptr;
        active = 0;
    }
    void end(std::function<void()> done)
    {
        spans.last().end = clock.elapsed();
        --active;
        done();
    }
    QStringList order() const
    {
        QStringList out;
        for (const Span &s : spans)
            out << s.what;
        return out;
    }
};

const QString sourceDir = qEnvironmentVariable("GARIVOLO_TEST_SOURCE_DIR");

std::unique_ptr<SpeechEngine> engineNamed(const QString &name)
{
    if (name == u"espeak-ng"_s)
        return std::make_unique<EspeakEngine>();
    if (name == u"missing module"_s)
        return voiceFromModule(u"/nonexistent/garivolo-voice.so"_s).engine;
    if (name == u"stale module"_s)
        return voiceFromModule(QStringLiteral(GARIVOLO_STALE_VOICE_MODULE)).engine;
    return std::make_unique<FakeEngine>();
}

// The window he lives in, at a design scale, with the answer box under his feet.
struct Stage
{
    QWidget window;
    QLineEdit *answer = nullptr;
    FakeOutput *output = nullptr;
    DesktopAgent agent;

    explicit Stage(const QString &engine, std::unique_ptr<FakeOutput> out = nullptr, qreal scale = 1.0)
        : output(out.get())
        , agent({sourceDir + u"/speech/chars"_s}, engineNamed(engine), std::move(out))
    {
        window.resize(QSize(785, 556) * scale);
        answer = new QLineEdit(&window);
        answer->setGeometry(QRect(QPoint(208, 336) * scale, QSize(457, 75) * scale));
        agent.setHost(&window);
        agent.setDesignScale(scale);
        agent.setKeepClear([this] { return QList<QRect>{answer->geometry()}; });
        window.show();
        agent.Load(u"Merlin"_s, u"C:\\WINDOWS\\msagent\\chars\\Merlin.acs"_s);
    }
    ~Stage() { agent.shutdown(); }
    Character &merlin() { return agent.item(u"Merlin"_s); }
    CharacterLayer *layer() { return window.findChild<CharacterLayer *>(u"Merlin"_s); }
    Balloon *balloon() { return window.findChild<Balloon *>(u"Balloon"_s); }
};

// Counts the times a widget is shown: a screen reader speaks a notification each time.
class ShowCounter : public QObject
{
public:
    explicit ShowCounter(QObject *watched) { watched->installEventFilter(this); }
    int shows = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        shows += event->type() == QEvent::Show;
        return false;
    }
};

// What a performer asks of the window, as a log: balloons, how far they are
// said, announcements and the gestures drawn.
class RecordingStage : public CharacterStage
{
public:
    struct Balloon
    {
        QString text;
        QList<int> said; // in turn, as revealed
    };
    QList<Balloon> balloons;
    QStringList announced;
    bool balloonUp = false;
    bool figureUp = false;
    QStringList gestures; // each animation drawn, once for each run of frames
    QList<int> gestureMs; // the times into it of the frames drawn
    int mouthsOpened = 0; // still pictures drawn with his mouth newly open
    QString problem;      // the first thing the window was asked that makes no sense

    void showFigure(const Figure &figure) override
    {
        figureUp = true;
        drawFigure(figure);
    }
    void drawFigure(const Figure &figure) override
    {
        if (figure.animation.isEmpty()) {
            mouthsOpened += figure.face.mouth != Mouth::Closed && m_mouth == Mouth::Closed;
            m_mouth = figure.face.mouth;
            return;
        }
        if (gestures.isEmpty() || gestures.last() != figure.animation || (!gestureMs.isEmpty() && figure.animationMs < gestureMs.last()))
            gestures << figure.animation;
        gestureMs << figure.animationMs;
    }
    void hideFigure() override { figureUp = false; }
    void showBalloon(const QString &text, int said) override
    {
        balloons.append({text, {said}});
        balloonUp = true;
    }
    void revealBalloon(int said) override
    {
        if (!balloonUp && problem.isEmpty())
            problem = u"said %1 with no balloon up"_s.arg(said);
        else if (said < balloons.last().said.last() && problem.isEmpty())
            problem = u"\"%1\" went back from %2 to %3"_s.arg(balloons.last().text).arg(balloons.last().said.last()).arg(said);
        if (balloonUp)
            balloons.last().said << said;
    }
    void announce(const QString &part) override { announced << part; }
    void dismissBalloon() override { balloonUp = false; }

private:
    Mouth m_mouth = Mouth::Closed;
};

const QStringList kAnimations{u"Announce"_s, u"Greet"_s, u"congratulate"_s, u"domagic1"_s, u"domagic2"_s};

} // namespace

class TestSpeech : public QObject
{
    Q_OBJECT
private slots:
    void longMixedQueueIsPerformedInOrder();
    void requestsMadeWhileBusyWaitTheirTurn();
    void threeSpeaksInARowDoNotOverlap();
    void aLateOrDoubleDoneSkipsNothing();
    void clearStopsAndForgets();
    void dropWaitingLeavesTheCurrentAndTheKept_data();
    void dropWaitingLeavesTheCurrentAndTheKept();

    void unknownAnimationAndUnloadedCharacterAreErrors();
    void badCharacterFiles_data();
    void badCharacterFiles();
    void missingCharacterFileNamesIt();

    void everyAnimationMovesHim_data();
    void everyAnimationMovesHim();
    void transparentAroundHimAtAnyHeight();
    void stillsAreDrawnOnceAndKeptSmall_data();
    void stillsAreDrawnOnceAndKeptSmall();
    void standsWhereTheDesignPutsHim_data();
    void standsWhereTheDesignPutsHim();
    void glidesOnceShown();
    void speechKeepsOrderAndTimeWhateverTheSound_data();
    void speechKeepsOrderAndTimeWhateverTheSound();
    void balloonPagesLongTextsAndAnnouncesEachWord();
    void thePerformerGathersWhatIsSaidInOneGo_data();
    void thePerformerGathersWhatIsSaidInOneGo();

    void everyWordHeSaysIsSaidRight_data();
    void everyWordHeSaysIsSaidRight();
    void aRespelledWordIsRevealedWhole();
    void balloonStaysOnScreenAndOffTheAnswerBox_data();
    void balloonStaysOnScreenAndOffTheAnswerBox();
};

void TestSpeech::longMixedQueueIsPerformedInOrder()
{
    TimedPerformer performer;
    performer.durationMs = 1;
    CharacterQueue queue(performer);
    QStringList asked;
    for (int i = 0; i < 300; ++i) {
        CharacterRequest r;
        switch (i % 5) {
        case 0: r = {CharacterRequest::Show}; break;
        case 1: r = {CharacterRequest::MoveTo, i, 2 * i}; break;
        case 2: r = {CharacterRequest::Play, 0, 0, u"Greet"_s}; break;
        case 3: r = {CharacterRequest::Height, 100 + i}; break;
        default: r = {CharacterRequest::Speak, 0, 0, QString::number(i)}; break;
        }
        asked << describe(r);
        queue.enqueue(r);
    }
    QTRY_VERIFY_WITH_TIMEOUT(!queue.busy(), 10000);
    QCOMPARE(performer.order(), asked);
    QCOMPARE(performer.maxActive, 1);
}

void TestSpeech::requestsMadeWhileBusyWaitTheirTurn()
{
    TimedPerformer performer;
    performer.durationMs = 50;
    CharacterQueue queue(performer);
    queue.enqueue({CharacterRequest::Speak, 0, 0, u"introduzione"_s});
    queue.enqueue({CharacterRequest::Show});
    queue.enqueue({CharacterRequest::Play, 0, 0, u"Greet"_s});
    QCOMPARE(performer.spans.size(), 1);
    QCOMPARE(queue.waiting(), 2u);
    QTRY_COMPARE(performer.spans.size(), 3);
    QVERIFY(performer.spans[1].start >= performer.spans[0].end);
}

void TestSpeech::threeSpeaksInARowDoNotOverlap()
{
    TimedPerformer performer;
    CharacterQueue queue(performer);
    for (const QString &t : {u"4"_s, u"per"_s, u"sette"_s})
        queue.enqueue({CharacterRequest::Speak, 0, 0, t});
    QTRY_VERIFY(!queue.busy());
    QCOMPARE(performer.order(), (QStringList{u"Speak 4"_s, u"Speak per"_s, u"Speak sette"_s}));
    for (int i = 1; i < 3; ++i)
        QVERIFY(performer.spans[i].start >= performer.spans[i - 1].end);
    QCOMPARE(performer.maxActive, 1);
}

void TestSpeech::aLateOrDoubleDoneSkipsNothing()
{
    struct Keeper : Performer
    {
        QList<std::function<void()>> dones;
        QStringList begun;
        void begin(const CharacterRequest &r, std::function<void()> done) override
        {
            begun << describe(r);
            dones << std::move(done);
        }
        void stop() override {}
    } performer;
    CharacterQueue queue(performer);
    queue.enqueue({CharacterRequest::Speak, 0, 0, u"a"_s});
    queue.enqueue({CharacterRequest::Speak, 0, 0, u"b"_s});
    queue.enqueue({CharacterRequest::Speak, 0, 0, u"c"_s});
    performer.dones[0]();
    performer.dones[0](); // a second report of the same end must not finish "b"
    QCOMPARE(performer.begun, (QStringList{u"Speak a"_s, u"Speak b"_s}));
    performer.dones[1]();
    QCOMPARE(performer.begun.size(), 3);
}

void TestSpeech::clearStopsAndForgets()
{
    TimedPerformer performer;
    performer.durationMs = 1000;
    CharacterQueue queue(performer);
    queue.enqueue({CharacterRequest::Speak, 0, 0, u"lungo"_s});
    queue.enqueue({CharacterRequest::Speak, 0, 0, u"dopo"_s});
    queue.clear();
    QVERIFY(!queue.busy());
    QCOMPARE(queue.waiting(), 0u);
    QVERIFY(!performer.timer.isActive());
    queue.enqueue({CharacterRequest::Show});
    QCOMPARE(performer.order().last(), u"Show"_s);
}

void TestSpeech::dropWaitingLeavesTheCurrentAndTheKept_data()
{
    QTest::addColumn<QList<CharacterRequest>>("before");
    QTest::addColumn<QStringList>("performed");
    const CharacterRequest show{CharacterRequest::Show}, move{CharacterRequest::MoveTo, 250, 175};
    const CharacterRequest greet{CharacterRequest::Play, 0, 0, u"Greet"_s};
    const auto say = [](const QString &t, bool kept = false) {
        return CharacterRequest{CharacterRequest::Speak, 0, 0, t, kept};
    };
    QTest::newRow("a dictation not yet begun")
        << QList<CharacterRequest>{show, move, greet, say(u"4"_s), say(u"per"_s), say(u"cinque"_s)}
        << QStringList{u"Show"_s, u"MoveTo 250,175"_s, u"Play Greet"_s, u"Show"_s, u"Play Greet"_s, u"Speak nuova"_s};
    QTest::newRow("the text in progress finishes")
        << QList<CharacterRequest>{say(u"Sbagliato"_s), say(u"8"_s)}
        << QStringList{u"Speak Sbagliato"_s, u"Show"_s, u"Play Greet"_s, u"Speak nuova"_s};
    QTest::newRow("a reached praise line stays, its animation goes")
        << QList<CharacterRequest>{say(u"Esatto"_s), say(u"12"_s), {CharacterRequest::Play, 0, 0, u"congratulate"_s},
                                   say(u"Sei grande"_s, true)}
        << QStringList{u"Speak Esatto"_s, u"Speak Sei grande (kept)"_s, u"Show"_s, u"Play Greet"_s, u"Speak nuova"_s};
    QTest::newRow("the introduction stays behind a kept animation")
        << QList<CharacterRequest>{{CharacterRequest::Play, 0, 0, u"Announce"_s, true}, say(u"Allora"_s, true)}
        << QStringList{u"Play Announce (kept)"_s, u"Speak Allora (kept)"_s, u"Show"_s, u"Play Greet"_s,
                       u"Speak nuova"_s};
    QTest::newRow("nothing waits") << QList<CharacterRequest>{}
                                   << QStringList{u"Show"_s, u"Play Greet"_s, u"Speak nuova"_s};
}

void TestSpeech::dropWaitingLeavesTheCurrentAndTheKept()
{
    QFETCH(QList<CharacterRequest>, before);
    QFETCH(QStringList, performed);
    TimedPerformer performer;
    performer.durationMs = 20;
    CharacterQueue queue(performer);
    for (const CharacterRequest &r : before)
        queue.enqueue(r);
    const std::size_t waited = queue.waiting();
    const std::deque<CharacterRequest> dropped = queue.dropWaiting();
    QCOMPARE(queue.waiting() + dropped.size(), waited);
    for (const CharacterRequest &r : dropped)
        QVERIFY(!r.kept && (r.kind == CharacterRequest::Play || r.kind == CharacterRequest::Speak));
    queue.enqueue({CharacterRequest::Show});
    queue.enqueue({CharacterRequest::Play, 0, 0, u"Greet"_s});
    queue.enqueue({CharacterRequest::Speak, 0, 0, u"nuova"_s});
    QTRY_VERIFY(!queue.busy());
    QCOMPARE(performer.order(), performed);
    QCOMPARE(performer.maxActive, 1);
}

void TestSpeech::unknownAnimationAndUnloadedCharacterAreErrors()
{
    QWidget window;
    DesktopAgent agent({sourceDir + u"/speech/chars"_s}, std::make_unique<FakeEngine>(), nullptr);
    agent.setHost(&window);
    QVERIFY_THROWS_EXCEPTION(CharacterError, agent.item(u"Merlin"_s));
    agent.Load(u"Merlin"_s, u"C:\\WINDOWS\\msagent\\chars\\Merlin.acs"_s);
    Character &merlin = agent.item(u"Merlin"_s);
    for (const QString &name : kAnimations)
        merlin.Play(name);
    QVERIFY_THROWS_EXCEPTION(CharacterError, merlin.Play(u"Dance"_s));
    QVERIFY_THROWS_EXCEPTION(CharacterError, merlin.Play(u"greet"_s)); // names are exact
    QVERIFY_THROWS_EXCEPTION(CharacterError, merlin.setHeight(0));
    QVERIFY_THROWS_EXCEPTION(CharacterError, agent.item(u"Genie"_s));
    agent.shutdown();
}

void TestSpeech::badCharacterFiles_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("reason");
    const QByteArray parts = R"("parts": [{"id": "robe", "pivot": [1, 2]}, {"id": "eyes_open", "pivot": [1, 2]},
        {"id": "eyes_closed", "pivot": [1, 2]}, {"id": "mouth_closed", "pivot": [1, 2]}, {"id": "mouth_open", "pivot": [1, 2]}],
        "face": {"eyesOpen": "eyes_open", "eyesClosed": "eyes_closed", "mouthClosed": "mouth_closed", "mouthOpen": "mouth_open"})";
    const QByteArray head = R"({"format": "garivolo-character-1", "art": "x.svg", )";
    QTest::newRow("not JSON") << QByteArray("{ not json") << u"JSON"_s;
    QTest::newRow("unknown format") << QByteArray(R"({"format": "other", "art": "x.svg"})") << u"formato"_s;
    QTest::newRow("no parts") << head + R"("animations": {}})" << u"parts"_s;
    QTest::newRow("no animations") << head + parts + "}" << u"animations"_s;
    QTest::newRow("animation too short") << head + parts + R"(, "animations": {"Greet": {"duration": 5, "keys": [{"at": 0, "pose": {}}]}}})"
                                         << u"Greet"_s;
    QTest::newRow("animation moves a missing part")
        << head + parts + R"(, "animations": {"Greet": {"duration": 1000, "keys": [{"at": 0, "pose": {"wing": {}}}]}}})"
        << u"wing"_s;
    QTest::newRow("a mouth shape names a missing part")
        << head + parts.chopped(1) + R"(, "mouthRound": "pout"}, "animations": {}})" << u"pout"_s;
    QTest::newRow("a frame with no height")
        << head + parts + R"(, "frame": [0, 0, 200, 0], "animations": {"Greet": {"duration": 1000, "keys": [{"at": 0, "pose": {}}]}}})"
        << u"frame"_s;
    const QByteArray greets = R"(, "animations": {"Greet": {"duration": 1000, "keys": [{"at": 0, "pose": {}}]}})";
    QTest::newRow("no name") << head + parts + greets + "}" << u"name"_s;
    QTest::newRow("a blink as long as the time between two")
        << head + parts + greets + R"(, "name": "Mago", "life": {"blinkEvery": 800, "blink": 800}})" << u"blink"_s;
    QTest::newRow("a balloon too narrow for a word")
        << head + parts + greets + R"(, "name": "Mago", "life": {"balloonWidth": 20}})" << u"balloonWidth"_s;
    QTest::newRow("a breath step that is not a number")
        << head + parts + greets + R"(, "name": "Mago", "life": {"breathStep": "slow"}})" << u"breathStep"_s;
    QTest::newRow("a voice rate in an engine's own units")
        << head + parts + greets + R"(, "name": "Mago", "voice": {"rate": 145}})" << u"rate"_s;
    QTest::newRow("a voice pitch that is not a number")
        << head + parts + greets + R"(, "name": "Mago", "voice": {"pitch": "low"}})" << u"pitch"_s;
    QTest::newRow("a voice of no known language")
        << head + parts + greets + R"(, "name": "Mago", "voice": {"locale": "xx_YY"}})" << u"locale"_s;
    QTest::newRow("face names a missing part")
        << QByteArray(head + parts).replace("\"mouth_open\"}", "\"smile\"}") + R"(, "animations": {}})" << u"smile"_s;
}

void TestSpeech::badCharacterFiles()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, reason);
    try {
        CharacterData::parse(json, u"/chars/Merlin.acs"_s, QByteArray());
        QFAIL("a bad file was accepted");
    } catch (const CharacterError &error) {
        const QString what = QString::fromUtf8(error.what());
        QVERIFY2(what.contains(u"/chars/Merlin.acs"_s) && what.contains(reason), qPrintable(what));
    }
}

void TestSpeech::missingCharacterFileNamesIt()
{
    QTemporaryDir empty;
    DesktopAgent agent({empty.path()}, std::make_unique<FakeEngine>(), nullptr);
    try {
        agent.Load(u"Merlin"_s, u"C:\\WINDOWS\\msagent\\chars\\Merlin.acs"_s);
        QFAIL("a missing file was accepted");
    } catch (const CharacterError &error) {
        QVERIFY(QString::fromUtf8(error.what()).contains(u"Merlin.acs"_s));
    }
    // A file that is there but whose art is missing names the art.
    QFile file(empty.filePath(u"Merlin.acs"_s));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(R"({"format": "garivolo-character-1", "art": "gone.svg"})");
    file.close();
    QVERIFY_THROWS_EXCEPTION(CharacterError, agent.Load(u"Merlin"_s, u"Merlin.acs"_s));
}

void TestSpeech::everyAnimationMovesHim_data()
{
    QTest::addColumn<QString>("animation");
    for (const QString &name : kAnimations)
        QTest::newRow(qPrintable(name)) << name;
}

void TestSpeech::everyAnimationMovesHim()
{
    QFETCH(QString, animation);
    const CharacterData data = CharacterData::load(sourceDir + u"/speech/chars/Merlin.acs"_s);
    const CharacterRenderer renderer(data);
    const QImage idle = renderer.frame(205, {}, {});
    const Animation &a = data.animations.value(animation);
    QVERIFY(a.durationMs >= 1000 && a.durationMs <= 3000);
    const QImage middle = renderer.frame(205, data.poseAt(animation, a.durationMs / 2), {});
    QVERIFY(middle != idle);
    // It ends where it began, so the next request starts from rest.
    QCOMPARE(renderer.frame(205, data.poseAt(animation, a.durationMs), {}), idle);
    // Nothing of him is cut at the edge of his picture at any moment: its border stays clear.
    for (int t = 0; t <= a.durationMs; t += 50) {
        const QImage f = renderer.frame(205, data.poseAt(animation, t), {});
        for (int x = 0; x < f.width(); ++x)
            QVERIFY2(qAlpha(f.pixel(x, 0)) == 0 && qAlpha(f.pixel(x, f.height() - 1)) == 0, qPrintable(QString::number(t)));
        for (int y = 0; y < f.height(); ++y)
            QVERIFY2(qAlpha(f.pixel(0, y)) == 0 && qAlpha(f.pixel(f.width() - 1, y)) == 0, qPrintable(QString::number(t)));
    }
    // Put together from his parts' pictures, as he is shown while he moves, he looks as drawn:
    // at rest to within rounding, in motion to within a little smoothing of edges.
    for (qreal dpr : {1.0, 2.0}) {
        for (int t : {0, a.durationMs / 4, a.durationMs / 2, a.durationMs * 3 / 4}) {
            const Pose pose = data.poseAt(animation, t);
            const QImage drawn = renderer.frame(205, pose, {}, dpr);
            QImage composed(drawn.size(), drawn.format());
            composed.setDevicePixelRatio(dpr);
            composed.fill(Qt::transparent);
            // Where it says it drew is all that is cleared before his next picture.
            const QRect bounds = renderer.compose(composed, 205, pose, {});
            qint64 difference = 0;
            int worst = 0, outside = 0;
            for (int y = 0; y < drawn.height(); ++y) {
                for (int x = 0; x < drawn.width(); ++x) {
                    const QRgb p = drawn.pixel(x, y), q = composed.pixel(x, y);
                    outside += qAlpha(q) != 0 && !bounds.contains(x, y);
                    for (int d : {qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q), qAlpha(p) - qAlpha(q)}) {
                        difference += std::abs(d);
                        worst = qMax(worst, std::abs(d));
                    }
                }
            }
            const double mean = double(difference) / (4.0 * drawn.width() * drawn.height());
            const QString where = u"%1 ms at ratio %2: mean %3, worst %4"_s.arg(t).arg(dpr).arg(mean).arg(worst);
            QVERIFY2(mean < (pose.isEmpty() ? 0.05 : 1.0), qPrintable(where));
            QCOMPARE(outside, 0);
            QVERIFY2(bounds.width() < drawn.width() && bounds.height() < drawn.height(), qPrintable(where));
            if (pose.isEmpty())
                QVERIFY2(worst <= 2, qPrintable(where));
        }
    }
    QVERIFY(renderer.partBytes() < 3 * renderer.frame(205, {}, {}, 2.0).sizeInBytes());
    middle.save(QDir(QCoreApplication::applicationDirPath()).filePath(u"merlin-%1.png"_s.arg(animation)));
}

void TestSpeech::transparentAroundHimAtAnyHeight()
{
    const CharacterData data = CharacterData::load(sourceDir + u"/speech/chars/Merlin.acs"_s);
    const CharacterRenderer renderer(data);
    for (int height : {64, 205, 600}) {
        for (qreal dpr : {1.0, 2.0}) {
            const QImage frame = renderer.frame(height, {}, {}, dpr);
            const QMargins m = renderer.margins(height);
            QCOMPARE(frame.deviceIndependentSize().toSize(),
                     QSize(renderer.widthFor(height) + m.left() + m.right(), height + m.top() + m.bottom()));
            QCOMPARE(frame.devicePixelRatio(), dpr);
            // He fills a good part of his frame, and only a part.
            const QRect box(QPoint(m.left(), m.top()) * dpr, QSize(renderer.widthFor(height), height) * dpr);
            int opaque = 0;
            for (int y = box.top(); y <= box.bottom(); ++y)
                for (int x = box.left(); x <= box.right(); ++x)
                    opaque += qAlpha(frame.pixel(x, y)) == 255;
            const double share = double(opaque) / (box.width() * box.height());
            QVERIFY2(share > 0.25 && share < 0.85, qPrintable(QString::number(share)));
            QCOMPARE(qAlpha(frame.pixel(box.topLeft())), 0);
            QCOMPARE(qAlpha(frame.pixel(box.topRight())), 0);
        }
    }
    // Every mouth is his own drawing, and each looks different.
    QList<QImage> mouths;
    for (Mouth mouth : {Mouth::Closed, Mouth::Open, Mouth::Round, Mouth::Wide, Mouth::Teeth}) {
        const QImage face = renderer.frame(205, {}, {false, mouth});
        QVERIFY(!mouths.contains(face));
        mouths << face;
    }
}

void TestSpeech::stillsAreDrawnOnceAndKeptSmall_data()
{
    QTest::addColumn<int>("height");
    QTest::addColumn<qreal>("dpr");
    QTest::newRow("as the design has him") << 205 << 1.0;
    QTest::newRow("a screen of twice the pixels") << 205 << 2.0;
    QTest::newRow("small") << 64 << 1.0;
    QTest::newRow("a fractional ratio") << 150 << 1.25;
}

// Every still he shows, put together from what was kept, is the very picture
// the renderer draws, and each is drawn once however often it is shown.
void TestSpeech::stillsAreDrawnOnceAndKeptSmall()
{
    QFETCH(int, height);
    QFETCH(qreal, dpr);
    const CharacterData data = CharacterData::load(sourceDir + u"/speech/chars/Merlin.acs"_s);
    const CharacterRenderer renderer(data);
    QList<CharacterRenderer::Face> faces;
    for (bool closed : {false, true})
        for (double breath : {0.0, 0.5, 1.0})
            faces.append({closed, Mouth::Closed, breath});
    for (Mouth mouth : {Mouth::Open, Mouth::Round, Mouth::Wide, Mouth::Teeth})
        faces.append({false, mouth, 0.0});
    QList<QImage> direct;
    for (const CharacterRenderer::Face &face : std::as_const(faces)) {
        direct << renderer.frame(height, {}, face, dpr, false);
        // Or a picture shown for the wrong face could not be seen.
        QVERIFY(direct.indexOf(direct.last()) == direct.size() - 1);
    }

    StillPictures stills;
    int drawn = 0;
    int drawnHeight = height;
    qreal drawnDpr = dpr;
    const auto render = [&](const CharacterRenderer::Face &face) {
        ++drawn;
        return renderer.frame(drawnHeight, {}, face, drawnDpr, false);
    };
    // Out of order, and each twice, as blinks, breaths and words come.
    for (int round = 0; round < 2; ++round) {
        for (int i = faces.size() - 1; i >= 0; --i) {
            const QImage shown = stills.picture(faces[i], height, dpr, render);
            QVERIFY2(shown == direct[i], qPrintable(QString::number(i)));
            QCOMPARE(shown.devicePixelRatio(), dpr);
        }
    }
    QCOMPARE(drawn, int(faces.size()));
    // All ten take less room than three whole pictures: a breath changes most
    // of him, his eyes and mouth only small parts, also in a breath.
    const qsizetype whole = direct.first().sizeInBytes();
    QVERIFY2(stills.keptBytes() < 3 * whole, qPrintable(u"%1 of %2"_s.arg(stills.keptBytes()).arg(whole)));

    // Another height or ratio, and all is drawn anew: his everyday face, the
    // breath he is at and the blink asked for.
    drawnHeight = height + 20;
    QCOMPARE(stills.picture(faces[4], drawnHeight, dpr, render), renderer.frame(drawnHeight, {}, faces[4], dpr, false));
    QCOMPARE(drawn, int(faces.size()) + 3);
    drawnDpr = dpr * 2;
    const QImage sharper = stills.picture(faces[4], drawnHeight, drawnDpr, render);
    QCOMPARE(sharper, renderer.frame(drawnHeight, {}, faces[4], drawnDpr, false));
    QCOMPARE(sharper.devicePixelRatio(), drawnDpr);
    QCOMPARE(drawn, int(faces.size()) + 6);
    stills.clear();
    QCOMPARE(stills.picture(faces[0], drawnHeight, drawnDpr, render), renderer.frame(drawnHeight, {}, faces[0], drawnDpr, false));
    QCOMPARE(drawn, int(faces.size()) + 7);
}

void TestSpeech::standsWhereTheDesignPutsHim_data()
{
    QTest::addColumn<qreal>("scale");
    QTest::newRow("design size") << 1.0;
    QTest::newRow("twice the design") << 2.0;
    QTest::newRow("a small screen") << 0.75;
}

// His place is the design's, in the window: over the answer band, not on
// it, and the answer box under him still takes the clicks.
void TestSpeech::standsWhereTheDesignPutsHim()
{
    QFETCH(qreal, scale);
    Stage stage(u"fake"_s, nullptr, scale);
    Character &merlin = stage.merlin();
    merlin.Show();
    merlin.MoveTo(250, 175);
    merlin.setHeight(205);
    CharacterLayer *layer = stage.layer();
    QVERIFY(layer);
    QCOMPARE(layer->parentWidget(), &stage.window);
    QVERIFY(!layer->isWindow());
    QTRY_VERIFY(layer->isVisible());
    QCOMPARE(layer->geometry(), stage.window.rect());
    QCOMPARE(layer->focusPolicy(), Qt::NoFocus);
    // The height holds at once, before any animation has run: his picture is
    // 205 design pixels high from the first frame, top left where the design
    // puts him in the client area, feet above the answer band (328).
    const QImage drawn = layer->grab().toImage();
    QRect opaque;
    for (int y = 0; y < drawn.height(); ++y)
        for (int x = 0; x < drawn.width(); ++x)
            if (qAlpha(drawn.pixel(x, y)) > 128)
                opaque |= QRect(x, y, 1, 1);
    const qreal dpr = drawn.devicePixelRatio();
    const QRectF figure(opaque.x() / dpr, opaque.y() / dpr, opaque.width() / dpr, opaque.height() / dpr);
    QVERIFY2(figure.height() > 180 * scale && figure.height() < 206 * scale, qPrintable(QString::number(figure.height())));
    QVERIFY2(std::abs(figure.top() - 133 * scale) < 8 * scale, qPrintable(QString::number(figure.top())));
    QVERIFY2(figure.left() > 236 * scale && figure.right() < 410 * scale, qPrintable(QString::number(figure.left())));
    QVERIFY2(figure.bottom() <= 328 * scale, qPrintable(QString::number(figure.bottom())));
    // Clicks go through him to the control under him.
    const QPoint onAnswer = stage.answer->geometry().center();
    QCOMPARE(stage.window.childAt(onAnswer), stage.answer);
    const QPoint onHim = figure.center().toPoint();
    QVERIFY(stage.window.childAt(onHim) != layer);
    stage.agent.shutdown();
    QVERIFY(!layer->isVisible());
}

// Shown, he glides to a new place instead of jumping, and ends exactly there.
void TestSpeech::glidesOnceShown()
{
    Stage stage(u"fake"_s);
    Character &merlin = stage.merlin();
    merlin.Show();
    merlin.MoveTo(250, 175);
    merlin.setHeight(205);
    CharacterLayer *layer = stage.layer();
    const QPoint start = layer->frameRect().topLeft();
    merlin.MoveTo(450, 175);
    QSet<int> seen;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 2000 && layer->frameRect().left() != start.x() + 200) {
        seen << layer->frameRect().left();
        QTest::qWait(10);
    }
    QCOMPARE(layer->frameRect().topLeft(), start + QPoint(200, 0));
    QVERIFY2(seen.size() > 3, "he jumped");
}

void TestSpeech::speechKeepsOrderAndTimeWhateverTheSound_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<int>("output"); // -1: none
    QTest::addColumn<bool>("greets"); // false: the verdict is asked by a later handler, with no greeting between
    for (const QString &engine : {u"fake"_s, u"espeak-ng"_s}) {
        QTest::addRow("%s, no sound", qPrintable(engine)) << engine << -1 << true;
        QTest::addRow("%s, sound", qPrintable(engine)) << engine << int(FakeOutput::Plays) << true;
        QTest::addRow("%s, no device", qPrintable(engine)) << engine << int(FakeOutput::Absent) << true;
        QTest::addRow("%s, device gone mid-way", qPrintable(engine)) << engine << int(FakeOutput::BreaksAfterTwo) << true;
        QTest::addRow("%s, a verdict waiting behind the question", qPrintable(engine))
            << engine << int(FakeOutput::Plays) << false;
        QTest::addRow("%s, device slow to start", qPrintable(engine)) << engine << int(FakeOutput::StartsLate) << true;
        QTest::addRow("%s, device that stalls", qPrintable(engine)) << engine << int(FakeOutput::Stalls) << true;
    }
    // An installation without the program's voice module: silent, with the same timing.
    QTest::addRow("voice module missing") << u"missing module"_s << int(FakeOutput::Absent) << true;
    QTest::addRow("voice module of another version") << u"stale module"_s << int(FakeOutput::Absent) << true;
}

// Whatever the sound does, he says the texts in turn, each taking about as
// long as it would be heard, and warns once if he falls silent.
void TestSpeech::speechKeepsOrderAndTimeWhateverTheSound()
{
    QFETCH(QString, engine);
    QFETCH(int, output);
    QFETCH(bool, greets);
    Stage stage(engine, output < 0 ? nullptr : std::make_unique<FakeOutput>(FakeOutput::Behaviour(output)));
    QSignalSpy silenced(&stage.agent.voice(), &Voice::silenced);
    Character &merlin = stage.merlin();
    Balloon *balloon = stage.balloon();
    QVERIFY(balloon);
    auto *says = balloon->findChild<Announcer *>(u"MerlinSays"_s);
    QVERIFY(says);
    QStringList toldScreenReader;
    QObject::connect(says, &Announcer::said, says, [&](const QString &text) { toldScreenReader << text; });
    const ShowCounter notified(says);
    QStringList shown;
    QElapsedTimer clock;
    clock.start();
    merlin.Show();
    // A question, his greeting, a verdict: each said in one go.
    const QStringList texts{u"4"_s, u"per"_s, u"sette"_s, u"Sbagliato"_s, u"28"_s};
    for (const QString &t : texts.mid(0, 3))
        merlin.Speak(t);
    if (greets)
        merlin.Play(u"Greet"_s);
    else
        QCoreApplication::processEvents(); // the question's handler is over
    for (const QString &t : texts.mid(3))
        merlin.Speak(t);
    const QStringList balloons{u"4 per sette"_s, u"Sbagliato 28"_s};
    // Watch the balloon: each whole from its start, up until the next, its name only growing.
    int gaps = 0;
    QString name;
    bool wasVisible = false;
    while (clock.elapsed() < 15000 && !(shown.size() == 2 && !balloon->isVisible())) {
        QTest::qWait(5);
        const bool visible = balloon->isVisible();
        const QString text = visible ? balloon->speech() : QString();
        if (!text.isEmpty() && (shown.isEmpty() || shown.last() != text)) {
            shown << text;
            name.clear();
        }
        // As a screen reader reads it: the words said, never the text still to come.
        const QString read = QAccessible::queryAccessibleInterface(balloon)->text(QAccessible::Name);
        if (visible) {
            QVERIFY2(read.startsWith(name), qPrintable(read));
            name = read;
        } else {
            QVERIFY(read.isEmpty());
        }
        gaps += wasVisible && !visible && shown.size() < 2;
        wasVisible = visible;
    }
    QCOMPARE(shown, balloons);
    QCOMPARE(gaps, 0);
    QVERIFY(!balloon->isVisible());
    // A screen reader is told each whole, once, as he starts to say it, and nothing again.
    QCOMPARE(toldScreenReader, balloons);
    QCOMPARE(notified.shows, balloons.size());
    // Five short words take a few seconds to say, not nothing and not forever:
    // a device that stalls holds each up only a while.
    const int allowance = output == FakeOutput::Stalls ? 5 * Voice::kStallMs : 0;
    QVERIFY2(clock.elapsed() > 1200 && clock.elapsed() < 12000 + allowance, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(silenced.size(), FakeOutput::plays(output) ? 0 : 1);
    if (stage.output)
        QCOMPARE(stage.output->played(), FakeOutput::plays(output) ? 5 : output == FakeOutput::BreaksAfterTwo ? 2 : 0);
}

// Every text the program can hand him, word by word: the words the
// reviewed list must hold.
void TestSpeech::everyWordHeSaysIsSaidRight_data()
{
    QStringList texts{Tavola::introduction(), u"4"_s, u"per"_s, u"Sbagliato"_s};
    for (int n = 1; n <= 10; ++n) {
        texts << numlett(Currency::fromWhole(n)) << QString::number(4 * n) << numlett(Currency::fromWhole(4 * n));
    }
    for (int shown = 0; shown < 40; ++shown) {
        texts << confirmationAt(shown);
        if (const PraiseStep *step = praiseStepAt(shown))
            texts << QString::fromUtf8(step->line);
    }
    QTest::addColumn<QString>("word");
    QSet<QString> seen;
    for (const QString &text : std::as_const(texts)) {
        for (const QString &word : text.split(QRegularExpression(u"[^\\w]+"_s), Qt::SkipEmptyParts)) {
            const QString key = word.toLower();
            if (!seen.contains(key)) {
                seen.insert(key);
                QTest::newRow(qPrintable(key)) << word;
            }
        }
    }
}

void TestSpeech::everyWordHeSaysIsSaidRight()
{
    QFETCH(QString, word);
    const auto reviewed = Pronunciation::italian().reviewed().constFind(word.toLower());
    QVERIFY2(reviewed != Pronunciation::italian().reviewed().cend(), "a word he says is not in the reviewed list");
    EspeakEngine engine;
    QString why;
    if (!engine.initialise(&why))
        QSKIP(qPrintable(why));
    // The library writes the phonemes it says while it says them: what is heard, respellings and all.
    char *buffer = nullptr;
    size_t size = 0;
    FILE *trace = open_memstream(&buffer, &size);
    espeak_SetPhonemeTrace(espeakPHONEMES_IPA, trace);
    engine.synthesize(word, VoiceSettings{});
    espeak_SetPhonemeTrace(0, nullptr);
    std::fclose(trace);
    const QString said = QString::fromUtf8(buffer, qsizetype(size)).trimmed();
    std::free(buffer);
    QCOMPARE(said, *reviewed);
}

void TestSpeech::aRespelledWordIsRevealedWhole()
{
    QList<int> saidAfter;
    const QString text = u"Ti nomino cavaliere della tabellina"_s;
    const QString input = Pronunciation::italian().respell(text, &saidAfter);
    QCOMPARE(input, u"Ti nomino [["_s + Pronunciation::italian().respellings().value(u"cavaliere"_s).phonemes
                        + u"]] della tabellina"_s);
    QCOMPARE(saidAfter.size(), input.size());
    const qsizetype open = input.indexOf(u"[["_s), close = input.indexOf(u"]]"_s) + 2;
    QCOMPARE(saidAfter.at(open - 1), int(text.indexOf(u"cavaliere"_s)));
    for (qsizetype i = open; i < close; ++i)
        QCOMPARE(saidAfter.at(i), int(text.indexOf(u" della"_s)));
    QCOMPARE(saidAfter.last(), int(text.size()));
    for (const auto &r : Pronunciation::italian().respellings())
        QVERIFY2(!r.reason.isEmpty() && !r.phonemes.isEmpty(), "every respelling says why");

    // With the real engine the words' ends fall on the words of the text, not of what it was handed.
    EspeakEngine engine;
    QString why;
    if (!engine.initialise(&why))
        QSKIP(qPrintable(why));
    const Utterance u = engine.synthesize(text, VoiceSettings{});
    QList<int> ends;
    for (const Utterance::Word &w : u.words)
        ends << w.textEnd;
    QCOMPARE(ends, (QList<int>{2, 9, 19, 25, int(text.size())}));
}

void TestSpeech::balloonStaysOnScreenAndOffTheAnswerBox_data()
{
    QTest::addColumn<QRect>("character");
    QTest::addColumn<QSize>("balloon");
    QTest::addColumn<QList<QRect>>("keepClear");
    const QRect window(0, 0, 785, 556);
    const QRect merlin(246, 133, 149, 205);
    const QRect answer(208, 336, 457, 75);
    const QRect board(0, 0, 225, 297), clock(560, 0, 233, 137);
    const QRect verdict(424, 136, 361, 40);
    const QList<QRect> window_{answer, verdict, board, clock};
    QTest::newRow("a word beside him") << merlin << QSize(60, 44) << window_;
    QTest::newRow("four lines of the introduction") << merlin << QSize(340, 96) << window_;
    QTest::newRow("the longest verdict on show") << merlin << QSize(200, 44)
                                                  << QList<QRect>{answer, QRect(424, 136, 361, 60), board, clock};
    QTest::newRow("at the right edge") << QRect(600, 100, 149, 205) << QSize(200, 96) << QList<QRect>{};
    QTest::newRow("twice the design") << QRect(492, 266, 298, 410) << QSize(680, 192)
                                      << QList<QRect>{QRect(416, 672, 914, 150), QRect(848, 272, 722, 80),
                                                      QRect(0, 0, 450, 594), QRect(1120, 0, 466, 274)};
}

void TestSpeech::balloonStaysOnScreenAndOffTheAnswerBox()
{
    QFETCH(QRect, character);
    QFETCH(QSize, balloon);
    QFETCH(QList<QRect>, keepClear);
    const QRect bounds = QTest::currentDataTag() == QByteArray("twice the design") ? QRect(0, 0, 1570, 1112)
                                                                                   : QRect(0, 0, 785, 556);
    const QRect place = balloonPlace(balloon, character, bounds, keepClear);
    QCOMPARE(place.size(), balloon);
    QVERIFY(bounds.contains(place));
    QVERIFY(!place.intersects(character));
    for (const QRect &k : keepClear)
        QVERIFY2(!place.intersects(k), qPrintable(u"%1,%2"_s.arg(place.x()).arg(place.y())));
}

// The introduction is shown a few lines at a time, at a size a child reads,
// and a screen reader is told each word as it is said.
void TestSpeech::thePerformerGathersWhatIsSaidInOneGo_data()
{
    QTest::addColumn<QStringList>("requests"); // "*name": a gesture; "|": the handler is over
    QTest::addColumn<QStringList>("balloons");
    QTest::addColumn<QStringList>("announced");
    QTest::newRow("a question") << QStringList{u"4"_s, u"per"_s, u"sette"_s} << QStringList{u"4 per sette"_s}
                                << QStringList{u"4 per sette"_s};
    QTest::newRow("a verdict after his greeting")
        << QStringList{u"4"_s, u"per"_s, u"sette"_s, u"*Greet"_s, u"Sbagliato"_s, u"28"_s}
        << QStringList{u"4 per sette"_s, u"Sbagliato 28"_s} << QStringList{u"4 per sette"_s, u"Sbagliato 28"_s};
    QTest::newRow("a verdict asked by a later handler")
        << QStringList{u"4"_s, u"per"_s, u"sette"_s, u"|"_s, u"Esatto"_s, u"28"_s}
        << QStringList{u"4 per sette"_s, u"Esatto 28"_s} << QStringList{u"4 per sette"_s, u"Esatto 28"_s};
    QTest::newRow("a text said twice in one go")
        << QStringList{u"per"_s, u"per"_s} << QStringList{u"per per"_s} << QStringList{u"per per"_s};
    QTest::newRow("the introduction, in its sentences")
        << QStringList{u"*Announce"_s, u"Allora attenzione. Io detto e tu scrivi. Premi invio"_s}
        << QStringList{u"Allora attenzione. Io detto e tu scrivi. Premi invio"_s}
        << QStringList{u"Allora attenzione."_s, u"Io detto e tu scrivi."_s, u"Premi invio"_s};
}

// Without any widget: what is said in one go is one balloon from its start,
// said only forwards, announced once as it begins (a long text in its
// sentences), and taken down a while after its last word.
void TestSpeech::thePerformerGathersWhatIsSaidInOneGo()
{
    QFETCH(QStringList, requests);
    QFETCH(QStringList, balloons);
    QFETCH(QStringList, announced);
    const CharacterData data = CharacterData::load(sourceDir + u"/speech/chars/Merlin.acs"_s);
    Voice voice(std::make_unique<FakeEngine>(), nullptr);
    RecordingStage stage;
    CharacterPerformer performer(data, voice, stage);
    Character &merlin = performer;
    merlin.Show();
    QVERIFY(stage.figureUp);
    QStringList gestures;
    for (const QString &request : std::as_const(requests)) {
        if (request == u"|"_s) {
            QCoreApplication::processEvents();
        } else if (request.startsWith(u'*')) {
            merlin.Play(request.mid(1));
            gestures << request.mid(1);
        } else {
            merlin.Speak(request);
        }
    }
    QTRY_VERIFY_WITH_TIMEOUT(stage.balloons.size() >= balloons.size() && !stage.balloonUp, 40000);
    QVERIFY2(stage.problem.isEmpty(), qPrintable(stage.problem));
    QStringList shown;
    int words = 0;
    for (const RecordingStage::Balloon &balloon : std::as_const(stage.balloons)) {
        shown << balloon.text;
        // Word by word, each as its sound begins: never two at once, none held back to the end.
        for (qsizetype i = 1; i <= balloon.text.size(); ++i) {
            if (i == balloon.text.size() || balloon.text.at(i) == u' ') {
                QVERIFY2(balloon.said.contains(int(i)), qPrintable(balloon.text.left(i)));
                ++words;
            }
        }
    }
    QCOMPARE(shown, balloons);
    // His mouth moves with each word, not only once a text.
    QVERIFY2(stage.mouthsOpened >= words, qPrintable(QString::number(stage.mouthsOpened)));
    QCOMPARE(stage.announced, announced);
    // Each gesture drawn as one run of frames, moving on in time.
    QCOMPARE(stage.gestures, gestures);
    performer.shutdown();
    QVERIFY(!stage.figureUp);
}

void TestSpeech::balloonPagesLongTextsAndAnnouncesEachWord()
{
    QStringList announced;
    QWidget layer;
    Balloon balloon(&layer, u"Merlin"_s);
    const QString text = u"Allora attenzione, iniziamo la nostra avventura con la tabellina del 4. Io detto e tu scrivi "
                         u"il risultato nello spazio sotto di me. Mi raccomando inserisci il risultato e premi invio e "
                         u"poi aspetta che io finisca di parlare e premi ancora invio per avere la domanda successiva"_s;
    balloon.setSpeech(text, 18, 340);
    QVERIFY(balloon.font().pixelSize() >= 16);
    QVERIFY(balloon.lines().size() > Balloon::kMaxLines); // more than one page
    QVERIFY(balloon.width() <= 340);
    QVERIFY(balloon.height() < 4 * 30 + 30);
    QCOMPARE(balloon.lines().join(u' '), text);
    const QFontMetrics metrics(balloon.font());
    for (const QString &line : balloon.lines())
        QVERIFY(metrics.horizontalAdvance(line) <= balloon.width());
    // Only the words said so far are seen, dark on the balloon's light paper.
    const auto inked = [&balloon, &metrics](int fromX, int toX) {
        const QImage shown = balloon.grab().toImage();
        int dark = 0;
        for (int y = 10; y < 10 + metrics.height(); ++y)
            for (int x = fromX; x < toX; ++x)
                dark += qGray(shown.pixel(x, y)) < 128;
        return dark;
    };
    const int afterFirst = 10 + metrics.horizontalAdvance(u"Allora "_s);
    const int lineEnd = 10 + metrics.horizontalAdvance(balloon.lines().first());
    balloon.reveal(6);
    QVERIFY(inked(10, afterFirst) > 20);
    QCOMPARE(inked(afterFirst, lineEnd), 0);
    QCOMPARE(qGray(balloon.grab().toImage().pixel(afterFirst + 4, 10 + metrics.ascent() / 2)), qGray(qRgb(0xFF, 0xFF, 0xE8)));
    balloon.reveal(int(balloon.lines().first().size()));
    QVERIFY(inked(afterFirst, lineEnd) > 20);
    // The name never goes back while the balloon is up: only taking it away empties it.
    balloon.reveal(3);
    QCOMPARE(balloon.accessibleName(), balloon.lines().first());
    balloon.dismiss();
    QCOMPARE(balloon.accessibleName(), QString());
    balloon.setSpeech(text, 18, 340);
    // Word by word, and the last page at the end.
    int said = 0;
    QStringList words = text.split(u' ');
    for (const QString &w : words) {
        said += int(w.size()) + (said ? 1 : 0);
        balloon.reveal(said);
        if (announced.isEmpty() || announced.last() != balloon.accessibleName())
            announced << balloon.accessibleName();
    }
    QCOMPARE(announced.size(), words.size());
    QCOMPARE(announced.first(), u"Allora"_s);
    QCOMPARE(announced.last(), text);
    QVERIFY(balloon.text().contains(u"domanda successiva"_s));
    QVERIFY(!balloon.text().contains(u"Allora"_s));
}

QTEST_MAIN(TestSpeech)
#include "tst_speech.moc"

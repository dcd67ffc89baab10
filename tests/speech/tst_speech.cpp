// SPDX-License-Identifier: GPL-3.0-or-later
// The speech character on its own: the request queue, the character file and the drawing.
#include "characterdata.h"
#include "characterqueue.h"
#include "characterrenderer.h"
#include "characterwindow.h"
#include "desktopagent.h"
#include "speechengine.h"

#include <QApplication>
#include <QElapsedTimer>

#include <cmath>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <QtTest>

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

    void unknownAnimationAndUnloadedCharacterAreErrors();
    void badCharacterFiles_data();
    void badCharacterFiles();
    void missingCharacterFileNamesIt();

    void everyAnimationMovesHim_data();
    void everyAnimationMovesHim();
    void transparentAroundHimAtAnyHeight();
    void showsAtTheAskedPlaceAndHeight();
    void silentSpeechKeepsOrderAndTakesItsTime();

    void italianVoiceSpeaksPlausibly_data();
    void italianVoiceSpeaksPlausibly();
    void theItalianVoiceIsReallySelected();
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

void TestSpeech::unknownAnimationAndUnloadedCharacterAreErrors()
{
    DesktopAgent agent({sourceDir + u"/speech/chars"_s}, std::make_unique<EspeakEngine>(), false);
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
    DesktopAgent agent({empty.path()}, std::make_unique<EspeakEngine>(), false);
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
    middle.save(QDir(QCoreApplication::applicationDirPath()).filePath(u"merlin-%1.png"_s.arg(animation)));
}

void TestSpeech::transparentAroundHimAtAnyHeight()
{
    const CharacterData data = CharacterData::load(sourceDir + u"/speech/chars/Merlin.acs"_s);
    const CharacterRenderer renderer(data);
    for (int height : {64, 205, 600}) {
        const QImage frame = renderer.frame(height, {}, {});
        QCOMPARE(frame.height(), height);
        QCOMPARE(frame.width(), renderer.widthFor(height));
        for (QPoint corner : {QPoint(0, 0), QPoint(frame.width() - 1, 0), QPoint(0, frame.height() - 1),
                              QPoint(frame.width() - 1, frame.height() - 1)})
            QCOMPARE(qAlpha(frame.pixel(corner)), 0);
        int opaque = 0;
        for (int y = 0; y < frame.height(); ++y)
            for (int x = 0; x < frame.width(); ++x)
                opaque += qAlpha(frame.pixel(x, y)) == 255;
        // He fills a good part of his frame, and only a part.
        const double share = double(opaque) / (frame.width() * frame.height());
        QVERIFY2(share > 0.25 && share < 0.85, qPrintable(QString::number(share)));
    }
}

void TestSpeech::showsAtTheAskedPlaceAndHeight()
{
    DesktopAgent agent({sourceDir + u"/speech/chars"_s}, std::make_unique<EspeakEngine>(), false);
    agent.Load(u"Merlin"_s, u"C:\\WINDOWS\\msagent\\chars\\Merlin.acs"_s);
    Character &merlin = agent.item(u"Merlin"_s);
    merlin.Show();
    merlin.MoveTo(250, 175);
    merlin.setHeight(205);
    QWidget *window = nullptr;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == u"Merlin"_s)
            window = w;
    QVERIFY(window);
    QTRY_VERIFY(window->isVisible());
    // He glides there, then grows.
    QTRY_COMPARE(window->pos(), QPoint(250, 175));
    QTRY_COMPARE(window->height(), 205);
    agent.shutdown();
    QVERIFY(!window->isVisible());
}

// Without sound the character does the same things in the same order, each
// utterance lasting about as long as it would be heard.
void TestSpeech::silentSpeechKeepsOrderAndTakesItsTime()
{
    DesktopAgent agent({sourceDir + u"/speech/chars"_s}, std::make_unique<EspeakEngine>(), false);
    agent.Load(u"Merlin"_s, u"Merlin.acs"_s);
    Character &merlin = agent.item(u"Merlin"_s);
    QWidget *balloon = nullptr;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == u"Balloon"_s)
            balloon = w;
    QVERIFY(balloon);
    QStringList shown;
    QElapsedTimer clock;
    clock.start();
    merlin.Show();
    for (const QString &t : {u"4"_s, u"per"_s, u"sette"_s})
        merlin.Speak(t);
    // Watch the balloon: each text in turn, never two at once.
    while (clock.elapsed() < 8000 && shown.size() < 3) {
        QTest::qWait(10);
        const QString name = balloon->isVisible() ? balloon->accessibleName() : QString();
        if (!name.isEmpty() && (shown.isEmpty() || shown.last() != name))
            shown << name;
    }
    QCOMPARE(shown, (QStringList{u"4"_s, u"per"_s, u"sette"_s}));
    QTRY_VERIFY_WITH_TIMEOUT(!balloon->isVisible(), 5000);
    // Three short words take about a second or two to say, not nothing and not forever.
    QVERIFY2(clock.elapsed() > 600 && clock.elapsed() < 6000, qPrintable(QString::number(clock.elapsed())));
    agent.shutdown();
}

void TestSpeech::italianVoiceSpeaksPlausibly_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("minMs");
    QTest::addColumn<int>("maxMs");
    QTest::newRow("quattro") << u"quattro"_s << 300 << 1500;
    QTest::newRow("the introduction")
        << u"Allora attenzione, iniziamo la nostra avventura con la tabellina del 4. Io detto e tu scrivi il risultato "
           u"nello spazio sotto di me. Mi raccomando inserisci il risultato e premi invio e poi aspetta che io finisca "
           u"di parlare e premi ancora invio per avere la domanda successiva"_s
        << 10000 << 40000;
}

void TestSpeech::italianVoiceSpeaksPlausibly()
{
    QFETCH(QString, text);
    QFETCH(int, minMs);
    QFETCH(int, maxMs);
    EspeakEngine engine;
    QString reason;
    QVERIFY2(engine.initialise(VoiceSettings{u"it"_s, 145, 45}, &reason), qPrintable(reason));
    const Utterance u = engine.synthesize(text);
    QVERIFY2(u.durationMs() >= minMs && u.durationMs() <= maxMs, qPrintable(QString::number(u.durationMs())));
    QCOMPARE(u.sampleRate, 22050);
    // Not silence: the loudness of the whole sound is well above zero.
    const auto *samples = reinterpret_cast<const qint16 *>(u.pcm.constData());
    double sum = 0;
    for (qsizetype i = 0; i < u.pcm.size() / 2; ++i)
        sum += double(samples[i]) * samples[i];
    const double rms = std::sqrt(sum / double(u.pcm.size() / 2)) / 32768.0;
    QVERIFY2(rms > 0.02, qPrintable(QString::number(rms)));
    QVERIFY(!u.words.isEmpty());
    QCOMPARE(u.words.last().textEnd <= text.size(), true);
}

void TestSpeech::theItalianVoiceIsReallySelected()
{
    EspeakEngine engine;
    QVERIFY(engine.initialise(VoiceSettings{u"it"_s, 145, 45}, nullptr));
    const QByteArray italian = engine.synthesize(u"quattro per sette"_s).pcm;
    engine.setVoice(VoiceSettings{u"en"_s, 145, 45});
    const QByteArray english = engine.synthesize(u"quattro per sette"_s).pcm;
    engine.setVoice(VoiceSettings{u"it"_s, 145, 45});
    QVERIFY(italian != english);
    // Back to Italian, the same words come out as long as the first time.
    const qsizetype again = engine.synthesize(u"quattro per sette"_s).pcm.size();
    QVERIFY(std::abs(again - italian.size()) < italian.size() / 20);
    QVERIFY(std::abs(english.size() - italian.size()) > italian.size() / 20);
}

void TestSpeech::balloonStaysOnScreenAndOffTheAnswerBox_data()
{
    QTest::addColumn<QRect>("character");
    QTest::addColumn<QSize>("balloon");
    QTest::addColumn<QRect>("keepClear");
    const QRect merlin(250, 175, 158, 205);
    QTest::newRow("short text beside him") << merlin << QSize(120, 40) << QRect(328, 455, 457, 75);
    QTest::newRow("long text over the box goes above it") << merlin << QSize(340, 300) << QRect(328, 455, 457, 75);
    QTest::newRow("window at the top left") << merlin << QSize(340, 300) << QRect(208, 360, 457, 75);
    QTest::newRow("at the right edge") << QRect(900, 100, 120, 160) << QSize(340, 200) << QRect();
    QTest::newRow("box right below the top") << QRect(250, 0, 158, 205) << QSize(340, 200) << QRect(208, 20, 457, 75);
}

void TestSpeech::balloonStaysOnScreenAndOffTheAnswerBox()
{
    QFETCH(QRect, character);
    QFETCH(QSize, balloon);
    QFETCH(QRect, keepClear);
    const QRect screen(0, 0, 1024, 768);
    const QRect place = balloonPlace(balloon, character, screen, keepClear);
    QCOMPARE(place.size(), balloon);
    QVERIFY(screen.contains(place));
    QVERIFY(!place.intersects(keepClear));
}

QTEST_MAIN(TestSpeech)
#include "tst_speech.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// The speech service and its engines, each test over the fake engine and
// espeak-ng alike: what the voice does must not depend on which one speaks.
#include "espeakengine.h"
#include "fakespeech.h"
#include "speechengine.h"
#include "voice.h"

#include <QElapsedTimer>
#include <QSet>
#include <QSignalSpy>
#include <QtTest>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {

const QString kFake = u"fake"_s;
const QString kEspeak = u"espeak-ng"_s;

} // namespace

class TestVoice : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase_data();
    void init();

    void aTextEndsOnTimeAndStopStillReportsIt();
    void aTextKeepsToWhatTheDeviceHasPlayed_data();
    void aTextKeepsToWhatTheDeviceHasPlayed();
    void theMouthFollowsTheTakeThatIsHeard();
    void aHangingDeviceDoesNotHoldHimUp();
    void eachTextIsSaidAsItsSettingsSay_data();
    void eachTextIsSaidAsItsSettingsSay();
    void italianVoiceSpeaksPlausibly_data();
    void italianVoiceSpeaksPlausibly();
    void theItalianVoiceIsReallySelected();
    void mouthFollowsTheSounds_data();
    void mouthFollowsTheSounds();
    void shortSoundsArePaddedForTheServer();

private:
    // A new engine of the kind the test runs over.
    std::unique_ptr<SpeechEngine> engine() const;
    bool fake() const { return m_engine == kFake; }
    QString m_engine;
};

void TestVoice::initTestCase_data()
{
    QTest::addColumn<QString>("engine");
    QTest::newRow("fake") << kFake;
    QTest::newRow("espeak-ng") << kEspeak;
}

void TestVoice::init()
{
    QFETCH_GLOBAL(QString, engine);
    m_engine = engine;
    if (!fake()) {
        QString why;
        if (!EspeakEngine().initialise(&why))
            QSKIP(qPrintable(why));
    }
}

std::unique_ptr<SpeechEngine> TestVoice::engine() const
{
    if (fake())
        return std::make_unique<FakeEngine>();
    return std::make_unique<EspeakEngine>();
}

// A text ends when its sound has had time to be heard, even from a device
// that never reports anything; its samples are all handed over, never much
// ahead of the speaker; stopping cuts them off and still reports the end.
void TestVoice::aTextEndsOnTimeAndStopStillReportsIt()
{
    // Measured first, before the voice's worker has the engine: the library is not to be shared between threads.
    const std::unique_ptr<SpeechEngine> measuring = engine();
    QVERIFY(measuring->initialise(nullptr));
    const int measured = measuring->synthesize(u"quattro"_s, VoiceSettings{}).durationMs();
    auto output = std::make_unique<FakeOutput>(FakeOutput::Plays);
    FakeOutput *device = output.get();
    Voice voice(engine(), std::move(output));
    Utterance first;
    bool over = false;
    QElapsedTimer clock;
    voice.say(u"quattro"_s, VoiceSettings{}, [&](const Utterance &u) { first = u; clock.start(); }, [&] { over = true; });
    QTRY_VERIFY(first.durationMs() > 0);
    const int length = first.durationMs();
    if (fake())
        QCOMPARE(length, 7 * FakeEngine::kLetterMs + FakeEngine::kPauseMs);
    // A real engine's takes of one text differ a little.
    QVERIFY2(std::abs(length - measured) <= measured / 50, qPrintable(u"%1 against %2"_s.arg(length).arg(measured)));
    QTRY_VERIFY_WITH_TIMEOUT(over, 5000);
    QVERIFY2(clock.elapsed() >= length, qPrintable(QString::number(clock.elapsed())));
    const qsizetype expected = first.format.bytesForMs(length);
    QVERIFY2(std::abs(device->lastBytes() - expected) <= (fake() ? 0 : expected / 50),
             qPrintable(u"%1 bytes, %2 expected"_s.arg(device->lastBytes()).arg(expected)));

    bool stopped = false;
    bool started = false;
    const QString longText = u"una lunga frase che non finisce mai di essere detta"_s;
    voice.say(longText, VoiceSettings{}, [&](const Utterance &) { started = true; }, [&] { stopped = true; });
    QTRY_VERIFY(started);
    // Until the worker has long been held back by the limit.
    QTRY_VERIFY_WITH_TIMEOUT(device->lastBytes() >= first.format.bytesForMs(Voice::kAheadMs + 700), 5000);
    // A piece of the engine's (50 ms for the fake, about 60 for espeak-ng)
    // may go past the limit before the worker waits.
    QVERIFY2(device->mostAheadMs() <= Voice::kAheadMs + 80, qPrintable(QString::number(device->mostAheadMs())));
    voice.stop();
    QVERIFY(!stopped); // from the event loop, never inside the caller's stop
    QTRY_VERIFY(stopped);
    // The worker takes texts in turn: once the next has started, the one
    // stopped can have been handed nothing more.
    const qsizetype cut = device->lastBytes();
    bool next = false;
    voice.say(u"per"_s, VoiceSettings{}, [&](const Utterance &) { next = true; }, nullptr);
    QTRY_VERIFY(next);
    const QList<qsizetype> texts = device->bytesByText();
    QCOMPARE(texts.size(), 3);
    QCOMPARE(texts.at(1), cut);
    QVERIFY(cut < first.format.bytesForMs(speechEstimateMs(longText)));
    voice.stop();
}

void TestVoice::aTextKeepsToWhatTheDeviceHasPlayed_data()
{
    QTest::addColumn<int>("output");
    QTest::addColumn<int>("heardAt300"); // where he is 300 ms after the text began, -1: about there
    QTest::addColumn<int>("lateBy");     // how much later than its length the text ends, at least
    QTest::newRow("device on time") << int(FakeOutput::Plays) << -1 << 0;
    // A server just started again takes a while before its first stream plays.
    QTest::newRow("device slow to start") << int(FakeOutput::StartsLate) << 0 << FakeOutput::kLateMs;
    QTest::newRow("device that stalls") << int(FakeOutput::Stalls) << FakeOutput::kStallsAtMs
                                        << Voice::kStallMs - FakeOutput::kStallsAtMs;
    QTest::newRow("device that cannot tell") << int(FakeOutput::Untimed) << -1 << Voice::kLatencyGraceMs;
}


// The words, the mouth and the end of a text follow what the device has
// played of it; a device that stalls holds him up only a while.
void TestVoice::aTextKeepsToWhatTheDeviceHasPlayed()
{
    QFETCH(int, output);
    QFETCH(int, heardAt300);
    QFETCH(int, lateBy);
    Voice voice(engine(), std::make_unique<FakeOutput>(FakeOutput::Behaviour(output)));
    const QString text = u"quattro per sette"_s;
    int length = -1;
    bool over = false;
    QElapsedTimer clock;
    voice.say(text, VoiceSettings{}, [&](const Utterance &u) { length = u.durationMs(); clock.start(); }, [&] { over = true; });
    QTRY_VERIFY(length > 0);
    QTRY_VERIFY(clock.elapsed() >= 300);
    const int heard = voice.heardMs();
    if (heardAt300 < 0)
        QVERIFY2(heard >= 300 && heard < int(clock.elapsed()) + 20, qPrintable(QString::number(heard)));
    else
        QCOMPARE(heard, heardAt300);
    QVERIFY(!over);
    int last = heard;
    while (!over && clock.elapsed() < length + Voice::kStallMs + 3000) {
        QTest::qWait(10);
        const int now = voice.heardMs();
        QVERIFY2(now >= last, qPrintable(u"%1 after %2"_s.arg(now).arg(last)));
        last = now;
    }
    QVERIFY(over);
    // The device's own clock starts with its first samples, a moment before
    // the text reports that it has begun; a few milliseconds are that moment.
    QVERIFY2(clock.elapsed() + 5 >= length + lateBy,
             qPrintable(u"%1 of %2, at least %3 late"_s.arg(clock.elapsed()).arg(length).arg(lateBy)));
    QVERIFY(last >= length);
}


// The text is measured in one take and heard in another: where the two
// differ, the words and the mouth follow the one heard, and the text lasts
// as long as it sounds.
void TestVoice::theMouthFollowsTheTakeThatIsHeard()
{
    if (!fake())
        QSKIP("only the fake's takes can be made to differ at will");
    auto engine = std::make_unique<FakeEngine>();
    engine->driftPercent = 20;
    Voice voice(std::move(engine), std::make_unique<FakeOutput>(FakeOutput::Plays));
    const QString text = u"quattro per sette fa ventotto"_s;
    const int measuredMs = 25 * FakeEngine::kLetterMs + 5 * FakeEngine::kPauseMs;
    Utterance measured, heard;
    bool over = false;
    QElapsedTimer clock;
    voice.say(text, VoiceSettings{}, [&](const Utterance &u) { measured = u; clock.start(); }, [&] { over = true; },
              [&](const Utterance &u) { heard = u; });
    QTRY_VERIFY(!heard.words.isEmpty());
    QCOMPARE(measured.durationMs(), measuredMs);
    QCOMPARE(heard.words.size(), measured.words.size());
    for (qsizetype i = 1; i < heard.words.size(); ++i)
        QCOMPARE(heard.words[i].atMs, measured.words[i].atMs * 6 / 5);
    QCOMPARE(heard.words.last().textEnd, int(text.size()));
    QCOMPARE(heard.visemes.last().atMs, measured.visemes.last().atMs * 6 / 5);
    QTRY_VERIFY_WITH_TIMEOUT(over, 10000);
    QVERIFY2(clock.elapsed() >= measuredMs * 6 / 5, qPrintable(QString::number(clock.elapsed())));
}


// A sound server holds a new stream back until it has a little over a
// kilobyte: "4" alone would never be heard. Longer sounds are left as they are.
void TestVoice::shortSoundsArePaddedForTheServer()
{
    if (!fake())
        QSKIP("the sound server's, whatever the engine");
    const PcmFormat format{22050, 1};
    QVERIFY(600 + PulseAudioOutput::paddingFor(600, format) >= 4096);
    QCOMPARE(PulseAudioOutput::paddingFor(0, format), format.bytesForMs(250));
    QCOMPARE(PulseAudioOutput::paddingFor(format.bytesForMs(2000), format), 0);
}


// A sound server that hangs the worker: the text goes on in silence all the
// same, after one warning, and ends.
void TestVoice::aHangingDeviceDoesNotHoldHimUp()
{
    Voice voice(engine(), std::make_unique<FakeOutput>(FakeOutput::Hangs));
    QSignalSpy silenced(&voice, &Voice::silenced);
    bool over = false;
    voice.say(u"per"_s, VoiceSettings{}, nullptr, [&] { over = true; });
    QTRY_VERIFY_WITH_TIMEOUT(over, Voice::kStartTimeoutMs + speechEstimateMs(u"per"_s) + 2000);
    QCOMPARE(silenced.size(), 1);
}


void TestVoice::mouthFollowsTheSounds_data()
{
    QTest::addColumn<QByteArray>("phoneme");
    QTest::addColumn<int>("mouth");
    QTest::newRow("a opens") << QByteArray("a") << int(Mouth::Open);
    QTest::newRow("o rounds") << QByteArray("o") << int(Mouth::Round);
    QTest::newRow("open o rounds") << QByteArray("O") << int(Mouth::Round);
    QTest::newRow("u rounds") << QByteArray("u") << int(Mouth::Round);
    QTest::newRow("e widens") << QByteArray("e") << int(Mouth::Wide);
    QTest::newRow("i widens") << QByteArray("i") << int(Mouth::Wide);
    QTest::newRow("m shuts") << QByteArray("m") << int(Mouth::Closed);
    QTest::newRow("double p shuts") << QByteArray("p:") << int(Mouth::Closed);
    QTest::newRow("b shuts") << QByteArray("b") << int(Mouth::Closed);
    QTest::newRow("pause shuts") << QByteArray("_:") << int(Mouth::Closed);
    QTest::newRow("f on the lip") << QByteArray("f") << int(Mouth::Teeth);
    QTest::newRow("v on the lip") << QByteArray("v") << int(Mouth::Teeth);
    QTest::newRow("t behind the teeth") << QByteArray("t") << int(Mouth::Wide);
}


void TestVoice::mouthFollowsTheSounds()
{
    if (fake())
        QSKIP("espeak-ng's phonemes");
    QFETCH(QByteArray, phoneme);
    QFETCH(int, mouth);
    QCOMPARE(int(mouthFor(phoneme)), mouth);
}


void TestVoice::eachTextIsSaidAsItsSettingsSay_data()
{
    QTest::addColumn<double>("rate");
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<double>("shortest"); // its length against the usual rate's; 0: not heard
    QTest::addColumn<double>("longest");
    const QLocale italian(QLocale::Italian, QLocale::Italy);
    QTest::newRow("usual") << 0.0 << italian << 0.98 << 1.02;
    QTest::newRow("faster") << 0.6 << italian << 0.4 << 0.85;
    QTest::newRow("slower") << -0.6 << italian << 1.2 << 2.0;
    QTest::newRow("a language without a voice") << 0.0 << QLocale(QLocale::Tongan) << 0.0 << 0.0;
}

// The settings go with each text and hold for it alone: two characters of
// different voices share the service, whichever spoke last.
void TestVoice::eachTextIsSaidAsItsSettingsSay()
{
    QFETCH(double, rate);
    QFETCH(QLocale, locale);
    QFETCH(double, shortest);
    QFETCH(double, longest);
    auto output = std::make_unique<FakeOutput>(FakeOutput::Plays);
    FakeOutput *device = output.get();
    Voice voice(engine(), std::move(output));
    QSignalSpy silenced(&voice, &Voice::silenced);
    const QString text = u"quattro per sette"_s;
    const VoiceSettings usual;
    VoiceSettings other;
    other.rate = rate;
    other.locale = locale;
    QList<int> lengths;
    int over = 0;
    for (const VoiceSettings &settings : {usual, other, usual}) {
        const int before = over;
        voice.say(text, settings, [&](const Utterance &u) { lengths << u.durationMs(); }, [&] { ++over; });
        QTRY_COMPARE_WITH_TIMEOUT(over, before + 1, 10000);
    }
    QCOMPARE(lengths.size(), 3);
    // Back to the usual settings, the same words take as long as the first time.
    QVERIFY2(std::abs(lengths[2] - lengths[0]) <= lengths[0] / 50, qPrintable(u"%1 then %2"_s.arg(lengths[0]).arg(lengths[2])));
    if (shortest == 0) {
        // Said in silence, for about as long as it would be heard, and said why once.
        QCOMPARE(device->played(), 2);
        QCOMPARE(silenced.size(), 1);
        QCOMPARE(lengths[1], speechEstimateMs(text));
        return;
    }
    QCOMPARE(device->played(), 3);
    QCOMPARE(silenced.size(), 0);
    const double ratio = double(lengths[1]) / lengths[0];
    QVERIFY2(ratio >= shortest && ratio <= longest, qPrintable(QString::number(ratio)));
}

void TestVoice::italianVoiceSpeaksPlausibly_data()
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


void TestVoice::italianVoiceSpeaksPlausibly()
{
    QFETCH(QString, text);
    QFETCH(int, minMs);
    QFETCH(int, maxMs);
    const std::unique_ptr<SpeechEngine> engine = this->engine();
    QString reason;
    QVERIFY2(engine->initialise(&reason), qPrintable(reason));
    QByteArray pcm;
    const Utterance u = engine->synthesize(text, VoiceSettings{}, [&pcm](const char *data, qsizetype bytes, const Utterance &) {
        pcm.append(data, bytes);
        return true;
    });
    QVERIFY2(u.durationMs() >= minMs && u.durationMs() <= maxMs, qPrintable(QString::number(u.durationMs())));
    QCOMPARE(pcm.size(), u.bytes);
    // Measured alone, it is as long, within what the library varies from one take to the next.
    QVERIFY(std::abs(engine->synthesize(text, VoiceSettings{}).bytes - u.bytes) < u.bytes / 50);
    if (!fake()) {
        QCOMPARE(u.format.sampleRate, 22050);
        // Not silence: the loudness of the whole sound is well above zero.
        const auto *samples = reinterpret_cast<const qint16 *>(pcm.constData());
        double sum = 0;
        for (qsizetype i = 0; i < pcm.size() / 2; ++i)
            sum += double(samples[i]) * samples[i];
        const double rms = std::sqrt(sum / double(pcm.size() / 2)) / 32768.0;
        QVERIFY2(rms > 0.02, qPrintable(QString::number(rms)));
        // The first word shows when its sound begins, not at the silence
        // before it ("quattro" starts with the closure of its k).
        qsizetype loud = 0;
        while (loud < pcm.size() / 2 && std::abs(samples[loud]) < 32768 / 20)
            ++loud;
        const int onsetMs = int(loud * 1000 / u.format.sampleRate);
        QVERIFY2(std::abs(u.words.first().atMs - onsetMs) <= 25,
                 qPrintable(u"shown at %1 ms, heard from %2 ms"_s.arg(u.words.first().atMs).arg(onsetMs)));
    }
    QVERIFY(!u.words.isEmpty());
    QCOMPARE(u.words.last().textEnd <= text.size(), true);
    // The mouth moves with the sound, in time order, several shapes, and is shut at the end.
    QVERIFY(u.visemes.size() > 3);
    QSet<int> shapes;
    for (qsizetype i = 0; i < u.visemes.size(); ++i) {
        shapes << int(u.visemes[i].mouth);
        if (i > 0)
            QVERIFY(u.visemes[i].atMs > u.visemes[i - 1].atMs);
    }
    QVERIFY(shapes.size() >= 3);
    QCOMPARE(u.mouthAt(u.durationMs()), Mouth::Closed);
    QCOMPARE(u.mouthAt(-1), Mouth::Closed);
    QVERIFY(u.mouthAt(u.words.first().atMs + 60) != Mouth::Closed || u.mouthAt(u.words.first().atMs + 120) != Mouth::Closed);
}


void TestVoice::theItalianVoiceIsReallySelected()
{
    if (fake())
        QSKIP("espeak-ng's voices");
    EspeakEngine engine;
    QVERIFY(engine.initialise(nullptr));
    VoiceSettings settings;
    auto samples = [&engine, &settings] {
        QByteArray pcm;
        engine.synthesize(u"quattro per sette"_s, settings, [&pcm](const char *data, qsizetype bytes, const Utterance &) {
            pcm.append(data, bytes);
            return true;
        });
        return pcm;
    };
    const QByteArray italian = samples();
    settings.locale = QLocale(QLocale::English);
    const QByteArray english = samples();
    settings.locale = QLocale(QLocale::Italian);
    QVERIFY(italian != english);
    // Back to Italian, the same words come out as long as the first time.
    const qsizetype again = samples().size();
    QVERIFY(std::abs(again - italian.size()) < italian.size() / 20);
    QVERIFY(std::abs(english.size() - italian.size()) > italian.size() / 20);
    // A sink that wants no more stops the text there.
    qsizetype taken = 0;
    engine.synthesize(u"quattro per sette"_s, settings, [&taken](const char *, qsizetype bytes, const Utterance &) {
        taken += bytes;
        return false;
    });
    QVERIFY(taken > 0 && taken < italian.size() / 2);
}


QTEST_GUILESS_MAIN(TestVoice)
#include "tst_voice.moc"

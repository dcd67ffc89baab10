// SPDX-License-Identifier: GPL-3.0-or-later
#include "characterdata.h"
#include "checked16.h"
#include "contrast.h"
#include "countdown.h"
#include "gradient.h"
#include "praise.h"
#include "randomsource.h"

#include <QImage>
#include <QPainter>
#include <QSet>
#include <QTest>

#include <array>
#include <limits>
#include <utility>

namespace {

constexpr quint64 kEpoch = 1'765'000'000'000'000'000ULL;
constexpr quint64 kMillisecond = 1'000'000;

// A clock that moves one millisecond each time the drill reads it.
struct SteppingClock
{
    quint64 now = kEpoch;
    quint64 operator()() { return std::exchange(now, now + kMillisecond); }
};

double chiSquareUniform(const std::array<int, 10> &counts, int total)
{
    const double expected = total / 10.0;
    double chi = 0;
    for (int c : counts)
        chi += (c - expected) * (c - expected) / expected;
    return chi;
}

} // namespace

class TestDrill : public QObject
{
    Q_OBJECT

private slots:
    void checked16_data()
    {
        QTest::addColumn<bool>("multiply");
        QTest::addColumn<qint32>("a");
        QTest::addColumn<qint32>("b");
        QTest::addColumn<bool>("overflows");
        QTest::addColumn<int>("result");
        QTest::newRow("add reaches 32767") << false << 32766 << 1 << false << 32767;
        QTest::newRow("add passes 32767") << false << 32767 << 1 << true << 0;
        QTest::newRow("add reaches -32768") << false << -32767 << -1 << false << -32768;
        QTest::newRow("add passes -32768") << false << -32768 << -1 << true << 0;
        QTest::newRow("add wraps 32 bits") << false << std::numeric_limits<qint32>::max() << 1 << true << 0;
        QTest::newRow("mul reaches 32767") << true << 32767 << 1 << false << 32767;
        QTest::newRow("mul passes 32767") << true << 256 << 128 << true << 0;
        QTest::newRow("mul reaches -32768") << true << -256 << 128 << false << -32768;
        QTest::newRow("mul negates -32768") << true << -1 << -32768 << true << 0;
        QTest::newRow("mul wraps to 0 in 32 bits") << true << 65536 << 65536 << true << 0;
    }
    void checked16()
    {
        QFETCH(bool, multiply);
        QFETCH(qint32, a);
        QFETCH(qint32, b);
        QFETCH(bool, overflows);
        QFETCH(int, result);
        const auto run = [&] { return multiply ? mul16(a, b) : add16(a, b); };
        if (!overflows) {
            QCOMPARE(int(run()), result);
            return;
        }
        QVERIFY_THROWS_EXCEPTION(OverflowError, run());
        QVERIFY_THROWS_EXCEPTION(std::overflow_error, run()); // callers may catch the standard type
    }

    void format00_data()
    {
        QTest::addColumn<qint64>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << qint64(0) << "00";
        QTest::newRow("7") << qint64(7) << "07";
        QTest::newRow("12") << qint64(12) << "12";
        QTest::newRow("123") << qint64(123) << "123";
        QTest::newRow("-1") << qint64(-1) << "-01";
        QTest::newRow("-12") << qint64(-12) << "-12";
    }
    void format00()
    {
        QFETCH(qint64, value);
        QFETCH(QString, text);
        QCOMPARE(::format00(value), text);
    }

    void countdownStep_data()
    {
        QTest::addColumn<int>("ore");
        QTest::addColumn<int>("minuti");
        QTest::addColumn<int>("secondi");
        QTest::addColumn<QString>("after");
        QTest::newRow("plain second") << 0 << 7 << 30 << "00:07:29";
        QTest::newRow("borrow a minute") << 0 << 7 << 0 << "00:06:59";
        QTest::newRow("borrow an hour") << 1 << 0 << 0 << "00:59:59";
        QTest::newRow("hours stay") << 2 << 5 << 0 << "02:04:59";
        QTest::newRow("last second") << 0 << 0 << 1 << "00:00:00";
        QTest::newRow("past zero") << 0 << 0 << 0 << "00:00:-01";
        QTest::newRow("negative minutes borrow nothing") << 0 << -1 << 0 << "00:-01:-01";
    }
    void countdownStep()
    {
        QFETCH(int, ore);
        QFETCH(int, minuti);
        QFETCH(int, secondi);
        QFETCH(QString, after);
        Countdown c{qint16(ore), qint16(minuti), float(secondi)};
        c.stepBack();
        QCOMPARE(c.text(), after);
    }

    void countdownFromStart()
    {
        Countdown c{3, -4, 17.0f};
        c.start();
        QCOMPARE(c.text(), QStringLiteral("00:07:00"));
        QCOMPARE(startCaption(), QStringLiteral("00.07.00"));
        const QHash<int, QString> checkpoints{{1, "00:06:59"}, {60, "00:06:00"}, {61, "00:05:59"}};
        for (int step = 1; step <= kContestSeconds; ++step) {
            c.stepBack();
            const QString text = c.text();
            const QByteArray where = QStringLiteral("step %1: %2").arg(step).arg(text).toUtf8();
            QVERIFY2(!text.contains(u'-'), where);
            // The contest ends on the first "00:00:00", so it must not show early.
            QVERIFY2((text == QLatin1String(kTimeUp)) == (step == kContestSeconds), where);
            if (checkpoints.contains(step))
                QCOMPARE(text, checkpoints[step]);
        }
    }

    void drawOneToTen_data()
    {
        QTest::addColumn<double>("r");
        QTest::addColumn<int>("drawn");
        QTest::newRow("0") << 0.0 << 1;
        QTest::newRow("just under 0.1") << 0.0999999 << 1;
        QTest::newRow("0.1") << 0.1 << 2;
        QTest::newRow("0.9") << 0.9 << 10;
        QTest::newRow("just under 1") << 0.9999999 << 10;
    }
    void drawOneToTen()
    {
        QFETCH(double, r);
        QFETCH(int, drawn);
        QCOMPARE(::drawOneToTen(r), drawn);
    }

    void sameSeedSameSequence()
    {
        const auto clock = [] { return kEpoch + 123'456'789; };
        ClockSeededRandom a(clock), b(clock);
        a.seedFromClock();
        b.seedFromClock();
        std::array<double, 8> first{};
        for (double &r : first) {
            r = a.next();
            QCOMPARE(b.next(), r);
        }
        QVERIFY(first[0] != first[1]);
        // Reseeding restarts the sequence rather than continuing it.
        a.seedFromClock();
        for (double r : first)
            QCOMPARE(a.next(), r);
    }

    void questionsAreUniformAndIndependent()
    {
        constexpr int questions = 10'000;
        SteppingClock clock;
        ClockSeededRandom random(std::ref(clock));
        std::array<std::array<int, 10>, 10> pairs{};
        std::array<int, 10> num2Counts{}, fattoreCounts{};
        for (int q = 0; q < questions; ++q) {
            random.seedFromClock();
            const double r1 = random.next(), r2 = random.next();
            QVERIFY(r1 >= 0.0 && r1 < 1.0 && r2 >= 0.0 && r2 < 1.0);
            const int num2 = ::drawOneToTen(r1) - 1, fattore = ::drawOneToTen(r2) - 1;
            ++num2Counts[num2];
            ++fattoreCounts[fattore];
            ++pairs[num2][fattore];
        }
        QCOMPARE(clock.now, kEpoch + questions * kMillisecond);

        // Critical values at the 0.1% level for 9 and 81 degrees of freedom.
        const double chiNum2 = chiSquareUniform(num2Counts, questions);
        const double chiFattore = chiSquareUniform(fattoreCounts, questions);
        QVERIFY2(chiNum2 < 27.9, QByteArray::number(chiNum2));
        QVERIFY2(chiFattore < 27.9, QByteArray::number(chiFattore));
        double chiPairs = 0;
        for (int i = 0; i < 10; ++i) {
            for (int j = 0; j < 10; ++j) {
                const double expected = double(num2Counts[i]) * fattoreCounts[j] / questions;
                chiPairs += (pairs[i][j] - expected) * (pairs[i][j] - expected) / expected;
            }
        }
        QVERIFY2(chiPairs < 126.0, QByteArray::number(chiPairs));
    }

    void millisecondSeedsGiveDifferentQuestions()
    {
        SteppingClock clock;
        ClockSeededRandom random(std::ref(clock));
        QSet<int> num2Seen, fattoreSeen;
        for (int q = 0; q < 20; ++q) {
            random.seedFromClock();
            num2Seen.insert(::drawOneToTen(random.next()));
            fattoreSeen.insert(::drawOneToTen(random.next()));
        }
        // Fair draws give fewer than 6 values in 20 about once in 4000; a clock
        // used at a coarser grain than the millisecond gives one or two.
        QVERIFY2(num2Seen.size() >= 6, QByteArray::number(num2Seen.size()));
        QVERIFY2(fattoreSeen.size() >= 6, QByteArray::number(fattoreSeen.size()));
    }

    // A misspelt name here would end a child's contest with an error box.
    void everyAnimationAskedIsInTheShippedCharacter()
    {
        const QString file = qEnvironmentVariable("GARIVOLO_TEST_SOURCE_DIR") + QStringLiteral("/speech/chars/Merlin.acs");
        const CharacterData merlin = CharacterData::load(file);
        const QStringList asked = animationsAsked();
        QVERIFY(asked.contains(QStringLiteral("Greet")));
        for (const PraiseStep &step : praiseLadder())
            QVERIFY2(asked.contains(QLatin1String(step.animation)), step.animation);
        for (const QString &name : asked)
            QVERIFY2(merlin.animations.contains(name), qPrintable(name + QStringLiteral(" in ") + file));
    }

    void contrast_data()
    {
        QTest::addColumn<QColor>("text");
        QTest::addColumn<QColor>("back");
        QTest::addColumn<double>("ratio");
        QTest::newRow("black on white") << QColor(Qt::black) << QColor(Qt::white) << 21.0;
        QTest::newRow("same colour") << QColor(0xC0, 0, 0xC0) << QColor(0xC0, 0, 0xC0) << 1.0;
        QTest::newRow("either way round") << QColor(Qt::white) << QColor(Qt::black) << 21.0;
        QTest::newRow("light yellow on cyan") << QColor(0xFF, 0xFF, 0x80) << QColor(0, 0xFF, 0xFF) << 1.19;
        QTest::newRow("yellow on cyan") << QColor(0xFF, 0xFF, 0) << QColor(0, 0xFF, 0xFF) << 1.17;
        QTest::newRow("yellow on grey") << QColor(0xFF, 0xFF, 0) << QColor(0xC8, 0xC8, 0xC8) << 1.56;
        QTest::newRow("mid grey on white") << QColor(0x76, 0x76, 0x76) << QColor(Qt::white) << 4.54;
    }
    void contrast()
    {
        QFETCH(QColor, text);
        QFETCH(QColor, back);
        QFETCH(double, ratio);
        QVERIFY2(qAbs(contrastRatio(text, back) - ratio) < 0.01, QByteArray::number(contrastRatio(text, back)));
    }

    void praiseNowhereElse()
    {
        const QSet<int> rungs{2, 5, 10, 13, 14, 18, 23, 27};
        const QSet<int> named{3, 7, 12, 21, 26};
        for (int score = 0; score <= 40; ++score) {
            const QByteArray where = QByteArray::number(score);
            if (!rungs.contains(score))
                QVERIFY2(praiseStepAt(score) == nullptr, where);
            QVERIFY2(namesChildAt(score) == named.contains(score), where);
        }
    }

    void confirmation_data()
    {
        QTest::addColumn<int>("score");
        QTest::addColumn<QString>("word");
        QTest::newRow("0") << 0 << "Esatto";
        QTest::newRow("9") << 9 << "Esatto";
        QTest::newRow("10 is left to the ladder") << 10 << "";
        QTest::newRow("11") << 11 << "Giusto";
    }
    void confirmation()
    {
        QFETCH(int, score);
        QFETCH(QString, word);
        QCOMPARE(confirmationAt(score), word);
    }

    void gradient_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("red");
        QTest::addColumn<int>("green");
        QTest::newRow("window 785x556") << QSize(785, 556) << 40 << 200;
        QTest::newRow("one row per band") << QSize(64, 256) << 0 << 0;
        QTest::newRow("two rows per band") << QSize(64, 512) << 255 << 255;
        QTest::newRow("uneven 300") << QSize(33, 300) << 128 << 7;
        QTest::newRow("tall 1000") << QSize(17, 1000) << 1 << 254;
    }
    void gradient()
    {
        QFETCH(QSize, size);
        QFETCH(int, red);
        QFETCH(int, green);
        QImage surface(size, QImage::Format_RGB32);
        const QRgb previous = qRgb(250, 3, 77);
        surface.fill(previous);
        {
            QPainter painter(&surface);
            paintGradient(painter, size, red, green);
        }

        const int h = size.height(), minBand = h / 256, maxBand = (h + 255) / 256;
        int lastBlue = -1, bandRows = 0;
        for (int y = 0; y < h; ++y) {
            const auto *row = reinterpret_cast<const QRgb *>(surface.constScanLine(y));
            for (int x = 0; x < size.width(); ++x) {
                if (row[x] != row[0] || row[x] == previous)
                    QFAIL(qPrintable(QStringLiteral("pixel %1,%2 is %3").arg(x).arg(y).arg(row[x], 0, 16)));
            }
            QCOMPARE(qRed(row[0]), red);
            QCOMPARE(qGreen(row[0]), green);
            const int blue = qBlue(row[0]);
            const QByteArray where = QStringLiteral("row %1: blue %2 after %3").arg(y).arg(blue).arg(lastBlue).toUtf8();
            QVERIFY2(y == 0 ? blue == 0 : (blue == lastBlue || blue == lastBlue + 1), where);
            if (blue != lastBlue && y > 0) {
                // Bands share the height evenly.
                QVERIFY2(bandRows >= minBand && bandRows <= maxBand, where);
                bandRows = 0;
            }
            ++bandRows;
            lastBlue = blue;
        }
        QCOMPARE(lastBlue, 255);
        QVERIFY(bandRows >= minBand && bandRows <= maxBand);
    }
};

QTEST_MAIN(TestDrill)
#include "tst_drill.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// The record helper as real processes: killed mid-save, racing and paused.
#include "recordfiles.h"
#include "recordstore.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

using Pair = std::pair<QByteArray, QByteArray>;

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray readBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

Pair readPair(const QString &dir)
{
    return {readBytes(dir + u"/atabvenr4.txt"_s), readBytes(dir + u"/ntabvenr4.txt"_s)};
}

// A name as the window hands it to the helper: its size in bytes, a line feed, the name.
QByteArray framed(const QByteArray &name)
{
    return QByteArray::number(name.size()) + '\n' + name;
}

// Starts a helper saving a record; the name goes on its standard input.
void startSave(QProcess &p, const QString &program, const QString &dir, const QString &score, const QByteArray &name,
               const QStringList &prefix = {})
{
    if (prefix.isEmpty()) {
        p.setProgram(program);
        p.setArguments({u"--dir"_s, dir, u"save"_s, score});
    } else {
        p.setProgram(prefix.first());
        p.setArguments(prefix.mid(1) + QStringList{program, u"save"_s, score});
    }
    p.start();
    QVERIFY(p.waitForStarted());
    p.write(framed(name));
    p.closeWriteChannel();
}

int run(const QString &program, const QStringList &args, const QByteArray &input = {},
        const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForStarted())
        return -1;
    p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(30000);
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

char processState(qint64 pid)
{
    QFile stat(u"/proc/%1/stat"_s.arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return '?';
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close >= 0 && close + 2 < line.size() ? line.at(close + 2) : '?';
}

// The pair as a start-up gets it from the helper.
Pair readThroughHelper(const QString &dir)
{
    QProcess p;
    p.start(QStringLiteral(GARIVOLO_HELPER), {u"--dir"_s, dir, u"read"_s});
    if (!p.waitForFinished() || p.exitCode() != 0)
        return {"<failed>", p.readAllStandardError()};
    const QByteArray out = p.readAllStandardOutput();
    const qsizetype newline = out.indexOf('\n');
    const QList<QByteArray> sizes = out.left(newline).split(' ');
    return {out.mid(newline + 1, sizes.value(0).toInt()), out.mid(newline + 1 + sizes.value(0).toInt())};
}

const QStringList kAllFiles{u".garivolo-journal"_s, u".garivolo-lock"_s, u"atabvenr4.txt"_s, u"ntabvenr4.txt"_s};
const Pair kOld{"5\r\n", "Anna\r\n"};
const Pair kNew{"9\r\n", "Bea\r\n"};

} // namespace

class TestRecordStore : public QObject
{
    Q_OBJECT
private slots:
    void killedAtEveryStepLeavesOldOrNewPair_data()
    {
        QTest::addColumn<int>("step");
        QTest::addColumn<bool>("decided"); // the journal was whole before the kill
        const char *names[] = {"locked",        "journal half written", "journal written", "score half written",
                               "score written", "name half written",    "name written",    "journal cleared"};
        for (int s = 1; s <= kSaveSteps; ++s)
            QTest::newRow(names[s - 1]) << s << (s >= int(SaveStep::JournalWritten));
    }
    void killedAtEveryStepLeavesOldOrNewPair()
    {
        QFETCH(int, step);
        QFETCH(bool, decided);
        for (int round = 0; round < 20; ++round) {
            QTemporaryDir dir;
            writeBytes(dir.filePath(u"atabvenr4.txt"_s), kOld.first);
            writeBytes(dir.filePath(u"ntabvenr4.txt"_s), kOld.second);
            QProcess saver;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(u"GARIVOLO_RECORD_STOP_AT"_s, QString::number(step));
            saver.setProcessEnvironment(env);
            startSave(saver, QStringLiteral(GARIVOLO_HELPER_STOPS), dir.path(), u"9"_s, "Bea");
            QVERIFY(saver.waitForFinished());
            QCOMPARE(saver.exitStatus(), QProcess::CrashExit);

            // The next start-up reads through the helper, which finishes or drops the save first.
            QCOMPARE(readThroughHelper(dir.path()), decided ? kNew : kOld);
            QCOMPARE(readPair(dir.path()), decided ? kNew : kOld);
            QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), kAllFiles);
            QCOMPARE(readBytes(dir.filePath(u".garivolo-journal"_s)), QByteArray());
        }
    }

    // A save killed before it was decided must not block a later save.
    void aSaveAfterAKillWorks()
    {
        QTemporaryDir dir;
        QProcess saver;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"GARIVOLO_RECORD_STOP_AT"_s, QString::number(int(SaveStep::JournalHalfWritten)));
        saver.setProcessEnvironment(env);
        startSave(saver, QStringLiteral(GARIVOLO_HELPER_STOPS), dir.path(), u"9"_s, "Bea");
        QVERIFY(saver.waitForFinished());
        QCOMPARE(run(QStringLiteral(GARIVOLO_HELPER), {u"--dir"_s, dir.path(), u"save"_s, u"3"_s}, framed("Ciro")), 0);
        QCOMPARE(readPair(dir.path()), Pair("3\r\n", "Ciro\r\n"));
    }

    void twoSavesAtOnceLeaveOnePair()
    {
        QTemporaryDir dir;
        for (int round = 0; round < 200; ++round) {
            writeBytes(dir.filePath(u"atabvenr4.txt"_s), "0\r\n");
            writeBytes(dir.filePath(u"ntabvenr4.txt"_s), "Nessuno\r\n");
            QProcess a, b;
            const QString lower = QString::number(10 + round), higher = QString::number(11 + round);
            startSave(a, QStringLiteral(GARIVOLO_HELPER), dir.path(), lower, "Alba");
            startSave(b, QStringLiteral(GARIVOLO_HELPER), dir.path(), higher, "Bruno");
            QVERIFY(a.waitForFinished() && b.waitForFinished());
            // The higher score always stands: the lower one either came first or finds it and writes nothing.
            QCOMPARE(b.exitCode(), 0);
            QVERIFY(a.exitCode() == 0 || a.exitCode() == 3);
            QCOMPARE(readPair(dir.path()), Pair(higher.toLatin1() + "\r\n", "Bruno\r\n"));
        }
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), kAllFiles);
    }

    void aRecordIsNeverLowered()
    {
        QTemporaryDir dir;
        writeBytes(dir.filePath(u"atabvenr4.txt"_s), "12\r\n");
        writeBytes(dir.filePath(u"ntabvenr4.txt"_s), "Anna\r\n");
        for (const QString &score : {u"12"_s, u"11"_s, u"0"_s})
            QCOMPARE(run(QStringLiteral(GARIVOLO_HELPER), {u"--dir"_s, dir.path(), u"save"_s, score}, framed("Bea")), 3);
        QCOMPARE(readPair(dir.path()), Pair("12\r\n", "Anna\r\n"));
    }

    // A save paused while it holds the lock delays a start-up or another save
    // by the wait only: the start-up gets no record, the save a named refusal.
    void aPausedSaveHoldsUpOthersOnlyForTheWait_data()
    {
        QTest::addColumn<QStringList>("command");
        QTest::addColumn<int>("stopAt");
        QTest::newRow("start-up, journal half written") << QStringList{u"read"_s} << int(SaveStep::JournalHalfWritten);
        QTest::newRow("start-up, score written") << QStringList{u"read"_s} << int(SaveStep::ScoreWritten);
        QTest::newRow("save, locked") << QStringList{u"save"_s, u"20"_s} << int(SaveStep::Locked);
        QTest::newRow("save, name half written") << QStringList{u"save"_s, u"20"_s} << int(SaveStep::NameHalfWritten);
    }
    void aPausedSaveHoldsUpOthersOnlyForTheWait()
    {
        QFETCH(QStringList, command);
        QFETCH(int, stopAt);
        QTemporaryDir dir;
        writeBytes(dir.filePath(u"atabvenr4.txt"_s), kOld.first);
        writeBytes(dir.filePath(u"ntabvenr4.txt"_s), kOld.second);
        QProcess saver;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"GARIVOLO_RECORD_STOP_AT"_s, QString::number(stopAt));
        env.insert(u"GARIVOLO_RECORD_STOP_SIGNAL"_s, u"STOP"_s);
        saver.setProcessEnvironment(env);
        startSave(saver, QStringLiteral(GARIVOLO_HELPER_STOPS), dir.path(), u"9"_s, "Bea");
        QTRY_COMPARE(processState(saver.processId()), 'T');

        QElapsedTimer clock;
        clock.start();
        QProcess other;
        other.start(QStringLiteral(GARIVOLO_HELPER), QStringList{u"--dir"_s, dir.path()} + command);
        other.write(framed("Ciro"));
        other.closeWriteChannel();
        QVERIFY(other.waitForFinished(10000));
        QCOMPARE(other.exitCode(), int(HelperStatus::LockBusy));
        QVERIFY2(clock.elapsed() >= 2900 && clock.elapsed() < 6000, QByteArray::number(clock.elapsed()));
        QVERIFY(other.readAllStandardError().contains(QFile::encodeName(dir.path())));

        ::kill(pid_t(saver.processId()), SIGCONT);
        QVERIFY(saver.waitForFinished());
        QCOMPARE(saver.exitCode(), 0);
        QCOMPARE(readPair(dir.path()), kNew);
    }

    // A writer that dies while it hands over the name leaves the helper an
    // input that ends early: nothing is saved, whatever byte it died at.
    void aWriterKilledMidNameSavesNothing_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QList<int>>("offsets");
        // Two-byte characters too, so that some deaths fall inside a character.
        const QByteArray shortName = QString(QStringLiteral("Niccolò ")).repeated(23).toUtf8().left(200);
        QList<int> everyOffset;
        for (int at = 0; at < framed(shortName).size(); ++at)
            everyOffset << at;
        QTest::newRow("200-byte name, every offset") << shortName << everyOffset;

        // Every offset of the longest name would take minutes: its start and
        // end, both sides of every page of the pipe's buffer and its whole
        // size, and a spread between them.
        const QByteArray longName = QString(QStringLiteral("Niccolò")).repeated(kMaxNameCharacters / 7 + 1)
                                        .left(kMaxNameCharacters).toUtf8();
        const int whole = int(framed(longName).size());
        QList<int> sample;
        for (int at = 0; at < 16; ++at)
            sample << at << whole - 1 - at;
        for (int page = 4096; page < whole; page += 4096)
            sample << page - 1 << page << page + 1;
        for (int at = 17; at < whole; at += 1009)
            sample << at;
        QTest::newRow("65,534-character name, sampled") << longName << sample;
    }
    void aWriterKilledMidNameSavesNothing()
    {
        QFETCH(QByteArray, name);
        QFETCH(QList<int>, offsets);
        QTemporaryDir dir;
        writeBytes(dir.filePath(u"atabvenr4.txt"_s), kOld.first);
        writeBytes(dir.filePath(u"ntabvenr4.txt"_s), kOld.second);
        const QString whole = dir.filePath(u"input"_s);
        writeBytes(whole, framed(name));
        for (const int at : offsets) {
            // The writer sends the first bytes and is killed, as a dying window would be.
            QProcess writer, helper;
            writer.setStandardOutputProcess(&helper);
            writer.start(u"/bin/sh"_s, {u"-c"_s, u"head -c \"$0\" \"$1\"; kill -9 $$"_s, QString::number(at), whole});
            helper.start(QStringLiteral(GARIVOLO_HELPER), {u"--dir"_s, dir.path(), u"save"_s, u"12"_s});
            QVERIFY(writer.waitForFinished() && helper.waitForFinished());
            QCOMPARE(writer.exitStatus(), QProcess::CrashExit);
            QVERIFY2(helper.exitCode() == int(HelperStatus::BadArguments), QByteArray::number(at));
            QCOMPARE(readPair(dir.path()), kOld);
        }
        // The same writer that lives to the end saves the name whole.
        QCOMPARE(run(QStringLiteral(GARIVOLO_HELPER), {u"--dir"_s, dir.path(), u"save"_s, u"12"_s}, framed(name)), 0);
        QCOMPARE(readPair(dir.path()), Pair("12\r\n", toWindows1252(QString::fromUtf8(name)) + "\r\n"));
    }

    // The size line is checked like an argument: a name that is not the size it says is refused.
    void inputNotAsAnnouncedIsRefused_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::newRow("no size line") << QByteArray("Bea");
        QTest::newRow("more than announced") << QByteArray("3\nBeatrice");
        QTest::newRow("less than announced") << QByteArray("8\nBea");
        QTest::newRow("leading zero") << QByteArray("03\nBea");
        QTest::newRow("sign") << QByteArray("+3\nBea");
        QTest::newRow("blank in the size") << QByteArray(" 3\nBea");
        QTest::newRow("size past any name") << QByteArray("99999999999999999999\nBea");
        QTest::newRow("empty input") << QByteArray();
    }
    void inputNotAsAnnouncedIsRefused()
    {
        QFETCH(QByteArray, input);
        QTemporaryDir dir;
        writeBytes(dir.filePath(u"atabvenr4.txt"_s), kOld.first);
        writeBytes(dir.filePath(u"ntabvenr4.txt"_s), kOld.second);
        QCOMPARE(run(QStringLiteral(GARIVOLO_HELPER), {u"--dir"_s, dir.path(), u"save"_s, u"12"_s}, input),
                 int(HelperStatus::BadArguments));
        QCOMPARE(readPair(dir.path()), kOld);
    }

    // The answer of a read is the pair, sized, whatever bytes it holds.
    void readAnswersThePairItFound()
    {
        QTemporaryDir dir;
        const QByteArray score("12\r\n99 1 2\n"), name(QByteArray("An\0na\r\n", 7) + QByteArray(70000, 'x'));
        writeBytes(dir.filePath(u"atabvenr4.txt"_s), score);
        writeBytes(dir.filePath(u"ntabvenr4.txt"_s), name);
        QCOMPARE(readThroughHelper(dir.path()), Pair(score, name.left(kRecordReadLimit)));
    }
};

QTEST_GUILESS_MAIN(TestRecordStore)
#include "tst_recordstore.moc"

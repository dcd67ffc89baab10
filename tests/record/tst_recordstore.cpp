// SPDX-License-Identifier: GPL-3.0-or-later
// The record helper as real processes: killed mid-save, racing, paused, and used by two users.
#include "recordfiles.h"
#include "recordstore.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <grp.h>
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
    p.write(name);
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
        QTest::addColumn<bool>("decided"); // the intent was recorded before the kill
        const char *names[] = {"locked", "score written", "name written", "intent recorded",
                               "score replaced", "name replaced", "intent removed"};
        for (int s = 1; s <= kSaveSteps; ++s)
            QTest::newRow(names[s - 1]) << s << (s >= int(SaveStep::IntentRecorded));
    }
    void killedAtEveryStepLeavesOldOrNewPair()
    {
        QFETCH(int, step);
        QFETCH(bool, decided);
        for (int round = 0; round < 15; ++round) {
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

            // The next start-up: the helper makes sure of the files, then the window reads them.
            QCOMPARE(run(QStringLiteral(GARIVOLO_HELPER), {u"--dir"_s, dir.path(), u"ensure"_s}), 0);
            QCOMPARE(readPair(dir.path()), decided ? kNew : kOld);
            QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                     (QStringList{u"atabvenr4.txt"_s, u"ntabvenr4.txt"_s}));
        }
    }

    // A save killed before it was decided must not block a later save.
    void aSaveAfterAKillWorks()
    {
        QTemporaryDir dir;
        QProcess saver;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"GARIVOLO_RECORD_STOP_AT"_s, QString::number(int(SaveStep::NameWritten)));
        saver.setProcessEnvironment(env);
        startSave(saver, QStringLiteral(GARIVOLO_HELPER_STOPS), dir.path(), u"9"_s, "Bea");
        QVERIFY(saver.waitForFinished());
        QCOMPARE(run(QStringLiteral(GARIVOLO_HELPER), {u"--dir"_s, dir.path(), u"save"_s, u"3"_s}, "Ciro"), 0);
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
    }

    void aRecordIsNeverLowered()
    {
        QTemporaryDir dir;
        writeBytes(dir.filePath(u"atabvenr4.txt"_s), "12\r\n");
        writeBytes(dir.filePath(u"ntabvenr4.txt"_s), "Anna\r\n");
        for (const QString &score : {u"12"_s, u"11"_s, u"0"_s})
            QCOMPARE(run(QStringLiteral(GARIVOLO_HELPER), {u"--dir"_s, dir.path(), u"save"_s, score}, "Bea"), 3);
        QCOMPARE(readPair(dir.path()), Pair("12\r\n", "Anna\r\n"));
    }

    void startUpLeavesAPausedSaveAlone()
    {
        QTemporaryDir dir;
        writeBytes(dir.filePath(u"atabvenr4.txt"_s), kOld.first);
        writeBytes(dir.filePath(u"ntabvenr4.txt"_s), kOld.second);
        QProcess saver;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"GARIVOLO_RECORD_STOP_AT"_s, QString::number(int(SaveStep::ScoreReplaced)));
        env.insert(u"GARIVOLO_RECORD_STOP_SIGNAL"_s, u"STOP"_s);
        saver.setProcessEnvironment(env);
        startSave(saver, QStringLiteral(GARIVOLO_HELPER_STOPS), dir.path(), u"9"_s, "Bea");
        QTRY_COMPARE(processState(saver.processId()), 'T');

        // A start-up in the middle neither waits for the save nor finishes it in its place.
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(run(QStringLiteral(GARIVOLO_HELPER), {u"--dir"_s, dir.path(), u"ensure"_s}), 0);
        QVERIFY(clock.elapsed() < 5000);
        QVERIFY(QFile::exists(dir.filePath(u"ntabvenr4.txt.new"_s)));

        ::kill(pid_t(saver.processId()), SIGCONT);
        QVERIFY(saver.waitForFinished());
        QCOMPARE(saver.exitCode(), 0);
        QCOMPARE(readPair(dir.path()), kNew);
    }

    // The helper installed setgid games in a root:games 2775 directory, used by two users who are not in games.
    void twoUsersBeatEachOther()
    {
        if (::geteuid() != 0)
            QSKIP("needs root to install the helper setgid and to act as two users");
        const group *games = ::getgrnam("games");
        QVERIFY(games);
        const QString shared = QStringLiteral(GARIVOLO_SHARED_TEST_DIR);
        QDir(shared).removeRecursively();
        QVERIFY(QDir().mkpath(shared + u"/bin"_s));
        const QString records = shared + u"/records"_s;
        QVERIFY(QDir().mkpath(records));
        const QString helper = shared + u"/bin/garivolo-record"_s;
        QVERIFY(QFile::copy(QStringLiteral(GARIVOLO_HELPER_SHARED), helper));
        QCOMPARE(::chmod(QFile::encodeName(shared).constData(), 0755), 0);
        QCOMPARE(::chmod(QFile::encodeName(shared + u"/bin"_s).constData(), 0755), 0);
        QCOMPARE(::chown(QFile::encodeName(helper).constData(), 0, games->gr_gid), 0);
        QCOMPARE(::chmod(QFile::encodeName(helper).constData(), 02755), 0);
        QCOMPARE(::chown(QFile::encodeName(records).constData(), 0, games->gr_gid), 0);
        QCOMPARE(::chmod(QFile::encodeName(records).constData(), 02775), 0);

        auto asUser = [&](int uid, const QStringList &args, const QByteArray &input = {}) {
            return run(u"setpriv"_s,
                       QStringList{u"--reuid=%1"_s.arg(uid), u"--regid=%1"_s.arg(uid), u"--clear-groups"_s, u"--"_s, helper}
                           + args,
                       input);
        };
        QCOMPARE(asUser(64101, {u"ensure"_s}), 0);
        for (int turn = 1; turn <= 4; ++turn) {
            const int uid = turn % 2 ? 64101 : 64102;
            QCOMPARE(asUser(uid, {u"save"_s, QString::number(turn * 10)}, uid == 64101 ? "Alba" : "Bruno"), 0);
            QCOMPARE(readPair(records).first, QByteArray::number(turn * 10) + "\r\n");
            for (const char *name : {"atabvenr4.txt", "ntabvenr4.txt"}) {
                struct stat st{};
                QCOMPARE(::lstat(QFile::encodeName(records + u'/' + QLatin1String(name)).constData(), &st), 0);
                QCOMPARE(st.st_mode & 07777, mode_t(0664));
                QCOMPARE(st.st_gid, games->gr_gid);
            }
        }
        // Installed, it refuses to be pointed at another directory.
        QTemporaryDir elsewhere;
        QCOMPARE(asUser(64101, {u"--dir"_s, elsewhere.path(), u"ensure"_s}), 2);
        QDir(shared).removeRecursively();
    }
};

QTEST_GUILESS_MAIN(TestRecordStore)
#include "tst_recordstore.moc"

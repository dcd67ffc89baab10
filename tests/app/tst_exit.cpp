// SPDX-License-Identifier: GPL-3.0-or-later
// The record as the window shows and saves it, the exit procedure, and the contest clock.
#include "harness.h"

#include "dialogs.h"
#include "recordfiles.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QInputDialog>
#include <QFileInfo>
#include <QPushButton>
#include <QStringEncoder>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QByteArray kMissing = "<missing>";

void writeBytes(const QString &path, const QByteArray &bytes)
{
    if (bytes == kMissing)
        return;
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray readBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : kMissing;
}

// A stand-in for the record helper: it reads a record of 12 held by Anna,
// and answers a save (or a read, when asked) with the given shell lines.
QString fakeHelper(const QTemporaryDir &dir, const QByteArray &onSave, const QByteArray &onRead = {})
{
    const QString path = dir.filePath(u"fake-helper"_s);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return {};
    f.write("#!/bin/sh\nif [ \"$3\" = read ]; then\n"
            + (onRead.isEmpty() ? QByteArray("printf '4 6\\n12\\r\\nAnna\\r\\n'; exit 0") : onRead)
            + "\nfi\n" + onSave + "\n");
    f.close();
    f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return path;
}

const QString kGoodbye = u"Ciao. Ti aspetto per la prossima sfida "_s;
const QString kSaved = u"Ok ho registrato il tuo record, C A M P I O N E\""_s;

} // namespace

class TestExit : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { Tavola::installFonts(); }

    void exitSavesOnlyABeatenRecord_data();
    void exitSavesOnlyABeatenRecord();
    void recordLineShowsTheFilesAsTheyAre_data();
    void recordLineShowsTheFilesAsTheyAre();
    void aHugeScoreFileIsReadOnlyAtItsStart();
    void longNamesFromThePromptAreSavedWholeOrNotAtAll_data();
    void longNamesFromThePromptAreSavedWholeOrNotAtAll();
    void plantedRecordFilesStopTheStart_data();
    void plantedRecordFilesStopTheStart();
    void exitSaysNothingAndChangesNoLabel();
    void aMissingDirectoryAtExitIsAnErrorAfterTheGoodbye();
    void helperOutcomesAtExit_data();
    void helperOutcomesAtExit();
    void helperOutcomesAtStartUp_data();
    void helperOutcomesAtStartUp();
    void installedFilesMissing_data();
    void installedFilesMissing();

    void ticksBeforeActivationDoNotEndTheContest();
    void clockCountsDownAndEndsOneTickAfterTheContest();
    void ticksDuringTheGoodbyeStartNoSecondExit();
    void theEndTestReadsTheCaptionOnly_data();
    void theEndTestReadsTheCaptionOnly();
};

void TestExit::exitSavesOnlyABeatenRecord_data()
{
    QTest::addColumn<QByteArray>("scoreFile");
    QTest::addColumn<QByteArray>("nameFile");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("score");
    QTest::addColumn<bool>("saved");

    QTest::newRow("first run, score 0") << kMissing << kMissing << u"Luca"_s << 0 << false;
    QTest::newRow("first run, score 1") << kMissing << kMissing << u"Luca"_s << 1 << true;
    QTest::newRow("equal record") << QByteArray("12\r\n") << QByteArray("Anna\r\n") << u"Luca"_s << 12 << false;
    QTest::newRow("beaten record") << QByteArray("12\r\n") << QByteArray("Anna\r\n") << u"Luca"_s << 13 << true;
    QTest::newRow("not a number counts as 0") << QByteArray("abc\r\n") << QByteArray("Anna\r\n") << u"Luca"_s << 1 << true;
    QTest::newRow("further lines: the first counts") << QByteArray("12\r\n99\r\n") << QByteArray("Anna\r\nBea\r\n")
                                                     << u"Luca"_s << 13 << true;
    QTest::newRow("no name saved as Amico") << QByteArray("3\r\n") << QByteArray("Anna\r\n") << QString() << 4 << true;
    QTest::newRow("1e999 is never beaten") << QByteArray("1e999") << QByteArray("Anna\r\n") << u"Luca"_s << 30000
                                           << false;
    QTest::newRow("-5 is beaten by 0") << QByteArray("-5\r\n") << QByteArray("Anna\r\n") << u"Luca"_s << 0 << true;
    QTest::newRow("  12abc is 12") << QByteArray("  12abc") << QByteArray("Anna") << u"Luca"_s << 12 << false;
    QTest::newRow("  12abc beaten by 13") << QByteArray("  12abc") << QByteArray("Anna") << u"Luca"_s << 13 << true;
    QTest::newRow("binary garbage is 0") << QByteArray("\x00\x01\xff zz", 6) << QByteArray("\x00", 1) << u"Luca"_s << 1
                                         << true;
    QTest::newRow("accented name") << QByteArray("1\r\n") << QByteArray("Anna\r\n") << u"Niccol\u00f2"_s << 2 << true;
}

void TestExit::exitSavesOnlyABeatenRecord()
{
    QFETCH(QByteArray, scoreFile);
    QFETCH(QByteArray, nameFile);
    QFETCH(QString, name);
    QFETCH(int, score);
    QFETCH(bool, saved);

    Harness h;
    const QString scorePath = h.dir.filePath(u"atabvenr4.txt"_s), namePath = h.dir.filePath(u"ntabvenr4.txt"_s);
    writeBytes(scorePath, scoreFile);
    writeBytes(namePath, nameFile);
    h.start(name);
    // Start-up makes missing files and leaves existing ones as they were.
    QCOMPARE(readBytes(scorePath), scoreFile == kMissing ? QByteArray() : scoreFile);
    QCOMPARE(readBytes(namePath), nameFile == kMissing ? QByteArray() : nameFile);

    h.w().lblScore->setText(QString::number(score));
    h.w().cmdExit1->click();
    QCOMPARE(h.quits, QList<int>{0});
    if (saved) {
        QCOMPARE(h.dialogs.messages.mid(1), (QStringList{kGoodbye, kSaved}));
        QCOMPARE(readBytes(scorePath), QByteArray::number(score) + "\r\n");
        const QByteArray expectedName = name.isEmpty() ? QByteArray("Amico") : QStringEncoder("windows-1252").encode(name);
        QCOMPARE(readBytes(namePath), expectedName + "\r\n");
    } else {
        QCOMPARE(h.dialogs.messages.mid(1), QStringList{kGoodbye});
        QCOMPARE(readBytes(scorePath), scoreFile == kMissing ? QByteArray() : scoreFile);
        QCOMPARE(readBytes(namePath), nameFile == kMissing ? QByteArray() : nameFile);
    }
}

void TestExit::recordLineShowsTheFilesAsTheyAre_data()
{
    QTest::addColumn<QByteArray>("scoreFile");
    QTest::addColumn<QString>("shown");
    QTest::newRow("a saved record keeps its CR LF") << QByteArray("12\r\n") << u"12\r\n"_s;
    QTest::newRow("Windows-1252 bytes") << QByteArray("7 \xe8") << u"7 \u00e8"_s;
    QTest::newRow("NUL bytes shown as read") << QByteArray("1\x00" "2", 3) << QString::fromLatin1("1\x00" "2", 3);
}

void TestExit::recordLineShowsTheFilesAsTheyAre()
{
    QFETCH(QByteArray, scoreFile);
    QFETCH(QString, shown);
    Harness h;
    writeBytes(h.dir.filePath(u"atabvenr4.txt"_s), scoreFile);
    h.start();
    QCOMPARE(h.w().lblpunti->text(), shown);
}

void TestExit::aHugeScoreFileIsReadOnlyAtItsStart()
{
    for (int score : {12, 13}) {
        Harness h;
        const QString path = h.dir.filePath(u"atabvenr4.txt"_s);
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("12\r\n");
            QVERIFY(f.resize(100LL * 1024 * 1024)); // sparse: quick to make, 100 MB to read
        }
        h.start();
        QCOMPARE(h.w().lblpunti->text().size(), 64 * 1024);
        QVERIFY(h.w().lblpunti->text().startsWith(u"12\r\n"_s));
        // Shown only as far as the window goes, as a long name is.
        QVERIFY2(h.w().lblpunti->geometry().right() < h.w().centralWidget()->width(),
                 qPrintable(QString::number(h.w().lblpunti->width())));
        h.w().lblScore->setText(QString::number(score));
        h.w().cmdExit1->click();
        QCOMPARE(h.dialogs.messages.contains(kSaved), score > 12);
        QCOMPARE(QFileInfo(path).size(), score > 12 ? 4 : 100LL * 1024 * 1024);
    }
}

void TestExit::longNamesFromThePromptAreSavedWholeOrNotAtAll_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("saved");
    QTest::newRow("32,768 characters, past a line edit's own limit") << QString(32768, u'n') << true;
    QTest::newRow("65,534 characters, the longest kept") << QString(65534, u'n') << true;
    QTest::newRow("65,534 characters outside the BMP") << QString::fromUcs4(std::u32string(65534, U'\U0001F600').data(), 65534)
                                                      << true;
    QTest::newRow("65,535 characters") << QString(65535, u'n') << false;
    QTest::newRow("100,000 characters") << QString(100000, u'n') << false;
}

// The name is pasted into the real prompt, as a child would put a long one
// there; it is saved exactly as given, or, when too long, not at all and a box says so.
void TestExit::longNamesFromThePromptAreSavedWholeOrNotAtAll()
{
    QFETCH(QString, name);
    QFETCH(bool, saved);
    QtDialogs prompt;
    QTimer::singleShot(0, [&name] {
        auto *dialog = qobject_cast<QInputDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        auto *line = dialog->findChild<QLineEdit *>();
        QApplication::clipboard()->setText(name);
        QTest::keyClick(line, Qt::Key_V, Qt::ControlModifier);
        QTest::keyClick(line, Qt::Key_Return);
    });
    const QString typed = prompt.inputBox(u"Come ti chiami?"_s);
    if (saved)
        QCOMPARE(typed, name);

    Harness h;
    writeBytes(h.dir.filePath(u"atabvenr4.txt"_s), "12\r\n");
    writeBytes(h.dir.filePath(u"ntabvenr4.txt"_s), "Anna\r\n");
    h.start(typed);
    h.w().lblScore->setText(u"13"_s);
    h.w().cmdExit1->click();
    if (saved) {
        QCOMPARE(h.dialogs.messages.mid(1), (QStringList{kGoodbye, kSaved}));
        QCOMPARE(readBytes(h.dir.filePath(u"ntabvenr4.txt"_s)), toWindows1252(name) + "\r\n");
    } else {
        QCOMPARE(h.dialogs.messages.mid(1), QStringList{kGoodbye});
        QCOMPARE(h.dialogs.errors.size(), 1);
        QVERIFY2(h.dialogs.errors[0].contains(u"nome troppo lungo"_s), qPrintable(h.dialogs.errors[0].left(200)));
        QCOMPARE(readBytes(h.dir.filePath(u"ntabvenr4.txt"_s)), QByteArray("Anna\r\n"));
        QCOMPARE(readBytes(h.dir.filePath(u"atabvenr4.txt"_s)), QByteArray("12\r\n"));
    }
}

void TestExit::plantedRecordFilesStopTheStart_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("link to a file outside") << u"link"_s;
    QTest::newRow("directory") << u"directory"_s;
    QTest::newRow("FIFO") << u"fifo"_s;
}

// Something other than a regular file where a record should be is an error
// that names it, and is neither followed, nor waited on, nor changed.
void TestExit::plantedRecordFilesStopTheStart()
{
    QFETCH(QString, kind);
    Harness h;
    QTemporaryDir outside;
    const QString target = outside.filePath(u"secret"_s);
    writeBytes(target, "42\r\n");
    const QString path = h.dir.filePath(u"atabvenr4.txt"_s);
    if (kind == u"link"_s)
        QVERIFY(QFile::link(target, path));
    else if (kind == u"directory"_s)
        QVERIFY(QDir().mkdir(path));
    else
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0644), 0);
    h.dialogs.name = u"Luca"_s;
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!h.w().load());
    QVERIFY(clock.elapsed() < 10000);
    QCOMPARE(h.quits, QList<int>{1});
    QVERIFY2(h.dialogs.errors.value(0).contains(path), qPrintable(h.dialogs.errors.value(0)));
    QCOMPARE(readBytes(target), QByteArray("42\r\n"));
    // The character never came: the error stopped the start before it.
    QVERIFY(!h.agent.loaded);
}

void TestExit::exitSaysNothingAndChangesNoLabel()
{
    Harness h;
    h.start();
    h.w().lblScore->setText(u"3"_s);
    h.agent.log.clear();
    QHash<QString, QString> before;
    for (QLabel *l : h.w().findChildren<QLabel *>())
        before.insert(l->objectName(), l->text());
    h.w().cmdExit1->click();
    QCOMPARE(h.agent.log, QStringList());
    for (QLabel *l : h.w().findChildren<QLabel *>())
        QCOMPARE(l->text(), before.value(l->objectName()));
}

void TestExit::aMissingDirectoryAtExitIsAnErrorAfterTheGoodbye()
{
    Harness h;
    h.start();
    QVERIFY(h.dir.remove());
    h.w().lblScore->setText(u"3"_s);
    h.w().cmdExit1->click();
    QCOMPARE(h.dialogs.messages.mid(1), QStringList{kGoodbye});
    QCOMPARE(h.dialogs.errors.size(), 1);
    QVERIFY2(h.dialogs.errors[0].contains(h.dir.path()), qPrintable(h.dialogs.errors[0]));
    QCOMPARE(h.quits, QList<int>{1});
}

void TestExit::helperOutcomesAtExit_data()
{
    QTest::addColumn<QByteArray>("onSave");
    QTest::addColumn<QString>("error"); // what the error box says; none for an ordinary outcome
    QTest::addColumn<bool>("saved");
    QTest::newRow("saved") << QByteArray("exit 0") << QString() << true;
    QTest::newRow("not beaten after all") << QByteArray("exit 3") << QString() << false;
    QTest::newRow("I/O error with its reason") << QByteArray("echo '/r/atabvenr4.txt: No space left on device' >&2; exit 1")
                                               << u"Il record non è stato salvato. /r/atabvenr4.txt: No space left on device"_s
                                               << false;
    QTest::newRow("bad arguments") << QByteArray("echo 'punteggio non valido' >&2; exit 2")
                                   << u"Il record non è stato salvato. punteggio non valido"_s << false;
    QTest::newRow("not installed") << QByteArray("echo '/r/.garivolo-lock: manca' >&2; exit 4")
                                   << u"Il record non è stato salvato. /r/.garivolo-lock: manca"_s << false;
    QTest::newRow("lock busy") << QByteArray("echo '/r/: occupato' >&2; exit 5")
                               << u"Il record non è stato salvato. /r/: occupato"_s << false;
    QTest::newRow("lock busy once, saved on the second try")
        << QByteArray("[ -e \"$0.tried\" ] && exit 0; : >\"$0.tried\"; echo '/r/: occupato' >&2; exit 5") << QString()
        << true;
    QTest::newRow("failure with no reason") << QByteArray("exit 1") << u"Il record non è stato salvato. "_s << false;
    QTest::newRow("unexpected status") << QByteArray("exit 7") << u"in modo inatteso (stato 7)"_s << false;
    QTest::newRow("status 255") << QByteArray("exit 255") << u"in modo inatteso (stato 255)"_s << false;
    QTest::newRow("killed") << QByteArray("kill -9 $$") << u"si è interrotto"_s << false;
}

// Only "saved" and "not beaten" are outcomes; anything else from the helper
// is an error box that says why nothing was saved, and exit status 1.
void TestExit::helperOutcomesAtExit()
{
    QFETCH(QByteArray, onSave);
    QFETCH(QString, error);
    QFETCH(bool, saved);
    QTemporaryDir bin;
    Harness h(fakeHelper(bin, onSave));
    h.start();
    QCOMPARE(h.w().lblpunti->text(), u"12\r\n"_s);
    QCOMPARE(h.w().lblnome->text(), u"Anna\r\n"_s);
    h.w().lblScore->setText(u"13"_s);
    h.w().cmdExit1->click();
    QCOMPARE(h.dialogs.messages.mid(1), saved ? (QStringList{kGoodbye, kSaved}) : QStringList{kGoodbye});
    if (error.isEmpty()) {
        QCOMPARE(h.dialogs.errors, QStringList());
        QCOMPARE(h.quits, QList<int>{0});
    } else {
        QCOMPARE(h.dialogs.errors.size(), 1);
        QVERIFY2(h.dialogs.errors[0].contains(error), qPrintable(h.dialogs.errors[0]));
        QCOMPARE(h.quits, QList<int>{1});
    }
}

void TestExit::helperOutcomesAtStartUp_data()
{
    QTest::addColumn<QByteArray>("onRead");
    QTest::addColumn<QString>("error");
    QTest::newRow("lock busy: no record, no error") << QByteArray("exit 5") << QString();
    QTest::newRow("unexpected status") << QByteArray("exit 9") << u"in modo inatteso (stato 9)"_s;
    QTest::newRow("killed") << QByteArray("kill -9 $$") << u"si è interrotto"_s;
    QTest::newRow("sizes that do not match") << QByteArray("printf '4 60\\n12\\r\\n'; exit 0") << u"in modo inatteso"_s;
    QTest::newRow("no sizes") << QByteArray("printf '12'; exit 0") << u"in modo inatteso"_s;
    QTest::newRow("not installed") << QByteArray("echo '/r/.garivolo-journal: manca' >&2; exit 4")
                                   << u"/r/.garivolo-journal: manca"_s;
}

void TestExit::helperOutcomesAtStartUp()
{
    QFETCH(QByteArray, onRead);
    QFETCH(QString, error);
    QTemporaryDir bin;
    Harness h(fakeHelper(bin, "exit 0", onRead));
    h.dialogs.name = u"Luca"_s;
    const bool loaded = h.w().load();
    QCOMPARE(loaded, error.isEmpty());
    if (error.isEmpty()) {
        // Another copy kept the record locked: the contest goes on with no record shown.
        QCOMPARE(h.w().lblpunti->text(), QString());
        QCOMPARE(h.w().lblnome->text(), QString());
        QVERIFY(h.agent.loaded);
    } else {
        QCOMPARE(h.quits, QList<int>{1});
        QVERIFY2(h.dialogs.errors.value(0).contains(error), qPrintable(h.dialogs.errors.value(0)));
        QVERIFY(!h.agent.loaded);
    }
}

void TestExit::installedFilesMissing_data()
{
    QTest::addColumn<QString>("missing");
    QTest::addColumn<bool>("atExit");
    for (const char *name : {".garivolo-journal", ".garivolo-lock", "atabvenr4.txt", "ntabvenr4.txt"}) {
        QTest::addRow("%s at start-up", name) << QString::fromLatin1(name) << false;
        QTest::addRow("%s at exit", name) << QString::fromLatin1(name) << true;
    }
}

// A directory made by the package (setgid) that lost a file is the
// technician's to mend: a box names the file, and the old record stays.
void TestExit::installedFilesMissing()
{
    QFETCH(QString, missing);
    QFETCH(bool, atExit);
    Harness h;
    QCOMPARE(::chmod(QFile::encodeName(h.dir.path()).constData(), 02775), 0);
    for (const char *name : {".garivolo-journal", ".garivolo-lock"})
        writeBytes(h.dir.filePath(QLatin1String(name)), {});
    writeBytes(h.dir.filePath(u"atabvenr4.txt"_s), "12\r\n");
    writeBytes(h.dir.filePath(u"ntabvenr4.txt"_s), "Anna\r\n");
    const QString path = h.dir.filePath(missing);
    if (atExit) {
        h.start();
        QVERIFY(QFile::remove(path));
        h.w().lblScore->setText(u"13"_s);
        h.w().cmdExit1->click();
        QCOMPARE(h.dialogs.messages.mid(1), QStringList{kGoodbye});
    } else {
        QVERIFY(QFile::remove(path));
        h.dialogs.name = u"Luca"_s;
        QVERIFY(!h.w().load());
    }
    QCOMPARE(h.quits, QList<int>{1});
    QCOMPARE(h.dialogs.errors.size(), 1);
    QVERIFY2(h.dialogs.errors[0].contains(path) && h.dialogs.errors[0].contains(u"reinstall"_s),
             qPrintable(h.dialogs.errors[0]));
    QVERIFY(!QFile::exists(path));
    if (missing != u"atabvenr4.txt"_s)
        QCOMPARE(readBytes(h.dir.filePath(u"atabvenr4.txt"_s)), QByteArray("12\r\n"));
    if (missing != u"ntabvenr4.txt"_s)
        QCOMPARE(readBytes(h.dir.filePath(u"ntabvenr4.txt"_s)), QByteArray("Anna\r\n"));
}

void TestExit::ticksBeforeActivationDoNotEndTheContest()
{
    Harness h;
    h.dialogs.name = u"Luca"_s;
    QVERIFY(h.w().load());
    for (int i = 0; i < 3; ++i)
        h.timer.fire();
    QCOMPARE(h.w().lblconto->text(), u"00:00:00"_s);
    QCOMPARE(h.dialogs.messages.size(), 1); // the greeting only
    QVERIFY(h.quits.isEmpty());
    h.w().show();
    QTRY_COMPARE(h.w().lblconto->text(), u"00.07.00"_s);
    h.timer.fire();
    QCOMPARE(h.w().lblconto->text(), u"00:06:59"_s);
}

// The clock is read aloud at each whole minute and through the last ten seconds, never every second.
void TestExit::clockCountsDownAndEndsOneTickAfterTheContest()
{
    Harness h;
    h.start();
    QStringList seen;
    QStringList spoken;
    for (int tick = 1; tick <= kContestSeconds; ++tick) {
        Harness::announced.clear();
        h.timer.fire();
        seen << h.w().lblconto->text();
        if (!Harness::announced.isEmpty())
            spoken << Harness::announced;
    }
    QStringList expectedSpoken;
    for (int minute = kContestMinutes - 1; minute >= 1; --minute)
        expectedSpoken << u"Tempo restante: 00:%1:00"_s.arg(minute, 2, 10, QChar(u'0'));
    for (int second = 10; second >= 0; --second)
        expectedSpoken << u"Tempo restante: 00:00:%1"_s.arg(second, 2, 10, QChar(u'0'));
    QCOMPARE(spoken, expectedSpoken);
    QCOMPARE(seen.at(0), u"00:06:59"_s);
    QCOMPARE(seen.at(59), u"00:06:00"_s);
    QCOMPARE(seen.at(60), u"00:05:59"_s);
    QCOMPARE(seen.at(418), u"00:00:01"_s);
    QCOMPARE(seen.at(419), u"00:00:00"_s);
    QCOMPARE(seen.count(u"00:00:00"_s), 1);
    QVERIFY(!seen.join(QString()).contains(u'-'));
    QVERIFY(h.quits.isEmpty());
    h.timer.fire();
    QCOMPARE(h.dialogs.messages.last(), kGoodbye);
    QCOMPARE(h.quits, QList<int>{0});
    h.timer.fire();
    QCOMPARE(h.dialogs.messages.count(kGoodbye), 1);
}

void TestExit::ticksDuringTheGoodbyeStartNoSecondExit()
{
    Harness h;
    h.start();
    h.w().lblconto->setText(u"00:00:00"_s);
    h.dialogs.whileMessageOpen = [&] {
        for (int i = 0; i < 5; ++i)
            h.timer.fire();
    };
    h.timer.fire();
    QCOMPARE(h.dialogs.messages.count(kGoodbye), 1);
    QCOMPARE(h.quits, QList<int>{0});
}

void TestExit::theEndTestReadsTheCaptionOnly_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("ends");
    QTest::newRow("start caption with dots") << u"00.07.00"_s << false;
    QTest::newRow("single zero hours") << u"0:00:00"_s << false;
    QTest::newRow("trailing blank") << u"00:00:00 "_s << false;
    QTest::newRow("exactly the end") << u"00:00:00"_s << true;
}

void TestExit::theEndTestReadsTheCaptionOnly()
{
    QFETCH(QString, caption);
    QFETCH(bool, ends);
    Harness h;
    h.start();
    // The variables still say seven minutes: only the caption decides.
    h.w().lblconto->setText(caption);
    h.timer.fire();
    QCOMPARE(h.dialogs.messages.contains(kGoodbye), ends);
    QCOMPARE(h.quits.size(), ends ? 1 : 0);
    if (!ends)
        QCOMPARE(h.w().lblconto->text(), u"00:06:59"_s);
}

QTEST_MAIN(TestExit)
#include "tst_exit.moc"

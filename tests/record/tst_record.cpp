// SPDX-License-Identifier: GPL-3.0-or-later
#include "leadingnumber.h"
#include "recordfiles.h"
#include "recordstore.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
    QCOMPARE(f.write(bytes), bytes.size());
}

QByteArray readBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

bool isRegularFile(const QString &path)
{
    struct stat st{};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

QStringList entries(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// Runs the call and checks it fails with a RecordError that names the path.
template <typename Call>
void expectErrorNaming(const QString &path, Call call)
{
    try {
        call();
        QFAIL(qPrintable(QStringLiteral("no error for %1").arg(path)));
    } catch (const RecordError &e) {
        QVERIFY2(QString::fromLocal8Bit(e.what()).contains(path), e.what());
    }
}

const QStringList kAllFiles{QString::fromLatin1(kJournalFile), QString::fromLatin1(kLockFile),
                            QString::fromLatin1(kScoreFile), QString::fromLatin1(kNameFile)};
const QHash<QString, QByteArray> kOldPair{{QString::fromLatin1(kScoreFile), "5\r\n"},
                                          {QString::fromLatin1(kNameFile), "Anna\r\n"}};

} // namespace

class TestRecord : public QObject
{
    Q_OBJECT

private slots:
    void systemDir_data()
    {
        QTest::addColumn<QString>("dir");
        QTest::addColumn<QString>("expected");
        const QString longDir = u'/' + QString(299, u'x');
        QTest::newRow("no slash") << "/var/games/garivolo" << "/var/games/garivolo/";
        QTest::newRow("one slash") << "/var/games/garivolo/" << "/var/games/garivolo/";
        QTest::newRow("root") << "/" << "/";
        QTest::newRow("300 characters") << longDir << longDir + u'/';
        QTest::newRow("two slashes") << "/a//" << "/a/";
    }
    void systemDir()
    {
        QFETCH(QString, dir);
        QFETCH(QString, expected);
        QCOMPARE(GetSystemDir(dir), expected);
    }

    void leadingNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");
        QTest::newRow("CR LF after") << "12\r\n" << 12.0;
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("letters") << "abc" << 0.0;
        QTest::newRow("blanks then letters") << "  12abc" << 12.0;
        QTest::newRow("minus") << "-5" << -5.0;
        QTest::newRow("huge exponent") << "1e999" << std::numeric_limits<double>::infinity();
        QTest::newRow("fraction") << "3.5" << 3.5;
        QTest::newRow("blank inside") << "1 2" << 12.0;
        QTest::newRow("tab and LF first") << "\t\n7" << 7.0;
        QTest::newRow("second line ignored") << "12\r\n99\r\n" << 12.0;
        QTest::newRow("bare exponent") << "1e" << 1.0;
        QTest::newRow("plus") << "+4" << 4.0;
        QTest::newRow("leading point") << ".5" << 0.5;
        QTest::newRow("sign only") << "-" << 0.0;
        QTest::newRow("CR is not skipped") << "\r12" << 0.0;
        QTest::newRow("D exponent") << "1D2" << 100.0;
        QTest::newRow("signed exponent") << "2.5e-1x" << 0.25;
        QTest::newRow("second point stops") << "1.2.3" << 1.2;
    }
    void leadingNumber()
    {
        QFETCH(QString, text);
        QFETCH(double, value);
        const double got = ::leadingNumber(text);
        if (std::isinf(value))
            QVERIFY2(std::isinf(got) && got > 0, QByteArray::number(got));
        else
            QCOMPARE(got, value);
    }

    void toWindows1252_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("o grave") << QStringLiteral("Niccolò") << QByteArray("Niccol\xF2");
        QTest::newRow("euro") << QStringLiteral("€") << QByteArray("\x80");
        QTest::newRow("L stroke alone") << QStringLiteral("Ł") << QByteArray("?");
        QTest::newRow("CJK alone") << QStringLiteral("日") << QByteArray("?");
        QTest::newRow("emoji alone") << QStringLiteral("\U0001F600") << QByteArray("?");
        // What follows a missing character must still be encoded.
        QTest::newRow("L stroke first") << QStringLiteral("Łukasz") << QByteArray("?ukasz");
        QTest::newRow("emoji inside") << QStringLiteral("a\U0001F600b") << QByteArray("a?b");
        QTest::newRow("mixed") << QStringLiteral("ŁŁ日\U0001F600\U0001F600è") << QByteArray("?????\xE8");
    }
    void toWindows1252()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(::toWindows1252(text), bytes);
    }

    void windows1252RoundTrip()
    {
        QByteArray bytes;
        for (int b = 0x20; b <= 0xFF; ++b) {
            if (b < 0x7F || b >= 0xA0)
                bytes += char(b);
        }
        const QString text = fromWindows1252(bytes);
        // These bytes mean the same as in Latin-1, which pins the decoding itself.
        QCOMPARE(text, QString::fromLatin1(bytes));
        QCOMPARE(::toWindows1252(text), bytes);
    }

    void readRecord_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("score") << QByteArray("12\r\n") << "12\r\n";
        QTest::newRow("name") << QByteArray("Niccol\xF2\r\n") << QStringLiteral("Niccolò\r\n");
        QTest::newRow("euro") << QByteArray("\x80") << QStringLiteral("€");
        QTest::newRow("empty") << QByteArray() << "";
    }
    void readRecord()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        writeBytes(dir.filePath(kScoreFile), bytes);
        QCOMPARE(Leggifiletxt(dir.filePath(kScoreFile)), text);
    }

    void readStopsAtLimit()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QByteArray bytes;
        for (int i = 0; i < 200'000; ++i)
            bytes += char('a' + i % 26);
        writeBytes(dir.filePath(kNameFile), bytes);
        QCOMPARE(Leggifiletxt(dir.filePath(kNameFile)), QString::fromLatin1(bytes.left(kRecordReadLimit)));
    }

    void readRefuses_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("symlink") << "symlink";
        QTest::newRow("directory") << "directory";
        QTest::newRow("fifo") << "fifo";
        QTest::newRow("missing") << "missing";
    }
    void readRefuses()
    {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(kScoreFile);
        if (kind == "symlink") {
            // The target is a readable record, so only following the link could succeed.
            writeBytes(dir.filePath("elsewhere.txt"), "99\r\n");
            QVERIFY(QFile::link(dir.filePath("elsewhere.txt"), path));
        } else if (kind == "directory") {
            QVERIFY(QDir().mkdir(path));
        } else if (kind == "fifo") {
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0644), 0);
        }
        expectErrorNaming(path, [&] { Leggifiletxt(path); });
    }

    void readRefusesUnreadable()
    {
        if (::geteuid() == 0)
            QSKIP("root reads files whatever their mode");
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(kScoreFile);
        writeBytes(path, "12\r\n");
        QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
        expectErrorNaming(path, [&] { Leggifiletxt(path); });
    }

    void readCreatesWhatIsMissingInABuildTree()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString sysdir = GetSystemDir(dir.path());
        QCOMPARE(::readRecord(sysdir), RecordPair());
        QCOMPARE(entries(sysdir), kAllFiles);
        for (const QString &name : kAllFiles) {
            QVERIFY(isRegularFile(sysdir + name));
            QCOMPARE(readBytes(sysdir + name), QByteArray());
        }
    }

    void readKeepsExisting()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString sysdir = GetSystemDir(dir.path());
        const QByteArray score("27\r\n"), name("Niccol\xF2\r\n");
        writeBytes(sysdir + kScoreFile, score);
        QCOMPARE(::readRecord(sysdir), (RecordPair{score, {}}));
        QCOMPARE(readBytes(sysdir + kScoreFile), score);
        QCOMPARE(readBytes(sysdir + kNameFile), QByteArray());

        writeBytes(sysdir + kNameFile, name);
        QCOMPARE(::readRecord(sysdir), (RecordPair{score, name}));
        QCOMPARE(readBytes(sysdir + kScoreFile), score);
        QCOMPARE(readBytes(sysdir + kNameFile), name);
    }

    void readMissingDirectory()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString sysdir = GetSystemDir(dir.filePath("garivolo"));
        expectErrorNaming(sysdir, [&] { ::readRecord(sysdir); });
        QVERIFY(!QFile::exists(sysdir));
    }

    // The installed directory (setgid, as the package makes it) never gains a
    // file: a missing one is an error that names it and sends for the technician.
    void installedLayoutMissingFile_data()
    {
        QTest::addColumn<QString>("missing");
        QTest::addColumn<bool>("saving");
        for (const QString &name : kAllFiles) {
            QTest::addRow("%s at start-up", qPrintable(name)) << name << false;
            QTest::addRow("%s at a save", qPrintable(name)) << name << true;
        }
    }
    void installedLayoutMissingFile()
    {
        QFETCH(QString, missing);
        QFETCH(bool, saving);
        QTemporaryDir dir;
        const QString sysdir = GetSystemDir(dir.path());
        QVERIFY(QFile::setPermissions(dir.path(), QFile::permissions(dir.path()) | QFileDevice::ReadGroup
                                                      | QFileDevice::WriteGroup | QFileDevice::ExeGroup));
        QCOMPARE(::chmod(QFile::encodeName(dir.path()).constData(), 02775), 0);
        for (const QString &name : kAllFiles) {
            if (name != missing)
                writeBytes(sysdir + name, name.startsWith(u'.') ? QByteArray() : kOldPair.value(name));
        }
        try {
            saving ? void(saveRecord(sysdir, QStringLiteral("9"), QStringLiteral("Bea"))) : void(::readRecord(sysdir));
            QFAIL("no error");
        } catch (const RecordError &e) {
            QCOMPARE(e.status(), HelperStatus::NotInstalled);
            QVERIFY2(QString::fromUtf8(e.what()).contains(sysdir + missing), e.what());
            QVERIFY2(QString::fromUtf8(e.what()).contains(u"reinstall"), e.what());
        }
        QVERIFY(!QFile::exists(sysdir + missing));
        for (const QString &name : {QString::fromLatin1(kScoreFile), QString::fromLatin1(kNameFile)}) {
            if (name != missing)
                QCOMPARE(readBytes(sysdir + name), kOldPair.value(name));
        }
    }

    // Something other than a regular file at any of the four names stops a
    // read and a save alike before anything is written, and is never followed.
    // (An unreadable file needs a user other than its owner: the two-user test.)
    void plantedFilesAreNamedErrors_data()
    {
        QTest::addColumn<QString>("planted");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("saving");
        for (const QString &name : kAllFiles) {
            for (const char *kind : {"link", "directory", "fifo"}) {
                QTest::addRow("%s at %s, start-up", kind, qPrintable(name)) << name << QString::fromLatin1(kind) << false;
                QTest::addRow("%s at %s, save", kind, qPrintable(name)) << name << QString::fromLatin1(kind) << true;
            }
        }
    }
    void plantedFilesAreNamedErrors()
    {
        QFETCH(QString, planted);
        QFETCH(QString, kind);
        QFETCH(bool, saving);
        QTemporaryDir dir, outside;
        const QString sysdir = GetSystemDir(dir.path());
        const QString victim = outside.filePath("victim");
        writeBytes(victim, "1\r\n");
        for (const QString &name : kAllFiles)
            writeBytes(sysdir + name, kOldPair.value(name));
        const QString path = sysdir + planted;
        QVERIFY(QFile::remove(path));
        if (kind == u"link")
            QVERIFY(QFile::link(victim, path));
        else if (kind == u"directory")
            QVERIFY(QDir().mkdir(path));
        else
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0664), 0);

        expectErrorNaming(path, [&] {
            saving ? void(saveRecord(sysdir, QStringLiteral("9"), QStringLiteral("Bea"))) : void(::readRecord(sysdir));
        });
        QCOMPARE(readBytes(victim), QByteArray("1\r\n"));
        for (const QString &name : {QString::fromLatin1(kScoreFile), QString::fromLatin1(kNameFile)}) {
            if (name != planted)
                QCOMPARE(readBytes(sysdir + name), kOldPair.value(name));
        }
        QCOMPARE(entries(sysdir), kAllFiles);
    }

    void saveWrites_data()
    {
        QTest::addColumn<QString>("score");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("nameBytes");
        QTest::newRow("plain") << "12" << "Anna" << QByteArray("Anna\r\n");
        QTest::newRow("accent") << "30" << QStringLiteral("Niccolò") << QByteArray("Niccol\xF2\r\n");
        QTest::newRow("outside the code page") << "5" << QStringLiteral("Łucja") << QByteArray("?ucja\r\n");
        QTest::newRow("CR LF in name") << "7" << "Anna\r\nBob" << QByteArray("Anna  Bob\r\n");
        QTest::newRow("LF and tab in name") << "7" << "A\tB\nC" << QByteArray("A B C\r\n");
        // The five C1 controls Windows-1252 would otherwise write as raw bytes.
        QTest::newRow("C1 controls in name") << "7" << QStringLiteral("a\u0081b\u008Dc\u008Fd\u0090e\u009Df\u0085")
                                             << QByteArray("a b c d e f \r\n");
        QTest::newRow("markup kept as typed") << "7" << "<b>x</b>&amp;" << QByteArray("<b>x</b>&amp;\r\n");
        QTest::newRow("highest score") << "32767" << "Anna" << QByteArray("Anna\r\n");
        QTest::newRow("longest name kept whole") << "7" << QString(kMaxNameCharacters, u'n')
                                                 << QByteArray(kMaxNameCharacters, 'n') + "\r\n";
    }
    void saveWrites()
    {
        QFETCH(QString, score);
        QFETCH(QString, name);
        QFETCH(QByteArray, nameBytes);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString sysdir = GetSystemDir(dir.path());
        QCOMPARE(saveRecord(sysdir, score, name), HelperStatus::Saved);
        QCOMPARE(readBytes(sysdir + kScoreFile), score.toLatin1() + "\r\n");
        QCOMPARE(readBytes(sysdir + kNameFile), nameBytes);
        // What a save wrote, a start-up reads back whole.
        QCOMPARE(::readRecord(sysdir), (RecordPair{score.toLatin1() + "\r\n", nameBytes}));
    }

    // Only a score the drill can show is ever written; the old pair stays.
    void saveRefusesBadArguments_data()
    {
        QTest::addColumn<QString>("score");
        QTest::addColumn<QString>("name");
        QTest::newRow("huge exponent") << "1e999" << "Bea";
        QTest::newRow("past 16 bits") << "32768" << "Bea";
        QTest::newRow("trailing words") << "7 ciao" << "Bea";
        QTest::newRow("markup") << "12<b>x</b>" << "Bea";
        QTest::newRow("131,001 digits") << QString(131001, u'9') << "Bea";
        QTest::newRow("minus") << "-1" << "Bea";
        QTest::newRow("plus") << "+9" << "Bea";
        QTest::newRow("leading zero") << "09" << "Bea";
        QTest::newRow("blank first") << " 9" << "Bea";
        QTest::newRow("empty") << "" << "Bea";
        QTest::newRow("fraction") << "9.5" << "Bea";
        QTest::newRow("Arabic-Indic digit") << QStringLiteral("\u0669") << "Bea";
        QTest::newRow("name one past the bound") << "9" << QString(kMaxNameCharacters + 1, u'n');
    }
    void saveRefusesBadArguments()
    {
        QFETCH(QString, score);
        QFETCH(QString, name);
        QTemporaryDir dir;
        const QString sysdir = GetSystemDir(dir.path());
        for (const QString &file : kAllFiles)
            writeBytes(sysdir + file, kOldPair.value(file));
        try {
            saveRecord(sysdir, score, name);
            QFAIL("accepted");
        } catch (const RecordError &e) {
            QCOMPARE(e.status(), HelperStatus::BadArguments);
        }
        QCOMPARE(::readRecord(sysdir), (RecordPair{"5\r\n", "Anna\r\n"}));
    }

    void saveReplaces_data()
    {
        QTest::addColumn<QString>("before");
        QTest::newRow("no files") << "none";
        QTest::newRow("longer old record") << "old";
        QTest::newRow("empty files") << "empty";
    }
    void saveReplaces()
    {
        QFETCH(QString, before);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString sysdir = GetSystemDir(dir.path());
        for (const char *name : {kScoreFile, kNameFile}) {
            if (before == "old") {
                // Longer than the new pair, and lower, so that the save goes ahead.
                writeBytes(sysdir + name, "1 old record\r\nsecond line\r\n");
            } else if (before == "empty") {
                writeBytes(sysdir + name, "");
            }
        }

        QCOMPARE(saveRecord(sysdir, QStringLiteral("9"), QStringLiteral("Bea")), HelperStatus::Saved);

        // Only the four files remain, the journal empty: no temporary or backup file is left behind.
        QCOMPARE(entries(sysdir), kAllFiles);
        QCOMPARE(readBytes(sysdir + kJournalFile), QByteArray());
        QCOMPARE(readBytes(sysdir + kScoreFile), QByteArray("9\r\n"));
        QCOMPARE(readBytes(sysdir + kNameFile), QByteArray("Bea\r\n"));
    }

    // A journal is applied only when it is whole and its checksum holds;
    // either way the next holder of the lock leaves it empty.
    void journalLeftByAKilledSave_data()
    {
        QTest::addColumn<QByteArray>("journal");
        QTest::addColumn<bool>("applied");
        const QByteArray payload = "9\r\nBea\r\n";
        const QByteArray sum = QCryptographicHash::hash(payload, QCryptographicHash::Sha256).toHex();
        QTest::newRow("whole") << QByteArray("garivolo-journal 1\n3 5 " + sum + "\n" + payload) << true;
        QTest::newRow("cut short") << QByteArray("garivolo-journal 1\n3 5 " + sum + "\n9\r\nBe") << false;
        QTest::newRow("wrong checksum") << QByteArray("garivolo-journal 1\n3 5 " + QByteArray(64, '0') + "\n" + payload)
                                        << false;
        QTest::newRow("header only") << QByteArray("garivolo-journal 1\n") << false;
        QTest::newRow("foreign text") << payload << false;
        QTest::newRow("sizes past the limit") << QByteArray("garivolo-journal 1\n99999999 5 " + sum + "\n" + payload)
                                              << false;
        // Well formed, checksum and all, but holding what no save writes: anyone in group games could forge it.
        const auto forged = [](const QByteArray &score, const QByteArray &name) {
            const QByteArray body = score + name;
            return "garivolo-journal 1\n" + QByteArray::number(score.size()) + ' ' + QByteArray::number(name.size()) + ' '
                   + QCryptographicHash::hash(body, QCryptographicHash::Sha256).toHex() + '\n' + body;
        };
        QTest::newRow("forged: markup after the score") << forged("99999999 <b>x</b>\r\n", "Bea\r\n") << false;
        QTest::newRow("forged: score past 16 bits") << forged("32768\r\n", "Bea\r\n") << false;
        QTest::newRow("forged: leading zero") << forged("09\r\n", "Bea\r\n") << false;
        QTest::newRow("forged: score without its line end") << forged("9", "Bea\r\n") << false;
        QTest::newRow("forged: newline and ESC in the name") << forged("9\r\n", "Be\na\x1b[2J\r\n") << false;
        QTest::newRow("forged: an undefined byte in the name") << forged("9\r\n", "Be\x81" "a\r\n") << false;
        QTest::newRow("forged: name without its line end") << forged("9\r\n", "Bea") << false;
        QTest::newRow("forged: a second line") << forged("9\r\n", "Bea\r\nCiro\r\n") << false;
        QTest::newRow("written as a save writes it") << forged("9\r\n", "Bea\r\n") << true;
    }
    void journalLeftByAKilledSave()
    {
        QFETCH(QByteArray, journal);
        QFETCH(bool, applied);
        QTemporaryDir dir;
        const QString sysdir = GetSystemDir(dir.path());
        for (const QString &name : kAllFiles)
            writeBytes(sysdir + name, kOldPair.value(name));
        writeBytes(sysdir + kJournalFile, journal);
        const RecordPair expected = applied ? RecordPair{"9\r\n", "Bea\r\n"} : RecordPair{"5\r\n", "Anna\r\n"};
        QCOMPARE(::readRecord(sysdir), expected);
        QCOMPARE(readBytes(sysdir + kJournalFile), QByteArray());
    }
};

QTEST_GUILESS_MAIN(TestRecord)
#include "tst_record.moc"

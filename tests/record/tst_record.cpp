// SPDX-License-Identifier: GPL-3.0-or-later
#include "leadingnumber.h"
#include "recordfiles.h"
#include "recordstore.h"

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

    void ensureCreatesMissing()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString sysdir = GetSystemDir(dir.path());
        ensureRecordFiles(sysdir);
        QCOMPARE(entries(sysdir), QStringList({kScoreFile, kNameFile}));
        for (const char *name : {kScoreFile, kNameFile}) {
            QVERIFY(isRegularFile(sysdir + name));
            QCOMPARE(readBytes(sysdir + name), QByteArray());
        }
    }

    void ensureKeepsExisting()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString sysdir = GetSystemDir(dir.path());
        const QByteArray score("27\r\n"), name("Niccol\xF2\r\n");
        writeBytes(sysdir + kScoreFile, score);
        ensureRecordFiles(sysdir);
        QCOMPARE(readBytes(sysdir + kScoreFile), score);
        QCOMPARE(readBytes(sysdir + kNameFile), QByteArray());

        writeBytes(sysdir + kNameFile, name);
        ensureRecordFiles(sysdir);
        QCOMPARE(readBytes(sysdir + kScoreFile), score);
        QCOMPARE(readBytes(sysdir + kNameFile), name);
    }

    void ensureMissingDirectory()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString sysdir = GetSystemDir(dir.filePath("garivolo"));
        expectErrorNaming(sysdir, [&] { ensureRecordFiles(sysdir); });
        QVERIFY(!QFile::exists(sysdir));
    }

    void ensureRefusesLink_data()
    {
        QTest::addColumn<QString>("linked");
        QTest::newRow("score file") << kScoreFile;
        QTest::newRow("name file") << kNameFile;
    }
    void ensureRefusesLink()
    {
        QFETCH(QString, linked);
        QTemporaryDir dir, outside;
        QVERIFY(dir.isValid() && outside.isValid());
        const QString sysdir = GetSystemDir(dir.path());
        const QString victim = outside.filePath("victim");
        writeBytes(victim, "do not touch\n");
        QVERIFY(QFile::link(victim, sysdir + linked));
        QVERIFY_THROWS_EXCEPTION(RecordError, ensureRecordFiles(sysdir));
        QCOMPARE(readBytes(victim), QByteArray("do not touch\n"));
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
    }
    void saveWrites()
    {
        QFETCH(QString, score);
        QFETCH(QString, name);
        QFETCH(QByteArray, nameBytes);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString sysdir = GetSystemDir(dir.path());
        saveRecord(sysdir, score, name);
        QCOMPARE(readBytes(sysdir + kScoreFile), score.toLatin1() + "\r\n");
        QCOMPARE(readBytes(sysdir + kNameFile), nameBytes);
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

        saveRecord(sysdir, QStringLiteral("9"), QStringLiteral("Bea"));

        // Only the two records remain: no temporary or backup file is left behind.
        QCOMPARE(entries(sysdir), QStringList({kScoreFile, kNameFile}));
        QVERIFY(isRegularFile(sysdir + kScoreFile) && isRegularFile(sysdir + kNameFile));
        QCOMPARE(readBytes(sysdir + kScoreFile), QByteArray("9\r\n"));
        QCOMPARE(readBytes(sysdir + kNameFile), QByteArray("Bea\r\n"));
    }

    // A link planted in place of a record file is refused, not followed and not replaced.
    void saveRefusesPlantedLinks()
    {
        QTemporaryDir dir, outside;
        const QString sysdir = GetSystemDir(dir.path());
        for (const char *name : {kScoreFile, kNameFile}) {
            writeBytes(outside.filePath(name), "do not touch\n");
            QVERIFY(QFile::link(outside.filePath(name), sysdir + name));
        }
        expectErrorNaming(sysdir + kScoreFile, [&] { saveRecord(sysdir, QStringLiteral("9"), QStringLiteral("Bea")); });
        for (const char *name : {kScoreFile, kNameFile})
            QCOMPARE(readBytes(outside.filePath(name)), QByteArray("do not touch\n"));
        QCOMPARE(entries(sysdir), QStringList({kScoreFile, kNameFile}));
    }
};

QTEST_GUILESS_MAIN(TestRecord)
#include "tst_record.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// The record helper's command interface: any arguments and any name on its
// input. It must answer with one of its exit statuses, never crash, and never
// make anything but the record files, the journal and the lock in its directory.
#include <QByteArray>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir dir;
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    // The first line holds the arguments, separated by NUL bytes; the rest is the name.
    const qsizetype newline = input.indexOf('\n');
    const QByteArray head = newline < 0 ? input : input.left(newline);
    const QByteArray name = newline < 0 ? QByteArray() : input.mid(newline + 1);
    QStringList arguments{QStringLiteral("--dir"), dir.path()};
    for (const QByteArray &part : head.split('\0'))
        arguments << QString::fromUtf8(part);
    if (arguments.size() > 8)
        return 0;

    QProcess helper;
    helper.start(QStringLiteral(GARIVOLO_HELPER), arguments);
    if (!helper.waitForStarted())
        std::abort();
    helper.write(name);
    helper.closeWriteChannel();
    if (!helper.waitForFinished(10000) || helper.exitStatus() != QProcess::NormalExit)
        std::abort();
    const int code = helper.exitCode();
    // The helper's statuses run from 0 (saved) to 5 (lock busy).
    if (code < 0 || code > 5)
        std::abort();
    const QStringList allowed{QStringLiteral("atabvenr4.txt"), QStringLiteral("ntabvenr4.txt"),
                              QStringLiteral(".garivolo-journal"), QStringLiteral(".garivolo-lock")};
    for (const QString &entry : QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) {
        if (!allowed.contains(entry))
            std::abort();
    }
    return 0;
}

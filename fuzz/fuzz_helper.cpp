// SPDX-License-Identifier: GPL-3.0-or-later
// The record helper's command interface: any arguments and any name on its
// input. It must answer with one of its exit statuses, never crash, and never
// write anything but the two record files in its directory.
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
    if (code != 0 && code != 1 && code != 2 && code != 3)
        std::abort();
    for (const QString &entry : QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) {
        if (entry != QLatin1String("atabvenr4.txt") && entry != QLatin1String("ntabvenr4.txt"))
            std::abort();
    }
    return 0;
}

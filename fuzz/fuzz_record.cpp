// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes as a record file: reading and the leading-number parse must not crash,
// and the parse must agree with itself on the text as shown. The same bytes as
// a journal left by a killed save: a start-up reads either the old pair or a
// pair the journal held whole, each within the read limit.
#include "leadingnumber.h"
#include "recordfiles.h"
#include "recordstore.h"

#include <QTemporaryDir>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("atabvenr4.txt"));
    FILE *f = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!f)
        return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    const QString shown = Leggifiletxt(path);
    if (shown.size() > kRecordReadLimit)
        std::abort();
    const double record = leadingNumber(shown);
    if (std::isnan(record))
        std::abort();
    // Encoding what was shown gives back the bytes that were read.
    if (toWindows1252(fromWindows1252(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)).left(kRecordReadLimit)))
            .size() != qMin<qsizetype>(qsizetype(size), kRecordReadLimit))
        std::abort();

    static QTemporaryDir journalDir;
    const QString sysdir = GetSystemDir(journalDir.path());
    const QByteArray old[2] = {"5\r\n", "Anna\r\n"};
    const char *names[3] = {kScoreFile, kNameFile, kJournalFile};
    for (int i = 0; i < 3; ++i) {
        FILE *g = std::fopen(QFile::encodeName(sysdir + QLatin1String(names[i])).constData(), "wb");
        if (!g)
            return 0;
        if (i < 2)
            std::fwrite(old[i].constData(), 1, size_t(old[i].size()), g);
        else
            std::fwrite(data, 1, size, g);
        std::fclose(g);
    }
    try {
        const RecordPair pair = readRecord(sysdir);
        if (pair.score.size() > kRecordReadLimit || pair.name.size() > kRecordReadLimit)
            std::abort();
        // A journal that did not hold a checked pair must leave the old one.
        if (!QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)).startsWith("garivolo-journal 1\n")
            && !(pair.score == old[0] && pair.name == old[1]))
            std::abort();
    } catch (const RecordError &) {
        std::abort();
    }
    return 0;
}

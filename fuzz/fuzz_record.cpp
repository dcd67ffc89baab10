// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes as a record file: reading and the leading-number parse must not crash,
// and the parse must agree with itself on the text as shown.
#include "leadingnumber.h"
#include "recordfiles.h"

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
    return 0;
}

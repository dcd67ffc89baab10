// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordfiles.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

RecordError::RecordError(const QString &what, HelperStatus status)
    : std::runtime_error(what.toStdString())
    , m_status(status)
{
}

namespace {

[[noreturn]] void failWith(const QString &path, int error)
{
    throw RecordError(QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(error))));
}

// Closes a descriptor on every way out.
struct Fd
{
    int fd;
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

QString GetSystemDir(const QString &directory)
{
    QString dir = directory;
    while (dir.size() > 1 && dir.endsWith(u'/'))
        dir.chop(1);
    return dir.endsWith(u'/') ? dir : dir + u'/';
}

QString Leggifiletxt(const QString &nomefile)
{
    const QByteArray path = QFile::encodeName(nomefile);
    // O_NONBLOCK keeps a FIFO put in place of the file from hanging the start.
    Fd file{::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)};
    if (file.fd < 0)
        failWith(nomefile, errno);
    struct stat st{};
    if (::fstat(file.fd, &st) != 0)
        failWith(nomefile, errno);
    if (!S_ISREG(st.st_mode))
        throw RecordError(QStringLiteral("%1: non è un file normale").arg(nomefile));
    QByteArray bytes;
    bytes.resize(qMin<qint64>(st.st_size, kRecordReadLimit));
    qsizetype got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(file.fd, bytes.data() + got, size_t(bytes.size() - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            failWith(nomefile, errno);
        if (n == 0)
            break;
        got += n;
    }
    bytes.truncate(got);
    return fromWindows1252(bytes);
}

namespace {

// Windows-1252 differs from Latin-1 only in 0x80..0x9F. The five bytes it
// leaves undefined read as the C1 control of the same number, as Windows does.
constexpr char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char byteFor(char32_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return char(c);
    for (int i = 0; i < 32; ++i) {
        if (kHigh[i] == c)
            return char(0x80 + i);
    }
    return '?';
}

} // namespace

QByteArray toWindows1252(const QString &text)
{
    QByteArray out;
    out.reserve(text.size());
    // Whole code points, so that a character outside the BMP becomes one "?", not two.
    for (const char32_t c : text.toUcs4())
        out += byteFor(c);
    return out;
}

QString fromWindows1252(const QByteArray &bytes)
{
    QString out(bytes.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const uchar b = uchar(bytes[i]);
        out[i] = QChar(b >= 0x80 && b < 0xA0 ? kHigh[b - 0x80] : char16_t(b));
    }
    return out;
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordfiles.h"

#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

RecordError::RecordError(const QString &what)
    : std::runtime_error(what.toStdString())
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

QByteArray toWindows1252(const QString &text)
{
    QByteArray out;
    out.reserve(text.size());
    // One character at a time, each with a fresh encoder (an encoder keeps
    // reporting an error once it has met one), so that each character the
    // code page lacks becomes exactly one "?".
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype len = (text.at(i).isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
        QStringEncoder encoder("windows-1252", QStringConverter::Flag::Stateless);
        const QByteArray one = encoder.encode(QStringView(text).mid(i, len));
        out += (encoder.hasError() || one.size() != 1) ? QByteArray("?") : one;
        i += len - 1;
    }
    return out;
}

QString fromWindows1252(const QByteArray &bytes)
{
    QStringDecoder decoder("windows-1252");
    return decoder.decode(bytes);
}

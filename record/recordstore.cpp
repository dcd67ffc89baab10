// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordstore.h"

#include "leadingnumber.h"
#include "recordfiles.h"

#include <QCryptographicHash>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <optional>
#include <thread>
#include <utility>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

void (*recordStepHook)(SaveStep step) = nullptr;
bool recordRunsPrivileged = false;

namespace {

constexpr mode_t kRecordMode = 0664;
constexpr mode_t kPrivateMode = 0660;
constexpr QByteArrayView kJournalMagic = "garivolo-journal 1\n";
constexpr qint64 kJournalLimit = 2 * kRecordReadLimit + 256;

[[noreturn]] void fail(const QString &path, int error)
{
    throw RecordError(QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(error))));
}

[[noreturn]] void notRegular(const QString &path)
{
    throw RecordError(QStringLiteral("%1: non è un file normale").arg(path));
}

void step(SaveStep s)
{
    if (recordStepHook)
        recordStepHook(s);
}

bool privileged()
{
    return recordRunsPrivileged || ::getegid() != ::getgid() || ::geteuid() != ::getuid();
}

// One of the four files, open for reading and writing, closed on every way out.
class File
{
public:
    File(int fd, QString path) : m_fd(fd), m_path(std::move(path)) {}
    ~File()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    File(File &&other) noexcept : m_fd(std::exchange(other.m_fd, -1)), m_path(std::move(other.m_path)) {}
    File(const File &) = delete;
    File &operator=(const File &) = delete;
    int fd() const { return m_fd; }
    const QString &path() const { return m_path; }

    QByteArray read(qint64 limit) const
    {
        QByteArray bytes;
        bytes.resize(qsizetype(limit));
        qsizetype got = 0;
        while (got < bytes.size()) {
            const ssize_t n = ::pread(m_fd, bytes.data() + got, size_t(bytes.size() - got), off_t(got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                fail(m_path, errno);
            if (n == 0)
                break;
            got += n;
        }
        bytes.truncate(got);
        return bytes;
    }

    // Claims the disk space a rewrite will need, so that a full file system
    // stops the save before anything is written rather than half way.
    void reserve(qsizetype size) const
    {
        if (size > 0 && ::fallocate(m_fd, FALLOC_FL_KEEP_SIZE, 0, off_t(size)) != 0 && errno != EOPNOTSUPP
            && errno != ENOSYS)
            fail(m_path, errno);
    }

    // The file's whole content becomes these bytes, flushed to disk; a test
    // build may stop half way through.
    void rewrite(const QByteArray &bytes, std::optional<SaveStep> halfWay = std::nullopt) const
    {
        const qsizetype half = bytes.size() / 2;
        writeAt(bytes.left(half), 0);
        if (halfWay)
            step(*halfWay);
        writeAt(bytes.mid(half), half);
        if (::ftruncate(m_fd, off_t(bytes.size())) != 0 || ::fsync(m_fd) != 0)
            fail(m_path, errno);
    }

private:
    void writeAt(const QByteArray &bytes, qsizetype offset) const
    {
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::pwrite(m_fd, bytes.constData() + done, size_t(bytes.size() - done), off_t(offset + done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                fail(m_path, errno);
            done += n;
        }
    }

    int m_fd;
    QString m_path;
};

QByteArray oneLine(const QString &text)
{
    QString line = text;
    // A pasted name may hold line breaks, tabs or C1 controls; the file must stay one plain line.
    for (QChar &c : line) {
        if (c.category() == QChar::Other_Control)
            c = u' ';
    }
    return toWindows1252(line) + "\r\n";
}

// Whether a save could have written this pair: a score the drill can show and
// a name made one plain line, each ended by CR LF. Files may be written by
// anyone in the games group, so what they hold is checked like an argument.
bool couldBeSaved(const RecordPair &pair)
{
    if (!pair.score.endsWith("\r\n") || !pair.name.endsWith("\r\n") || pair.name.size() > kRecordReadLimit)
        return false;
    const QByteArray score = pair.score.chopped(2);
    return isScoreArgument(QString::fromLatin1(score)) && oneLine(fromWindows1252(pair.name.chopped(2))) == pair.name;
}

QByteArray journalFor(const RecordPair &pair)
{
    const QByteArray payload = pair.score + pair.name;
    return kJournalMagic.toByteArray() + QByteArray::number(pair.score.size()) + ' '
           + QByteArray::number(pair.name.size()) + ' '
           + QCryptographicHash::hash(payload, QCryptographicHash::Sha256).toHex() + '\n' + payload;
}

// The pair a complete journal holds; nothing for an empty or torn one, or
// one holding a pair no save could have written.
std::optional<RecordPair> pairIn(const QByteArray &journal)
{
    if (!journal.startsWith(kJournalMagic))
        return std::nullopt;
    const qsizetype newline = journal.indexOf('\n', kJournalMagic.size());
    if (newline < 0)
        return std::nullopt;
    const QList<QByteArray> header = journal.mid(kJournalMagic.size(), newline - kJournalMagic.size()).split(' ');
    if (header.size() != 3)
        return std::nullopt;
    bool scoreOk = false, nameOk = false;
    const qint64 scoreSize = header[0].toLongLong(&scoreOk), nameSize = header[1].toLongLong(&nameOk);
    if (!scoreOk || !nameOk || scoreSize < 0 || nameSize < 0 || scoreSize > kRecordReadLimit
        || nameSize > kRecordReadLimit || journal.size() != newline + 1 + scoreSize + nameSize)
        return std::nullopt;
    const QByteArray payload = journal.mid(newline + 1);
    if (QCryptographicHash::hash(payload, QCryptographicHash::Sha256).toHex() != header[2])
        return std::nullopt;
    RecordPair pair{payload.left(qsizetype(scoreSize)), payload.mid(qsizetype(scoreSize))};
    if (!couldBeSaved(pair))
        return std::nullopt;
    return pair;
}

// The record directory under its lock, with all four files open and checked
// before anything is written.
class LockedRecord
{
public:
    LockedRecord(const QString &sysdir, std::chrono::milliseconds wait)
        : m_dir(::open(QFile::encodeName(sysdir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC), GetSystemDir(sysdir))
    {
        if (m_dir.fd() < 0)
            fail(m_dir.path(), errno);
        struct stat st{};
        if (::fstat(m_dir.fd(), &st) != 0)
            fail(m_dir.path(), errno);
        // The package makes the installed directory setgid games; there, and
        // whenever the helper runs with the group's rights, nothing is created.
        m_installed = privileged() || (st.st_mode & S_ISGID);

        m_lock.emplace(open(kLockFile, kPrivateMode));
        lock(wait);
        m_journal.emplace(open(kJournalFile, kPrivateMode));
        m_score.emplace(open(kScoreFile, kRecordMode));
        m_name.emplace(open(kNameFile, kRecordMode));
    }

    const File &journal() const { return *m_journal; }
    const File &score() const { return *m_score; }
    const File &name() const { return *m_name; }

    // Finishes a save whose journal is complete; a torn one is thrown away.
    void recover() const
    {
        const QByteArray journal = m_journal->read(kJournalLimit);
        if (journal.isEmpty())
            return;
        if (const auto pair = pairIn(journal)) {
            m_score->rewrite(pair->score);
            m_name->rewrite(pair->name);
        }
        m_journal->rewrite({});
    }

private:
    File open(const char *name, mode_t mode) const
    {
        const QString path = m_dir.path() + QLatin1String(name);
        constexpr int flags = O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
        int fd = -1;
        if (!m_installed) {
            fd = ::openat(m_dir.fd(), name, flags | O_CREAT | O_EXCL, mode);
            if (fd >= 0)
                ::fchmod(fd, mode); // the umask must not take the group's rights
            else if (errno != EEXIST)
                fail(path, errno);
        }
        if (fd < 0)
            fd = ::openat(m_dir.fd(), name, flags);
        if (fd < 0) {
            if (errno == ENOENT && m_installed)
                throw RecordError(QStringLiteral("%1: manca. Garivolo non è installato per bene: "
                                                 "il tecnico lo reinstalli (apt install --reinstall garivolo)")
                                      .arg(path),
                                  HelperStatus::NotInstalled);
            if (errno == ELOOP || errno == EISDIR)
                notRegular(path);
            fail(path, errno);
        }
        File file(fd, path);
        struct stat st{};
        if (::fstat(fd, &st) != 0)
            fail(path, errno);
        if (!S_ISREG(st.st_mode))
            notRegular(path);
        return file;
    }

    void lock(std::chrono::milliseconds wait) const
    {
        const auto deadline = std::chrono::steady_clock::now() + wait;
        while (::flock(m_lock->fd(), LOCK_EX | LOCK_NB) != 0) {
            if (errno == EINTR)
                continue;
            if (errno != EWOULDBLOCK)
                fail(m_lock->path(), errno);
            if (std::chrono::steady_clock::now() >= deadline)
                throw RecordError(QStringLiteral("%1: un'altra copia di Garivolo tiene occupati i record da oltre %2 secondi")
                                      .arg(m_dir.path())
                                      .arg(wait.count() / 1000.0),
                                  HelperStatus::LockBusy);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    File m_dir;
    bool m_installed = false;
    std::optional<File> m_lock, m_journal, m_score, m_name;
};

} // namespace

bool isScoreArgument(const QString &score)
{
    if (score.isEmpty() || score.size() > 5 || (score.size() > 1 && score.front() == u'0'))
        return false;
    for (const QChar c : score) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return score.toInt() <= 32767;
}

RecordPair readRecord(const QString &sysdir, std::chrono::milliseconds wait)
{
    const LockedRecord record(sysdir, wait);
    record.recover();
    return {record.score().read(kRecordReadLimit), record.name().read(kRecordReadLimit)};
}

HelperStatus saveRecord(const QString &sysdir, const QString &score, const QString &name,
                        std::chrono::milliseconds wait)
{
    if (!isScoreArgument(score))
        throw RecordError(QStringLiteral("punteggio non valido: \"%1\"").arg(score.left(40)), HelperStatus::BadArguments);
    const RecordPair next{score.toLatin1() + "\r\n", oneLine(name)};
    if (next.name.size() > kRecordReadLimit)
        throw RecordError(QStringLiteral("nome troppo lungo: %1 caratteri, al massimo %2")
                              .arg(next.name.size() - 2)
                              .arg(kMaxNameCharacters),
                          HelperStatus::BadArguments);

    const LockedRecord record(sysdir, wait);
    step(SaveStep::Locked);
    record.recover();
    if (leadingNumber(fromWindows1252(record.score().read(kRecordReadLimit))) >= score.toInt())
        return HelperStatus::NotBeaten;

    const QByteArray journal = journalFor(next);
    record.journal().reserve(journal.size());
    record.score().reserve(next.score.size());
    record.name().reserve(next.name.size());

    record.journal().rewrite(journal, SaveStep::JournalHalfWritten);
    step(SaveStep::JournalWritten);
    record.score().rewrite(next.score, SaveStep::ScoreHalfWritten);
    step(SaveStep::ScoreWritten);
    record.name().rewrite(next.name, SaveStep::NameHalfWritten);
    step(SaveStep::NameWritten);
    record.journal().rewrite({});
    step(SaveStep::JournalCleared);
    return HelperStatus::Saved;
}

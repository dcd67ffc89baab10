// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordstore.h"

#include "leadingnumber.h"
#include "recordfiles.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

void (*recordStepHook)(SaveStep step) = nullptr;

namespace {

constexpr const char *kIntent = ".garivolo-intent";
constexpr const char *kIntentTemporary = ".garivolo-intent.new";
constexpr mode_t kFileMode = 0664;

[[noreturn]] void fail(const QString &path, int error)
{
    throw RecordError(QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(error))));
}

class Fd
{
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

QByteArray newName(const char *name)
{
    return QByteArray(name) + ".new";
}

// The record directory, held open so that every name is looked up inside it.
class RecordDir
{
public:
    explicit RecordDir(const QString &sysdir)
        : m_path(sysdir)
        , m_fd(::open(QFile::encodeName(sysdir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        if (m_fd.get() < 0)
            fail(sysdir, errno);
    }

    QString path(const char *name) const { return m_path + QString::fromLatin1(name); }

    bool tryLock() { return lock(LOCK_EX | LOCK_NB); }
    void waitLock() { lock(LOCK_EX); }

    bool exists(const char *name) const
    {
        struct stat st{};
        return ::fstatat(m_fd.get(), name, &st, AT_SYMLINK_NOFOLLOW) == 0;
    }

    void remove(const char *name)
    {
        if (::unlinkat(m_fd.get(), name, 0) != 0 && errno != ENOENT)
            fail(path(name), errno);
    }

    void rename(const char *from, const char *to)
    {
        if (::renameat(m_fd.get(), from, m_fd.get(), to) != 0)
            fail(path(to), errno);
    }

    void sync()
    {
        if (::fsync(m_fd.get()) != 0)
            fail(m_path, errno);
    }

    // A fresh regular file holding exactly these bytes, flushed to disk.
    void writeFresh(const char *name, const QByteArray &bytes)
    {
        remove(name);
        Fd file(::openat(m_fd.get(), name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kFileMode));
        if (file.get() < 0)
            fail(path(name), errno);
        ::fchmod(file.get(), kFileMode); // the umask must not take the group's right to write
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(file.get(), bytes.constData() + done, size_t(bytes.size() - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                fail(path(name), errno);
            done += n;
        }
        if (::fsync(file.get()) != 0)
            fail(path(name), errno);
    }

    // Creates an empty record file when there is none; an existing one must be a regular file.
    void ensureFile(const char *name)
    {
        Fd file(::openat(m_fd.get(), name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kFileMode));
        if (file.get() >= 0) {
            ::fchmod(file.get(), kFileMode);
            return;
        }
        if (errno != EEXIST)
            fail(path(name), errno);
        struct stat st{};
        if (::fstatat(m_fd.get(), name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            fail(path(name), errno);
        if (!S_ISREG(st.st_mode))
            throw RecordError(QStringLiteral("%1: non è un file normale").arg(path(name)));
    }

    // Finishes a decided replacement, or throws away one that was never decided.
    void recover()
    {
        ::unlinkat(m_fd.get(), kIntentTemporary, 0);
        if (exists(kIntent)) {
            for (const char *name : {kScoreFile, kNameFile}) {
                if (exists(newName(name).constData()))
                    rename(newName(name).constData(), name);
            }
            sync();
            remove(kIntent);
        } else {
            for (const char *name : {kScoreFile, kNameFile})
                remove(newName(name).constData());
        }
        sync();
    }

private:
    bool lock(int how)
    {
        while (::flock(m_fd.get(), how) != 0) {
            if (errno == EINTR)
                continue;
            if (errno == EWOULDBLOCK)
                return false;
            fail(m_path, errno);
        }
        return true;
    }

    QString m_path;
    Fd m_fd;
};

void step(SaveStep s)
{
    if (recordStepHook)
        recordStepHook(s);
}

QByteArray oneLine(const QString &text)
{
    QString line = text;
    // A pasted name may hold line breaks or tabs; the file must stay one line.
    for (QChar &c : line) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = u' ';
    }
    return toWindows1252(line) + "\r\n";
}

} // namespace

void ensureRecordFiles(const QString &sysdir)
{
    RecordDir dir(sysdir);
    // A save in progress holds the lock: leave it alone, it finishes on its own.
    if (dir.tryLock())
        dir.recover();
    dir.ensureFile(kScoreFile);
    dir.ensureFile(kNameFile);
}

SaveResult saveRecord(const QString &sysdir, const QString &score, const QString &name)
{
    RecordDir dir(sysdir);
    dir.waitLock();
    step(SaveStep::Locked);
    dir.recover();

    const double record = dir.exists(kScoreFile) ? leadingNumber(Leggifiletxt(dir.path(kScoreFile))) : 0.0;
    if (record >= leadingNumber(score))
        return SaveResult::NotHigher;

    dir.writeFresh(newName(kScoreFile).constData(), oneLine(score));
    step(SaveStep::ScoreWritten);
    dir.writeFresh(newName(kNameFile).constData(), oneLine(name));
    step(SaveStep::NameWritten);

    dir.writeFresh(kIntentTemporary, QByteArray::number(qint64(::getpid())) + '\n');
    dir.rename(kIntentTemporary, kIntent);
    dir.sync();
    step(SaveStep::IntentRecorded);

    dir.rename(newName(kScoreFile).constData(), kScoreFile);
    step(SaveStep::ScoreReplaced);
    dir.rename(newName(kNameFile).constData(), kNameFile);
    dir.sync();
    step(SaveStep::NameReplaced);

    dir.remove(kIntent);
    dir.sync();
    step(SaveStep::IntentRemoved);
    return SaveResult::Saved;
}

// SPDX-License-Identifier: GPL-3.0-or-later
// garivolo-record: the only program that reads and writes the shared record directory.
//
//   garivolo-record [--dir DIR] read
//       both record files, as "SCORE-BYTES NAME-BYTES\n" and then the bytes
//   garivolo-record [--dir DIR] save SCORE      (on standard input: "BYTES\n" and the name, UTF-8)
//
// The exit status is one of HelperStatus (recordoutcome.h); for a failure the
// reason is on standard error. Installed setuid to a user of its own and
// setgid games, it works only in the directory it was built for.
#include "recordfiles.h"
#include "recordstore.h"

#include <QByteArray>
#include <QString>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#ifndef GARIVOLO_RECORD_DIR
#error "GARIVOLO_RECORD_DIR must be set by the build"
#endif

#ifdef GARIVOLO_SETGID_TEST_BUILD
// Run setgid, a sanitized build cannot read its options from the environment
// nor be watched for leaks (the process is not dumpable); say so at build time.
extern "C" const char *__asan_default_options()
{
    return "detect_leaks=0";
}
#endif

namespace {

// Enough UTF-8 for the longest name kept, and one byte more to tell a longer one.
constexpr qsizetype kNameInputLimit = 4 * kMaxNameCharacters + 1;
// The name's size in front of it, "BYTES\n".
constexpr qsizetype kSizeLineLimit = 16;

int status(HelperStatus s)
{
    return int(s);
}

int usage()
{
    std::fputs("uso: garivolo-record [--dir DIR] read | save PUNTI < BYTE e nome\n", stderr);
    return status(HelperStatus::BadArguments);
}

QByteArray readInput(qsizetype limit)
{
    QByteArray bytes(limit, '\0');
    qsizetype got = 0;
    while (got < limit) {
        const ssize_t n = ::read(STDIN_FILENO, bytes.data() + got, size_t(limit - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += n;
    }
    bytes.truncate(got);
    return bytes;
}

// The size the line in front of the name announces, and where the name
// starts; -1 for a line that is not plain digits ended by a line feed.
qint64 announcedSize(const QByteArray &input, qsizetype &start)
{
    const qsizetype newline = input.indexOf('\n');
    if (newline <= 0 || newline >= kSizeLineLimit)
        return -1;
    const QByteArray size = input.left(newline);
    if (size.size() > 1 && size.front() == '0')
        return -1;
    for (const char c : size) {
        if (c < '0' || c > '9')
            return -1;
    }
    start = newline + 1;
    return size.toLongLong();
}

// Takes every id of the caller away (real, effective and saved user and group
// ids all become the helper's own user and games), so that the calling pupil
// may no longer signal nor trace it; then leaves the caller's terminal and
// session, whose stop keys (and hang-up) the kernel delivers without asking
// whose process it is. setsid() needs a process that leads no group, hence
// the worker; the parent only waits for it and passes on its status.
int dropCallerAndDetach(uid_t uid, gid_t gid)
{
    if (::setresgid(gid, gid, gid) != 0 || ::setresuid(uid, uid, uid) != 0) {
        std::perror("garivolo-record: setresuid");
        return status(HelperStatus::IoError);
    }
    for (const int s : {SIGTSTP, SIGTTIN, SIGTTOU, SIGHUP})
        std::signal(s, SIG_IGN);
    const pid_t worker = ::fork();
    if (worker < 0) {
        std::perror("garivolo-record: fork");
        return status(HelperStatus::IoError);
    }
    if (worker == 0) {
        ::setsid();
        return -1;
    }
    int result = 0;
    while (::waitpid(worker, &result, 0) < 0) {
        if (errno != EINTR)
            return status(HelperStatus::IoError);
    }
    return WIFEXITED(result) ? WEXITSTATUS(result) : status(HelperStatus::IoError);
}

bool writeOutput(const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(STDOUT_FILENO, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

#ifdef GARIVOLO_RECORD_STOP_POINTS
// Test builds only: stop dead (or pause) at a chosen step of a save.
int g_stopAt = 0;
int g_stopSignal = SIGKILL;
void stopHook(SaveStep step)
{
    if (int(step) == g_stopAt)
        ::raise(g_stopSignal);
}
#endif

} // namespace

int main(int argc, char *argv[])
{
    const bool privileged = ::getegid() != ::getgid() || ::geteuid() != ::getuid();
    // Nothing from the caller's environment may steer a program that can run with the games group.
    if (privileged) {
        ::clearenv();
        if (const int parentStatus = dropCallerAndDetach(::geteuid(), ::getegid()); parentStatus >= 0)
            return parentStatus;
        recordRunsPrivileged = true;
    }
    // A caller who closed a standard stream must not have a record file opened in its place.
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) < 0 && ::open("/dev/null", O_RDWR) != fd)
            return status(HelperStatus::IoError);
    }
    // A file-size limit set by the caller fails a write with an error instead of killing the helper half way.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);

    QString dir = QStringLiteral(GARIVOLO_RECORD_DIR);
    int arg = 1;
    if (arg + 1 < argc && std::strcmp(argv[arg], "--dir") == 0) {
        const QString asked = QString::fromLocal8Bit(argv[arg + 1]);
        if (privileged && GetSystemDir(asked) != GetSystemDir(dir)) {
            std::fputs("garivolo-record: --dir non ammesso con privilegi\n", stderr);
            return status(HelperStatus::BadArguments);
        }
        dir = asked;
        arg += 2;
    }
    if (arg >= argc)
        return usage();

#ifdef GARIVOLO_RECORD_STOP_POINTS
    if (const char *at = std::getenv("GARIVOLO_RECORD_STOP_AT"))
        g_stopAt = std::atoi(at);
    if (const char *how = std::getenv("GARIVOLO_RECORD_STOP_SIGNAL"))
        g_stopSignal = std::strcmp(how, "STOP") == 0 ? SIGSTOP : SIGKILL;
    recordStepHook = &stopHook;
#endif

    const QString sysdir = GetSystemDir(dir);
    try {
        if (std::strcmp(argv[arg], "read") == 0 && arg + 1 == argc) {
            // Read under the lock, written out after it: a caller that never
            // drains the pipe holds up nobody else.
            const RecordPair pair = readRecord(sysdir);
            const QByteArray out = QByteArray::number(pair.score.size()) + ' ' + QByteArray::number(pair.name.size())
                                   + '\n' + pair.score + pair.name;
            return writeOutput(out) ? status(HelperStatus::Saved) : status(HelperStatus::IoError);
        }
        if (std::strcmp(argv[arg], "save") == 0 && arg + 2 == argc) {
            // The whole name is read before the lock is taken, so a slow writer holds up nobody.
            // The end of the input alone never says where the name ends: a
            // writer that died part way, or sent more than it announced, saves nothing.
            const QByteArray input = readInput(kSizeLineLimit + kNameInputLimit);
            qsizetype start = 0;
            const qint64 size = announcedSize(input, start);
            if (size >= kNameInputLimit) {
                std::fprintf(stderr, "nome troppo lungo: al massimo %lld caratteri\n", qlonglong(kMaxNameCharacters));
                return status(HelperStatus::BadArguments);
            }
            if (size < 0 || input.size() - start != size) {
                std::fputs("garivolo-record: il nome non è arrivato intero\n", stderr);
                return status(HelperStatus::BadArguments);
            }
            return status(saveRecord(sysdir, QString::fromLocal8Bit(argv[arg + 1]), QString::fromUtf8(input.mid(start))));
        }
    } catch (const RecordError &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return status(error.status());
    }
    return usage();
}

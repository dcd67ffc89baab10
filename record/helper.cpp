// SPDX-License-Identifier: GPL-3.0-or-later
// garivolo-record: the only program that reads and writes the shared record directory.
//
//   garivolo-record [--dir DIR] read
//       both record files, as "SCORE-BYTES NAME-BYTES\n" and then the bytes
//   garivolo-record [--dir DIR] save SCORE      (the name, UTF-8, on standard input)
//
// The exit status is one of HelperStatus (recordoutcome.h); for a failure the
// reason is on standard error. Installed setgid, it works only in the
// directory it was built for.
#include "recordfiles.h"
#include "recordstore.h"

#include <QByteArray>
#include <QString>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
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

int status(HelperStatus s)
{
    return int(s);
}

int usage()
{
    std::fputs("uso: garivolo-record [--dir DIR] read | save PUNTI < nome\n", stderr);
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
    if (privileged)
        ::clearenv();
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
            const QByteArray name = readInput(kNameInputLimit);
            if (name.size() >= kNameInputLimit) {
                std::fprintf(stderr, "nome troppo lungo: al massimo %lld caratteri\n", qlonglong(kMaxNameCharacters));
                return status(HelperStatus::BadArguments);
            }
            return status(saveRecord(sysdir, QString::fromLocal8Bit(argv[arg + 1]), QString::fromUtf8(name)));
        }
    } catch (const RecordError &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return status(error.status());
    }
    return usage();
}

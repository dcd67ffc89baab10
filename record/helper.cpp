// SPDX-License-Identifier: GPL-3.0-or-later
// garivolo-record: the only program that writes in the shared record directory.
//
//   garivolo-record [--dir DIR] ensure
//   garivolo-record [--dir DIR] save SCORE      (the name, UTF-8, on standard input)
//
// Exit status: 0 done (saved), 3 not saved because the record on disk is as
// high or higher, 1 failure (the reason on standard error), 2 misuse.
// Installed setgid, it works only in the directory it was built for.
#include "recordfiles.h"
#include "recordstore.h"

#include <QByteArray>
#include <QString>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

constexpr int kMaxName = 4096;

int usage()
{
    std::fputs("uso: garivolo-record [--dir DIR] ensure | save PUNTI < nome\n", stderr);
    return 2;
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
    // Nothing from the caller's environment may steer a program that can run with the games group.
    if (::getegid() != ::getgid() || ::geteuid() != ::getuid())
        ::clearenv();
    ::umask(002);
    QString dir = QStringLiteral(GARIVOLO_RECORD_DIR);
    int arg = 1;
    if (arg + 1 < argc && std::strcmp(argv[arg], "--dir") == 0) {
        const QString asked = QString::fromLocal8Bit(argv[arg + 1]);
        const bool privileged = ::getegid() != ::getgid() || ::geteuid() != ::getuid();
        if (privileged && GetSystemDir(asked) != GetSystemDir(dir)) {
            std::fputs("garivolo-record: --dir non ammesso con privilegi\n", stderr);
            return 2;
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
        if (std::strcmp(argv[arg], "ensure") == 0 && arg + 1 == argc) {
            ensureRecordFiles(sysdir);
            return 0;
        }
        if (std::strcmp(argv[arg], "save") == 0 && arg + 2 == argc) {
            QByteArray name(kMaxName, '\0');
            const size_t got = std::fread(name.data(), 1, kMaxName, stdin);
            name.truncate(qsizetype(got));
            const QString score = QString::fromLocal8Bit(argv[arg + 1]);
            return saveRecord(sysdir, score, QString::fromUtf8(name)) == SaveResult::Saved ? 0 : 3;
        }
    } catch (const RecordError &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return usage();
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordhelper.h"

#include "recordfiles.h"

#include <QProcess>

RecordHelper::RecordHelper(QString program, QString sysdir)
    : m_program(std::move(program))
    , m_sysdir(std::move(sysdir))
{
}

int RecordHelper::run(const QStringList &arguments, const QByteArray &input) const
{
    QProcess helper;
    helper.setProgram(m_program);
    helper.setArguments(QStringList{QStringLiteral("--dir"), m_sysdir} + arguments);
    helper.start();
    if (!helper.waitForStarted(10000))
        throw RecordError(QStringLiteral("%1: %2").arg(m_program, helper.errorString()));
    helper.write(input);
    helper.closeWriteChannel();
    // Two children saving at once wait for each other's lock; a minute is far more than that takes.
    if (!helper.waitForFinished(60000)) {
        helper.kill();
        helper.waitForFinished();
        throw RecordError(QStringLiteral("%1: nessuna risposta dal programma dei record").arg(m_sysdir));
    }
    if (helper.exitStatus() != QProcess::NormalExit)
        throw RecordError(QStringLiteral("%1: il programma dei record si è interrotto").arg(m_sysdir));
    const int code = helper.exitCode();
    if (code == 1 || code == 2) {
        const QString reason = QString::fromLocal8Bit(helper.readAllStandardError()).trimmed();
        throw RecordError(reason.isEmpty() ? QStringLiteral("%1: errore %2").arg(m_sysdir).arg(code) : reason);
    }
    return code;
}

void RecordHelper::ensure() const
{
    run({QStringLiteral("ensure")}, {});
}

bool RecordHelper::save(const QString &score, const QString &name) const
{
    return run({QStringLiteral("save"), score}, name.toUtf8()) == 0;
}

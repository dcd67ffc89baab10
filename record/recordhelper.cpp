// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordhelper.h"

#include "recordfiles.h"

#include <QProcess>

namespace {
// The helper waits at most kLockWait for the lock and then works for
// milliseconds; one that takes this long is stuck, not waiting its turn.
constexpr int kAnswerWait = 15000;
constexpr qint64 kReasonLimit = 4096;
} // namespace

RecordHelper::RecordHelper(QString program, QString sysdir)
    : m_program(std::move(program))
    , m_sysdir(std::move(sysdir))
{
}

RecordHelper::Answer RecordHelper::run(const QStringList &arguments, const QByteArray &input) const
{
    QProcess helper;
    helper.setProgram(m_program);
    helper.setArguments(QStringList{QStringLiteral("--dir"), m_sysdir} + arguments);
    helper.start();
    if (!helper.waitForStarted(10000))
        throw RecordError(QStringLiteral("%1: %2").arg(m_program, helper.errorString()));
    helper.write(input);
    helper.closeWriteChannel();
    if (!helper.waitForFinished(kAnswerWait)) {
        helper.kill();
        helper.waitForFinished();
        throw RecordError(QStringLiteral("%1: nessuna risposta dal programma dei record %2").arg(m_sysdir, m_program));
    }
    if (helper.exitStatus() != QProcess::NormalExit)
        throw RecordError(QStringLiteral("%1: il programma dei record %2 si è interrotto").arg(m_sysdir, m_program));
    const int code = helper.exitCode();
    if (!isHelperStatus(code))
        throw RecordError(QStringLiteral("%1: il programma dei record %2 ha risposto in modo inatteso (stato %3)")
                              .arg(m_sysdir, m_program)
                              .arg(code));
    QString reason = QString::fromLocal8Bit(helper.readAllStandardError().left(kReasonLimit)).trimmed();
    if (reason.isEmpty())
        reason = QStringLiteral("%1: errore %2 del programma dei record").arg(m_sysdir).arg(code);
    return {HelperStatus(code), helper.readAllStandardOutput(), reason};
}

std::optional<RecordPair> RecordHelper::read() const
{
    const Answer answer = run({QStringLiteral("read")}, {});
    if (answer.status == HelperStatus::LockBusy)
        return std::nullopt;
    if (answer.status != HelperStatus::Saved)
        throw RecordError(answer.reason, answer.status);
    // "SCORE-BYTES NAME-BYTES\n", then the bytes of both files.
    const QByteArray &out = answer.output;
    const qsizetype newline = out.indexOf('\n');
    const QList<QByteArray> sizes = out.left(qMax<qsizetype>(newline, 0)).split(' ');
    bool scoreOk = false, nameOk = false;
    const qsizetype scoreSize = sizes.size() == 2 ? sizes[0].toLongLong(&scoreOk) : -1;
    const qsizetype nameSize = sizes.size() == 2 ? sizes[1].toLongLong(&nameOk) : -1;
    if (newline < 0 || !scoreOk || !nameOk || scoreSize < 0 || nameSize < 0 || scoreSize > kRecordReadLimit
        || nameSize > kRecordReadLimit || out.size() != newline + 1 + scoreSize + nameSize)
        throw RecordError(QStringLiteral("%1: il programma dei record %2 ha risposto in modo inatteso")
                              .arg(m_sysdir, m_program));
    return RecordPair{out.mid(newline + 1, scoreSize), out.mid(newline + 1 + scoreSize)};
}

bool RecordHelper::save(const QString &score, const QString &name) const
{
    // The name's size goes first, so that the helper can tell a whole name from one cut short.
    const QByteArray bytes = name.toUtf8();
    const QByteArray input = QByteArray::number(bytes.size()) + '\n' + bytes;
    Answer answer = run({QStringLiteral("save"), score}, input);
    // A moment when many copies save at once must not cost a child the record: one more try, as long again.
    if (answer.status == HelperStatus::LockBusy)
        answer = run({QStringLiteral("save"), score}, input);
    if (answer.status == HelperStatus::Saved || answer.status == HelperStatus::NotBeaten)
        return answer.status == HelperStatus::Saved;
    throw RecordError(QStringLiteral("Il record non è stato salvato. ") + answer.reason, answer.status);
}

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "recordoutcome.h"

#include <QByteArray>
#include <QString>
#include <stdexcept>

// A record file that cannot be made, opened, read or written; the message
// names the path and the system's reason, the status says what kind of failure it is.
class RecordError : public std::runtime_error
{
public:
    explicit RecordError(const QString &what, HelperStatus status = HelperStatus::IoError);
    HelperStatus status() const { return m_status; }

private:
    HelperStatus m_status;
};

inline constexpr const char *kScoreFile = "atabvenr4.txt";
inline constexpr const char *kNameFile = "ntabvenr4.txt";

// Most of a record file that is ever read: a real record is one short line.
inline constexpr qint64 kRecordReadLimit = 64 * 1024;

// The shared record directory with exactly one trailing "/".
QString GetSystemDir(const QString &directory);

// The whole content of a record file (up to the read limit), decoded from
// Windows-1252. Links, FIFOs and other non-regular files are refused.
QString Leggifiletxt(const QString &nomefile);

// Windows-1252 text of the files, with "?" for what the code page cannot hold.
QByteArray toWindows1252(const QString &text);
QString fromWindows1252(const QByteArray &bytes);


// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "recordoutcome.h"

#include <QByteArray>
#include <QString>

#include <chrono>

// The record directory as the record helper program keeps it: the only code
// that changes it.
//
// Four files live there: the two records, a journal and a lock file. In the
// installed layout the package makes all four (root:games, so that no pupil
// owns them) and nothing here ever creates, renames or changes the mode of a
// file: the records are rewritten in place. A save writes the new pair and its
// checksum into the journal and flushes it, then rewrites both records and
// flushes each, then empties the journal. Whoever next holds the lock finishes
// a complete journal and ignores a torn one, so a kill at any point leaves the
// old pair or the new one. The lock is a flock() on the lock file, which only
// the games group can open, and the kernel releases it when its holder dies.
//
// A build-tree directory (no privilege involved) may lack any of the four:
// they are made there as needed.

// Files the package makes beside the two records.
inline constexpr const char *kJournalFile = ".garivolo-journal";
inline constexpr const char *kLockFile = ".garivolo-lock";

// The longest name kept: its line, with CR LF, fills the 64 KiB a record file is read up to.
inline constexpr qsizetype kMaxNameCharacters = 65534;

// How long a start-up or a save waits for another copy's lock.
inline constexpr std::chrono::milliseconds kLockWait{3000};

struct RecordPair
{
    QByteArray score;
    QByteArray name;
    bool operator==(const RecordPair &) const = default;
};

// True for a score the drill can show: plain digits, no leading zero, within 16 bits.
bool isScoreArgument(const QString &score);

// Both files' bytes (each up to the read limit), read under the lock after
// any interrupted save is finished. A failure is a RecordError whose status
// says what failed.
RecordPair readRecord(const QString &sysdir, std::chrono::milliseconds wait = kLockWait);

// Saves the pair when the score beats the record on disk (read under the
// lock, so a record saved meanwhile by another copy is never lowered).
// Returns Saved or NotBeaten; anything else is a RecordError.
HelperStatus saveRecord(const QString &sysdir, const QString &score, const QString &name,
                        std::chrono::milliseconds wait = kLockWait);

// Where a save can be interrupted, in order; a test build of the helper stops there.
enum class SaveStep {
    Locked = 1,
    JournalHalfWritten,
    JournalWritten,
    ScoreHalfWritten,
    ScoreWritten,
    NameHalfWritten,
    NameWritten,
    JournalCleared,
};
inline constexpr int kSaveSteps = 8;

// Set by the helper once it has taken its own ids in place of the caller's:
// it then works as the installed layout requires, creating nothing.
extern bool recordRunsPrivileged;

// Called at every step of a save; only test builds of the helper set it.
extern void (*recordStepHook)(SaveStep step);

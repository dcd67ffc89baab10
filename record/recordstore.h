// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The writing side of the record directory: the only code that changes it,
// run by the small record helper program.
//
// The two files are replaced as a pair. New files are written beside the old
// ones and flushed, then an intent file marks the replacement as decided;
// whoever next holds the directory's lock finishes a decided replacement or
// throws away one that was never decided. The lock is a flock() on the
// directory itself, released by the kernel when its holder dies, so holding
// it proves that no save is half way through.

// Makes both record files exist, leaving existing ones unchanged, and
// finishes an interrupted save when no save is running.
void ensureRecordFiles(const QString &sysdir);

enum class SaveResult { Saved, NotHigher };

// Saves the pair when the score beats the record on disk (read under the
// lock, so a record saved meanwhile by another copy is never lowered).
SaveResult saveRecord(const QString &sysdir, const QString &score, const QString &name);

// Where a save can be interrupted, in order; a test build of the helper stops there.
enum class SaveStep {
    Locked = 1,
    ScoreWritten,
    NameWritten,
    IntentRecorded,
    ScoreReplaced,
    NameReplaced,
    IntentRemoved,
};
inline constexpr int kSaveSteps = 7;

// Called at every step of a save; only test builds of the helper set it.
extern void (*recordStepHook)(SaveStep step);

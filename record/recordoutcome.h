// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the record helper answers, as its exit status. The helper and its
// client share this list, so that no failure can pass for an outcome.
enum class HelperStatus : int {
    Saved = 0,        // the new pair is on disk (for a read: the pair follows on standard output)
    IoError = 1,      // a record file could not be opened, read or written; the reason on standard error
    BadArguments = 2, // a score that is not one the drill can make, a name over the bound, misuse
    NotBeaten = 3,    // the record on disk is as high or higher: nothing written
    NotInstalled = 4, // a file the package makes is missing from the installed directory
    LockBusy = 5,     // another copy kept the record locked past the wait
};

inline bool isHelperStatus(int code)
{
    return code >= int(HelperStatus::Saved) && code <= int(HelperStatus::LockBusy);
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "speechengine.h"

#include <algorithm>

int Utterance::durationMs() const
{
    if (bytes <= 0 || !format.isValid())
        return silentMs;
    return int(format.msForBytes(bytes));
}

Mouth Utterance::mouthAt(int ms) const
{
    const auto after = std::upper_bound(visemes.cbegin(), visemes.cend(), ms,
                                        [](int t, const Viseme &v) { return t < v.atMs; });
    return after == visemes.cbegin() ? Mouth::Closed : std::prev(after)->mouth;
}

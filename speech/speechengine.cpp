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

Mouth mouthFor(const QByteArray &phoneme)
{
    if (phoneme.isEmpty())
        return Mouth::Closed;
    switch (phoneme.at(0)) {
    case 'a': case 'A': case '&':
        return Mouth::Open;
    case 'o': case 'O': case 'u': case 'U': case 'w':
        return Mouth::Round;
    case 'f': case 'v':
        return Mouth::Teeth;
    case 'm': case 'b': case 'p': case '_': case ' ':
        return Mouth::Closed;
    default:
        // e, i and the consonants made behind parted teeth (t, s, n, l, r, k...).
        return Mouth::Wide;
    }
}

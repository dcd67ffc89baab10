// SPDX-License-Identifier: GPL-3.0-or-later
#include "praise.h"

#include <algorithm>
#include <array>

namespace {

constexpr std::array<PraiseStep, 8> kLadder{{
    {2, "congratulate", "Sei grande"},
    {5, "domagic1", "Sei forte"},
    {10, "congratulate", "Sei sulla buona strada per diventare cavaliere"},
    {13, "domagic2", "Sei in gamba"},
    {14, "congratulate", "Sei eccezionale"},
    {18, "congratulate", "Sei insuperabile"},
    {23, "congratulate", "Ti nomino cavaliere della tabellina, il massimo ordine per un eroe"},
    {27, "congratulate", "Hai lavorato bene mio leale campione: sei invincibile"},
}};

constexpr std::array<int, 5> kNamedAt{3, 7, 12, 21, 26};

} // namespace

std::span<const PraiseStep> praiseLadder()
{
    return kLadder;
}

const PraiseStep *praiseStepAt(int shownScore)
{
    const auto it = std::find_if(kLadder.begin(), kLadder.end(),
                                 [shownScore](const PraiseStep &s) { return s.shownScore == shownScore; });
    return it == kLadder.end() ? nullptr : &*it;
}

QString confirmationAt(int shownScore)
{
    if (shownScore < 10)
        return QStringLiteral("Esatto");
    if (shownScore > 10)
        return QStringLiteral("Giusto");
    return {};
}

bool namesChildAt(int shownScore)
{
    return std::find(kNamedAt.begin(), kNamedAt.end(), shownScore) != kNamedAt.end();
}

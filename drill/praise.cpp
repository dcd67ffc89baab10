// SPDX-License-Identifier: GPL-3.0-or-later
#include "praise.h"

#include <algorithm>
#include <iterator>

namespace {

constexpr PraiseStep kLadder[] = {
    {2, "congratulate", "Sei grande"},
    {5, "domagic1", "Sei forte"},
    {10, "congratulate", "Sei sulla buona strada per diventare cavaliere"},
    {13, "domagic2", "Sei in gamba"},
    {14, "congratulate", "Sei eccezionale"},
    {18, "congratulate", "Sei insuperabile"},
    {23, "congratulate", "Ti nomino cavaliere della tabellina, il massimo ordine per un eroe"},
    {27, "congratulate", "Hai lavorato bene mio leale campione: sei invincibile"},
};

constexpr int kNamedAt[] = {3, 7, 12, 21, 26};

} // namespace

std::span<const PraiseStep> praiseLadder()
{
    return kLadder;
}

const PraiseStep *praiseStepAt(int shownScore)
{
    const auto it = std::ranges::find(kLadder, shownScore, &PraiseStep::shownScore);
    return it == std::end(kLadder) ? nullptr : &*it;
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
    return std::ranges::find(kNamedAt, shownScore) != std::end(kNamedAt);
}

QStringList animationsAsked()
{
    QStringList names{QLatin1String(kAnnounceAnimation), QLatin1String(kGreetAnimation)};
    for (const PraiseStep &step : kLadder)
        if (!names.contains(QLatin1String(step.animation)))
            names << QLatin1String(step.animation);
    return names;
}

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <span>

// One rung of the praise ladder: reached by the right answer that follows the
// shown score, it plays an animation and speaks a line.
struct PraiseStep
{
    int shownScore;
    const char *animation;
    const char *line;
};

// The whole ladder, in climbing order.
std::span<const PraiseStep> praiseLadder();

// The rung reached at this shown score, or nullptr when there is none.
const PraiseStep *praiseStepAt(int shownScore);

// The confirmation spoken before the result: "Esatto" below 10, "Giusto"
// above 10, nothing at exactly 10 (the ladder's line speaks there instead).
QString confirmationAt(int shownScore);

// Whether the child's name is spoken after the confirmation at this shown score.
bool namesChildAt(int shownScore);

// Merlin's animations outside the ladder: the introduction, and each question and wrong answer.
inline constexpr const char *kAnnounceAnimation = "Announce";
inline constexpr const char *kGreetAnimation = "Greet";

// Every animation the drill ever asks Merlin for, each once.
QStringList animationsAsked();

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The number a text starts with, read the way BASIC's Val does: blanks, tabs
// and line feeds are skipped, then an optional sign, digits, an optional "."
// with more digits and an optional exponent, up to the first character that
// cannot continue it. No number gives 0; an exponent too large gives infinity.
double leadingNumber(const QString &text);

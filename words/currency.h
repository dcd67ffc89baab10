#pragma once

#include <QString>
#include <QtGlobal>

// Money amount kept as an exact count of ten-thousandths, so sums never drift the way doubles do.
struct Currency
{
    qint64 tenThousandths = 0;
    static constexpr qint64 scale = 10000;

    // Amount worth exactly n units; throws std::out_of_range when n * scale does not fit.
    static Currency fromWhole(qint64 n);

    // Parses "[blanks][sign]digits[.decimals][blanks]" like CCur(); throws std::invalid_argument.
    static Currency fromText(const QString &text);

    friend constexpr bool operator==(Currency, Currency) = default;
};

#include "currency.h"

#include <limits>
#include <stdexcept>
#include <string>

namespace {

constexpr int decimals = 4;

// Unified error for every way a text can fail, so callers can show one message to the user.
[[noreturn]] void rejectText(const QString &text)
{
    throw std::invalid_argument("Impossibile convertire in numero: \"" + text.toStdString() + '"');
}

// Blanks CCur() tolerates around a number.
bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

// ASCII digits only: other Unicode digits are not amounts a user typed here.
bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

} // namespace

// Scales a whole amount, refusing silently wrapped results.
Currency Currency::fromWhole(qint64 n)
{
    Currency c;
    if (__builtin_mul_overflow(n, scale, &c.tenThousandths))
        throw std::out_of_range("Importo fuori intervallo: " + std::to_string(n));
    return c;
}

// Reads the digits as one unsigned magnitude so the most negative amount is still reachable.
Currency Currency::fromText(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;

    bool negative = false;
    if (begin < end && (text[begin] == u'-' || text[begin] == u'+')) {
        negative = text[begin] == u'-';
        ++begin;
    }

    // One past the largest positive magnitude: only a negative sign may reach it.
    constexpr quint64 limit = quint64(std::numeric_limits<qint64>::max()) + 1;
    quint64 magnitude = 0;
    auto push = [&](int digit) {
        if (magnitude > (limit - digit) / 10)
            rejectText(text);
        magnitude = magnitude * 10 + digit;
    };

    qsizetype pos = begin;
    int digitsSeen = 0;
    for (; pos < end && isDigit(text[pos]); ++pos, ++digitsSeen)
        push(text[pos].unicode() - u'0');

    int kept = 0;
    int firstDropped = -1;
    bool droppedNonZeroAfterFirst = false;
    if (pos < end && text[pos] == u'.') {
        for (++pos; pos < end && isDigit(text[pos]); ++pos, ++digitsSeen) {
            const int digit = text[pos].unicode() - u'0';
            if (kept < decimals) {
                push(digit);
                ++kept;
            } else if (firstDropped < 0) {
                firstDropped = digit;
            } else if (digit != 0) {
                droppedNonZeroAfterFirst = true;
            }
        }
    }
    if (pos != end || digitsSeen == 0)
        rejectText(text);

    for (; kept < decimals; ++kept)
        push(0);

    // Half to even, as CCur() does, so repeated conversions do not bias totals upwards.
    const bool roundUp = firstDropped > 5
        || (firstDropped == 5 && (droppedNonZeroAfterFirst || magnitude % 2 == 1));
    if (roundUp) {
        if (magnitude == limit)
            rejectText(text);
        ++magnitude;
    }

    if (!negative && magnitude == limit)
        rejectText(text);
    Currency c;
    c.tenThousandths = negative ? qint64(0 - magnitude) : qint64(magnitude);
    return c;
}

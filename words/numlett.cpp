#include "numlett.h"

#include <QStringView>

#include <algorithm>
#include <array>

namespace {

// Entry 0 is unused so that the word for a value v is entry v + 1 and for a tens digit d is d + 19.
constexpr std::array<QStringView, 29> parole = {
    u"",
    u"",
    u"uno",
    u"due",
    u"tre",
    u"quattro",
    u"cinque",
    u"sei",
    u"sette",
    u"otto",
    u"nove",
    u"dieci",
    u"undici",
    u"dodici",
    u"tredici",
    u"quattordici",
    u"quindici",
    u"sedici",
    u"diciassette", // the correct Italian spelling, with two t
    u"diciotto",
    u"diciannove",
    u"venti",
    u"trenta",
    u"quaranta",
    u"cinquanta",
    u"sessanta",
    u"settanta",
    u"ottanta",
    u"novanta",
};

// Longest group is 28 characters and the scale words add 19, so 4 * 28 + 19 fits with room to spare.
constexpr qsizetype capacity = 160;

// Fixed-size scratch text so a whole number is built without a single heap allocation.
class Buffer
{
public:
    void append(QStringView word)
    {
        std::copy_n(word.utf16(), word.size(), chars.data() + length);
        length += word.size();
    }
    void chop(qsizetype n) { length -= n; }
    void clear() { length = 0; }
    QString toString() const { return QStringView(chars.data(), length).toString(); }

private:
    // Left uninitialised on purpose: only the first length characters are ever read.
    std::array<char16_t, capacity> chars;
    qsizetype length = 0;
};

// Spells one group 1..999; the elided vowel keeps "ventuno" and "trentotto" but never touches "cento".
void appendGroup(Buffer &s, qint64 t)
{
    if (t > 99) {
        const qint64 c = t / 100;
        t -= 100 * c;
        if (c != 1)
            s.append(parole[c + 1]);
        s.append(u"cento");
    }
    if (t <= 20) {
        s.append(parole[t + 1]);
        return;
    }
    const qint64 d = t / 10;
    s.append(parole[d + 19]);
    t -= 10 * d;
    if (t == 1 || t == 8)
        s.chop(1);
    s.append(parole[t + 1]);
}

} // namespace

// Walks the groups from thousand millions down to units, exactly on ten-thousandths.
QString numlett(Currency numer)
{
    constexpr qint64 thousandMillions = Currency::scale * 1'000'000'000;
    qint64 rest = numer.tenThousandths;
    // Below 1 every group is 0; from 10^12 the first group would exceed 999 and has no spelling.
    if (rest < Currency::scale || rest >= thousandMillions * 1000)
        return {};

    Buffer s;
    qint64 divisor = thousandMillions;
    for (int i = 3; i >= 0; --i, divisor /= 1000) {
        const qint64 n = rest / divisor;
        if (n <= 0)
            continue;
        appendGroup(s, n);
        // A group of exactly 1 has its own singular form instead of "uno" plus the plural.
        switch (i) {
        case 3:
            if (n == 1) {
                s.clear();
                s.append(u"unmiliardo");
            } else {
                s.append(u"miliardi");
            }
            break;
        case 2:
            if (n == 1) {
                s.chop(3);
                s.append(u"unmilione");
            } else {
                s.append(u"milioni");
            }
            break;
        case 1:
            if (n == 1) {
                s.chop(3);
                s.append(u"mille");
            } else {
                s.append(u"mila");
            }
            break;
        default:
            break;
        }
        rest -= n * divisor;
    }
    return s.toString();
}

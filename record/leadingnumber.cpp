// SPDX-License-Identifier: GPL-3.0-or-later
#include "leadingnumber.h"

#include <cstdlib>
#include <string>

double leadingNumber(const QString &text)
{
    std::string number;
    bool digits = false, point = false, exponent = false, exponentDigits = false;
    for (const QChar c : text) {
        if (c == u' ' || c == u'\t' || c == u'\n')
            continue;
        const char ch = c.toLatin1();
        if (c.unicode() > 0x7f)
            break;
        if (ch >= '0' && ch <= '9') {
            (exponent ? exponentDigits : digits) = true;
        } else if ((ch == '+' || ch == '-')
                   && (number.empty() || (exponent && (number.back() == 'e' || number.back() == 'E')))) {
        } else if (ch == '.' && !point && !exponent) {
            point = true;
        } else if ((ch == 'e' || ch == 'E' || ch == 'd' || ch == 'D') && digits && !exponent) {
            exponent = true;
            number += 'e';
            continue;
        } else {
            break;
        }
        number += ch;
    }
    if (!digits)
        return 0.0;
    // An exponent marker with no digits after it adds nothing.
    if (exponent && !exponentDigits) {
        while (!number.empty() && (number.back() == 'e' || number.back() == '+' || number.back() == '-'))
            number.pop_back();
    }
    return std::strtod(number.c_str(), nullptr);
}

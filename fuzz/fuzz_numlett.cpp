// SPDX-License-Identifier: GPL-3.0-or-later
// Any 64-bit value: numlett must not crash, and what it says must be one word.
#include "numlett.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < sizeof(qint64))
        return 0;
    qint64 value;
    std::memcpy(&value, data, sizeof value);
    const QString words = numlett(Currency{value});
    // Below one whole unit, or from 10^12 on, there is nothing to say.
    const bool spoken = value >= Currency::scale && value < 1000000000000LL * Currency::scale;
    if (words.isEmpty() == spoken || words.contains(u' '))
        std::abort();
    return 0;
}

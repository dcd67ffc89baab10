#include "currency.h"
#include "numlett.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>

// Times numlett over a million values and prints the median cost of one call.
int main()
{
    constexpr qint64 calls = 1000000;
    constexpr int repetitions = 5;
    std::array<double, repetitions> nsPerCall{};
    // Summing the lengths into a volatile keeps the optimiser from discarding the calls.
    volatile qsizetype sink = 0;

    for (double &result : nsPerCall) {
        qsizetype total = 0;
        const auto start = std::chrono::steady_clock::now();
        for (qint64 n = 1; n <= calls; ++n)
            total += numlett(Currency{n * Currency::scale}).size();
        const auto stop = std::chrono::steady_clock::now();
        sink = sink + total;
        result = std::chrono::duration<double, std::nano>(stop - start).count() / calls;
    }

    std::sort(nsPerCall.begin(), nsPerCall.end());
    std::printf("numlett_ns_per_call %.1f\n", nsPerCall[repetitions / 2]);
    return 0;
}

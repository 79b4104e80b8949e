// SPDX-License-Identifier: GPL-3.0-or-later
#include "random.h"

#include <chrono>

void SeededRandom::seedFromClock()
{
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    seed(uint64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()));
}

double SeededRandom::next()
{
    // 53 random bits give every double in [0, 1) on an even grid; never 1.
    return double(m_engine() >> 11) * (1.0 / 9007199254740992.0);
}

// SPDX-License-Identifier: MIT
#include "platform.h"

#include <QTime>
#include <cstring>

void RandomNumbers::Randomize(float seed)
{
    std::uint32_t bits;
    std::memcpy(&bits, &seed, sizeof bits);
    engine_.seed(bits);
}

float RandomNumbers::Rnd()
{
    // 24 random bits: every value is exact in a float and below 1.
    return float(engine_() >> 8) / float(1u << 24);
}

float secondsSinceMidnight()
{
    return float(QTime::currentTime().msecsSinceStartOfDay()) / 1000.0f;
}

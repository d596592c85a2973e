// SPDX-License-Identifier: MIT
// When the sound output sleeps and wakes: a grace after the last sound has
// played out or the last wake, whatever replaced what.
#include "sleeprule.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using Clock = SleepRule::Clock;
constexpr auto kGrace = SleepRule::kGrace;

TEST(SleepRule, SleepsAGraceAfterTheLastSoundHasPlayedOut)
{
    SleepRule rule;
    const Clock::time_point t0 = Clock::now();
    EXPECT_TRUE(rule.maySleep(t0)) << "nothing played: asleep from the start";
    rule.soundStarted(t0, 800ms);
    EXPECT_TRUE(rule.playing(t0 + 799ms));
    EXPECT_FALSE(rule.maySleep(t0 + 800ms + kGrace - 1ms)) << "not while it plays, nor in the grace after";
    EXPECT_TRUE(rule.maySleep(t0 + 800ms + kGrace));
    EXPECT_LE(kGrace, 2000ms);
}

TEST(SleepRule, AReplacingSoundDecidesAloneAndSilenceEndsThePlaying)
{
    SleepRule rule;
    const Clock::time_point t0 = Clock::now();
    rule.soundStarted(t0, 5s);  // a long fanfare
    rule.soundStarted(t0 + 100ms, 300ms);  // replaced by a short chime
    EXPECT_FALSE(rule.playing(t0 + 400ms));
    EXPECT_TRUE(rule.maySleep(t0 + 400ms + kGrace)) << "not kept awake by the sound that was cut";
    rule.soundStarted(t0 + 10s, 3s);
    rule.soundStarted(t0 + 10s + 50ms, 0ms);  // silence in its place
    EXPECT_FALSE(rule.playing(t0 + 10s + 60ms));
    EXPECT_TRUE(rule.maySleep(t0 + 10s + 50ms + kGrace));
}

TEST(SleepRule, AWakeKeepsItAwakeForAGraceAndNeverCutsASound)
{
    SleepRule rule;
    const Clock::time_point t0 = Clock::now();
    rule.woken(t0);
    EXPECT_FALSE(rule.maySleep(t0 + kGrace - 1ms)) << "a drag may end in a drop any moment";
    EXPECT_TRUE(rule.maySleep(t0 + kGrace)) << "a press that started no drop costs only the grace";
    rule.soundStarted(t0 + 10s, 4s);
    rule.woken(t0 + 11s);
    EXPECT_FALSE(rule.maySleep(t0 + 11s + kGrace)) << "the sound still plays";
    EXPECT_TRUE(rule.maySleep(t0 + 14s + kGrace));
    rule.woken(t0 + 20s);
    rule.woken(t0 + 20s + kGrace / 2);
    EXPECT_FALSE(rule.maySleep(t0 + 20s + kGrace)) << "each wake gives a grace of its own";
}

}  // namespace

// SPDX-License-Identifier: MIT
#pragma once
// When the sound output may sleep: once the last sound has played out and
// nothing has woken it for a short grace, so that the sound server can
// suspend its device and the program's threads rest; and when it must be
// awake: from a wake (a drag may begin) or a sound's start until then.
#include <algorithm>
#include <chrono>

class SleepRule {
public:
    using Clock = std::chrono::steady_clock;
    // How long the output stays awake after its last sound or wake: longer
    // than a player takes from letting go of one name to taking the next,
    // short enough that an idle window soon costs nothing.
    static constexpr std::chrono::milliseconds kGrace{1500};

    // A drag may begin: keep awake for a grace from now.
    void woken(Clock::time_point now) { wokenUntil_ = std::max(wokenUntil_, now + kGrace); }
    // A sound of this length starts now, replacing any other (a length of
    // zero: silence in its place).
    void soundStarted(Clock::time_point now, Clock::duration length) { playingUntil_ = now + length; }
    // Whether a sound is still playing out.
    bool playing(Clock::time_point now) const { return now < playingUntil_; }
    // When it may sleep, if nothing else happens.
    Clock::time_point sleepsAt() const { return std::max(wokenUntil_, playingUntil_ + kGrace); }
    // Whether the output may go to sleep now.
    bool maySleep(Clock::time_point now) const { return now >= sleepsAt(); }

private:
    Clock::time_point playingUntil_{};
    Clock::time_point wokenUntil_{};
};

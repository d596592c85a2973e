// SPDX-License-Identifier: MIT
#pragma once
// The sound the decode helper hands the engine: signed 16-bit samples in
// this machine's byte order, 44100 Hz, stereo, interleaved; at most two
// minutes of it, which the helper never exceeds and the engine never reads
// beyond.
#include <cstddef>
#include <cstdint>

namespace pcm {
constexpr int kRate = 44100;
constexpr int kChannels = 2;
constexpr int kMaxSeconds = 120;
constexpr size_t kFrameBytes = kChannels * sizeof(int16_t);
constexpr size_t kMaxBytes = size_t(kMaxSeconds) * kRate * kFrameBytes;
}  // namespace pcm

// SPDX-License-Identifier: MIT
#pragma once
// Sound output through a PulseAudio server (PipeWire desktops serve the same
// protocol). The client library is loaded when the output is first opened,
// so the program starts, silent, on a machine without it.
#include "soundengine.h"

struct pa_simple;

class PulseOutput : public SoundOutput {
public:
    // What the server is asked to keep queued: enough to ride out a busy
    // moment, little enough that a sound starts without a noticeable delay.
    // A new sound flushes the queue, so this is no delay to its start.
    static constexpr int TargetLatencyMs = 60;

    ~PulseOutput() override;
    bool open() override;
    bool write(const int16_t *samples, size_t frames) override;
    void flush() override;
    void close() override;

private:
    pa_simple *stream_ = nullptr;
};

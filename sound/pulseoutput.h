// SPDX-License-Identifier: MIT
#pragma once
// Sound output through a PulseAudio server (PipeWire desktops serve the same
// protocol), with its asynchronous API. A sound is handed to the server
// whole as it starts, so a busy machine cannot break it up; the stream then
// goes to sleep (corked: nothing fed, nothing asked) a grace after the last
// sound or wake, so the server can suspend its device, and wakes when a drag
// may begin or a sound is played. Nothing here ever waits on the server:
// connecting, writing and closing all return at once, and a server that
// stops answering is given up (the next sound tries again). The client
// library is loaded when the output is first prepared, so the program
// starts, silent, on a machine without it.
#include "sleeprule.h"
#include "soundengine.h"

#include <QByteArray>
#include <QString>

#include <chrono>

struct pa_context;
struct pa_stream;
struct pa_threaded_mainloop;

class PulseOutput : public SoundOutput {
public:
    // What the server is asked to keep queued while awake with no sound:
    // silence, which keeps its device running. A new sound is written over
    // it, so this is no delay to its start.
    static constexpr int kTargetLatencyMs = 50;
    static constexpr int kRequestMs = 20;
    // At most this much of a sound is handed over at its start (a sound
    // effect is all of it); the rest as the server asks.
    static constexpr size_t kWholeSoundBytes = 1 << 20;
    // A server that takes longer to connect, or to answer while a sound
    // plays, is given up.
    static constexpr int kConnectMs = 1500;
    static constexpr int kStallMs = 400;

    enum class Link { None, Connecting, Ready };

    // clientName: how the sound server lists the program.
    explicit PulseOutput(const QString &clientName);
    ~PulseOutput() override;
    void prepare() override;
    void wake() override;
    void start(Samples samples) override;
    void tick() override;
    bool busy() const override;

    // For tests: where the connection stands, how many have been given up,
    // how much of the sound in progress the server has been given, and
    // whether the stream sleeps.
    Link link() const;
    int givenUp() const;
    size_t framesGiven() const;
    bool asleep() const;

private:
    using Clock = std::chrono::steady_clock;
    bool connect();  // locked
    void disconnect();  // locked
    void feed(size_t bytes);  // locked
    void startWriting();  // locked
    void ping();  // locked
    void cork(bool sleep);  // locked
    bool playing() const;  // locked
    static void contextChanged(pa_context *context, void *self);
    static void streamChanged(pa_stream *stream, void *self);
    static void wanted(pa_stream *stream, size_t bytes, void *self);
    static void answered(pa_stream *stream, int success, void *self);

    const QByteArray clientName_;
    pa_threaded_mainloop *loop_ = nullptr;
    pa_context *context_ = nullptr;
    pa_stream *stream_ = nullptr;
    Link link_ = Link::None;
    Clock::time_point since_;  // connecting since, or asked how far it has got since
    SleepRule rule_;
    bool asleep_ = true;  // the stream is corked (it starts so)
    bool pinging_ = false;
    int givenUp_ = 0;
    Samples sound_;
    size_t at_ = 0;  // bytes of the sound given to the server
    bool fresh_ = false;  // the sound has not been written yet
};

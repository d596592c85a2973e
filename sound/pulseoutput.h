// SPDX-License-Identifier: MIT
#pragma once
// Sound output through a PulseAudio server (PipeWire desktops serve the same
// protocol), with its asynchronous API: a stream of its own thread that gives
// the server only what it asks for. Nothing here ever waits on the server:
// connecting, writing and closing all return at once, and a server that
// stops answering is given up (the next sound tries again). The client
// library is loaded when the output is first prepared, so the program
// starts, silent, on a machine without it.
#include "soundengine.h"

#include <QByteArray>
#include <QString>

#include <chrono>

struct pa_context;
struct pa_stream;
struct pa_threaded_mainloop;

class PulseOutput : public SoundOutput {
public:
    // What the server is asked to keep queued: enough to ride out a busy
    // moment. A new sound is written over it, so this is no delay to its
    // start.
    static constexpr int kTargetLatencyMs = 50;
    static constexpr int kRequestMs = 20;
    // A server that takes longer to connect, or to answer while a sound
    // plays, is given up.
    static constexpr int kConnectMs = 1500;
    static constexpr int kStallMs = 400;

    enum class Link { None, Connecting, Ready };

    // clientName: how the sound server lists the program.
    explicit PulseOutput(const QString &clientName);
    ~PulseOutput() override;
    void prepare() override;
    void start(Samples samples) override;
    void tick() override;
    bool busy() const override;

    // For tests: where the connection stands, how many have been given up,
    // and how much of the sound in progress the server has been given.
    Link link() const;
    int givenUp() const;
    size_t framesGiven() const;

private:
    using Clock = std::chrono::steady_clock;
    bool connect();  // locked
    void disconnect();  // locked
    void feed(size_t bytes);  // locked
    void startWriting();  // locked
    void ping();  // locked
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
    Clock::time_point started_;  // the sound in progress
    bool pinging_ = false;
    int givenUp_ = 0;
    Samples sound_;
    size_t at_ = 0;  // bytes of the sound given to the server
    bool fresh_ = false;  // the sound has not been written yet
};

// SPDX-License-Identifier: MIT
#include "pulseoutput.h"

#include <pulse/pulseaudio.h>

#include <QLoggingCategory>

#include <algorithm>
#include <array>
#include <dlfcn.h>

Q_DECLARE_LOGGING_CATEGORY(lcSound)

namespace {

// The part of the client library this output uses, loaded at run time.
struct Pulse {
#define PULSE_FUNCTION(name) decltype(&::name) name = nullptr;
#define PULSE_FUNCTIONS(F)                                                                                             \
    F(pa_threaded_mainloop_new)                                                                                        \
    F(pa_threaded_mainloop_free)                                                                                       \
    F(pa_threaded_mainloop_start)                                                                                      \
    F(pa_threaded_mainloop_stop)                                                                                       \
    F(pa_threaded_mainloop_lock)                                                                                       \
    F(pa_threaded_mainloop_unlock)                                                                                     \
    F(pa_threaded_mainloop_get_api)                                                                                    \
    F(pa_context_new)                                                                                                  \
    F(pa_context_unref)                                                                                                \
    F(pa_context_set_state_callback)                                                                                   \
    F(pa_context_connect)                                                                                              \
    F(pa_context_disconnect)                                                                                           \
    F(pa_context_get_state)                                                                                            \
    F(pa_stream_new)                                                                                                   \
    F(pa_stream_unref)                                                                                                 \
    F(pa_stream_set_state_callback)                                                                                    \
    F(pa_stream_set_write_callback)                                                                                    \
    F(pa_stream_connect_playback)                                                                                      \
    F(pa_stream_disconnect)                                                                                            \
    F(pa_stream_get_state)                                                                                             \
    F(pa_stream_write)                                                                                                 \
    F(pa_stream_flush)                                                                                                 \
    F(pa_stream_cork)                                                                                                  \
    F(pa_stream_update_timing_info)                                                                                    \
    F(pa_operation_unref)                                                                                              \
    F(pa_usec_to_bytes)
    PULSE_FUNCTIONS(PULSE_FUNCTION)
#undef PULSE_FUNCTION

    // Loaded once and kept: the library cannot be unloaded safely while its
    // threads may still run.
    static const Pulse *get()
    {
        static const Pulse *api = [] {
            static Pulse a;
            void *lib = ::dlopen("libpulse.so.0", RTLD_NOW | RTLD_LOCAL);
            if (!lib)
                return static_cast<Pulse *>(nullptr);
            bool all = true;
#define PULSE_LOAD(name)                                                                                               \
    a.name = reinterpret_cast<decltype(a.name)>(::dlsym(lib, #name));                                                  \
    all = all && a.name;
            PULSE_FUNCTIONS(PULSE_LOAD)
#undef PULSE_LOAD
            return all ? &a : nullptr;
        }();
        return api;
    }
};

constexpr pa_sample_spec kSpec = {PA_SAMPLE_S16NE, SoundOutput::kRate, SoundOutput::kChannels};
using pcm::kFrameBytes;

// Holds the loop's lock for a scope: the loop's thread runs the callbacks
// under it.
class Hold {
public:
    explicit Hold(pa_threaded_mainloop *loop) : loop_(loop) { Pulse::get()->pa_threaded_mainloop_lock(loop_); }
    ~Hold() { Pulse::get()->pa_threaded_mainloop_unlock(loop_); }
    Hold(const Hold &) = delete;
    Hold &operator=(const Hold &) = delete;

private:
    pa_threaded_mainloop *loop_;
};

}  // namespace

PulseOutput::PulseOutput(const QString &clientName) : clientName_(clientName.toUtf8()) {}

PulseOutput::~PulseOutput()
{
    if (!loop_)
        return;
    {
        const Hold hold(loop_);
        disconnect();
    }
    const Pulse *pa = Pulse::get();
    // The loop's thread only ever waits in poll(), so it ends at once.
    pa->pa_threaded_mainloop_stop(loop_);
    pa->pa_threaded_mainloop_free(loop_);
}

// Connecting is started here and goes on in the loop's thread.
bool PulseOutput::connect()
{
    const Pulse *pa = Pulse::get();
    if (!pa)
        return false;
    context_ = pa->pa_context_new(pa->pa_threaded_mainloop_get_api(loop_), clientName_.constData());
    if (!context_)
        return false;
    pa->pa_context_set_state_callback(context_, &PulseOutput::contextChanged, this);
    // No server of our own: a desktop starts its sound server itself.
    if (pa->pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        disconnect();
        return false;
    }
    link_ = Link::Connecting;
    since_ = Clock::now();
    return true;
}

// Taking a connection down sends nothing that waits for an answer: the
// socket is closed and the server learns of it when it looks.
void PulseOutput::disconnect()
{
    const Pulse *pa = Pulse::get();
    if (stream_) {
        pa->pa_stream_set_state_callback(stream_, nullptr, nullptr);
        pa->pa_stream_set_write_callback(stream_, nullptr, nullptr);
        pa->pa_stream_disconnect(stream_);
        pa->pa_stream_unref(stream_);
        stream_ = nullptr;
    }
    pinging_ = false;
    if (context_) {
        pa->pa_context_set_state_callback(context_, nullptr, nullptr);
        pa->pa_context_disconnect(context_);
        pa->pa_context_unref(context_);
        context_ = nullptr;
    }
    link_ = Link::None;
}

void PulseOutput::contextChanged(pa_context *context, void *self)
{
    auto *out = static_cast<PulseOutput *>(self);
    const Pulse *pa = Pulse::get();
    switch (pa->pa_context_get_state(context)) {
    case PA_CONTEXT_READY: {
        out->stream_ = pa->pa_stream_new(context, "Sound effects", &kSpec, nullptr);
        if (!out->stream_) {
            out->link_ = Link::None;  // taken down at the next tick
            return;
        }
        pa->pa_stream_set_state_callback(out->stream_, &PulseOutput::streamChanged, out);
        pa->pa_stream_set_write_callback(out->stream_, &PulseOutput::wanted, out);
        pa_buffer_attr attr{};
        attr.maxlength = uint32_t(-1);
        attr.tlength = uint32_t(pa->pa_usec_to_bytes(pa_usec_t(kTargetLatencyMs) * 1000, &kSpec));
        attr.minreq = uint32_t(pa->pa_usec_to_bytes(pa_usec_t(kRequestMs) * 1000, &kSpec));
        // Never held back to fill up first: a sound starts with what there is.
        attr.prebuf = 0;
        attr.fragsize = uint32_t(-1);
        // The latency asked for is the whole way to the speaker, the device's
        // buffer included: the server asks for sound steadily, a little at a
        // time. Corked until a sound or a wake: connecting wakes no device.
        out->asleep_ = true;
        if (pa->pa_stream_connect_playback(out->stream_, nullptr, &attr,
                                           pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY | PA_STREAM_START_CORKED),
                                           nullptr, nullptr)
            < 0)
            out->link_ = Link::None;
        return;
    }
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
        out->link_ = Link::None;  // taken down at the next tick; a later sound connects again
        return;
    default:
        return;
    }
}

void PulseOutput::streamChanged(pa_stream *stream, void *self)
{
    auto *out = static_cast<PulseOutput *>(self);
    switch (Pulse::get()->pa_stream_get_state(stream)) {
    case PA_STREAM_READY:
        out->link_ = Link::Ready;
        out->since_ = Clock::now();
        qCDebug(lcSound) << "output connected";
        if (out->fresh_)
            out->startWriting();
        else if (!out->rule_.maySleep(Clock::now()))
            out->cork(false);  // woken while connecting
        return;
    case PA_STREAM_FAILED:
    case PA_STREAM_TERMINATED:
        out->link_ = Link::None;
        return;
    default:
        return;
    }
}

void PulseOutput::wanted(pa_stream *, size_t bytes, void *self)
{
    static_cast<PulseOutput *>(self)->feed(bytes);
}

// While a sound plays, the server is asked how far it has got, now and then:
// a server that does not answer in time is given up. (How often it asks for
// more sound says nothing: a device may hold a long stretch.)
void PulseOutput::ping()
{
    if (pinging_ || !stream_ || link_ != Link::Ready)
        return;
    const Pulse *pa = Pulse::get();
    if (pa_operation *o = pa->pa_stream_update_timing_info(stream_, &PulseOutput::answered, this)) {
        pa->pa_operation_unref(o);
        pinging_ = true;
        since_ = Clock::now();
    }
}

void PulseOutput::answered(pa_stream *, int, void *self)
{
    static_cast<PulseOutput *>(self)->pinging_ = false;
}

// Gives the server what it asks for while awake: what is left of a long
// sound, then silence, so that the device keeps running until the stream
// sleeps.
void PulseOutput::feed(size_t bytes)
{
    static const std::array<uint8_t, 16384> kSilence{};
    if (!stream_ || asleep_)
        return;
    const Pulse *pa = Pulse::get();
    size_t left = bytes / kFrameBytes * kFrameBytes;
    if (sound_ && !fresh_) {
        const size_t size = sound_->size() * sizeof(int16_t);
        const size_t n = std::min(left, size - at_) / kFrameBytes * kFrameBytes;
        const auto *data = reinterpret_cast<const uint8_t *>(sound_->data()) + at_;
        if (n && pa->pa_stream_write(stream_, data, n, nullptr, 0, PA_SEEK_RELATIVE) == 0) {
            at_ += n;
            left -= n;
        }
    }
    while (left > 0) {
        const size_t n = std::min(left, kSilence.size());
        if (pa->pa_stream_write(stream_, kSilence.data(), n, nullptr, 0, PA_SEEK_RELATIVE) != 0)
            return;
        left -= n;
    }
}

// A new sound: what the server still holds of the old one goes, and the new
// one is written whole where the server reads next, so it starts at once
// and a late thread cannot leave it dry. Silence in its place only stops
// what plays.
void PulseOutput::startWriting()
{
    const Pulse *pa = Pulse::get();
    fresh_ = false;
    at_ = 0;
    since_ = Clock::now();
    if (!sound_ && asleep_)
        return;
    if (pa_operation *o = pa->pa_stream_flush(stream_, nullptr, nullptr))
        pa->pa_operation_unref(o);  // not waited for
    if (!sound_)
        return;
    cork(false);
    const size_t size = sound_->size() * sizeof(int16_t);
    const size_t n = std::min(size, kWholeSoundBytes) / kFrameBytes * kFrameBytes;
    if (n && pa->pa_stream_write(stream_, sound_->data(), n, nullptr, 0, PA_SEEK_RELATIVE_ON_READ) == 0)
        at_ = n;
}

// Corks the stream (sleep: the server asks for nothing and may suspend its
// device) or uncorks it.
void PulseOutput::cork(bool sleep)
{
    if (!stream_ || asleep_ == sleep)
        return;
    const Pulse *pa = Pulse::get();
    if (pa_operation *o = pa->pa_stream_cork(stream_, sleep ? 1 : 0, nullptr, nullptr))
        pa->pa_operation_unref(o);  // not waited for
    asleep_ = sleep;
    qCDebug(lcSound) << (sleep ? "output asleep" : "output awake");
}

void PulseOutput::prepare()
{
    const Pulse *pa = Pulse::get();
    if (!pa)
        return;
    if (!loop_) {
        loop_ = pa->pa_threaded_mainloop_new();
        if (!loop_ || pa->pa_threaded_mainloop_start(loop_) < 0) {
            if (loop_)
                pa->pa_threaded_mainloop_free(loop_);
            loop_ = nullptr;
            return;
        }
    }
    const Hold hold(loop_);
    if (link_ == Link::None) {
        disconnect();  // what is left of a broken one
        connect();
    }
}

void PulseOutput::wake()
{
    prepare();
    if (!loop_)
        return;
    const Hold hold(loop_);
    rule_.woken(Clock::now());
    if (link_ == Link::Ready && !fresh_)
        cork(false);  // silence until a sound comes: the device resumes now
}

void PulseOutput::start(Samples samples)
{
    if (!Pulse::get())
        return;
    if (!loop_ && !samples)
        return;  // silence needs no connection
    prepare();
    if (!loop_)
        return;
    const Hold hold(loop_);
    sound_ = std::move(samples);
    at_ = 0;
    fresh_ = true;
    const size_t frames = sound_ ? sound_->size() / kChannels : 0;
    rule_.soundStarted(Clock::now(), std::chrono::microseconds(frames * 1000000 / kRate));
    if (link_ == Link::Ready && stream_) {
        startWriting();  // otherwise once the stream is ready
        ping();
    }
}

void PulseOutput::tick()
{
    if (!loop_)
        return;
    const Hold hold(loop_);
    const auto waited = Clock::now() - since_;
    if (link_ == Link::None && (context_ || stream_)) {
        qCDebug(lcSound) << "the sound server went away";
        disconnect();
    } else if (link_ == Link::Connecting && waited > std::chrono::milliseconds(kConnectMs)) {
        qCDebug(lcSound) << "the sound server does not answer; given up";
        ++givenUp_;
        disconnect();
    } else if (link_ == Link::Ready && pinging_ && waited > std::chrono::milliseconds(kStallMs)) {
        qCDebug(lcSound) << "the sound server stopped answering; given up";
        ++givenUp_;
        disconnect();
    } else if (link_ == Link::Ready && playing()) {
        ping();
    } else if (link_ == Link::Ready && !asleep_ && !pinging_ && rule_.maySleep(Clock::now())) {
        cork(true);
    }
}

// (A loop is only ever made with the library loaded.)
bool PulseOutput::busy() const
{
    if (!loop_)
        return false;
    const Hold hold(loop_);
    // Awake, there is a stall to notice and a sleep to time; asleep, nothing.
    return link_ == Link::Connecting || (link_ == Link::Ready && (pinging_ || !asleep_))
           || (link_ == Link::None && (context_ || stream_));
}

bool PulseOutput::playing() const
{
    return rule_.playing(Clock::now());
}

bool PulseOutput::asleep() const
{
    if (!loop_)
        return true;
    const Hold hold(loop_);
    return asleep_ || link_ != Link::Ready;
}

PulseOutput::Link PulseOutput::link() const
{
    if (!loop_)
        return Link::None;
    const Hold hold(loop_);
    return link_;
}

int PulseOutput::givenUp() const
{
    if (!loop_)
        return 0;
    const Hold hold(loop_);
    return givenUp_;
}

size_t PulseOutput::framesGiven() const
{
    if (!loop_)
        return 0;
    const Hold hold(loop_);
    return at_ / kFrameBytes;
}

// SPDX-License-Identifier: MIT
#pragma once
// Sound engine made for short effects. Each sound file is decoded once, off
// the user-interface thread, by the decode helper installed beside the
// program, and kept in memory as PCM; a thread of its own feeds the sound
// in progress to one long-lived output stream in chunks of 10 ms. play()
// only looks the file up and hands a buffer over: it never waits for a
// decoder, a device or a sound server.
#include "mediabackend.h"

#include <QString>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// Where the samples go: 44100 Hz, stereo, signed 16-bit, interleaved. Used
// from the engine's output thread only.
class SoundOutput {
public:
    static constexpr int Rate = 44100;
    static constexpr int Channels = 2;

    virtual ~SoundOutput() = default;
    // Connects to the device or sound server; false when there is none now.
    virtual bool open() = 0;
    // Queues frames for playing, waiting while the device's buffer is full.
    // False when the device has gone away.
    virtual bool write(const int16_t *samples, size_t frames) = 0;
    // Drops whatever was queued and not yet played.
    virtual void flush() = 0;
    virtual void close() = 0;
};

class SoundEngine : public MediaBackend {
public:
    static constexpr float Volume = 0.37f;
    static constexpr size_t ChunkFrames = SoundOutput::Rate / 100;  // 10 ms
    // A new sound starts with this many chunks at once, so that the device
    // has something in hand while the next one is on its way.
    static constexpr size_t FirstChunks = 6;
    // A helper that takes longer than this over one file is stopped.
    static constexpr int DecodeTimeoutMs = 15000;

    // decoder: the decode helper program. output: null for the system's
    // sound server.
    explicit SoundEngine(const QString &decoder, std::unique_ptr<SoundOutput> output = {});
    ~SoundEngine() override;

    // Starts the file at once, replacing the sound in progress. A file not
    // seen before, or changed since, is decoded first and starts as soon as
    // that is done unless another sound has been asked for meanwhile. A
    // missing or undecodable file replaces the sound in progress by silence.
    void play(const QString &path) override;
    // Decodes the file ahead of its first play(), in the background.
    void warmUp(const QString &path) override;
    // Connects the output ahead of the first play(), in the background.
    void prepareOutput();

    // For tests and measurements: how many times the helper has been run,
    // and waiting until no decode is queued or running.
    int decodesStarted() const;
    bool waitForDecodes(int timeoutMs) const;

    using Samples = std::shared_ptr<const std::vector<int16_t>>;

private:
    enum class State { Decoding, Ready, Failed };
    struct Stamp {
        int64_t mtimeNs = 0;
        int64_t size = -1;
        bool operator==(const Stamp &) const = default;
    };
    struct Entry {
        Stamp stamp;
        State state = State::Decoding;
        Samples samples;
    };

    // Returns the file's stamp, or false when it is not a regular file.
    static bool stampOf(const QString &path, Stamp &stamp);
    // Looks the file up, queues a decode where needed; locked.
    Entry &lookup(const QString &path, const Stamp &stamp);
    void startThreads();
    void setCurrent(Samples samples);
    void decodeLoop();
    void outputLoop();
    Samples runDecoder(const QString &path);

    const QString decoder_;
    std::unique_ptr<SoundOutput> output_;

    mutable std::mutex mutex_;
    mutable std::condition_variable decodeWake_;
    std::condition_variable outputWake_;
    bool quit_ = false;
    std::map<QString, Entry> cache_;
    std::deque<QString> queue_;
    bool decoding_ = false;
    int decodes_ = 0;
    pid_t helper_ = -1;

    // What the user last asked for: a sound waiting for its decode, or none.
    uint64_t serial_ = 0;
    QString waitingFor_;
    // The output side.
    Samples current_;
    bool stopWanted_ = false;
    bool openWanted_ = false;

    std::thread decodeThread_;
    std::thread outputThread_;
};

// SPDX-License-Identifier: MIT
#pragma once
// Sound engine made for short effects. Each sound file is decoded once, off
// the user-interface thread, by the decode helper installed beside the
// program, and kept in memory as PCM at the player's volume. A thread of its
// own hands the sound asked for last to the output, which plays it at once
// in place of whatever plays. play() only looks the file up and hands a
// buffer over: it never waits for a decoder, a device or a sound server, and
// neither does the engine's end.
#include "mediabackend.h"
#include "pcmformat.h"

#include <QString>
#include <QStringList>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// Where the samples go: 44100 Hz, stereo, signed 16-bit, interleaved, in
// this machine's byte order. Called from the engine's output thread only.
class SoundOutput {
public:
    using Samples = std::shared_ptr<const std::vector<int16_t>>;
    static constexpr int kRate = pcm::kRate;
    static constexpr int kChannels = pcm::kChannels;

    virtual ~SoundOutput() = default;
    // Gets ready to play (connects to the sound server); returns at once.
    virtual void prepare() = 0;
    // Plays these samples from their start at once, instead of whatever
    // plays; null is silence. Returns at once; without a device it is silent.
    virtual void start(Samples samples) = 0;
    // A sound may be asked for soon (a drag may begin): be ready to play it
    // at once. Returns at once.
    virtual void wake() {}
    // Called every few milliseconds while busy() says so: time to notice a
    // device that stopped answering, or to go to sleep. Returns at once.
    virtual void tick() {}
    virtual bool busy() const { return false; }
};

class SoundEngine : public MediaBackend {
public:
    using Samples = SoundOutput::Samples;

    // A helper that takes longer than this over one file is stopped.
    static constexpr int kDecodeTimeoutMs = 15000;
    // How long the engine's end waits for its output to close; an output that
    // takes longer is left to finish on its own.
    static constexpr int kCloseMs = 300;
    static constexpr int kTickMs = 100;

    // decoder: the decode helper program; volume: 0 to 100, as the media
    // player's setting has it; output: where the sound goes (PulseOutput for
    // the desktop's sound server).
    SoundEngine(const QString &decoder, int volume, std::unique_ptr<SoundOutput> output);
    ~SoundEngine() override;

    // Starts the file at once, replacing the sound in progress. A file not
    // seen before, or changed since, is decoded first and starts as soon as
    // that is done unless another sound has been asked for meanwhile. A
    // missing or undecodable file replaces the sound in progress by silence.
    void play(const QString &path) override;
    // Decodes files ahead of their first play(), in the background, all in
    // one run of the helper.
    void warmUp(const QStringList &paths);
    // Connects the output ahead of the first play(), in the background; it
    // stays asleep until woken or played.
    void prepareOutput();
    // A sound may be asked for soon: the output wakes, in the background, so
    // that it starts at once. It goes back to sleep by itself.
    void wake();

    // For tests and measurements: how many files have been handed to the
    // helper, in how many runs of it, and waiting until no decode is queued
    // or running.
    int decodesStarted() const;
    int helperRuns() const;
    bool waitForDecodes(int timeoutMs) const;

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
    // What the output thread shares with the engine; it outlives an engine
    // whose output would not close in time.
    struct Feed;

    // Returns the file's stamp, or false when it is not a regular file.
    static bool stampOf(const QString &path, Stamp &stamp);
    // Looks the file up, queues a decode where needed; locked.
    Entry &lookup(const QString &path, const Stamp &stamp);
    void startThreads();
    void setCurrent(Samples samples);
    // Asks the output's thread to do something (prepare, wake), started if need be.
    void ask(bool Feed::*what);
    void decodeLoop();
    static void outputLoop(std::shared_ptr<Feed> feed);
    // Decodes the files in one run of the helper; a null result for each
    // file it could not decode, none for the files it did not reach.
    std::vector<Samples> runDecoder(const QStringList &paths);

    const QString decoder_;
    const float volume_;
    std::shared_ptr<Feed> feed_;

    mutable std::mutex mutex_;
    mutable std::condition_variable decodeWake_;
    bool quit_ = false;
    std::map<QString, Entry> cache_;
    std::deque<QString> queue_;
    bool decoding_ = false;
    int decodes_ = 0;
    int helperRuns_ = 0;
    pid_t helper_ = -1;
    // A sound waiting for its decode, or none.
    QString waitingFor_;

    std::thread decodeThread_;
    std::thread outputThread_;
};

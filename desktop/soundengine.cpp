// SPDX-License-Identifier: MIT
#include "soundengine.h"
#include "files.h"
#include "pulseoutput.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

// QT_LOGGING_RULES="orbenvale.sound.debug=true" tells what the engine does.
Q_LOGGING_CATEGORY(lcSound, "orbenvale.sound", QtWarningMsg)

namespace {

// The helper writes at most two minutes; a little more is allowed for
// rounding, anything beyond is not read.
constexpr size_t MaxPcmBytes = size_t(121) * SoundOutput::Rate * SoundOutput::Channels * sizeof(int16_t);

int16_t scaled(int16_t sample)
{
    return int16_t(std::lround(sample * SoundEngine::Volume));
}

}  // namespace

SoundEngine::SoundEngine(const QString &decoder, std::unique_ptr<SoundOutput> output)
    : decoder_(decoder), output_(output ? std::move(output) : std::make_unique<PulseOutput>())
{
}

SoundEngine::~SoundEngine()
{
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
        if (helper_ > 0)
            ::kill(helper_, SIGKILL);
    }
    decodeWake_.notify_all();
    outputWake_.notify_all();
    if (decodeThread_.joinable())
        decodeThread_.join();
    if (outputThread_.joinable())
        outputThread_.join();
    output_->close();
}

bool SoundEngine::stampOf(const QString &path, Stamp &stamp)
{
    struct stat st {};
    // Only regular files within the sound limit reach the decoder: a pipe
    // would keep it waiting, a huge file is no sound effect.
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode)
        || st.st_size > filelimits::kSound)
        return false;
    stamp.mtimeNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    stamp.size = st.st_size;
    return true;
}

void SoundEngine::startThreads()
{
    if (!decodeThread_.joinable())
        decodeThread_ = std::thread([this] { decodeLoop(); });
    if (!outputThread_.joinable())
        outputThread_ = std::thread([this] { outputLoop(); });
}

SoundEngine::Entry &SoundEngine::lookup(const QString &path, const Stamp &stamp)
{
    auto it = cache_.find(path);
    if (it != cache_.end() && it->second.stamp == stamp)
        return it->second;
    // New, or changed since it was read: decode (again). The old samples
    // may still be playing; they live on until the output lets go of them.
    Entry &entry = cache_[path];
    entry = Entry{stamp, State::Decoding, {}};
    if (std::find(queue_.begin(), queue_.end(), path) == queue_.end())
        queue_.push_back(path);
    decodeWake_.notify_all();  // the decode thread, not someone in waitForDecodes()
    return entry;
}

void SoundEngine::setCurrent(Samples samples)
{
    current_ = std::move(samples);
    stopWanted_ = !current_;
    ++serial_;
    outputWake_.notify_one();
}

void SoundEngine::play(const QString &path)
{
    Stamp stamp;
    const bool isFile = stampOf(path, stamp);
    std::lock_guard lock(mutex_);
    startThreads();
    waitingFor_.clear();
    if (!isFile) {
        // Nothing to play, but the new sound still replaces the old one.
        qCDebug(lcSound) << "play" << path << "(no such file): silence";
        setCurrent({});
        return;
    }
    openWanted_ = true;
    const Entry &entry = lookup(path, stamp);
    qCDebug(lcSound) << "play" << path
                     << (entry.state == State::Ready    ? "(ready)"
                         : entry.state == State::Failed ? "(undecodable): silence"
                                                        : "(decoding)");
    switch (entry.state) {
    case State::Ready:
        setCurrent(entry.samples);
        break;
    case State::Failed:
        setCurrent({});
        break;
    case State::Decoding:
        setCurrent({});
        waitingFor_ = path;  // started by the decode thread, if still wanted
        break;
    }
}

void SoundEngine::warmUp(const QString &path)
{
    Stamp stamp;
    if (!stampOf(path, stamp))
        return;
    std::lock_guard lock(mutex_);
    startThreads();
    lookup(path, stamp);
}

void SoundEngine::prepareOutput()
{
    std::lock_guard lock(mutex_);
    startThreads();
    openWanted_ = true;
    outputWake_.notify_one();
}

int SoundEngine::decodesStarted() const
{
    std::lock_guard lock(mutex_);
    return decodes_;
}

bool SoundEngine::waitForDecodes(int timeoutMs) const
{
    std::unique_lock lock(mutex_);
    return decodeWake_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                [this] { return queue_.empty() && !decoding_; });
}

void SoundEngine::decodeLoop()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        decodeWake_.wait(lock, [this] { return quit_ || !queue_.empty(); });
        if (quit_)
            return;
        const QString path = queue_.front();
        queue_.pop_front();
        const Stamp stamp = cache_[path].stamp;
        decoding_ = true;
        ++decodes_;
        lock.unlock();
        QElapsedTimer took;
        took.start();
        Samples samples = runDecoder(path);
        qCDebug(lcSound) << "decoded" << path << "in" << took.elapsed()
                         << "ms:" << (samples ? samples->size() / SoundOutput::Channels : 0) << "frames";
        lock.lock();
        decoding_ = false;
        decodeWake_.notify_all();  // waitForDecodes()
        if (quit_)
            return;
        Entry &entry = cache_[path];
        if (!(entry.stamp == stamp) || entry.state != State::Decoding)
            continue;  // changed meanwhile: queued again already
        entry.state = samples ? State::Ready : State::Failed;
        entry.samples = samples;
        if (waitingFor_ == path) {
            waitingFor_.clear();
            if (samples)
                setCurrent(samples);
        }
    }
}

SoundEngine::Samples SoundEngine::runDecoder(const QString &path)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const QByteArray program = QFile::encodeName(decoder_);
    const QByteArray file = QFile::encodeName(path);
    char *argv[] = {const_cast<char *>(program.constData()), const_cast<char *>(file.constData()), nullptr};
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, program.constData(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (spawned != 0) {
        ::close(fds[0]);
        return {};
    }
    {
        std::lock_guard lock(mutex_);
        helper_ = pid;
        if (quit_)
            ::kill(pid, SIGKILL);
    }

    std::vector<int16_t> pcm;
    std::vector<char> bytes;
    bytes.reserve(256 * 1024);
    bool ok = true;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(DecodeTimeoutMs);
    char buffer[64 * 1024];
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            ok = false;
            break;
        }
        pollfd p{fds[0], POLLIN, 0};
        const int ready = ::poll(&p, 1, int(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0) {
            ok = false;
            break;
        }
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        if (bytes.size() + size_t(n) > MaxPcmBytes) {
            ok = false;
            break;
        }
        bytes.insert(bytes.end(), buffer, buffer + n);
    }
    ::close(fds[0]);
    if (!ok)
        ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    {
        std::lock_guard lock(mutex_);
        helper_ = -1;
    }
    const size_t frameBytes = SoundOutput::Channels * sizeof(int16_t);
    if (!ok || !WIFEXITED(status) || WEXITSTATUS(status) != 0 || bytes.size() < frameBytes)
        return {};
    auto samples = std::make_shared<std::vector<int16_t>>(bytes.size() / frameBytes * SoundOutput::Channels);
    const auto *in = reinterpret_cast<const int16_t *>(bytes.data());  // in this machine's byte order
    std::transform(in, in + samples->size(), samples->begin(), scaled);
    return samples;
}

void SoundEngine::outputLoop()
{
    std::unique_lock lock(mutex_);
    bool open = false;
    bool queued = false;  // written since the last flush
    uint64_t playing = 0;  // serial of the sound being fed
    size_t at = 0;  // next frame of it
    for (;;) {
        outputWake_.wait(lock, [&] { return quit_ || current_ || stopWanted_ || (openWanted_ && !open); });
        if (quit_)
            return;
        if (!open && (openWanted_ || current_)) {
            openWanted_ = false;
            lock.unlock();
            open = output_->open();
            qCDebug(lcSound) << (open ? "output connected" : "no sound output");
            lock.lock();
            if (!open) {
                // No sound server: this sound is silent; a later one tries again.
                current_.reset();
                stopWanted_ = false;
                continue;
            }
        }
        const bool stop = stopWanted_;
        stopWanted_ = false;
        Samples sound = current_;
        if (!sound) {
            if (stop && queued) {
                lock.unlock();
                output_->flush();
                lock.lock();
                queued = false;
            }
            continue;
        }
        const bool switched = playing != serial_;
        if (switched) {
            playing = serial_;
            at = 0;
        }
        const size_t frames = sound->size() / SoundOutput::Channels;
        const size_t from = at;
        const size_t count = std::min(switched ? FirstChunks * ChunkFrames : ChunkFrames, frames - from);
        at += count;
        if (at >= frames)
            current_.reset();  // fed to the end; it plays out from the device's buffer
        const bool flush = switched && queued;
        lock.unlock();
        if (flush)
            output_->flush();  // the new sound replaces what is still queued
        const bool written = count == 0 || output_->write(sound->data() + from * SoundOutput::Channels, count);
        lock.lock();
        queued = true;
        if (switched)
            qCDebug(lcSound) << "sound" << playing << (flush ? "replaces what was queued" : "starts")
                             << (written ? "" : "- writing failed");
        if (!written) {
            // The server went away: close, and let a later sound reconnect.
            lock.unlock();
            output_->close();
            lock.lock();
            open = false;
            queued = false;
            if (playing == serial_)
                current_.reset();
        }
    }
}

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

}  // namespace

struct SoundEngine::Feed {
    std::mutex mutex;
    std::condition_variable wake, closed;
    std::unique_ptr<SoundOutput> output;
    bool quit = false, done = false, prepare = false;
    uint64_t serial = 0;  // of the sound asked for last
    Samples wanted;
};

SoundEngine::SoundEngine(const QString &decoder, int volume, std::unique_ptr<SoundOutput> output)
    : decoder_(decoder), volume_(float(std::clamp(volume, 0, 100)) / 100.0f), feed_(std::make_shared<Feed>())
{
    feed_->output = output ? std::move(output) : std::make_unique<PulseOutput>();
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
    if (decodeThread_.joinable())
        decodeThread_.join();  // the helper is gone, so its pipe ends at once
    if (outputThread_.joinable()) {
        std::unique_lock lock(feed_->mutex);
        feed_->quit = true;
        feed_->wake.notify_all();
        // The program ends when the player says so, whatever the output does.
        if (feed_->closed.wait_for(lock, std::chrono::milliseconds(kCloseMs), [this] { return feed_->done; })) {
            lock.unlock();
            outputThread_.join();
        } else {
            qCWarning(lcSound) << "the sound output did not close in time; leaving it";
            outputThread_.detach();
        }
    }
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
        outputThread_ = std::thread(&SoundEngine::outputLoop, feed_);
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
    std::lock_guard lock(feed_->mutex);
    feed_->wanted = std::move(samples);
    ++feed_->serial;
    feed_->wake.notify_one();
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
    {
        std::lock_guard lock(mutex_);
        startThreads();
    }
    std::lock_guard lock(feed_->mutex);
    feed_->prepare = true;
    feed_->wake.notify_one();
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
                         << "ms:" << (samples ? samples->size() / SoundOutput::kChannels : 0) << "frames";
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
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kDecodeTimeoutMs);
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
        if (bytes.size() + size_t(n) > pcm::kMaxBytes) {
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
    const size_t frameBytes = SoundOutput::kChannels * sizeof(int16_t);
    if (!ok || !WIFEXITED(status) || WEXITSTATUS(status) != 0 || bytes.size() < frameBytes)
        return {};
    auto samples = std::make_shared<std::vector<int16_t>>(bytes.size() / frameBytes * SoundOutput::kChannels);
    const auto *in = reinterpret_cast<const int16_t *>(bytes.data());  // in this machine's byte order
    std::transform(in, in + samples->size(), samples->begin(),
                   [this](int16_t sample) { return int16_t(std::lround(sample * volume_)); });
    return samples;
}

// Hands the sound asked for last to the output; while one is being handed
// over, newer requests just replace what is wanted next.
void SoundEngine::outputLoop(std::shared_ptr<Feed> feed)
{
    std::unique_lock lock(feed->mutex);
    SoundOutput &output = *feed->output;
    uint64_t started = 0;
    for (;;) {
        const auto due = [&] { return feed->quit || feed->prepare || feed->serial != started; };
        if (output.busy())
            feed->wake.wait_for(lock, std::chrono::milliseconds(kTickMs), due);
        else
            feed->wake.wait(lock, due);
        if (feed->quit)
            break;
        const bool prepare = std::exchange(feed->prepare, false);
        const bool fresh = feed->serial != started;
        started = feed->serial;
        Samples sound = feed->wanted;
        lock.unlock();
        if (prepare)
            output.prepare();
        if (fresh) {
            qCDebug(lcSound) << "sound" << started << (sound ? "starts" : "stops");
            output.start(std::move(sound));
        }
        output.tick();
        lock.lock();
    }
    lock.unlock();
    feed->output.reset();
    lock.lock();
    feed->done = true;
    feed->closed.notify_all();
}

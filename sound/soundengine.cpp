// SPDX-License-Identifier: MIT
#include "soundengine.h"

#include "files.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

// QT_LOGGING_RULES="orbenvale.sound.debug=true" tells what the engine does.
Q_LOGGING_CATEGORY(lcSound, "orbenvale.sound", QtWarningMsg)

struct SoundEngine::Feed {
    std::mutex mutex;
    std::condition_variable wakeUp, closed;
    std::unique_ptr<SoundOutput> output;
    bool quit = false, done = false, prepare = false, wake = false;
    uint64_t serial = 0;  // of the sound asked for last
    Samples wanted;
};

SoundEngine::SoundEngine(const QString &decoder, int volume, std::unique_ptr<SoundOutput> output)
    : decoder_(decoder), volume_(float(std::clamp(volume, 0, 100)) / 100.0f), feed_(std::make_shared<Feed>())
{
    feed_->output = std::move(output);
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
        feed_->wakeUp.notify_all();
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
    feed_->wakeUp.notify_one();
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

void SoundEngine::warmUp(const QStringList &paths)
{
    std::vector<std::pair<QString, Stamp>> files;
    for (const QString &path : paths) {
        Stamp stamp;
        if (stampOf(path, stamp))
            files.emplace_back(path, stamp);
    }
    if (files.empty())
        return;
    std::lock_guard lock(mutex_);
    startThreads();
    for (const auto &[path, stamp] : files)
        lookup(path, stamp);
}

void SoundEngine::prepareOutput()
{
    ask(&Feed::prepare);
}

void SoundEngine::wake()
{
    ask(&Feed::wake);
}

void SoundEngine::ask(bool Feed::*what)
{
    {
        std::lock_guard lock(mutex_);
        startThreads();
    }
    std::lock_guard lock(feed_->mutex);
    (*feed_).*what = true;
    feed_->wakeUp.notify_one();
}

int SoundEngine::decodesStarted() const
{
    std::lock_guard lock(mutex_);
    return decodes_;
}

int SoundEngine::helperRuns() const
{
    std::lock_guard lock(mutex_);
    return helperRuns_;
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
        // Everything queued goes to one run of the helper: the sounds asked
        // for together are ready together, for the price of one start.
        QStringList paths(queue_.begin(), queue_.end());
        queue_.clear();
        std::vector<Stamp> stamps;
        for (const QString &path : paths)
            stamps.push_back(cache_[path].stamp);
        decoding_ = true;
        decodes_ += int(paths.size());
        lock.unlock();
        QElapsedTimer took;
        took.start();
        std::vector<Samples> results = runDecoder(paths);
        // A helper that died on one file leaves the files after it undone;
        // each of those gets a run of its own, so one bad file costs only itself.
        for (size_t i = results.size(); i < size_t(paths.size()) && paths.size() > 1; ++i) {
            std::vector<Samples> one = runDecoder({paths[qsizetype(i)]});
            results.push_back(one.empty() ? Samples{} : one.front());
        }
        results.resize(size_t(paths.size()));
        qCDebug(lcSound) << "decoded" << paths << "in" << took.elapsed() << "ms";
        lock.lock();
        decoding_ = false;
        decodeWake_.notify_all();  // waitForDecodes()
        if (quit_)
            return;
        for (size_t i = 0; i < results.size(); ++i) {
            const QString &path = paths[qsizetype(i)];
            Entry &entry = cache_[path];
            if (!(entry.stamp == stamps[i]) || entry.state != State::Decoding)
                continue;  // changed meanwhile: queued again already
            entry.state = results[i] ? State::Ready : State::Failed;
            entry.samples = results[i];
            if (waitingFor_ == path) {
                waitingFor_.clear();
                if (results[i])
                    setCurrent(results[i]);
            }
        }
    }
}

namespace {

// Starts the decode helper on these files, its standard output a pipe;
// returns its process and the pipe's reading end, or -1 when it cannot start.
pid_t spawnHelper(const QString &decoder, const QStringList &paths, int &readEnd)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const QByteArray program = QFile::encodeName(decoder);
    std::vector<QByteArray> args{program, QByteArrayLiteral("--each")};
    for (const QString &path : paths)
        args.push_back(QFile::encodeName(path));
    std::vector<char *> argv;
    for (QByteArray &arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, program.constData(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (spawned != 0) {
        ::close(fds[0]);
        return -1;
    }
    readEnd = fds[0];
    return pid;
}

// What the helper writes, taken apart as it comes: for each file its length
// (all ones: undecodable) and its samples, scaled to the player's volume.
class HelperStream {
public:
    HelperStream(size_t files, float volume) : files_(files), volume_(volume) { bytes_.reserve(256 * 1024); }

    // Adds what was read; false when it is not what the helper writes.
    bool add(const char *data, size_t size)
    {
        bytes_.insert(bytes_.end(), data, data + size);
        return takeComplete() && bytes_.size() <= pcm::kMaxBytes + sizeof(uint64_t);
    }
    std::vector<SoundEngine::Samples> &results() { return results_; }

private:
    bool takeComplete()
    {
        size_t at = 0;
        while (results_.size() < files_ && bytes_.size() - at >= sizeof(uint64_t)) {
            uint64_t length = 0;
            std::memcpy(&length, bytes_.data() + at, sizeof length);
            if (length == ~uint64_t(0)) {
                results_.emplace_back();
                at += sizeof length;
                continue;
            }
            if (length > pcm::kMaxBytes)
                return false;
            if (bytes_.size() - at - sizeof length < length)
                break;
            results_.push_back(scaled(bytes_.data() + at + sizeof length, length));
            at += sizeof length + length;
        }
        bytes_.erase(bytes_.begin(), bytes_.begin() + long(at));
        return true;
    }
    SoundEngine::Samples scaled(const char *data, size_t length) const
    {
        if (length < pcm::kFrameBytes)
            return {};
        const auto *in = reinterpret_cast<const int16_t *>(data);
        auto samples = std::make_shared<std::vector<int16_t>>(length / pcm::kFrameBytes * pcm::kChannels);
        std::transform(in, in + samples->size(), samples->begin(),
                       [this](int16_t sample) { return int16_t(std::lround(sample * volume_)); });
        return samples;
    }

    const size_t files_;
    const float volume_;
    std::vector<char> bytes_;
    std::vector<SoundEngine::Samples> results_;
};

// Reads the helper's output until it ends; false when it broke the format
// or did not end before the deadline.
bool readAll(int fd, HelperStream &stream, std::chrono::steady_clock::time_point deadline)
{
    char buffer[64 * 1024];
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, int(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return true;
        if (!stream.add(buffer, size_t(n)))
            return false;
    }
}

// Waits for the helper to end; true when it ended well.
bool reap(pid_t pid)
{
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

std::vector<SoundEngine::Samples> SoundEngine::runDecoder(const QStringList &paths)
{
    int fd = -1;
    const pid_t pid = spawnHelper(decoder_, paths, fd);
    if (pid < 0)
        return std::vector<Samples>(size_t(paths.size()));  // no helper: nothing decodes
    {
        std::lock_guard lock(mutex_);
        helper_ = pid;
        ++helperRuns_;
        if (quit_)
            ::kill(pid, SIGKILL);
    }
    HelperStream stream(size_t(paths.size()), volume_);
    const bool ok = readAll(fd, stream, std::chrono::steady_clock::now() + std::chrono::milliseconds(kDecodeTimeoutMs));
    ::close(fd);
    if (!ok)
        ::kill(pid, SIGKILL);
    const bool endedWell = reap(pid);
    {
        std::lock_guard lock(mutex_);
        helper_ = -1;
    }
    std::vector<Samples> &results = stream.results();
    // What a helper that did not end well wrote last may be cut short; keep
    // only what came before, the rest is tried again.
    if (!ok || !endedWell)
        return paths.size() == 1 ? std::vector<Samples>(1) : std::move(results);
    results.resize(size_t(paths.size()));
    return std::move(results);
}

// Hands the sound asked for last to the output; while one is being handed
// over, newer requests just replace what is wanted next.
void SoundEngine::outputLoop(std::shared_ptr<Feed> feed)
{
    std::unique_lock lock(feed->mutex);
    SoundOutput &output = *feed->output;
    uint64_t started = 0;
    for (;;) {
        const auto due = [&] { return feed->quit || feed->prepare || feed->wake || feed->serial != started; };
        if (output.busy())
            feed->wakeUp.wait_for(lock, std::chrono::milliseconds(kTickMs), due);
        else
            feed->wakeUp.wait(lock, due);  // asleep: nothing to time
        if (feed->quit)
            break;
        const bool prepare = std::exchange(feed->prepare, false);
        const bool wake = std::exchange(feed->wake, false);
        const bool fresh = feed->serial != started;
        started = feed->serial;
        Samples sound = feed->wanted;
        lock.unlock();
        if (prepare)
            output.prepare();
        if (wake)
            output.wake();
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

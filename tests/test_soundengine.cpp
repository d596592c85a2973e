// SPDX-License-Identifier: MIT
// The sound engine's rules, heard through a recording output: what reaches
// the device, when it is cut, and when a file is read again.
#include "assetfiles.h"
#include "form1layout.h"
#include "soundengine.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/time.h>

#include <atomic>
#include <condition_variable>
#include <chrono>
#include <cmath>
#include <functional>
#include <mutex>
#include <thread>

namespace {

const QString Decoder = decodeHelper();

QString sound(const char *name)
{
    return asset(QStringLiteral("sounds/") + QLatin1String(name));
}

// The helper's PCM for a file, at the player's volume: what the device must get.
std::vector<int16_t> expected(const QString &path)
{
    QProcess p;
    p.start(Decoder, {path});
    p.waitForFinished(20000);
    const QByteArray bytes = p.readAllStandardOutput();
    std::vector<int16_t> out(size_t(bytes.size()) / 2);
    const auto *in = reinterpret_cast<const int16_t *>(bytes.constData());
    // 0.37 is the player's volume, as its settings have it.
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = int16_t(std::lround(in[i] * 0.37));
    return out;
}

// An output that remembers every sound it was told to start, in order (an
// empty one for silence); it can be made to hang in start(), as a device
// that stopped answering would.
class RecordingOutput : public SoundOutput {
public:
    struct Shared {
        std::mutex mutex;
        std::condition_variable released;
        std::vector<std::vector<int16_t>> starts;
        int prepares = 0;
        int wakes = 0;
        bool hang = false;
        bool hanging = false;
        std::atomic<bool> destroyed{false};
    };
    explicit RecordingOutput(std::shared_ptr<Shared> s) : s_(std::move(s)) {}
    ~RecordingOutput() override { s_->destroyed = true; }

    void prepare() override
    {
        std::lock_guard lock(s_->mutex);
        ++s_->prepares;
    }
    void wake() override
    {
        std::lock_guard lock(s_->mutex);
        ++s_->wakes;
    }
    void start(Samples samples) override
    {
        std::unique_lock lock(s_->mutex);
        s_->starts.push_back(samples ? *samples : std::vector<int16_t>{});
        s_->hanging = s_->hang;
        s_->released.wait(lock, [this] { return !s_->hang; });
        s_->hanging = false;
    }

private:
    std::shared_ptr<Shared> s_;
};

bool waitFor(const std::function<bool()> &done, int ms = 10000)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

struct Rig {
    std::shared_ptr<RecordingOutput::Shared> out = std::make_shared<RecordingOutput::Shared>();
    SoundEngine engine{Decoder, layout::kPlayerVolume, std::make_unique<RecordingOutput>(out)};

    std::vector<std::vector<int16_t>> starts()
    {
        std::lock_guard lock(out->mutex);
        return out->starts;
    }
    bool waitForStarts(size_t n)
    {
        return ::waitFor([&] { return starts().size() >= n; });
    }
    bool waitFor(const std::function<bool()> &done) { return ::waitFor(done); }
};

void copyFile(const QString &from, const QString &to)
{
    QFile::remove(to);
    ASSERT_TRUE(QFile::copy(from, to));
}

}  // namespace

TEST(SoundEngine, PlaysAtVolumeAndEveryNewSoundReplacesTheOneInProgress)
{
    const auto chime = expected(sound("correct.wma"));
    const auto buzz = expected(sound("wrong.wma"));
    const auto fanfare = expected(sound("complete.wma"));
    ASSERT_GT(chime.size(), 40000u);
    Rig rig;
    rig.engine.play(sound("correct.wma"));  // decoded on first use, then started
    ASSERT_TRUE(rig.waitFor([&] { return !rig.starts().empty() && !rig.starts().back().empty(); }));
    auto starts = rig.starts();
    EXPECT_EQ(starts.back(), chime) << "the whole chime, scaled to the player's volume, and nothing else";
    for (size_t i = 0; i + 1 < starts.size(); ++i)
        EXPECT_TRUE(starts[i].empty()) << "only silence while it is decoded";
    const size_t first = starts.size();

    rig.engine.warmUp({sound("wrong.wma")});
    rig.engine.warmUp({sound("complete.wma")});
    ASSERT_TRUE(rig.engine.waitForDecodes(10000));
    rig.engine.play(sound("complete.wma"));
    ASSERT_TRUE(rig.waitForStarts(first + 1));
    rig.engine.play(sound("wrong.wma"));
    ASSERT_TRUE(rig.waitForStarts(first + 2));
    rig.engine.play(sound("complete.wma"));
    ASSERT_TRUE(rig.waitForStarts(first + 3));
    starts = rig.starts();
    EXPECT_EQ(starts[first], fanfare);
    EXPECT_EQ(starts[first + 1], buzz) << "the buzz in place of the fanfare";
    EXPECT_EQ(starts[first + 2], fanfare) << "the same sound again starts again";

    // A missing file silences the sound in progress.
    rig.engine.play(sound("gone.wma"));
    ASSERT_TRUE(rig.waitForStarts(first + 4));
    EXPECT_TRUE(rig.starts().back().empty());
    EXPECT_EQ(rig.engine.decodesStarted(), 3) << "each file decoded once";
}

TEST(SoundEngine, ReadsAFileAgainWhenItChangesAndOnlyTheLastRequestPlays)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("effect.wma");
    copyFile(sound("wrong.wma"), path);
    const auto buzz = expected(sound("wrong.wma"));
    const auto chime = expected(sound("correct.wma"));

    Rig rig;
    rig.engine.warmUp({path});
    ASSERT_TRUE(rig.engine.waitForDecodes(10000));
    rig.engine.play(path);
    ASSERT_TRUE(rig.waitForStarts(1));
    rig.engine.play(path);
    ASSERT_TRUE(rig.waitForStarts(2));
    EXPECT_EQ(rig.starts().back(), buzz);
    EXPECT_EQ(rig.engine.decodesStarted(), 1) << "the same file, unchanged: decoded once";

    // Replaced by another sound under the same name: read again.
    copyFile(sound("correct.wma"), path);
    rig.engine.play(path);
    ASSERT_TRUE(rig.waitFor([&] { return rig.starts().back() == chime; }));
    EXPECT_EQ(rig.engine.decodesStarted(), 2);

    // A sound still being decoded does not start once another was asked for.
    const QString other = dir.filePath("other.wma");
    copyFile(sound("complete.wma"), other);
    const size_t before = rig.starts().size();
    rig.engine.play(other);
    rig.engine.play(path);  // ready: plays at once
    ASSERT_TRUE(rig.engine.waitForDecodes(10000));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto late = expected(other);
    for (const auto &sound : rig.starts())
        EXPECT_NE(sound, late) << "the fanfare came late and played anyway";
    EXPECT_EQ(rig.starts().back(), chime);
    EXPECT_GT(rig.starts().size(), before);

    // The same for a silent request.
    copyFile(sound("complete.wma"), dir.filePath("third.wma"));
    rig.engine.play(dir.filePath("third.wma"));
    rig.engine.play(dir.filePath("missing.wma"));
    ASSERT_TRUE(rig.engine.waitForDecodes(10000));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(rig.starts().back().empty());
}

TEST(SoundEngine, AWakeReachesTheOutputFromItsOwnThread)
{
    Rig rig;
    QElapsedTimer t;
    t.start();
    rig.engine.wake();
    EXPECT_LT(t.elapsed(), 5) << "the caller does not wait for the output";
    ASSERT_TRUE(waitFor([&] {
        std::lock_guard lock(rig.out->mutex);
        return rig.out->wakes == 1;
    }));
    std::lock_guard lock(rig.out->mutex);
    EXPECT_TRUE(rig.out->starts.empty()) << "a wake plays nothing";
}

TEST(SoundEngine, AnOutputThatHangsHoldsUpNeitherPlayNorTheEnd)
{
    const auto chime = expected(sound("correct.wma"));
    const auto buzz = expected(sound("wrong.wma"));
    auto out = std::make_shared<RecordingOutput::Shared>();
    qint64 slowest = 0;
    QElapsedTimer ending;
    {
        SoundEngine engine(Decoder, layout::kPlayerVolume, std::make_unique<RecordingOutput>(out));
        engine.warmUp({sound("correct.wma")});
        engine.warmUp({sound("wrong.wma")});
        ASSERT_TRUE(engine.waitForDecodes(10000));
        {
            std::lock_guard lock(out->mutex);
            out->hang = true;
        }
        for (int i = 0; i < 20; ++i) {
            QElapsedTimer t;
            t.start();
            engine.play(sound(i % 2 ? "wrong.wma" : "correct.wma"));
            engine.wake();  // a drag beginning meanwhile
            slowest = std::max(slowest, t.nsecsElapsed());
            if (i == 0) {
                ASSERT_TRUE(waitFor([&] {
                    std::lock_guard lock(out->mutex);
                    return out->hanging;
                }));
            }
        }
        // Released, the output gets the sound asked for last, not each one missed.
        {
            std::lock_guard lock(out->mutex);
            out->hang = false;
        }
        out->released.notify_all();
        ASSERT_TRUE(waitFor([&] {
            std::lock_guard lock(out->mutex);
            return out->starts.size() >= 2 && !out->hanging;
        }));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        {
            std::lock_guard lock(out->mutex);
            ASSERT_EQ(out->starts.size(), 2u) << "the nineteen in between are never started";
            EXPECT_EQ(out->starts[0], chime);
            EXPECT_EQ(out->starts[1], buzz);
            out->hang = true;  // and now hung for good
        }
        engine.play(sound("correct.wma"));
        ASSERT_TRUE(waitFor([&] {
            std::lock_guard lock(out->mutex);
            return out->hanging;
        }));
        ending.start();
    }
    const qint64 took = ending.elapsed();
    // A blocked call would wait for the release below; 50 ms leaves room for a
    // sanitizer build on busy cores while still far below any wait on the output.
    EXPECT_LT(slowest, 50'000'000) << "play() and wake() took " << slowest / 1000 << " us with the output hung";
    EXPECT_LT(took, SoundEngine::kCloseMs + 500) << "the engine's end waited " << took << " ms for a hung output";
    EXPECT_FALSE(out->destroyed) << "a hung output is left to itself, not pulled from under it";
    // Let the output go; its thread then closes it.
    {
        std::lock_guard lock(out->mutex);
        out->hang = false;
    }
    out->released.notify_all();
    EXPECT_TRUE(waitFor([&] { return bool(out->destroyed); }, 5000));
}

TEST(SoundEngine, DamagedFilesAreSilentAndNeverHoldUpTheCaller)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    {
        QFile f(dir.filePath("junk.wma"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("These are not the sounds you are looking for.\n");
    }
    {
        QFile good(sound("correct.wma"));
        ASSERT_TRUE(good.open(QIODevice::ReadOnly));
        QFile f(dir.filePath("cut.wma"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(good.read(2000));  // header and a packet or two
        QFile big(dir.filePath("huge.wma"));
        ASSERT_TRUE(big.open(QIODevice::WriteOnly));
        big.write(good.readAll());
        big.resize(200 * 1024 * 1024);  // sparse: too big to be a sound effect
    }
    const QByteArray fifo = QFile::encodeName(dir.filePath("fifo.wma"));
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.wma"));

    Rig rig;
    rig.engine.warmUp({sound("correct.wma")});
    ASSERT_TRUE(rig.engine.waitForDecodes(10000));
    qint64 slowest = 0;
    for (const char *name : {"junk.wma", "cut.wma", "huge.wma", "fifo.wma", "folder.wma", "junk.wma"}) {
        QElapsedTimer t;
        t.start();
        rig.engine.play(dir.filePath(QLatin1String(name)));
        slowest = std::max(slowest, t.nsecsElapsed());
    }
    EXPECT_LT(slowest, 10'000'000) << "play() took " << slowest / 1000 << " us";
    ASSERT_TRUE(rig.engine.waitForDecodes(20000));
    EXPECT_EQ(rig.engine.decodesStarted(), 3) << "junk and cut tried once; huge, fifo and folder never";

    // A good sound after the bad ones plays normally.
    const auto chime = expected(sound("correct.wma"));
    rig.engine.play(sound("correct.wma"));
    ASSERT_TRUE(rig.waitFor([&] { return !rig.starts().empty() && rig.starts().back() == chime; }));

    // A decoder that is not there: silence, no crash.
    auto out = std::make_shared<RecordingOutput::Shared>();
    SoundEngine lost(QStringLiteral("/nonexistent/orbenvale-decode"), layout::kPlayerVolume,
                     std::make_unique<RecordingOutput>(out));
    lost.play(sound("correct.wma"));
    EXPECT_TRUE(lost.waitForDecodes(5000));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::lock_guard lock(out->mutex);
    for (const auto &sound : out->starts)
        EXPECT_TRUE(sound.empty());
}

TEST(SoundEngine, SoundsAskedForTogetherAreDecodedInOneRunAndABadOneCostsOnlyItself)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString junk = dir.filePath("junk.wma");
    {
        QFile f(junk);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("not a sound");
    }
    const QStringList names{sound("correct.wma"), junk, sound("wrong.wma"), sound("complete.wma")};
    const std::vector<std::vector<int16_t>> want{expected(names[0]), {}, expected(names[2]), expected(names[3])};

    auto playEach = [&](SoundEngine &engine, RecordingOutput::Shared &out) {
        for (int i = 0; i < names.size(); ++i) {
            engine.play(names[i]);
            ASSERT_TRUE(waitFor([&] {
                std::lock_guard lock(out.mutex);
                return out.starts.size() == size_t(i) + 1;
            }));
            std::lock_guard lock(out.mutex);
            EXPECT_EQ(out.starts.back(), want[size_t(i)]) << qPrintable(names[i]);
        }
    };

    Rig rig;
    rig.engine.warmUp(names);
    ASSERT_TRUE(rig.engine.waitForDecodes(20000));
    EXPECT_EQ(rig.engine.helperRuns(), 1);
    EXPECT_EQ(rig.engine.decodesStarted(), 4);
    playEach(rig.engine, *rig.out);
    EXPECT_EQ(rig.engine.helperRuns(), 1) << "nothing decoded twice";

    // A helper that crashes on several files at once: each file gets a run
    // of its own, and the good ones still play.
    const QString crashing = dir.filePath("crashing-decode");
    {
        QFile f(crashing);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QStringLiteral("#!/bin/sh\n[ $# -gt 2 ] && kill -SEGV $$\nexec '%1' \"$@\"\n").arg(Decoder).toUtf8());
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    auto out = std::make_shared<RecordingOutput::Shared>();
    SoundEngine engine(crashing, layout::kPlayerVolume, std::make_unique<RecordingOutput>(out));
    engine.warmUp(names);
    ASSERT_TRUE(engine.waitForDecodes(20000));
    EXPECT_EQ(engine.helperRuns(), 1 + 4);
    playEach(engine, *out);
}

// SPDX-License-Identifier: MIT
// The sound engine's rules, heard through a recording output: what reaches
// the device, when it is cut, and when a file is read again.
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
#include <chrono>
#include <cmath>
#include <functional>
#include <mutex>
#include <thread>

namespace {

const QString Decoder = QStringLiteral(BUILD_DIR "/orbenvale-decode");

QString asset(const char *name)
{
    return QStringLiteral(SOURCE_DIR "/assets/sounds/") + QLatin1String(name);
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
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = int16_t(std::lround(in[i] * SoundEngine::Volume));
    return out;
}

// A device that plays in real time and remembers everything it was given,
// cut into the pieces between flushes.
class RecordingOutput : public SoundOutput {
public:
    struct Shared {
        std::mutex mutex;
        std::vector<std::vector<int16_t>> pieces{1};  // a new piece after each flush
        int opens = 0;
        int flushes = 0;
        std::atomic<bool> available{true};
    };
    explicit RecordingOutput(std::shared_ptr<Shared> s) : s_(std::move(s)) {}

    bool open() override
    {
        std::lock_guard lock(s_->mutex);
        ++s_->opens;
        return s_->available;
    }
    bool write(const int16_t *samples, size_t frames) override
    {
        {
            std::lock_guard lock(s_->mutex);
            s_->pieces.back().insert(s_->pieces.back().end(), samples, samples + frames * Channels);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(frames * 1000000 / Rate));
        return true;
    }
    void flush() override
    {
        std::lock_guard lock(s_->mutex);
        ++s_->flushes;
        s_->pieces.emplace_back();
    }
    void close() override {}

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
    SoundEngine engine{Decoder, std::make_unique<RecordingOutput>(out)};

    std::vector<std::vector<int16_t>> pieces()
    {
        std::lock_guard lock(out->mutex);
        return out->pieces;
    }
    size_t written()
    {
        size_t n = 0;
        for (const auto &p : pieces())
            n += p.size();
        return n;
    }
    bool waitFor(const std::function<bool()> &done, int ms = 10000) { return ::waitFor(done, ms); }
};

bool startsWith(const std::vector<int16_t> &piece, const std::vector<int16_t> &sound, size_t samples)
{
    return piece.size() >= samples && sound.size() >= samples
           && std::equal(sound.begin(), sound.begin() + long(samples), piece.begin());
}

void copyFile(const QString &from, const QString &to)
{
    QFile::remove(to);
    ASSERT_TRUE(QFile::copy(from, to));
}

}  // namespace

TEST(SoundEngine, PlaysAtVolumeAndEveryNewSoundReplacesTheOneInProgress)
{
    const auto chime = expected(asset("correct.wma"));
    const auto buzz = expected(asset("wrong.wma"));
    const auto fanfare = expected(asset("complete.wma"));
    ASSERT_GT(chime.size(), 40000u);
    Rig rig;
    rig.engine.play(asset("correct.wma"));  // decoded on first use, then heard whole
    ASSERT_TRUE(rig.waitFor([&] { return rig.written() >= chime.size(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    auto pieces = rig.pieces();
    ASSERT_EQ(pieces.size(), 1u) << "nothing to cut";
    EXPECT_EQ(pieces[0], chime) << "the whole chime, scaled to the player's volume, and nothing else";

    // The buzz while the fanfare plays: the fanfare stops, the buzz starts
    // from its first sample.
    rig.engine.warmUp(asset("wrong.wma"));
    rig.engine.warmUp(asset("complete.wma"));
    ASSERT_TRUE(rig.engine.waitForDecodes(10000));
    rig.engine.play(asset("complete.wma"));
    ASSERT_TRUE(rig.waitFor(
        [&] { return rig.pieces().size() == 2 && rig.pieces().back().size() >= 8 * SoundEngine::ChunkFrames * 2; }));
    rig.engine.play(asset("wrong.wma"));
    ASSERT_TRUE(rig.waitFor([&] { return rig.pieces().size() == 3 && rig.pieces().back().size() >= buzz.size(); }));
    pieces = rig.pieces();
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_TRUE(startsWith(pieces[1], fanfare, pieces[1].size())) << "a piece of the fanfare from its start";
    EXPECT_LT(pieces[1].size(), fanfare.size() / 2) << "cut off";
    EXPECT_EQ(pieces[2], buzz);

    // The same sound again starts it again from the top.
    rig.engine.play(asset("complete.wma"));
    ASSERT_TRUE(rig.waitFor([&] { return rig.pieces().size() == 4 && rig.pieces().back().size() >= 20000; }));
    rig.engine.play(asset("complete.wma"));
    ASSERT_TRUE(rig.waitFor([&] { return rig.pieces().size() == 5 && rig.pieces().back().size() >= 20000; }));
    pieces = rig.pieces();
    EXPECT_TRUE(startsWith(pieces[3], fanfare, 20000));
    EXPECT_TRUE(startsWith(pieces[4], fanfare, 20000));

    // A missing file silences the sound in progress.
    rig.engine.play(asset("gone.wma"));
    ASSERT_TRUE(rig.waitFor([&] { return rig.pieces().size() == 6; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(rig.pieces().back().empty()) << "nothing after the stop";
    EXPECT_EQ(rig.engine.decodesStarted(), 3) << "each file decoded once";
    EXPECT_EQ(rig.out->opens, 1) << "one stream for the whole run";
}

TEST(SoundEngine, ReadsAFileAgainWhenItChangesAndOnlyTheLastRequestPlays)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("effect.wma");
    copyFile(asset("wrong.wma"), path);
    const auto buzz = expected(asset("wrong.wma"));
    const auto chime = expected(asset("correct.wma"));

    Rig rig;
    rig.engine.play(path);
    ASSERT_TRUE(rig.waitFor([&] { return rig.written() >= buzz.size(); }));
    rig.engine.play(path);
    ASSERT_TRUE(rig.waitFor([&] { return rig.pieces().size() == 2 && rig.pieces().back().size() >= buzz.size(); }));
    EXPECT_EQ(rig.engine.decodesStarted(), 1);

    // Replaced by another sound under the same name: read again.
    copyFile(asset("correct.wma"), path);
    rig.engine.play(path);
    ASSERT_TRUE(rig.waitFor([&] { return rig.pieces().size() == 3 && rig.pieces().back().size() >= chime.size(); }));
    EXPECT_EQ(rig.pieces().back(), chime);
    EXPECT_EQ(rig.engine.decodesStarted(), 2);

    // A sound still being decoded does not start once another was asked for.
    const QString other = dir.filePath("other.wma");
    copyFile(asset("complete.wma"), other);
    rig.engine.play(other);
    rig.engine.play(path);  // ready: plays at once
    ASSERT_TRUE(rig.engine.waitForDecodes(10000));
    ASSERT_TRUE(rig.waitFor([&] { return rig.pieces().back().size() >= chime.size(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    for (const auto &piece : rig.pieces())
        EXPECT_FALSE(startsWith(piece, expected(other), 1000)) << "the fanfare came late and played anyway";
    EXPECT_EQ(rig.pieces().back(), chime);

    // The same for a silent request.
    copyFile(asset("complete.wma"), dir.filePath("third.wma"));
    const size_t before = rig.written();
    rig.engine.play(dir.filePath("third.wma"));
    rig.engine.play(dir.filePath("missing.wma"));
    ASSERT_TRUE(rig.engine.waitForDecodes(10000));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(rig.written(), before);
}

TEST(SoundEngine, DamagedFilesAndNoDeviceAreSilentAndNeverHoldUpTheCaller)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    {
        QFile f(dir.filePath("junk.wma"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("These are not the sounds you are looking for.\n");
    }
    {
        QFile good(asset("correct.wma"));
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
    rig.engine.warmUp(asset("correct.wma"));
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
    const auto chime = expected(asset("correct.wma"));
    rig.engine.play(asset("correct.wma"));
    ASSERT_TRUE(rig.waitFor([&] { return rig.pieces().back().size() >= chime.size(); }));
    EXPECT_EQ(rig.pieces().back(), chime);

    // No device: silent, no waiting; once there is one, the next sound plays.
    auto out = std::make_shared<RecordingOutput::Shared>();
    out->available = false;
    {
        SoundEngine engine(Decoder, std::make_unique<RecordingOutput>(out));
        engine.warmUp(asset("wrong.wma"));
        ASSERT_TRUE(engine.waitForDecodes(10000));
        QElapsedTimer t;
        t.start();
        engine.play(asset("wrong.wma"));
        EXPECT_LT(t.nsecsElapsed(), 10'000'000);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        out->available = true;
        engine.play(asset("wrong.wma"));
        const auto buzz = expected(asset("wrong.wma"));
        ASSERT_TRUE(waitFor([&] {
            std::lock_guard lock(out->mutex);
            return out->pieces.back().size() >= buzz.size();
        }));
        std::lock_guard lock(out->mutex);
        EXPECT_EQ(out->pieces.back(), buzz);
        EXPECT_GE(out->opens, 2);
    }

    // A decoder that is not there: silence, no crash.
    SoundEngine lost(QStringLiteral("/nonexistent/orbenvale-decode"), std::make_unique<RecordingOutput>(out));
    lost.play(asset("correct.wma"));
    EXPECT_TRUE(lost.waitForDecodes(5000));
}

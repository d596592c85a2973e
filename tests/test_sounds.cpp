// The shipped sounds and the Qt sound engine.
#include "qtmediabackend.h"

#include <QApplication>
#include <QAudioBuffer>
#include <QAudioDecoder>
#include <QAudioOutput>
#include <QEventLoop>
#include <QFile>
#include <QMediaPlayer>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace {

QString asset(const QString &name)
{
    return QStringLiteral(SOURCE_DIR "/assets/") + name;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Runs the event loop until done() holds or ms have passed; true if done.
bool spinUntil(const std::function<bool()> &done, int ms)
{
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    deadline.start(ms);
    poll.start(10);
    if (!done())
        loop.exec();
    return done();
}

void spin(int ms)
{
    spinUntil([] { return false; }, ms);
}

struct Decoded {
    bool finished = false;
    QString error;
    double seconds = 0;
    double peak = 0;
    qint64 zeroCrossings = 0; // first channel
};

// Decodes a whole file with Qt's own media stack, as the program will.
Decoded decode(const QString &path)
{
    Decoded d;
    QAudioDecoder decoder;
    // Without an explicit format the GStreamer decoder in Qt 6.4 fails on
    // WMA with "Internal data stream error".
    QAudioFormat want;
    want.setSampleRate(44100);
    want.setChannelCount(2);
    want.setSampleFormat(QAudioFormat::Int16);
    decoder.setAudioFormat(want);
    decoder.setSource(QUrl::fromLocalFile(path));
    qint64 frames = 0;
    int rate = 0;
    float previous = 0;
    QObject::connect(&decoder, &QAudioDecoder::bufferReady, [&] {
        const QAudioBuffer buffer = decoder.read();
        const QAudioFormat fmt = buffer.format();
        rate = fmt.sampleRate();
        frames += buffer.frameCount();
        const char *data = buffer.constData<char>();
        const int step = fmt.bytesPerFrame();
        for (qsizetype i = 0; i < buffer.frameCount(); ++i) {
            for (int c = 0; c < fmt.channelCount(); ++c) {
                const float v = fmt.normalizedSampleValue(data + i * step + c * fmt.bytesPerSample());
                d.peak = std::max(d.peak, double(std::abs(v)));
                if (c == 0) {
                    if ((v >= 0) != (previous >= 0))
                        ++d.zeroCrossings;
                    previous = v;
                }
            }
        }
    });
    QObject::connect(&decoder, &QAudioDecoder::finished, [&] { d.finished = true; });
    QObject::connect(&decoder, qOverload<QAudioDecoder::Error>(&QAudioDecoder::error),
                     [&](QAudioDecoder::Error) { d.error = decoder.errorString(); });
    decoder.start();
    spinUntil([&] { return d.finished || !d.error.isEmpty(); }, 15000);
    decoder.stop();
    if (rate > 0)
        d.seconds = double(frames) / rate;
    return d;
}

} // namespace

TEST(Sounds, AreWmaFilesOfTheRightLengthAndCharacter)
{
    const QByteArray asfMagic = QByteArray::fromHex("3026B2758E66CF11");
    struct Expect {
        const char *name;
        double seconds;
    };
    // Lengths as synthesised, plus the encoder's last block.
    const Expect expected[] = {{"correct.wma", 0.6}, {"wrong.wma", 0.45}, {"complete.wma", 2.05}};
    QMap<QString, Decoded> all;
    for (const Expect &e : expected) {
        SCOPED_TRACE(e.name);
        const QString path = asset(QStringLiteral("sounds/") + e.name);
        EXPECT_TRUE(readAll(path).startsWith(asfMagic)) << "not an ASF container";
        const Decoded d = decode(path);
        ASSERT_TRUE(d.finished) << qPrintable(d.error);
        EXPECT_NEAR(d.seconds, e.seconds, 0.1);
        // Loud enough to hear at the program's volume, but no clipping.
        EXPECT_GT(d.peak, 0.4);
        EXPECT_LT(d.peak, 0.98);
        all[e.name] = d;
    }
    // The chime is bright and the buzz is low: a swapped pair would
    // reward wrong drops with the happy sound.
    const double chimeRate = all["correct.wma"].zeroCrossings / all["correct.wma"].seconds;
    const double buzzRate = all["wrong.wma"].zeroCrossings / all["wrong.wma"].seconds;
    EXPECT_GT(chimeRate, 2 * buzzRate) << chimeRate << " vs " << buzzRate;
}

TEST(QtMediaBackend, SurvivesBadFilesAndRapidReplacement)
{
    QtMediaBackend media;

    media.play(asset("sounds/no-such-sound.wma"));
    ASSERT_NE(media.player(), nullptr);
    spin(200);
    EXPECT_EQ(media.player()->playbackState(), QMediaPlayer::StoppedState);

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString fake = dir.filePath("notes.wma");
    {
        QFile f(fake);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("These are not the sounds you are looking for.\n");
    }
    media.play(fake);
    spinUntil([&] { return media.player()->error() != QMediaPlayer::NoError
                           || media.player()->mediaStatus() == QMediaPlayer::InvalidMedia; },
              10000);
    EXPECT_NE(media.player()->mediaStatus(), QMediaPlayer::BufferedMedia);

    // A good sound after a bad one plays normally.
    media.play(asset("sounds/correct.wma"));
    EXPECT_TRUE(spinUntil([&] { return media.player()->position() > 0; }, 10000))
        << "the player did not recover after an unplayable file";

    // Three drops in quick succession: only the last sound is left playing.
    media.play(asset("sounds/correct.wma"));
    media.play(asset("sounds/wrong.wma"));
    media.play(asset("sounds/complete.wma"));
    EXPECT_TRUE(spinUntil([&] { return media.player()->position() > 0; }, 10000));
    EXPECT_EQ(media.player()->source(), QUrl::fromLocalFile(asset("sounds/complete.wma")));
    EXPECT_EQ(media.player()->playbackState(), QMediaPlayer::PlayingState);
    EXPECT_FLOAT_EQ(media.audioOutput()->volume(), QtMediaBackend::Volume);
    EXPECT_FALSE(media.audioOutput()->isMuted());

    // Replaying the sound in progress starts it again from the top.
    spin(600);
    const qint64 before = media.player()->position();
    ASSERT_GT(before, 0);
    media.play(asset("sounds/complete.wma"));
    // Position reports lag behind the pipeline; wait for the rewind to show.
    EXPECT_TRUE(spinUntil([&] { return media.player()->position() > 0 && media.player()->position() < before; },
                          10000));
    EXPECT_EQ(media.player()->playbackState(), QMediaPlayer::PlayingState);

    // A missing file stops the sound in progress instead of letting it run on.
    media.play(asset("sounds/gone.wma"));
    spin(100);
    EXPECT_EQ(media.player()->playbackState(), QMediaPlayer::StoppedState);
}

TEST(QtMediaBackend, WarmUpIsSilentAndTheFirstPlayIsHeard)
{
    QtMediaBackend media;
    media.warmUp(asset("sounds/correct.wma"));
    spinUntil([&] { return media.player()
                           && media.player()->mediaStatus() == QMediaPlayer::LoadedMedia; },
              10000);
    ASSERT_NE(media.player(), nullptr);
    spin(300);
    // Prepared but silent: nothing plays and the output is muted.
    EXPECT_NE(media.player()->playbackState(), QMediaPlayer::PlayingState);
    EXPECT_EQ(media.player()->position(), 0);
    EXPECT_TRUE(media.audioOutput()->isMuted());

    media.play(asset("sounds/correct.wma"));
    EXPECT_FALSE(media.audioOutput()->isMuted());
    EXPECT_TRUE(spinUntil([&] { return media.player()->position() > 0; }, 10000));
    EXPECT_EQ(media.player()->playbackState(), QMediaPlayer::PlayingState);

    // Warming up with a missing file, or after use, changes nothing audible.
    QtMediaBackend other;
    other.warmUp(asset("sounds/missing.wma"));
    spin(300);
    other.play(asset("sounds/wrong.wma"));
    EXPECT_TRUE(spinUntil([&] { return other.player()->position() > 0; }, 10000));
    other.warmUp(asset("sounds/complete.wma"));
    spin(100);
    EXPECT_FALSE(other.audioOutput()->isMuted());
}

// The shipped sounds and small pictures, and the Qt sound engine.
#include "qtmediabackend.h"

#include <QApplication>
#include <QAudioBuffer>
#include <QAudioDecoder>
#include <QAudioOutput>
#include <QColor>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QMediaPlayer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtEndian>
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

// One image of a Windows .ico/.cur file, as stored.
struct IconEntry {
    int width = 0, height = 0, bitCount = 0;
    bool png = false;
    QByteArray andMask; // bottom-up rows, set bit = transparent
    bool transparent(int x, int y) const
    {
        const int stride = ((width + 31) / 32) * 4;
        const uchar byte = uchar(andMask.at((height - 1 - y) * stride + x / 8));
        return byte & (0x80 >> (x % 8));
    }
};

// Qt 6.4 ignores the AND mask of 24 and 32 bit icon images, so where the
// mask is what makes pixels transparent it is checked in the file itself.
QList<IconEntry> iconEntries(const QByteArray &file)
{
    QList<IconEntry> out;
    if (file.size() < 6)
        return out;
    const uchar *d = reinterpret_cast<const uchar *>(file.constData());
    const int count = qFromLittleEndian<quint16>(d + 4);
    for (int i = 0; i < count; ++i) {
        const int at = 6 + 16 * i;
        if (at + 16 > file.size())
            break;
        const quint32 size = qFromLittleEndian<quint32>(d + at + 8);
        const quint32 offset = qFromLittleEndian<quint32>(d + at + 12);
        if (qint64(offset) + size > file.size() || size < 40)
            break;
        IconEntry e;
        e.width = d[at] ? d[at] : 256;
        e.height = d[at + 1] ? d[at + 1] : 256;
        e.png = file.mid(offset, 4) == QByteArray("\x89PNG");
        if (!e.png) {
            e.bitCount = qFromLittleEndian<quint16>(d + offset + 14);
            const int maskBytes = ((e.width + 31) / 32) * 4 * e.height;
            e.andMask = file.mid(offset + size - maskBytes, maskBytes);
        }
        out << e;
    }
    return out;
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

TEST(Pictures, DragIconCursorAndWindowIcon)
{
    // Push-pin: 8-bit icon, transparent background, needle tip at (29, 29).
    const QList<IconEntry> pinEntries = iconEntries(readAll(asset("pushpin.ico")));
    ASSERT_EQ(pinEntries.size(), 1);
    EXPECT_EQ(pinEntries[0].bitCount, 8);
    const QImage pin(asset("pushpin.ico"));
    ASSERT_FALSE(pin.isNull());
    EXPECT_EQ(pin.size(), QSize(32, 32));
    for (const QPoint p : {QPoint(0, 0), QPoint(31, 0), QPoint(0, 31), QPoint(31, 31)})
        EXPECT_EQ(qAlpha(pin.pixel(p)), 0) << p.x() << "," << p.y();
    EXPECT_EQ(qAlpha(pin.pixel(29, 29)), 255) << "needle tip";
    EXPECT_EQ(qAlpha(pin.pixel(28, 28)), 255);
    for (const QPoint p : {QPoint(30, 30), QPoint(30, 29), QPoint(29, 30)})
        EXPECT_EQ(qAlpha(pin.pixel(p)), 0) << "past the tip at " << p.x() << "," << p.y();
    const QColor tip = pin.pixelColor(29, 29);
    EXPECT_LT(std::max({tip.red(), tip.green(), tip.blue()}) - std::min({tip.red(), tip.green(), tip.blue()}), 30)
        << "the needle is grey";
    const QColor head = pin.pixelColor(10, 12);
    EXPECT_GT(head.blue(), head.red() + 60) << "the head is blue";

    // Hand cursor: a .cur whose hotspot sits on the fingertip.
    const QByteArray cur = readAll(asset("HAND-M.CUR"));
    ASSERT_GE(cur.size(), 22);
    EXPECT_EQ(qFromLittleEndian<quint16>(cur.constData() + 2), 2) << "cursor resource type";
    const int hx = qFromLittleEndian<quint16>(cur.constData() + 10);
    const int hy = qFromLittleEndian<quint16>(cur.constData() + 12);
    const QImage hand(asset("HAND-M.CUR"));
    ASSERT_FALSE(hand.isNull());
    EXPECT_EQ(hand.size(), QSize(32, 32));
    ASSERT_TRUE(hand.rect().contains(hx, hy));
    EXPECT_EQ(qAlpha(hand.pixel(hx, hy)), 255) << "hotspot on the hand";
    int top = -1;
    for (int y = 0; y < 32 && top < 0; ++y)
        for (int x = 0; x < 32; ++x)
            if (qAlpha(hand.pixel(x, y)) > 0) {
                top = y;
                break;
            }
    EXPECT_EQ(hy, top) << "hotspot at the fingertip, the topmost point";
    int white = 0, black = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const QRgb p = hand.pixel(x, y);
            if (qAlpha(p) == 255 && p == qRgb(255, 255, 255))
                ++white;
            else if (qAlpha(p) == 255 && p == qRgb(0, 0, 0))
                ++black;
        }
    EXPECT_GT(white, 100) << "a white hand";
    EXPECT_GT(black, 50) << "with a black outline";

    // Window icon: 24 bit, nothing visible at all.
    const QImage blank(asset("window.ico"));
    EXPECT_EQ(blank.size(), QSize(32, 32));
    const QList<IconEntry> blankEntries = iconEntries(readAll(asset("window.ico")));
    ASSERT_EQ(blankEntries.size(), 1);
    EXPECT_EQ(blankEntries[0].bitCount, 24);
    EXPECT_EQ(blankEntries[0].andMask, QByteArray(4 * 32, char(0xff)));
}

TEST(Pictures, PanelStripAndProgramIcon)
{
    const QImage panel(asset("panel.jpg"));
    ASSERT_FALSE(panel.isNull());
    EXPECT_EQ(panel.size(), QSize(11, 154));
    double worstContrast = 1e9;
    for (int y = 0; y < panel.height(); ++y)
        for (int x = 0; x < panel.width(); ++x) {
            const QColor c = panel.pixelColor(x, y);
            ASSERT_GT(c.blue(), c.red() + 40) << x << "," << y;
            ASSERT_GT(c.blue(), c.green() + 40) << x << "," << y;
            auto lin = [](double v) { v /= 255; return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
            const double lum = 0.2126 * lin(c.red()) + 0.7152 * lin(c.green()) + 0.0722 * lin(c.blue());
            worstContrast = std::min(worstContrast, 1.05 / (lum + 0.05));
        }
    EXPECT_GE(worstContrast, 4.5) << "white text must stay readable on the panel";

    // Program icon: 32 px at 24 bit (transparent through its mask), the
    // larger ones with an alpha channel; all of them readable by Qt.
    const QList<IconEntry> entries = iconEntries(readAll(asset("orbenvale.ico")));
    QList<int> sizes;
    for (const IconEntry &e : entries) {
        sizes << e.width;
        if (e.width == 32) {
            EXPECT_EQ(e.bitCount, 24);
            EXPECT_TRUE(e.transparent(0, 0) && e.transparent(31, 31));
            EXPECT_FALSE(e.transparent(16, 16));
        } else if (!e.png) {
            EXPECT_EQ(e.bitCount, 32) << e.width;
        }
    }
    EXPECT_EQ(sizes, QList<int>({32, 48, 128, 256}));
    QImageReader reader(asset("orbenvale.ico"));
    int frames = 0;
    do {
        const QImage frame = reader.read();
        ASSERT_FALSE(frame.isNull()) << qPrintable(reader.errorString());
        EXPECT_EQ(frame.width(), frame.height());
        if (frame.width() > 32)
            EXPECT_EQ(qAlpha(frame.pixel(0, 0)), 0) << "frame " << frame.width();
        ++frames;
    } while (reader.jumpToNextImage() && frames < 10);
    EXPECT_EQ(frames, 4);
    for (int size : {32, 48, 128, 256}) {
        const QImage png(asset(QStringLiteral("icons/orbenvale-%1.png").arg(size)));
        EXPECT_EQ(png.size(), QSize(size, size));
    }
}

TEST(Skin, ExampleRestylesTheTwoButtons)
{
    QString sheet = QString::fromUtf8(readAll(asset("skins/example.cjs")));
    ASSERT_FALSE(sheet.isEmpty());
    EXPECT_TRUE(sheet.contains("x/o.cjs")) << "the header says how to use it";
    QWidget form;
    form.setObjectName("Form1");
    auto *one = new QPushButton("Again", &form);
    one->setObjectName("PushButton1");
    auto *two = new QPushButton("Hint", &form);
    two->setObjectName("PushButton2");
    auto *other = new QPushButton("Other", &form);
    other->setObjectName("PushButton3");
    const QColor plainText = other->palette().color(QPalette::ButtonText);
    qApp->setStyleSheet(sheet);
    for (QPushButton *b : {one, two, other})
        b->ensurePolished();
    EXPECT_EQ(one->palette().color(QPalette::ButtonText), QColor(Qt::white));
    EXPECT_EQ(two->palette().color(QPalette::ButtonText), QColor(Qt::white));
    EXPECT_EQ(other->palette().color(QPalette::ButtonText), plainText) << "only the named buttons";
    qApp->setStyleSheet(QString());
}

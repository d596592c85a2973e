// SPDX-License-Identifier: MIT
// The shipped sounds as the program's decoder reads them.
#include "assetfiles.h"

#include <QFile>
#include <QMap>
#include <QProcess>
#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <vector>

namespace {

struct Decoded {
    bool finished = false;
    QString error;
    double seconds = 0;
    double peak = 0;
    qint64 zeroCrossings = 0;  // first channel
    double leadIn = 0;  // seconds before the first audible sample
    std::vector<qint16> left;
};

// Decodes a whole file with the program's own decode helper.
Decoded decode(const QString &path)
{
    Decoded d;
    QProcess helper;
    helper.start(decodeHelper(), {path});
    d.finished = helper.waitForFinished(15000) && helper.exitStatus() == QProcess::NormalExit && helper.exitCode() == 0;
    d.error = QString::fromLocal8Bit(helper.readAllStandardError());
    const QByteArray pcm = helper.readAllStandardOutput();
    const auto *s = reinterpret_cast<const qint16 *>(pcm.constData());
    const qsizetype frames = pcm.size() / 4;
    float previous = 0;
    qsizetype firstAudible = -1;
    for (qsizetype i = 0; i < frames; ++i) {
        d.left.push_back(s[2 * i]);
        for (int c = 0; c < 2; ++c) {
            const float v = s[2 * i + c] / 32768.0f;
            d.peak = std::max(d.peak, double(std::abs(v)));
            if (firstAudible < 0 && std::abs(v) > 0.01f)
                firstAudible = i;
            if (c == 0) {
                if ((v >= 0) != (previous >= 0))
                    ++d.zeroCrossings;
                previous = v;
            }
        }
    }
    d.seconds = frames / 44100.0;
    d.leadIn = firstAudible / 44100.0;
    return d;
}

}  // namespace

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
        // The encoder's delay is not played, and none of the sound is lost
        // with it: the sound rises from quiet within a few milliseconds.
        EXPECT_LT(d.leadIn, 0.004);
        ASSERT_GT(d.left.size(), 100u);
        EXPECT_LT(*std::max_element(d.left.begin(), d.left.begin() + 44,
                                    [](qint16 a, qint16 b) { return std::abs(a) < std::abs(b); }),
                  1600)
            << "starts in the middle of the sound";
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

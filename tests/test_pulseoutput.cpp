// SPDX-License-Identifier: MIT
// The PulseAudio output never waits on the server: not when there is none,
// not when one accepts the connection and then says nothing, not when a
// server that was playing freezes, and it ends at once in every case. A
// server that appears later, or comes back, is used by the next sound.
#include "pulseoutput.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <memory>
#include <functional>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {

// How the sound server lists the client under test.
const QString kClient = QStringLiteral("orbenvale test");

using namespace std::chrono_literals;

bool waitFor(const std::function<bool()> &done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

// The output as the engine drives it: its tick every few milliseconds.
void tickFor(PulseOutput &out, int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        out.tick();
        std::this_thread::sleep_for(20ms);
    }
}

SoundOutput::Samples tone(int ms)
{
    auto pcm = std::make_shared<std::vector<int16_t>>(size_t(SoundOutput::kRate) * ms / 1000 * SoundOutput::kChannels);
    for (size_t i = 0; i < pcm->size(); ++i)
        (*pcm)[i] = int16_t((i / 40) % 2 ? 3000 : -3000);
    return pcm;
}

// How long a call took, in milliseconds.
template <class F> double timed(F &&f)
{
    QElapsedTimer t;
    t.start();
    f();
    return t.nsecsElapsed() / 1e6;
}

// A private PulseAudio server with a null sink, at an address of the test's,
// that suspends the sink a second after the last stream has gone quiet.
// A null sink plays only while its monitor is recorded, so it is, unless
// the test asks how the sink stands on its own.
class Server {
public:
    explicit Server(const QString &dir) : dir_(dir) {}
    ~Server() { stop(); }
    QString address() const { return QStringLiteral("unix:") + dir_ + QStringLiteral("/native"); }
    bool start(bool record = true)
    {
        for (const char *d : {"run", "home", "state"})
            QDir(dir_).mkpath(QLatin1String(d));
        QFile::remove(dir_ + QStringLiteral("/native"));
        QFile script(dir_ + QStringLiteral("/server.pa"));
        if (!script.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        script.write("load-module module-null-sink sink_name=test rate=44100 channels=2\n");
        script.write("load-module module-suspend-on-idle timeout=1\n");
        script.write(QStringLiteral("load-module module-native-protocol-unix socket=%1/native auth-anonymous=1\n")
                         .arg(dir_)
                         .toUtf8());
        script.close();
        QProcessEnvironment env;
        env.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH"));
        env.insert(QStringLiteral("HOME"), dir_ + QStringLiteral("/home"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir_ + QStringLiteral("/run"));
        env.insert(QStringLiteral("PULSE_RUNTIME_PATH"), dir_ + QStringLiteral("/run"));
        env.insert(QStringLiteral("PULSE_STATE_PATH"), dir_ + QStringLiteral("/state"));
        proc_.setProcessEnvironment(env);
        proc_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        proc_.setStandardOutputFile(QProcess::nullDevice());
        proc_.start(QStringLiteral("pulseaudio"),
                    {"--daemonize=no", "--system=false", "-n", "--exit-idle-time=-1", "--use-pid-file=no",
                     "--disable-shm=yes", "--log-level=0", "-F", dir_ + QStringLiteral("/server.pa")});
        if (!proc_.waitForStarted(5000)
            || !waitFor([&] { return QFile::exists(dir_ + QStringLiteral("/native")); }, 10000))
            return false;
        if (!record)
            return true;
        QProcessEnvironment client = QProcessEnvironment::systemEnvironment();
        client.insert(QStringLiteral("PULSE_SERVER"), address());
        listener_.setProcessEnvironment(client);
        listener_.setStandardOutputFile(QProcess::nullDevice());
        listener_.setStandardErrorFile(QProcess::nullDevice());
        listener_.start(QStringLiteral("parec"), {"-d", "test.monitor", "--raw", "--latency-msec=10"});
        if (!listener_.waitForStarted(5000))
            return false;
        // A new null sink first plays a long stretch of silence ahead; only
        // then does it keep to the short buffers its clients ask for.
        std::this_thread::sleep_for(2200ms);
        return listener_.state() == QProcess::Running;
    }
    void signal(int sig) { ::kill(pid_t(proc_.processId()), sig); }
    // The sink's state in the server's own word: RUNNING, IDLE or SUSPENDED.
    QString sinkState() const
    {
        QProcess pactl;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PULSE_SERVER"), address());
        pactl.setProcessEnvironment(env);
        pactl.start(QStringLiteral("pactl"), {"list", "sinks", "short"});
        pactl.waitForFinished(5000);
        const QStringList fields = QString::fromUtf8(pactl.readAllStandardOutput()).trimmed().split(QLatin1Char('\t'));
        return fields.value(fields.size() - 1);
    }
    void stop()
    {
        listener_.kill();
        listener_.waitForFinished(5000);
        if (proc_.state() == QProcess::NotRunning)
            return;
        signal(SIGCONT);
        proc_.kill();
        proc_.waitForFinished(5000);
    }

private:
    QString dir_;
    QProcess proc_, listener_;
};

class Pulse : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        qputenv("PULSE_COOKIE", QFile::encodeName(dir.filePath("cookie")));
    }
    void useServer(const QString &address) { qputenv("PULSE_SERVER", address.toUtf8()); }
    QTemporaryDir dir;
};

}  // namespace

TEST_F(Pulse, NoServerOrOneThatNeverAnswersIsSilentAndWaitsForNothing)
{
    // Nobody at the address.
    useServer(QStringLiteral("unix:") + dir.filePath("nobody"));
    {
        PulseOutput out(kClient);
        EXPECT_LT(timed([&] { out.prepare(); }), 50.0);
        EXPECT_LT(timed([&] { out.start(tone(500)); }), 50.0);
        tickFor(out, 100);
        EXPECT_EQ(out.link(), PulseOutput::Link::None);
    }

    // A socket that takes the connection and then says nothing, as a server
    // that froze does.
    const QByteArray path = QFile::encodeName(dir.filePath("frozen"));
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.constData(), sizeof addr.sun_path - 1);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(listener, 8), 0);
    useServer(QStringLiteral("unix:") + dir.filePath("frozen"));
    auto out = std::make_unique<PulseOutput>(kClient);
    EXPECT_LT(timed([&] { out->start(tone(500)); }), 50.0) << "connecting is not waited for";
    EXPECT_EQ(out->link(), PulseOutput::Link::Connecting);
    for (int i = 0; i < 5; ++i)
        EXPECT_LT(timed([&] { out->start(tone(500)); }), 20.0) << "nor is it by a later sound";
    tickFor(*out, PulseOutput::kConnectMs + 300);
    EXPECT_EQ(out->link(), PulseOutput::Link::None) << "given up";
    EXPECT_EQ(out->givenUp(), 1);
    out->start(tone(500));  // the next sound tries again
    EXPECT_EQ(out->link(), PulseOutput::Link::Connecting);
    EXPECT_LT(timed([&] { out.reset(); }), 100.0) << "closing while still connecting";
    ::close(listener);
}

TEST_F(Pulse, TheStreamSleepsWhenSilentSoTheServerSuspendsItsSinkAndWakesToPlayAtOnce)
{
    if (QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty()
        || QStandardPaths::findExecutable(QStringLiteral("pactl")).isEmpty())
        GTEST_SKIP() << "no pulseaudio to test with (tools/install-deps.sh installs it)";
    Server server(dir.path());
    ASSERT_TRUE(server.start(false));
    useServer(server.address());
    PulseOutput out(kClient);
    out.prepare();
    ASSERT_TRUE(waitFor([&] { return out.link() == PulseOutput::Link::Ready; }, 5000));
    EXPECT_TRUE(out.asleep()) << "connected asleep: connecting wakes no device";
    EXPECT_FALSE(out.busy()) << "nothing to time while asleep";
    ASSERT_TRUE(waitFor([&] { return server.sinkState() == "SUSPENDED"; }, 4000));

    // Woken (a drag begins): the sink runs before any sound is asked for.
    out.wake();
    EXPECT_FALSE(out.asleep());
    EXPECT_TRUE(out.busy());
    ASSERT_TRUE(waitFor([&] { return server.sinkState() == "RUNNING"; }, 2000));
    out.start(tone(300));
    EXPECT_EQ(out.framesGiven(), size_t(SoundOutput::kRate) * 3 / 10);
    // Played out, a grace, and asleep: the server suspends the sink.
    tickFor(out, 300 + int(SleepRule::kGrace.count()) + 300);
    EXPECT_TRUE(out.asleep());
    EXPECT_FALSE(out.busy());
    EXPECT_TRUE(waitFor([&] { return server.sinkState() == "SUSPENDED"; }, 4000)) << server.sinkState().toStdString();

    // A sound that comes while it sleeps plays at once, whole.
    out.start(tone(500));
    EXPECT_FALSE(out.asleep());
    EXPECT_EQ(out.framesGiven(), size_t(SoundOutput::kRate) / 2);
    EXPECT_TRUE(waitFor([&] { return server.sinkState() == "RUNNING"; }, 2000));
    tickFor(out, 500 + int(SleepRule::kGrace.count()) + 300);
    EXPECT_TRUE(out.asleep());
}

TEST_F(Pulse, AServerThatFreezesIsGivenUpAndOneThatComesBackIsUsedAgain)
{
    if (QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty()
        || QStandardPaths::findExecutable(QStringLiteral("parec")).isEmpty())
        GTEST_SKIP() << "no pulseaudio to test with (tools/install-deps.sh installs it)";
    Server server(dir.path());
    ASSERT_TRUE(server.start());
    useServer(server.address());
    auto output = std::make_unique<PulseOutput>(kClient);
    PulseOutput &out = *output;
    out.prepare();
    ASSERT_TRUE(waitFor([&] { return out.link() == PulseOutput::Link::Ready; }, 5000));

    // A sound goes to the server whole as it starts: a thread that is late
    // later cannot leave it dry.
    out.start(tone(2000));
    EXPECT_EQ(out.framesGiven(), size_t(SoundOutput::kRate) * 2);
    tickFor(out, 500);
    out.start(tone(1500));
    EXPECT_EQ(out.framesGiven(), size_t(SoundOutput::kRate) * 3 / 2) << "a new sound, whole, from its beginning";

    // Frozen mid-sound: nothing waits, and it is given up.
    server.signal(SIGSTOP);
    double slowest = 0;
    for (int i = 0; i < 10; ++i) {
        slowest = std::max(slowest, timed([&] { out.start(tone(300)); }));
        slowest = std::max(slowest, timed([&] { out.tick(); }));
        std::this_thread::sleep_for(30ms);
    }
    EXPECT_LT(slowest, 20.0) << "a frozen server held up a call";
    tickFor(out, PulseOutput::kStallMs + 300);
    EXPECT_EQ(out.link(), PulseOutput::Link::None);
    EXPECT_EQ(out.givenUp(), 1);

    // Back again: the next sound connects and plays.
    server.signal(SIGCONT);
    out.start(tone(1000));
    ASSERT_TRUE(waitFor([&] { return out.link() == PulseOutput::Link::Ready; }, 5000));
    tickFor(out, 300);
    EXPECT_GT(out.framesGiven(), size_t(SoundOutput::kRate) / 10);

    // Gone for good, then a new one at the same address.
    server.stop();
    tickFor(out, 200);
    EXPECT_EQ(out.link(), PulseOutput::Link::None);
    EXPECT_LT(timed([&] { out.start(tone(1000)); }), 20.0);
    ASSERT_TRUE(server.start());
    out.start(tone(1000));
    ASSERT_TRUE(waitFor([&] { return out.link() == PulseOutput::Link::Ready; }, 5000));
    tickFor(out, 300);
    EXPECT_GT(out.framesGiven(), size_t(SoundOutput::kRate) / 10);

    // Frozen, and the output ends at once.
    server.signal(SIGSTOP);
    out.start(tone(1000));
    EXPECT_LT(timed([&] { output.reset(); }), 100.0);
}

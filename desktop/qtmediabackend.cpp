#include "qtmediabackend.h"

#include <QAudioOutput>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QMediaPlayer>
#include <QTimer>
#include <QUrl>

namespace {

QLoggingCategory::CategoryFilter previousFilter = nullptr;

// GStreamer reports every failure to reach a sound server, and every file it
// cannot decode, as a Qt warning. Sounds are a nicety here: a machine
// without audio, or a broken sound file, should not fill the terminal.
void quietMultimedia(QLoggingCategory *category)
{
    if (previousFilter)
        previousFilter(category);
    if (qstrcmp(category->categoryName(), "qt.multimedia.player") == 0)
        category->setEnabled(QtWarningMsg, false);
}

void quietMultimediaOnce()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    // Someone looking into the logging on purpose wants to see everything.
    if (!qEnvironmentVariableIsEmpty("QT_LOGGING_RULES"))
        return;
    previousFilter = QLoggingCategory::installFilter(quietMultimedia);
}

} // namespace

QtMediaBackend::QtMediaBackend() = default;

QtMediaBackend::~QtMediaBackend()
{
    if (m_player)
        m_player->stop();
}

void QtMediaBackend::ensurePlayer()
{
    if (m_player)
        return;
    // Qt 6.4 also ships an FFmpeg backend, which crashes when there is no
    // audio device. The choice is made once per process, when the first
    // multimedia object is created.
    qputenv("QT_MEDIA_BACKEND", "gstreamer");
    quietMultimediaOnce();
    m_output = std::make_unique<QAudioOutput>();
    m_output->setVolume(Volume);
    m_player = std::make_unique<QMediaPlayer>();
    m_player->setAudioOutput(m_output.get());
    // A play() that arrives while the previous source is still being torn
    // down can be dropped by the GStreamer backend (two drops in quick
    // succession, or the last correct drop followed by the fanfare). Start
    // the wanted sound once its media has loaded.
    QObject::connect(m_player.get(), &QMediaPlayer::mediaStatusChanged, &m_context,
                     [this](QMediaPlayer::MediaStatus status) {
                         if (status == QMediaPlayer::EndOfMedia || status == QMediaPlayer::InvalidMedia)
                             m_wanted = false;
                         else if (m_wanted
                                  && (status == QMediaPlayer::LoadedMedia || status == QMediaPlayer::BufferedMedia)
                                  && m_player->playbackState() != QMediaPlayer::PlayingState)
                             m_player->play();
                     });
}

void QtMediaBackend::play(const QString &path)
{
    ensurePlayer();
    // The warm-up left the output muted.
    m_output->setMuted(false);
    const QFileInfo info(path);
    if (!info.isFile() || !info.isReadable()) {
        // The new sound cannot play, but it still replaces the old one.
        m_wanted = false;
        m_player->stop();
        return;
    }
    const QUrl url = QUrl::fromLocalFile(info.absoluteFilePath());
    m_wanted = true;
    if (m_player->source() == url)
        m_player->stop(); // rewinds; the decoder already in place is reused
    else
        m_player->setSource(url);
    m_player->play();
}

void QtMediaBackend::warmUp(const QString &path)
{
    if (m_player || m_warmUpQueued)
        return;
    m_warmUpQueued = true;
    // Loading the GStreamer plugins takes a while; let the caller go on and
    // paint its window first.
    QTimer::singleShot(0, &m_context, [this, path] {
        m_warmUpQueued = false;
        if (m_player)
            return; // a real sound got there first
        ensurePlayer();
        const QFileInfo info(path);
        if (!info.isFile())
            return;
        // Preroll only: the sink is opened and the decoders are loaded, but
        // a paused pipeline renders nothing. Muting covers the rest.
        m_output->setMuted(true);
        m_player->setSource(QUrl::fromLocalFile(info.absoluteFilePath()));
        m_player->pause();
    });
}

#pragma once
// Sound engine on Qt Multimedia (GStreamer). One player is kept for the
// whole run: building a GStreamer pipeline costs several hundred
// milliseconds the first time, reusing it costs almost nothing, and a
// drop chime that comes late sounds wrong.
#include "mediabackend.h"

#include <QObject>
#include <QString>
#include <memory>

class QAudioOutput;
class QMediaPlayer;

class QtMediaBackend : public MediaBackend {
public:
    static constexpr float Volume = 0.37f;

    QtMediaBackend();
    ~QtMediaBackend() override;

    void play(const QString &path) override;
    // Builds the pipeline from the event loop with the output muted and the
    // given file prerolled, so the first real play() is as quick as later
    // ones. Returns at once.
    void warmUp(const QString &path) override;

    // The player behind the engine, or null before the first use. Only for
    // measuring and testing.
    QMediaPlayer *player() const { return m_player.get(); }
    QAudioOutput *audioOutput() const { return m_output.get(); }

private:
    void ensurePlayer();

    QObject m_context; // owns the deferred warm-up, so it dies with us
    std::unique_ptr<QAudioOutput> m_output;
    std::unique_ptr<QMediaPlayer> m_player; // after m_output: destroyed first
    bool m_warmUpQueued = false;
    bool m_wanted = false; // a sound was asked for and has not finished

};

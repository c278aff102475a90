#pragma once
// Plays an embedded sound file through Qt Multimedia. WAV goes through QSoundEffect from a
// temporary file; Ogg Vorbis and MPEG through QMediaPlayer from memory, which is made only when
// there is an audio output device (Qt's players fail hard without one). Every outcome is told
// through the status callback, never by a crash.

#include <functional>
#include <memory>
#include <optional>

#include <QObject>
#include <QPointer>
#include <QString>

#include "plugins/audio/audio_body.h"

class QBuffer;
class QMediaPlayer;
class QSoundEffect;
class QTemporaryFile;

namespace kestrova::audio {

class ClipPlayer : public QObject {
public:
    explicit ClipPlayer(QObject* parent);
    ~ClipPlayer() override;

    // Plays `stream`, a file of `kind` (nullopt when the clip's kind is not known).
    void Play(ByteSpan stream, std::optional<AudioKind> kind);
    void Stop();

    std::function<void(const QString&)> onStatus;

private:
    void Report(const QString& status);
    void PlayWav(ByteSpan stream);
    void PlayMedia(ByteSpan stream, AudioKind kind);

    std::unique_ptr<QTemporaryFile> wavFile_;
    QPointer<QSoundEffect> effect_;
    QPointer<QMediaPlayer> player_;
    QPointer<QBuffer> buffer_;
};

}  // namespace kestrova::audio

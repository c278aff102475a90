#include "plugins/audio/clip_player.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QBuffer>
#include <QDir>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QSoundEffect>
#include <QTemporaryFile>
#include <QUrl>

namespace kestrova::audio {

ClipPlayer::ClipPlayer(QObject* parent) : QObject(parent) {}

ClipPlayer::~ClipPlayer() {
    // The players go before the data they read from.
    delete effect_;
    delete player_;
}

void ClipPlayer::Report(const QString& status) {
    if (onStatus) {
        onStatus(status);
    }
}

void ClipPlayer::Play(ByteSpan stream, std::optional<AudioKind> kind) {
    Stop();
    if (!kind) {
        Report(tr("The clip's sound type is not known; it cannot be played."));
        return;
    }
    if (*kind == AudioKind::Wav) {
        PlayWav(stream);
    } else {
        PlayMedia(stream, *kind);
    }
}

void ClipPlayer::Stop() {
    if (effect_) {
        effect_->stop();
    }
    if (player_) {
        player_->stop();
    }
}

void ClipPlayer::PlayWav(ByteSpan stream) {
    if (!wavFile_) {
        auto file = std::make_unique<QTemporaryFile>(QDir::tempPath() +
                                                     QStringLiteral("/kestrova-clip-XXXXXX.wav"));
        if (!file->open() ||
            file->write(reinterpret_cast<const char*>(stream.data()),
                        static_cast<qint64>(stream.size())) != static_cast<qint64>(stream.size()) ||
            !file->flush()) {
            Report(tr("The clip could not be written to a temporary file: %1")
                       .arg(file->errorString()));
            return;
        }
        file->close();
        wavFile_ = std::move(file);
    }
    if (!effect_) {
        effect_ = new QSoundEffect(this);
        connect(effect_, &QSoundEffect::statusChanged, this, [this] {
            if (effect_ && effect_->status() == QSoundEffect::Error) {
                Report(tr("This WAV file cannot be played (only PCM WAV files play here)."));
            }
        });
        connect(effect_, &QSoundEffect::playingChanged, this, [this] {
            if (!effect_ || effect_->status() == QSoundEffect::Error) {
                return;
            }
            if (!effect_->isPlaying()) {
                Report(tr("Stopped."));
            } else if (QMediaDevices::audioOutputs().isEmpty()) {
                Report(
                    tr("Playing, but no audio output device is available: nothing can be "
                       "heard."));
            } else {
                Report(tr("Playing."));
            }
        });
        effect_->setSource(QUrl::fromLocalFile(wavFile_->fileName()));
    }
    effect_->play();
}

void ClipPlayer::PlayMedia(ByteSpan stream, AudioKind kind) {
    if (QMediaDevices::audioOutputs().isEmpty()) {
        Report(tr("No audio output device is available: the clip cannot be played."));
        return;
    }
    if (!player_) {
        player_ = new QMediaPlayer(this);
        player_->setAudioOutput(new QAudioOutput(player_));
        buffer_ = new QBuffer(player_);
        buffer_->setData(reinterpret_cast<const char*>(stream.data()),
                         static_cast<qsizetype>(stream.size()));
        buffer_->open(QIODevice::ReadOnly);
        connect(player_, &QMediaPlayer::errorOccurred, this,
                [this](QMediaPlayer::Error, const QString& why) {
                    Report(tr("The clip cannot be played: %1").arg(why));
                });
        connect(player_, &QMediaPlayer::playbackStateChanged, this,
                [this](QMediaPlayer::PlaybackState state) {
                    Report(state == QMediaPlayer::PlayingState ? tr("Playing.") : tr("Stopped."));
                });
        // The name only tells the player which kind of file the buffer holds.
        player_->setSourceDevice(
            buffer_, QUrl(QStringLiteral("clip.") + QString::fromLatin1(ExtensionOf(kind))));
    }
    player_->play();
}

}  // namespace kestrova::audio

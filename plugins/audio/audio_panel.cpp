#include "plugins/audio/audio_panel.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "plugins/audio/bank_wav.h"
#include "plugins/audio/clip_player.h"

namespace kestrova::audio {
namespace {

QString SoundTypeText(std::uint32_t soundType) {
    const std::optional<AudioKind> kind = KindOfSoundType(soundType);
    return kind ? QStringLiteral("%1 (%2)").arg(QString::fromLatin1(KindName(*kind))).arg(soundType)
                : QObject::tr("unknown (%1)").arg(soundType);
}

}  // namespace

AudioPanel::AudioPanel(AudioSession& session, QWidget* parent)
    : QWidget(parent), session_(session) {
    setObjectName(QStringLiteral("audioPanel"));
    auto* layout = new QVBoxLayout(this);
    message_ = new QLabel(this);
    message_->setObjectName(QStringLiteral("audioMessage"));
    message_->setWordWrap(true);
    if (session_.damaged()) {
        message_->setText(QString::fromStdString(session_.error()));
        layout->addWidget(message_);
        layout->addStretch();
        return;
    }
    details_ = new QFormLayout;
    layout->addLayout(details_);

    auto* buttons = new QHBoxLayout;
    auto* play = new QPushButton(tr("Play"), this);
    play->setObjectName(QStringLiteral("playButton"));
    auto* stop = new QPushButton(tr("Stop"), this);
    stop->setObjectName(QStringLiteral("stopButton"));
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("playStatus"));
    status_->setWordWrap(true);
    buttons->addWidget(play);
    buttons->addWidget(stop);
    buttons->addStretch();
    layout->addLayout(buttons);
    layout->addWidget(status_);
    layout->addWidget(message_);
    layout->addStretch();

    connect(play, &QPushButton::clicked, this, [this] {
        if (!player_) {
            return;
        }
        const StreamedSound* sound = session_.streamed();
        if (sound == nullptr) {
            player_->Play(session_.body().stream.bytes, session_.kind());
            return;
        }
        std::string why = sound->bankError;
        if (why.empty() &&
            SampleToWav(*sound->parsed, sound->bank,
                        static_cast<std::size_t>(sound->clip.subsoundIndex), playedWav_, why)) {
            player_->Play(playedWav_, AudioKind::Wav);
        } else {
            status_->setText(QString::fromStdString(why));
        }
    });
    connect(stop, &QPushButton::clicked, this, [this] {
        if (player_) {
            player_->Stop();
        }
    });
    session_.Attach(this);
    Reload();
}

AudioPanel::~AudioPanel() {
    session_.Detach(this);
}

void AudioPanel::AddRow(const QString& label, const QString& value, const char* name) {
    auto* field = new QLabel(value, this);
    field->setObjectName(QString::fromLatin1(name));
    field->setTextInteractionFlags(Qt::TextSelectableByMouse);
    details_->addRow(label, field);
}

void AudioPanel::Reload() {
    // A new clip gets a new player: the old one holds the old stream.
    delete player_;
    player_ = new ClipPlayer(this);
    player_->onStatus = [this](const QString& status) { status_->setText(status); };
    status_->clear();
    message_->clear();
    while (details_->rowCount() > 0) {
        details_->removeRow(0);
    }

    if (const StreamedSound* sound = session_.streamed()) {
        ShowStreamed(*sound);
        return;
    }
    const AudioBody& body = session_.body();
    AddRow(tr("Sound type:"), SoundTypeText(body.soundType), "soundType");
    AddRow(tr("Stream length:"), tr("%1 bytes").arg(body.stream.bytes.size()), "streamLength");
    AddRow(tr("Format:"), QString::number(body.format), "formatWord");
    AddRow(tr("Flags:"), QStringLiteral("%1, %2").arg(body.flags[0]).arg(body.flags[1]), "flags");
    if (!body.rest.empty()) {
        AddRow(tr("After the stream:"), tr("%1 bytes, kept").arg(body.rest.size()), "restLength");
    }
    if (session_.kind() != AudioKind::Wav) {
        return;
    }
    const std::optional<WavInfo> wav = ReadWavInfo(body.stream.bytes);
    if (!wav) {
        AddRow(tr("WAV:"), tr("no readable format chunk"), "wavFormat");
        return;
    }
    AddRow(tr("Channels:"), QString::number(wav->channels), "channels");
    AddRow(tr("Sample rate:"), tr("%1 Hz").arg(wav->sampleRate), "sampleRate");
    AddRow(tr("Bits per sample:"), QString::number(wav->bitsPerSample), "bitsPerSample");
    if (wav->formatTag != 1) {
        AddRow(tr("Sample format:"), tr("format tag %1 (not PCM)").arg(wav->formatTag),
               "wavFormat");
    }
    AddRow(tr("Duration:"), tr("%1 s").arg(wav->seconds, 0, 'f', 2), "duration");
}

void AudioPanel::ShowStreamed(const StreamedSound& sound) {
    const StreamedClip& clip = sound.clip;
    AddRow(tr("Source file:"),
           tr("%1 (%2 bytes at %3)")
               .arg(QString::fromStdString(clip.source))
               .arg(clip.size)
               .arg(clip.offset),
           "sourceFile");
    AddRow(tr("Compression:"),
           QString::fromStdString(CompressionFormatName(clip.compressionFormat)), "compression");
    const BankSample* sample = sound.Sample();
    if (sample == nullptr) {
        // The clip's own numbers, and why the bank's are missing.
        AddRow(tr("Channels:"), QString::number(clip.channels), "channels");
        AddRow(tr("Sample rate:"), tr("%1 Hz").arg(clip.frequency), "sampleRate");
        AddRow(tr("Length:"), tr("%1 s").arg(static_cast<double>(clip.length), 0, 'f', 2),
               "duration");
        message_->setText(QString::fromStdString(sound.bankError));
        return;
    }
    AddRow(tr("Codec:"), QString::fromStdString(BankCodecName(sound.parsed->codec)), "codec");
    AddRow(tr("Channels:"), QString::number(sample->channels), "channels");
    AddRow(tr("Sample rate:"), tr("%1 Hz").arg(sample->rate), "sampleRate");
    const double seconds = static_cast<double>(sample->frames) / sample->rate;
    AddRow(tr("Length:"), tr("%1 s").arg(seconds, 0, 'f', 2), "duration");
    AddRow(tr("Sample count:"), QString::number(sample->frames), "sampleCount");
    if (sound.parsed->samples.size() > 1) {
        AddRow(tr("Bank:"),
               tr("%1 samples; the clip plays number %2")
                   .arg(sound.parsed->samples.size())
                   .arg(clip.subsoundIndex),
               "bankSamples");
    }
    if (const std::optional<std::string> why = WavRefusal(sound.parsed->codec)) {
        message_->setText(QString::fromStdString(*why));
    }
}

void AudioPanel::Refused(const std::string& why) {
    message_->setText(QString::fromStdString(why));
}

}  // namespace kestrova::audio

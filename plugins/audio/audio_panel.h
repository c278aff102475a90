#pragma once
// The audio plug-in's panel: what the clip is (sound type, stream length, format word, and the
// numbers of a WAV file; for a later engine's clip the codec, channels, rate, length, sample
// count and resource file of its sound bank) with Play and Stop. A damaged body shows its
// message instead.

#include <string>

#include <QPointer>
#include <QWidget>

#include "plugins/audio/audio_session.h"

class QFormLayout;
class QLabel;

namespace kestrova::audio {

class ClipPlayer;

class AudioPanel : public QWidget, public AudioView {
public:
    AudioPanel(AudioSession& session, QWidget* parent);
    ~AudioPanel() override;

    void Reload() override;
    void Refused(const std::string& why) override;

private:
    void AddRow(const QString& label, const QString& value, const char* name);
    void ShowStreamed(const StreamedSound& sound);

    AudioSession& session_;
    QPointer<QFormLayout> details_;
    QPointer<QLabel> status_;
    QPointer<QLabel> message_;
    QPointer<ClipPlayer> player_;
    Bytes playedWav_;  // the later form's sample as WAV, while it plays
};

}  // namespace kestrova::audio

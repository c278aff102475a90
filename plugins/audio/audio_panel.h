#pragma once
// The audio plug-in's panel: what the clip is (sound type, stream length, format word, and the
// numbers of a WAV file) with Play and Stop. A damaged body shows its message instead.

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

    AudioSession& session_;
    QPointer<QFormLayout> details_;
    QPointer<QLabel> status_;
    QPointer<QLabel> message_;
    QPointer<ClipPlayer> player_;
};

}  // namespace kestrova::audio

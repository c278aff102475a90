#include "plugins/audio/audio_session.h"

namespace kestrova::audio {

void AudioSession::Load(ByteSpan body) {
    held_.Load(body);
    view_ = nullptr;
}

void AudioSession::Detach(const AudioView* view) {
    if (view_ == view) {
        view_ = nullptr;
    }
}

std::optional<Bytes> AudioSession::Body() const {
    if (damaged()) {
        return std::nullopt;
    }
    return held_.data();
}

std::nullopt_t AudioSession::Refuse(const std::string& why) const {
    if (view_ != nullptr) {
        view_->Refused(why);
    }
    return std::nullopt;
}

std::optional<Bytes> AudioSession::Export(const char16_t* extension) const {
    if (damaged()) {
        return std::nullopt;
    }
    if (!kind()) {
        return Refuse("The clip's sound type " + std::to_string(body().soundType) +
                      " is not WAV, Ogg Vorbis or MPEG; it cannot be exported as a sound file.");
    }
    if (KindOfExtension(extension) != kind()) {
        return Refuse(std::string("The clip holds ") + KindName(*kind()) +
                      " audio: export it as ." + ExtensionOf(*kind()) + ".");
    }
    return Bytes(body().stream.bytes.begin(), body().stream.bytes.end());
}

std::optional<Bytes> AudioSession::Import(ByteSpan file, const char16_t* extension) {
    const std::optional<AudioKind> wanted = KindOfExtension(extension);
    if (damaged() || !wanted) {
        return std::nullopt;
    }
    const std::optional<AudioKind> found = DetectKind(file);
    if (found != wanted) {
        return Refuse(std::string("The file is not ") + KindName(*wanted) + " audio" +
                      (found ? std::string(" but ") + KindName(*found) : std::string()) +
                      ": its content does not match its extension ." + ExtensionOf(*wanted) + ".");
    }
    Bytes rebuilt = BuildAudioBody(held_.body(), SoundTypeOf(*wanted), file);
    held_.Load(rebuilt);
    if (view_ != nullptr) {
        view_->Reload();
    }
    return rebuilt;
}

}  // namespace kestrova::audio

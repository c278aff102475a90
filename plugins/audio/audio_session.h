#pragma once
// The AudioClip the audio plug-in holds between the host's calls: a copy of the body it was
// handed, read once, and the conversions the entry points offer. The clip has no edits of its
// own; an import replaces its stream. No Qt here; the panel reaches the session through AudioView.

#include <optional>
#include <string>

#include "plugins/audio/audio_body.h"
#include "plugins/support/held_body.h"

namespace kestrova::audio {

// What the session needs of the panel that shows the clip.
class AudioView {
public:
    virtual ~AudioView() = default;
    // The clip was replaced (by an import): show it afresh.
    virtual void Reload() = 0;
    // An export or import was refused; `why` says so in words for the user.
    virtual void Refused(const std::string& why) = 0;
};

class AudioSession {
public:
    // Takes a copy of the body the host handed over and reads it; a previous panel is forgotten.
    void Load(ByteSpan body);

    bool damaged() const { return held_.damaged(); }
    const std::string& error() const { return held_.error(); }
    const AudioBody& body() const { return held_.body(); }
    // The kind of the stream by its sound type word; nullopt for a word of no known kind.
    std::optional<AudioKind> kind() const { return KindOfSoundType(body().soundType); }

    void Attach(AudioView* view) { view_ = view; }
    void Detach(const AudioView* view);

    // The clip has no edits of its own: an import reaches the host through ImportData.
    bool Changed() const { return false; }
    // The body as it was handed over (or as the last import made it); nullopt when damaged, so
    // that a damaged body is never written back.
    std::optional<Bytes> Body() const;
    // The embedded stream as it is, for the extension of its own kind only.
    std::optional<Bytes> Export(const char16_t* extension) const;
    // The body with `file` as its stream, for "wav", "ogg" or "mp3" when the file's signature is
    // of that kind: sound type, length and padding set, all else kept. The result becomes the
    // session's body. The extension is checked before a byte of `file` is read: in the "Mod"
    // panel mode the host passes other things than files.
    std::optional<Bytes> Import(ByteSpan file, const char16_t* extension);

private:
    std::nullopt_t Refuse(const std::string& why) const;

    plugin::HeldBody<AudioBody> held_{ParseAudioBody};
    AudioView* view_ = nullptr;
};

}  // namespace kestrova::audio

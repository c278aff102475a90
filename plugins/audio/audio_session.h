#pragma once
// The AudioClip the audio plug-in holds between the host's calls: a copy of the body it was
// handed, read once, and the conversions the entry points offer. A clip of engine 3.x-4.x embeds
// its sound file, which export gives as it is and import replaces. A clip of engine 5 and later
// keeps its sound in a bank in a resource file: the session reads the bank through the host,
// exports it as it is (.fsb) or its sample as WAV, and refuses imports. No Qt here; the panel
// reaches the session through AudioView.

#include <optional>
#include <string>

#include "plugins/audio/audio_body.h"
#include "plugins/audio/sound_bank.h"
#include "plugins/audio/streamed_clip.h"
#include "plugins/support/held_body.h"
#include "plugins/support/held_context.h"

namespace kestrova::audio {

// The data type of a sound bank as it is.
inline constexpr char kBankExtension[] = "fsb";

// What the session needs of the panel that shows the clip.
class AudioView {
public:
    virtual ~AudioView() = default;
    // The clip was replaced (by an import): show it afresh.
    virtual void Reload() = 0;
    // An export or import was refused; `why` says so in words for the user.
    virtual void Refused(const std::string& why) = 0;
};

// A later engine's clip: its fields and the bank they point at, or why the bank is not there.
struct StreamedSound {
    StreamedClip clip;
    Bytes bank;                       // the bank's bytes, when they were read
    std::optional<SoundBank> parsed;  // when they read as a bank
    std::string bankError;            // why not, otherwise

    // The sample the clip plays: its sub-sound of the bank; null when there is none.
    const BankSample* Sample() const;
};

class AudioSession {
public:
    // The context of the next hand-over (copied); null forgets it.
    void SetContext(const KestrovaPluginContext* context);
    // Takes a copy of the body the host handed over and reads it; a previous panel is forgotten.
    void Load(ByteSpan body);

    bool damaged() const { return !error_.empty(); }
    const std::string& error() const { return error_; }
    // The embedded form's body; empty for a later engine's clip.
    const AudioBody& body() const { return held_.body(); }
    // The later engine's clip; null for the embedded form.
    const StreamedSound* streamed() const { return streamed_ ? &*streamed_ : nullptr; }
    // The kind of the embedded stream by its sound type word; nullopt for a word of no known
    // kind and for a later engine's clip.
    std::optional<AudioKind> kind() const;

    void Attach(AudioView* view) { view_ = view; }
    void Detach(const AudioView* view);

    // The clip has no edits of its own: an import reaches the host through ImportData.
    bool Changed() const { return false; }
    // The body as it was handed over (or as the last import made it); nullopt when damaged, so
    // that a damaged body is never written back.
    std::optional<Bytes> Body() const;
    // The embedded form: the stream as it is, for the extension of its own kind only. The later
    // form: the bank as it is for "fsb", its clip's sample as a WAV file for "wav".
    std::optional<Bytes> Export(const char16_t* extension) const;
    // The embedded form: the body with `file` as its stream, for "wav", "ogg" or "mp3" when the
    // file's signature is of that kind: sound type, length and padding set, all else kept. The
    // result becomes the session's body. The later form refuses, saying why. The extension is
    // checked before a byte of `file` is read: in the "Mod" panel mode the host passes other
    // things than files.
    std::optional<Bytes> Import(ByteSpan file, const char16_t* extension);

private:
    void LoadStreamed(ByteSpan body);
    std::optional<Bytes> ExportStreamed(const char16_t* extension) const;
    std::nullopt_t Refuse(const std::string& why) const;

    plugin::HeldContext next_;
    plugin::HeldContext context_;
    plugin::HeldBody<AudioBody> held_{ParseAudioBody};
    Bytes streamedBody_;
    std::optional<StreamedSound> streamed_;
    std::string error_ = "No asset has been handed over.";
    AudioView* view_ = nullptr;
};

}  // namespace kestrova::audio

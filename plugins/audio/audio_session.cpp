#include "plugins/audio/audio_session.h"

#include <limits>

#include "plugins/audio/bank_wav.h"
#include "plugins/support/entry_point_support.h"

namespace kestrova::audio {
namespace {

// A bank is handed over whole, so it must fit a block the host takes (a 32-bit length).
constexpr std::uint64_t kLargestBank = std::numeric_limits<std::int32_t>::max();

}  // namespace

const BankSample* StreamedSound::Sample() const {
    if (!parsed || clip.subsoundIndex < 0 ||
        static_cast<std::size_t>(clip.subsoundIndex) >= parsed->samples.size()) {
        return nullptr;
    }
    return &parsed->samples[static_cast<std::size_t>(clip.subsoundIndex)];
}

void AudioSession::SetContext(const KestrovaPluginContext* context) {
    next_ = plugin::HeldContext::From(context);
}

void AudioSession::Load(ByteSpan body) {
    context_ = std::move(next_);
    next_ = {};
    view_ = nullptr;
    streamed_.reset();
    streamedBody_.clear();
    if (IsStreamedClipEngine(context_)) {
        held_.Load({});
        LoadStreamed(body);
        return;
    }
    held_.Load(body);
    error_ = held_.error();
}

void AudioSession::LoadStreamed(ByteSpan body) {
    streamedBody_.assign(body.begin(), body.end());
    error_.clear();
    if (context_.prefixMissing) {
        error_ = "The host gave the length of the asset's name without its bytes.";
        return;
    }
    Bytes object = context_.namePrefix;
    object.insert(object.end(), body.begin(), body.end());
    StreamedSound sound;
    if (!ReadStreamedClip(object, context_, sound.clip, error_)) {
        return;
    }
    if (sound.clip.source.empty()) {
        sound.bankError = "The clip names no resource file: it holds no sound.";
    } else if (plugin::ReadStreamed(context_, sound.clip.source, sound.clip.offset, sound.clip.size,
                                    kLargestBank, sound.bank, sound.bankError)) {
        SoundBank parsed;
        if (ParseSoundBank(sound.bank, parsed, sound.bankError)) {
            sound.parsed = std::move(parsed);
            if (sound.Sample() == nullptr) {
                sound.bankError = "The clip plays sub-sound " +
                                  std::to_string(sound.clip.subsoundIndex) +
                                  ", but its bank holds " +
                                  std::to_string(sound.parsed->samples.size()) + " samples.";
            }
        }
    }
    streamed_ = std::move(sound);
}

std::optional<AudioKind> AudioSession::kind() const {
    if (streamed_ || damaged()) {
        return std::nullopt;
    }
    return KindOfSoundType(body().soundType);
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
    return streamed_ ? streamedBody_ : held_.data();
}

std::nullopt_t AudioSession::Refuse(const std::string& why) const {
    if (view_ != nullptr) {
        view_->Refused(why);
    }
    context_.Report(why);
    return std::nullopt;
}

std::optional<Bytes> AudioSession::Export(const char16_t* extension) const {
    if (damaged()) {
        return Refuse(error_);
    }
    if (streamed_) {
        return ExportStreamed(extension);
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

std::optional<Bytes> AudioSession::ExportStreamed(const char16_t* extension) const {
    const StreamedSound& sound = *streamed_;
    const bool bank = plugin::ExtensionIs(extension, kBankExtension);
    if (!bank && KindOfExtension(extension) != AudioKind::Wav) {
        return Refuse("The clip's sound is a bank in \"" + sound.clip.source +
                      "\": export it as .fsb, or as .wav where its samples allow.");
    }
    if (!sound.bankError.empty()) {
        return Refuse(sound.bankError);
    }
    if (bank) {
        return sound.bank;
    }
    Bytes wav;
    std::string why;
    if (!SampleToWav(*sound.parsed, sound.bank, static_cast<std::size_t>(sound.clip.subsoundIndex),
                     wav, why)) {
        return Refuse(why);
    }
    return wav;
}

std::optional<Bytes> AudioSession::Import(ByteSpan file, const char16_t* extension) {
    const std::optional<AudioKind> wanted = KindOfExtension(extension);
    const bool bank = plugin::ExtensionIs(extension, kBankExtension);
    if (damaged() || (!wanted && !bank)) {
        return std::nullopt;
    }
    if (streamed_) {
        return Refuse("The clip's sound lies in a sound bank in the resource file \"" +
                      streamed_->clip.source +
                      "\", which is not part of this asset: a sound imported here would not "
                      "reach it, so streamed clips take no import.");
    }
    if (bank) {
        return Refuse(
            std::string("The clip embeds a sound file, not a sound bank: import a "
                        ".wav, .ogg or .mp3 file."));
    }
    const std::optional<AudioKind> found = DetectKind(file);
    if (found != wanted) {
        return Refuse(std::string("The file is not ") + KindName(*wanted) + " audio" +
                      (found ? std::string(" but ") + KindName(*found) : std::string()) +
                      ": its content does not match its extension ." + ExtensionOf(*wanted) + ".");
    }
    Bytes rebuilt = BuildAudioBody(held_.body(), SoundTypeOf(*wanted), file);
    held_.Load(rebuilt);
    error_ = held_.error();
    if (view_ != nullptr) {
        view_->Reload();
    }
    return rebuilt;
}

}  // namespace kestrova::audio

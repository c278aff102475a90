#include "plugins/audio/audio_body.h"

#include <algorithm>
#include <cstring>

#include "plugins/support/entry_point_support.h"

namespace kestrova::audio {
namespace {

struct KindInfo {
    AudioKind kind;
    std::uint32_t soundType;
    const char* extension;
    const char* name;
};

// In the order of AudioKind.
constexpr KindInfo kKinds[] = {
    {AudioKind::Wav, 20, "wav", "WAV"},
    {AudioKind::OggVorbis, 14, "ogg", "Ogg Vorbis"},
    {AudioKind::Mpeg, 13, "mp3", "MPEG"},
};

const KindInfo& InfoOf(AudioKind kind) {
    return kKinds[static_cast<std::size_t>(kind)];
}

bool HasAt(ByteSpan bytes, std::size_t offset, const char* tag) {
    const std::size_t length = std::strlen(tag);
    return bytes.size() >= offset + length && std::memcmp(bytes.data() + offset, tag, length) == 0;
}

}  // namespace

bool ParseAudioBody(ByteSpan body, AudioBody& out, std::string& error) {
    ByteReader reader(body);
    AudioBody parsed;
    if (!reader.ReadLittleEndian32(parsed.format) || !reader.ReadLittleEndian32(parsed.soundType) ||
        !reader.ReadLittleEndian32(parsed.flags[0]) ||
        !reader.ReadLittleEndian32(parsed.flags[1])) {
        error = "The body is " + std::to_string(body.size()) +
                " bytes long, too short for the clip's four header words.";
        return false;
    }
    if (!plugin::ReadAlignedBlock(reader, "audio stream", parsed.stream, error)) {
        return false;
    }
    parsed.rest = reader.TakeRest();
    out = parsed;
    return true;
}

Bytes BuildAudioBody(const AudioBody& stored, std::uint32_t soundType, ByteSpan stream) {
    Bytes body;
    body.reserve(20 + stream.size() + 3 + stored.rest.size());
    PutLittleEndian32(body, stored.format);
    PutLittleEndian32(body, soundType);
    PutLittleEndian32(body, stored.flags[0]);
    PutLittleEndian32(body, stored.flags[1]);
    plugin::AppendAlignedBlock(body, stream, stored.stream);
    PutBytes(body, stored.rest);
    return body;
}

std::uint32_t SoundTypeOf(AudioKind kind) {
    return InfoOf(kind).soundType;
}

std::optional<AudioKind> KindOfSoundType(std::uint32_t soundType) {
    for (const KindInfo& info : kKinds) {
        if (info.soundType == soundType) {
            return info.kind;
        }
    }
    return std::nullopt;
}

const char* ExtensionOf(AudioKind kind) {
    return InfoOf(kind).extension;
}

std::optional<AudioKind> KindOfExtension(const char16_t* extension) {
    for (const KindInfo& info : kKinds) {
        if (plugin::ExtensionIs(extension, info.extension)) {
            return info.kind;
        }
    }
    return std::nullopt;
}

const char* KindName(AudioKind kind) {
    return InfoOf(kind).name;
}

std::optional<AudioKind> DetectKind(ByteSpan bytes) {
    if (HasAt(bytes, 0, "RIFF") && HasAt(bytes, 8, "WAVE")) {
        return AudioKind::Wav;
    }
    if (HasAt(bytes, 0, "OggS")) {
        return AudioKind::OggVorbis;
    }
    if (HasAt(bytes, 0, "ID3") ||
        (bytes.size() >= 2 && bytes[0] == 0xFF && (bytes[1] & 0xE0) == 0xE0)) {
        return AudioKind::Mpeg;
    }
    return std::nullopt;
}

std::optional<WavInfo> ReadWavInfo(ByteSpan file) {
    if (DetectKind(file) != AudioKind::Wav) {
        return std::nullopt;
    }
    ByteReader reader(file.subspan(12));
    WavInfo info;
    bool haveFormat = false;
    bool haveData = false;
    ByteSpan id;
    std::uint32_t size = 0;
    // Every chunk moves the reader on by at least its 8-byte head, so the walk ends.
    while (!haveData && reader.Take(4, id) && reader.ReadLittleEndian32(size)) {
        const ByteSpan payload = reader.TakeAtMost(size);
        if (HasAt(id, 0, "fmt ")) {
            ByteReader format(payload);
            std::uint16_t blockAlign = 0;
            haveFormat = format.ReadLittleEndian16(info.formatTag) &&
                         format.ReadLittleEndian16(info.channels) &&
                         format.ReadLittleEndian32(info.sampleRate) &&
                         format.ReadLittleEndian32(info.bytesPerSecond) &&
                         format.ReadLittleEndian16(blockAlign) &&
                         format.ReadLittleEndian16(info.bitsPerSample);
        } else if (HasAt(id, 0, "data")) {
            haveData = true;
            info.dataBytes = payload.size();
        }
        reader.TakeAtMost(size % 2);  // chunks start at even offsets
    }
    if (!haveFormat) {
        return std::nullopt;
    }
    if (info.bytesPerSecond > 0) {
        info.seconds = static_cast<double>(info.dataBytes) / info.bytesPerSecond;
    }
    return info;
}

}  // namespace kestrova::audio

#include "plugins/texture/texture_fields.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

#include "plugins/texture/texture_version_layout.h"
#include "sdk/context_type_tree.h"

namespace kestrova::texture {

namespace {

// The fields the texture is read and written by, where the object holds them.
struct Located {
    std::optional<FieldAt> width, height, completeImageSize, format, mipCount, mipMap, mipsStripped,
        imageCount, dimension, imageData, streamOffset, streamSize, streamPath;
};

std::optional<FieldAt> Member(const FieldReader& reader, const std::vector<FieldAt>& members,
                              std::string_view name) {
    for (const FieldAt& member : members) {
        if (reader.Node(member).name == name) {
            return member;
        }
    }
    return std::nullopt;
}

// A field found by name counts only when it has the kind it is read as.
std::optional<FieldAt> Scalar(const FieldReader& reader, std::optional<FieldAt> field) {
    return field && IsScalar(reader.Node(*field).kind) ? field : std::nullopt;
}

Located Locate(const FieldReader& r) {
    const std::vector<FieldAt> members = r.Members(r.Root());
    const auto scalar = [&](std::string_view name) { return Scalar(r, Member(r, members, name)); };
    Located at;
    at.width = scalar("m_Width");
    at.height = scalar("m_Height");
    at.completeImageSize = scalar("m_CompleteImageSize");
    at.format = scalar("m_TextureFormat");
    at.mipCount = scalar("m_MipCount");
    at.mipMap = scalar("m_MipMap");
    at.mipsStripped = scalar("m_MipsStripped");
    at.imageCount = scalar("m_ImageCount");
    at.dimension = scalar("m_TextureDimension");
    if (std::optional<FieldAt> data = Member(r, members, "image data");
        data && r.Node(*data).kind == FieldKind::Bytes) {
        at.imageData = data;
    }
    if (std::optional<FieldAt> stream = Member(r, members, "m_StreamData");
        stream && r.Node(*stream).kind == FieldKind::Struct) {
        const std::vector<FieldAt> inner = r.Members(*stream);
        at.streamOffset = Scalar(r, Member(r, inner, "offset"));
        at.streamSize = Scalar(r, Member(r, inner, "size"));
        if (std::optional<FieldAt> path = Member(r, inner, "path");
            path && r.Node(*path).kind == FieldKind::String) {
            at.streamPath = path;
        }
    }
    return at;
}

std::uint32_t Word(const FieldReader& r, std::optional<FieldAt> field, std::uint32_t absent) {
    return field ? static_cast<std::uint32_t>(r.ScalarBits(*field)) : absent;
}

void Patch(std::vector<std::uint8_t>& object, const FieldReader& r, std::optional<FieldAt> field,
           std::uint64_t value) {
    if (!field) {
        return;
    }
    FieldWriter writer(r.order());
    writer.PutScalar(r.Node(*field).kind, value);
    std::copy(writer.bytes().begin(), writer.bytes().end(),
              object.begin() + static_cast<std::ptrdiff_t>(field->offset));
}

std::string StatusText(std::int32_t status, const StreamReference& s) {
    switch (status) {
        case KESTROVA_STREAM_NOT_FOUND:
            return "The texture's pixels are streamed from " + s.path +
                   ", which is neither beside the asset file nor in its bundle.";
        case KESTROVA_STREAM_OUT_OF_RANGE:
            return "The texture's pixels are said to lie at bytes " + std::to_string(s.offset) +
                   " to " + std::to_string(s.offset + s.size) + " of " + s.path +
                   ", outside that file.";
        default:
            return "The texture's pixels could not be read from " + s.path + ".";
    }
}

// The streamed pixels into `out`, or why they cannot be had. The last byte is asked for first,
// so that nothing is allocated for a range the file does not hold.
std::string ReadStreamed(const TextureContext& context, const StreamReference& s,
                         std::vector<std::uint8_t>& out) {
    if (!context.readStream) {
        return "The texture's pixels are streamed from " + s.path +
               ", and the host reads no resource files.";
    }
    if (s.path.find('\0') != std::string::npos) {
        return "The texture's stream path holds a zero byte, so it names no file.";
    }
    if (s.offset > std::numeric_limits<std::uint64_t>::max() - s.size) {
        return StatusText(KESTROVA_STREAM_OUT_OF_RANGE, s);
    }
    std::uint8_t last = 0;
    if (const std::int32_t status = context.readStream(s.path, s.offset + s.size - 1, {&last, 1});
        status != KESTROVA_STREAM_READ) {
        return StatusText(status, s);
    }
    out.resize(s.size);
    if (const std::int32_t status = context.readStream(s.path, s.offset, out);
        status != KESTROVA_STREAM_READ) {
        out.clear();
        return StatusText(status, s);
    }
    return {};
}

std::string Refusal(const std::string& source, const std::string& why) {
    return "The texture does not read as " + source + ": " + why;
}

}  // namespace

TextureContext TextureContextOf(const KestrovaPluginContext& context) {
    TextureContext copy;
    copy.engineVersion = context.engineVersion != nullptr ? context.engineVersion : "";
    copy.order = context.byteOrder == 1 ? ByteOrder::Big : ByteOrder::Little;
    if (context.namePrefix != nullptr) {
        copy.namePrefix.assign(context.namePrefix, context.namePrefix + context.namePrefixLength);
    } else if (context.namePrefixLength > 0) {
        copy.treeError = "the host gave the length of the asset's name without its bytes.";
    }
    if (context.typeTree != nullptr && copy.treeError.empty()) {
        copy.tree = TypeTreeFromContext(*context.typeTree, copy.treeError);
    }
    if (context.readStream != nullptr) {
        copy.readStream = [host = context.host, read = context.readStream](
                              const std::string& path, std::uint64_t offset,
                              std::span<std::uint8_t> out) {
            return read(host, path.c_str(), offset, out.size(), out.data());
        };
    }
    return copy;
}

bool UsesFieldLayout(const TextureContext& context) {
    if (context.tree || !context.treeError.empty()) {
        return true;
    }
    const std::optional<EngineVersion> version = EngineVersion::Parse(context.engineVersion);
    return version && *version >= kFirstFieldLayoutVersion;
}

TextureParse ParseFieldTexture(std::span<const std::uint8_t> body, const TextureContext& context) {
    TextureParse result;
    if (!context.tree && !context.treeError.empty()) {
        result.problem = "The file's type tree of the texture cannot be used: " + context.treeError;
        return result;
    }
    auto held = std::make_shared<FieldTexture>();
    held->order = context.order;
    held->prefixLength = context.namePrefix.size();
    held->object.reserve(context.namePrefix.size() + body.size());
    held->object.insert(held->object.end(), context.namePrefix.begin(), context.namePrefix.end());
    held->object.insert(held->object.end(), body.begin(), body.end());

    std::string source = "its type tree";
    std::string error;
    std::optional<FieldLayout> layout;
    if (context.tree) {
        layout = FieldLayout::Compile(*context.tree, error);
    } else if (const std::optional<EngineVersion> version =
                   EngineVersion::Parse(context.engineVersion)) {
        source = "the Texture2D layout of engine version " + context.engineVersion;
        if (*version > kLastKnownVersion) {
            source += " (newer than the versions this plug-in knows)";
        }
        layout = FieldLayout::Compile(Texture2DTree(*version), error);
    } else {
        result.problem =
            "The file keeps no type tree for the texture and names no engine "
            "version (\"" +
            context.engineVersion + "\") to read it by.";
        return result;
    }
    if (!layout) {
        result.problem = Refusal(source, error);
        return result;
    }
    held->layout = std::move(*layout);
    const FieldReader reader(held->layout, held->object, held->order);
    if (const std::optional<FieldError> wrong = reader.Check()) {
        result.problem = Refusal(source, wrong->Text());
        return result;
    }
    const Located at = Locate(reader);
    for (const auto& [field, name] :
         {std::pair{at.width, "m_Width"}, std::pair{at.height, "m_Height"},
          std::pair{at.completeImageSize, "m_CompleteImageSize"},
          std::pair{at.format, "m_TextureFormat"}, std::pair{at.imageData, "image data"}}) {
        if (!field) {
            result.problem = Refusal(source, std::string("it has no ") + name + " field.");
            return result;
        }
    }
    if (!at.mipCount && !at.mipMap) {
        result.problem = Refusal(source, "it has neither m_MipCount nor m_MipMap.");
        return result;
    }

    Texture& t = result.texture;
    TextureHeader& h = t.header;
    h.width = Word(reader, at.width, 0);
    h.height = Word(reader, at.height, 0);
    h.completeImageSize = Word(reader, at.completeImageSize, 0);
    h.format = Word(reader, at.format, 0);
    h.imageCount = Word(reader, at.imageCount, 1);
    h.dimension = Word(reader, at.dimension, kDimension2D);
    h.mipCount = at.mipCount ? Word(reader, at.mipCount, 1)
                             : MipLevelCount(h.width, h.height, Word(reader, at.mipMap, 0) != 0);
    h.mipMaps = h.mipCount > 1 ? 1 : 0;
    if (h.dimension != kDimension2D) {
        result.problem = "The texture's dimension is " + std::to_string(h.dimension) +
                         ", where a 2D texture has 2.";
        return result;
    }
    result.headerRead = true;
    if (at.streamSize && at.streamPath) {
        t.stream.offset = at.streamOffset ? reader.ScalarBits(*at.streamOffset) : 0;
        t.stream.size = static_cast<std::uint32_t>(reader.ScalarBits(*at.streamSize));
        const std::span<const std::uint8_t> path = reader.Payload(*at.streamPath);
        t.stream.path.assign(path.begin(), path.end());
    }
    const std::span<const std::uint8_t> inlineData = reader.Payload(*at.imageData);
    const bool streamed = inlineData.empty() && t.stream.used();
    if (!streamed) {
        t.stream = {};
        t.imageData = inlineData;
        result.problem = CheckLayout(t, inlineData.size());
    } else if (std::string wrong = CheckLayout(t, t.stream.size); !wrong.empty()) {
        result.problem = "The texture streams its pixels from " + t.stream.path + ". " + wrong;
    } else if (t.stream.size > 0) {
        auto pixels = std::make_shared<std::vector<std::uint8_t>>();
        result.problem = ReadStreamed(context, t.stream, *pixels);
        t.imageData = *pixels;
        t.streamed = std::move(pixels);
    }
    if (!result.problem.empty()) {
        t.format = nullptr;
        t.levels.clear();
        t.imageData = {};
        t.streamed.reset();
    }
    t.fields = std::move(held);
    return result;
}

std::vector<std::uint8_t> WriteFieldTexture(const FieldTexture& texture,
                                            const TextureHeader& header,
                                            std::span<const std::uint8_t> imageData) {
    std::vector<std::uint8_t> object = texture.object;
    {
        const FieldReader reader(texture.layout, texture.object, texture.order);
        const Located at = Locate(reader);
        Patch(object, reader, at.width, header.width);
        Patch(object, reader, at.height, header.height);
        Patch(object, reader, at.completeImageSize, header.completeImageSize);
        Patch(object, reader, at.format, header.format);
        Patch(object, reader, at.mipCount, header.mipCount);
        Patch(object, reader, at.mipMap, header.mipMaps != 0 ? 1 : 0);
        Patch(object, reader, at.mipsStripped, 0);
        Patch(object, reader, at.imageCount, 1);
        Patch(object, reader, at.streamOffset, 0);
        Patch(object, reader, at.streamSize, 0);
        // The sizes of the fields are unchanged, so the image data lies where it did.
        const FieldReader patched(texture.layout, object, texture.order);
        patched.Check();
        object = ReplacePayload(patched, *at.imageData, imageData);
    }
    const FieldReader reader(texture.layout, object, texture.order);
    reader.Check();
    if (const Located at = Locate(reader); at.streamPath) {
        object = ReplacePayload(reader, *at.streamPath, {});
    }
    object.erase(object.begin(),
                 object.begin() + static_cast<std::ptrdiff_t>(texture.prefixLength));
    return object;
}

}  // namespace kestrova::texture

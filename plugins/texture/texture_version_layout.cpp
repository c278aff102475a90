#include "plugins/texture/texture_version_layout.h"

#include <charconv>
#include <cstdint>
#include <string>

namespace kestrova::texture {

namespace {

// Appends nodes in pre-order; every field's level is given by the depth it is added at.
class TreeBuilder {
public:
    void Field(std::uint8_t level, const char* type, const char* name, std::int32_t size,
               bool align = false) {
        TypeTreeNode node;
        node.type = type;
        node.name = name;
        node.byteSize = size;
        node.level = level;
        node.metaFlag = align ? kAlignAfterField : 0;
        node.index = static_cast<std::int32_t>(tree_.nodes.size());
        tree_.nodes.push_back(std::move(node));
    }
    void String(std::uint8_t level, const char* name) { Field(level, "string", name, -1, true); }
    // A vector of bytes: the vector, its array, the array's size and data.
    void ByteVector(std::uint8_t level, const char* name) {
        Field(level, "vector", name, -1, true);
        Field(level + 1, "Array", "Array", -1);
        tree_.nodes.back().typeFlags = 1;
        Field(level + 2, "int", "size", 4);
        Field(level + 2, "UInt8", "data", 1);
    }
    // Marks the last field as aligned after it.
    void Align() { tree_.nodes.back().metaFlag |= kAlignAfterField; }
    TypeTree Take() { return std::move(tree_); }

private:
    TypeTree tree_;
};

}  // namespace

std::optional<EngineVersion> ParseEngineVersion(std::string_view text) {
    EngineVersion version;
    const char* end = text.data() + text.size();
    auto [afterMajor, majorError] = std::from_chars(text.data(), end, version.major);
    if (majorError != std::errc() || afterMajor == end || *afterMajor != '.') {
        return std::nullopt;
    }
    auto [afterMinor, minorError] = std::from_chars(afterMajor + 1, end, version.minor);
    if (minorError != std::errc() || afterMinor == afterMajor + 1) {
        return std::nullopt;
    }
    return version;
}

TypeTree Texture2DTree(EngineVersion v) {
    const auto from = [&v](int major, int minor) { return v >= EngineVersion{major, minor}; };
    TreeBuilder b;
    b.Field(0, "Texture2D", "Base", -1);
    b.String(1, "m_Name");
    if (from(2017, 3)) {
        b.Field(1, "int", "m_ForcedFallbackFormat", 4);
        b.Field(1, "bool", "m_DownscaleFallback", 1);
        if (from(2020, 2)) {
            b.Field(1, "bool", "m_IsAlphaChannelOptional", 1);
        }
        b.Align();
    }
    b.Field(1, "int", "m_Width", 4);
    b.Field(1, "int", "m_Height", 4);
    b.Field(1, "int", "m_CompleteImageSize", 4);
    if (from(2020, 1)) {
        b.Field(1, "int", "m_MipsStripped", 4);
    }
    b.Field(1, "int", "m_TextureFormat", 4);
    if (from(5, 2)) {
        b.Field(1, "int", "m_MipCount", 4);
    } else {
        b.Field(1, "bool", "m_MipMap", 1);
    }
    b.Field(1, "bool", "m_IsReadable", 1);
    if (from(2020, 1)) {
        b.Field(1, "bool", "m_IsPreProcessed", 1);
    }
    if (from(2022, 2)) {
        b.Field(1, "bool", "m_IgnoreMipmapLimit", 1, true);
        b.String(1, "m_MipmapLimitGroupName");
    } else if (from(2019, 3)) {
        b.Field(1, "bool", "m_IgnoreMasterTextureLimit", 1);
    }
    if (!from(5, 5)) {
        b.Field(1, "bool", "m_ReadAllowed", 1);
    }
    if (from(2018, 2)) {
        b.Field(1, "bool", "m_StreamingMipmaps", 1);
    }
    b.Align();
    if (from(2018, 2)) {
        b.Field(1, "int", "m_StreamingMipmapsPriority", 4);
    }
    b.Field(1, "int", "m_ImageCount", 4);
    b.Field(1, "int", "m_TextureDimension", 4);
    b.Field(1, "GLTextureSettings", "m_TextureSettings", -1);
    b.Field(2, "int", "m_FilterMode", 4);
    b.Field(2, "int", "m_Aniso", 4);
    b.Field(2, "float", "m_MipBias", 4);
    if (from(2017, 1)) {
        b.Field(2, "int", "m_WrapU", 4);
        b.Field(2, "int", "m_WrapV", 4);
        b.Field(2, "int", "m_WrapW", 4);
    } else {
        b.Field(2, "int", "m_WrapMode", 4);
    }
    b.Field(1, "int", "m_LightmapFormat", 4);
    b.Field(1, "int", "m_ColorSpace", 4);
    if (from(2020, 2)) {
        b.ByteVector(1, "m_PlatformBlob");
    }
    b.Field(1, "TypelessData", "image data", -1, true);
    if (from(5, 3)) {
        b.Field(1, "StreamingInfo", "m_StreamData", -1);
        b.Field(2, from(2020, 1) ? "UInt64" : "unsigned int", "offset", from(2020, 1) ? 8 : 4);
        b.Field(2, "unsigned int", "size", 4);
        b.String(2, "path");
    }
    return b.Take();
}

}  // namespace kestrova::texture

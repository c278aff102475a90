#include "plugins/texture/texture_version_layout.h"

#include <cstdint>
#include <string>

#include "plugins/support/tree_builder.h"

namespace kestrova::texture {

using plugin::TreeBuilder;

TypeTree Texture2DTree(EngineVersion v) {
    const auto from = [&v](std::uint32_t major, std::uint32_t minor) {
        return v >= EngineVersion{major, minor};
    };
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

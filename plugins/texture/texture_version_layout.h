#pragma once
// The fields of a Texture2D as each engine version writes them, for player files that keep no
// type tree: the layout is made as a tree, so that such an object is read and written back by
// the same field reader as one whose file keeps its own.
//
//   m_Name                                               (every version)
//   m_ForcedFallbackFormat int, m_DownscaleFallback bool from 2017.3;
//   m_IsAlphaChannelOptional bool from 2020.2, then aligned
//   m_Width, m_Height, m_CompleteImageSize int
//   m_MipsStripped int                                   from 2020.1
//   m_TextureFormat int
//   m_MipMap bool before 5.2, m_MipCount int from 5.2
//   m_IsReadable bool; m_IsPreProcessed bool from 2020.1;
//   m_IgnoreMasterTextureLimit bool from 2019.3 (m_IgnoreMipmapLimit from 2022.2, then aligned
//   and m_MipmapLimitGroupName string); m_ReadAllowed bool before 5.5;
//   m_StreamingMipmaps bool from 2018.2; aligned
//   m_StreamingMipmapsPriority int                       from 2018.2
//   m_ImageCount, m_TextureDimension int
//   m_TextureSettings: m_FilterMode, m_Aniso int, m_MipBias float, then m_WrapMode int before
//   2017.1, m_WrapU, m_WrapV, m_WrapW int from it
//   m_LightmapFormat, m_ColorSpace int
//   m_PlatformBlob vector of UInt8                       from 2020.2, aligned
//   image data (TypelessData), aligned
//   m_StreamData {offset (UInt32, UInt64 from 2020.1), size UInt32, path string}  from 5.3

#include <optional>
#include <string_view>

#include "plugins/support/held_context.h"
#include "sdk/type_tree.h"

namespace kestrova::texture {

using plugin::EngineVersion;

// The first version this layout describes: earlier ones are the fixed layout of texture_body.h.
inline constexpr EngineVersion kFirstFieldLayoutVersion{5, 2};
// Versions above this are not known to keep the layout of the newest one described.
inline constexpr EngineVersion kLastKnownVersion{6000, 99};

// The Texture2D tree of `version` (from kFirstFieldLayoutVersion on).
TypeTree Texture2DTree(EngineVersion version);

}  // namespace kestrova::texture

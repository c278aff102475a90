#pragma once
// A test fixture that holds every Texture2D of the sample games; its tests are skipped when
// KESTROVA_REALDATA names no folder.

#include <gtest/gtest.h>

#include "tests/document/asset_file_builder.h"
#include "tests/plugin_texture/texture_test_support.h"

namespace kestrova::testing {

class RealTextureTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string folder = RealDataFolder();
        if (folder.empty()) {
            GTEST_SKIP() << "KESTROVA_REALDATA names no folder";
        }
        textures = LoadRealTextures(folder, Utf8ToUtf16(temp.File("Temp")));
        ASSERT_EQ(textures.size(), kRealTextureCount);
    }
    TempFolder temp;
    std::vector<RealTexture> textures;
};

}  // namespace kestrova::testing

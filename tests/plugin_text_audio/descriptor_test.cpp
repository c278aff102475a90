// The descriptors as the run folder holds them, read with the project's markup reader: each
// names a library beside it and declares its type and data types as the host will read them.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/markup_reader.h"
#include "common/text.h"

namespace kestrova::testing {
namespace {

struct Expected {
    const char* path;  // under the run folder's Plugins/
    const char16_t* typeName;
    const char16_t* type;
    std::vector<std::pair<std::u16string, std::u16string>> extensions;
};

std::u16string Attribute(const MarkupNode& node, std::u16string_view name) {
    const MarkupAttribute* attribute = FindAttribute(node, name);
    return attribute ? attribute->value : u"(missing)";
}

TEST(PluginDescriptors, EachNamesItsLibraryTypeAndDataTypes) {
    const std::vector<Expected> expected = {
        {"text/textasset.plg", u"TextAsset", u"31", {{u"txt", u"Text File (*.txt)"}}},
        {"text/shader.plg", u"Shader", u"30", {{u"txt", u"Text File (*.txt)"}}},
        {"audio/audio.plg",
         u"AudioClip",
         u"53",
         {{u"wav", u"WAV Audio (*.wav)"},
          {u"ogg", u"Ogg Vorbis Audio (*.ogg)"},
          {u"mp3", u"MP3 Audio (*.mp3)"},
          {u"fsb", u"FSB5 Sound Bank (*.fsb)"}}},
    };
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.path);
        const std::filesystem::path path = std::filesystem::path(KESTROVA_RUN_PLUGINS) / e.path;
        std::FILE* file = std::fopen(path.c_str(), "rb");
        ASSERT_NE(file, nullptr);
        MarkupDocument document;
        ParseDocument(file, document, kKestrovaMarkupLimits);
        std::fclose(file);
        const MarkupNode* plugin = FindRoot(document, u"plugin");
        ASSERT_NE(plugin, nullptr);
        const std::u16string library = Attribute(*plugin, u"mainlibrary");
        EXPECT_TRUE(std::filesystem::exists(path.parent_path() / Utf16ToUtf8(library)));
        EXPECT_NE(FindChild(*plugin, u"description", 0), nullptr);
        const MarkupNode* data = FindChild(*plugin, u"plugindata", 0);
        ASSERT_NE(data, nullptr);
        EXPECT_EQ(Attribute(*data, u"name"), e.typeName);
        EXPECT_EQ(Attribute(*data, u"type"), e.type);
        for (std::uint32_t i = 0; i <= e.extensions.size(); ++i) {
            const MarkupNode* extension = FindChild(*data, u"extension", i);
            if (i == e.extensions.size()) {
                EXPECT_EQ(extension, nullptr);
                break;
            }
            ASSERT_NE(extension, nullptr);
            EXPECT_EQ(Attribute(*extension, u"extension"), e.extensions[i].first);
            EXPECT_EQ(Attribute(*extension, u"filter"), e.extensions[i].second);
        }
    }
}

}  // namespace
}  // namespace kestrova::testing

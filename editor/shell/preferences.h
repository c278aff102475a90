#pragma once
// The editor's remembered settings: a fixed 2089-byte file "preferences" in the current directory.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrova {

struct Preferences {
    static constexpr std::size_t kFileSize = 2089;
    static constexpr std::size_t kFolderCapacity = 512;  // UTF-16 code units incl. terminator

    std::int32_t windowWidth = 800;
    std::int32_t windowHeight = 600;
    std::int32_t windowX = 0;
    std::int32_t windowY = 0;
    float listPanelRatio = 0.5f;
    std::array<std::int32_t, 4> columnWidths{200, 100, 100, 100};  // Name, Type, Index, Size
    std::uint8_t maximized = 0;
    // Stored whole: 512 code units each, so whatever follows the terminator is kept too.
    std::array<char16_t, kFolderCapacity> lastAssetFolder{};
    std::array<char16_t, kFolderCapacity> lastDataFolder{};
    std::int32_t panelMode = 0;
};

// Folder fields as text (up to the terminator) and back (cut to 511 code units).
std::u16string FolderText(const std::array<char16_t, Preferences::kFolderCapacity>& field);
void SetFolderText(std::array<char16_t, Preferences::kFolderCapacity>& field,
                   std::u16string_view text);

// Defaults, then the fields the file holds (a short file keeps the defaults of what it lacks).
bool LoadPreferences(Preferences& preferences, const std::u16string& path = u"preferences");
// Writes exactly 2089 bytes; false when the file cannot be written.
bool SavePreferences(const Preferences& preferences, const std::u16string& path = u"preferences");

}  // namespace kestrova

#include "editor/shell/preferences.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdio>
#include <cstring>

#include "common/platform.h"

namespace kestrova {

namespace {

using PreferenceBytes = std::array<std::uint8_t, Preferences::kFileSize>;

// Field positions in the file: fixed, packed, little-endian.
constexpr std::size_t kWindowWidthAt = 0;
constexpr std::size_t kWindowHeightAt = 4;
constexpr std::size_t kWindowXAt = 8;
constexpr std::size_t kWindowYAt = 12;
constexpr std::size_t kListPanelRatioAt = 16;
constexpr std::size_t kColumnWidthsAt = 20;
constexpr std::size_t kMaximizedAt = 36;
constexpr std::size_t kLastAssetFolderAt = 37;
constexpr std::size_t kLastDataFolderAt = kLastAssetFolderAt + 2 * Preferences::kFolderCapacity;
constexpr std::size_t kPanelModeAt = kLastDataFolderAt + 2 * Preferences::kFolderCapacity;
static_assert(kPanelModeAt + 4 == Preferences::kFileSize);

void PutWord(PreferenceBytes& bytes, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

std::uint32_t GetWord(const PreferenceBytes& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        value |= static_cast<std::uint32_t>(bytes[at + i]) << (8 * i);
    }
    return value;
}

void PutFolder(PreferenceBytes& bytes, std::size_t at,
               const std::array<char16_t, Preferences::kFolderCapacity>& folder) {
    for (std::size_t i = 0; i < folder.size(); ++i) {
        bytes[at + 2 * i] = static_cast<std::uint8_t>(folder[i]);
        bytes[at + 2 * i + 1] = static_cast<std::uint8_t>(folder[i] >> 8);
    }
}

void GetFolder(const PreferenceBytes& bytes, std::size_t at,
               std::array<char16_t, Preferences::kFolderCapacity>& folder) {
    for (std::size_t i = 0; i < folder.size(); ++i) {
        folder[i] = static_cast<char16_t>(bytes[at + 2 * i] | (bytes[at + 2 * i + 1] << 8));
    }
}

PreferenceBytes Encode(const Preferences& p) {
    PreferenceBytes bytes{};
    PutWord(bytes, kWindowWidthAt, static_cast<std::uint32_t>(p.windowWidth));
    PutWord(bytes, kWindowHeightAt, static_cast<std::uint32_t>(p.windowHeight));
    PutWord(bytes, kWindowXAt, static_cast<std::uint32_t>(p.windowX));
    PutWord(bytes, kWindowYAt, static_cast<std::uint32_t>(p.windowY));
    PutWord(bytes, kListPanelRatioAt, std::bit_cast<std::uint32_t>(p.listPanelRatio));
    for (std::size_t i = 0; i < p.columnWidths.size(); ++i) {
        PutWord(bytes, kColumnWidthsAt + 4 * i, static_cast<std::uint32_t>(p.columnWidths[i]));
    }
    bytes[kMaximizedAt] = p.maximized;
    PutFolder(bytes, kLastAssetFolderAt, p.lastAssetFolder);
    PutFolder(bytes, kLastDataFolderAt, p.lastDataFolder);
    PutWord(bytes, kPanelModeAt, static_cast<std::uint32_t>(p.panelMode));
    return bytes;
}

void Decode(const PreferenceBytes& bytes, Preferences& p) {
    p.windowWidth = static_cast<std::int32_t>(GetWord(bytes, kWindowWidthAt));
    p.windowHeight = static_cast<std::int32_t>(GetWord(bytes, kWindowHeightAt));
    p.windowX = static_cast<std::int32_t>(GetWord(bytes, kWindowXAt));
    p.windowY = static_cast<std::int32_t>(GetWord(bytes, kWindowYAt));
    p.listPanelRatio = std::bit_cast<float>(GetWord(bytes, kListPanelRatioAt));
    for (std::size_t i = 0; i < p.columnWidths.size(); ++i) {
        p.columnWidths[i] = static_cast<std::int32_t>(GetWord(bytes, kColumnWidthsAt + 4 * i));
    }
    p.maximized = bytes[kMaximizedAt];
    GetFolder(bytes, kLastAssetFolderAt, p.lastAssetFolder);
    GetFolder(bytes, kLastDataFolderAt, p.lastDataFolder);
    p.panelMode = static_cast<std::int32_t>(GetWord(bytes, kPanelModeAt));
}

}  // namespace

std::u16string FolderText(const std::array<char16_t, Preferences::kFolderCapacity>& field) {
    auto end = std::find(field.begin(), field.end(), u'\0');
    return std::u16string(field.begin(), end);
}

void SetFolderText(std::array<char16_t, Preferences::kFolderCapacity>& field,
                   std::u16string_view text) {
    std::size_t length = std::min(text.size(), field.size() - 1);
    // A folder never holds a zero character; the first one ends the text.
    length = std::min(length, text.find(u'\0'));
    std::copy_n(text.begin(), length, field.begin());
    std::fill(field.begin() + static_cast<std::ptrdiff_t>(length), field.end(), u'\0');
}

bool LoadPreferences(Preferences& preferences, const std::u16string& path) {
    preferences = Preferences{};
    std::FILE* file = platform::OpenFile(path, "rb");
    if (file == nullptr) {
        return true;
    }
    // Reading over the defaults' own bytes keeps, for a short file, the default bytes of every
    // field (or part of a field) that the file does not reach. Bytes past the record are ignored.
    PreferenceBytes bytes = Encode(preferences);
    std::fread(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    Decode(bytes, preferences);
    return true;
}

bool SavePreferences(const Preferences& preferences, const std::u16string& path) {
    std::FILE* file = platform::OpenFile(path, "wb");
    if (file == nullptr) {
        return false;
    }
    PreferenceBytes bytes = Encode(preferences);
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    bool closed = std::fclose(file) == 0;
    return written && closed;
}

}  // namespace kestrova

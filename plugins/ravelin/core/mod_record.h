#pragma once
// Ravelin's records: the mod being built, one asset of it, and the asset the editor handed over
// last. Texts are held cut to the capacity of the field they stand for (code units including a
// terminator), so whatever reaches a record fits the file layouts and the form.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova::ravelin {

inline constexpr std::size_t kNameCapacity = 128;  // names, version, date, author, installer
inline constexpr std::size_t kPathCapacity = 512;  // directory, verify file, icon, file names
inline constexpr std::size_t kDescriptionCapacity = 2048;

inline constexpr char16_t kNotSet[] = u"not set";
inline constexpr char16_t kUnnamedAsset[] = u"unnamed asset";
inline constexpr char16_t kDefaultInstaller[] = u"default";

// `text` up to its first U+0000 (as a zero-terminated field holds it), cut to `capacity` - 1.
std::u16string FieldText(std::u16string_view text, std::size_t capacity);

// One asset of a mod and where its data lies in the mod's data file.
struct ModEntry {
    std::u16string fileName = kNotSet;   // the asset file's name, without folder (127 at most)
    std::u16string assetName = kNotSet;  // 127 at most; kUnnamedAsset for an asset without name
    std::uint32_t type = 0;              // the asset's type id
    std::uint32_t index = 0;             // the asset's path id within its file
    std::uint32_t length = 0;            // bytes of the entry's data
    std::uint32_t offset = 0;            // where they begin in the data file

    bool operator==(const ModEntry&) const = default;
};

struct ModRecord {
    std::uint32_t formatVersion = 1;
    std::u16string name = kNotSet;
    std::u16string author = kNotSet;
    std::u16string date = kNotSet;
    std::u16string version = kNotSet;
    std::u16string directory = kNotSet;  // a folder without its first component
    std::u16string verifyFile;           // relative to `directory`
    std::u16string description = kNotSet;
    std::u16string iconPath;  // a full path to an icon file
    std::u16string installer = kDefaultInstaller;
    std::vector<ModEntry> entries;

    bool operator==(const ModRecord&) const = default;
};

// The asset the editor handed over last: its data from CreatePluginDialog, its file, type and
// path id from the first ImportData call after it and its name from the second.
struct PendingAsset {
    std::vector<std::uint8_t> payload;
    std::u16string fileName;  // 511 at most
    std::uint32_t type = 0;
    std::uint32_t index = 0;
    std::u16string assetName;  // 127 at most
    std::uint32_t importCalls = 0;
};

// Takes a new hand-over: a private copy of the data; the next two ImportData calls describe it.
void BeginHandOver(PendingAsset& pending, const std::uint8_t* data, std::int32_t length);

// One ImportData call: the first after a hand-over gives the file name, the type and the path
// id, the second the asset's name; later calls are only counted. `text` is zero-terminated and
// is read no further than its field holds; `value` and `number` may be null.
void RecordImport(PendingAsset& pending, const char16_t* text, const std::int32_t* value,
                  const char16_t* number);

}  // namespace kestrova::ravelin

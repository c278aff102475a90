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

// The class id of an entry that does not record one (no object has class 0).
inline constexpr std::int32_t kNoClassId = 0;

// One asset of a mod and where its data lies in the mod's data file.
struct ModEntry {
    // The file the installer looks for in the game folder, without folder (127 at most): the
    // asset file, or the bundle that holds `member`.
    std::u16string fileName = kNotSet;
    std::u16string assetName = kNotSet;  // 127 at most; kUnnamedAsset for an asset without name
    // The serialized file inside the bundle `fileName` that holds the asset (511 at most); empty
    // when the asset is not in a bundle.
    std::u16string member;
    std::uint32_t type = 0;  // the asset's type id
    std::int32_t classId = kNoClassId;
    // The asset's path id within its file (or member). The 32-bit word of the older forms is
    // read zero-extended, as the loader gives the path ids of format-9 files.
    std::int64_t pathId = 0;
    std::uint32_t length = 0;  // bytes of the entry's data
    std::uint32_t offset = 0;  // where they begin in the data file

    bool operator==(const ModEntry&) const = default;
};

// True when the version-1 form of the mod file holds the entry whole: a path id of 0 to
// 0xFFFFFFFF, no bundle member and no class id (that form has none, so saving never drops one).
bool FitsVersion1(const ModEntry& entry);

// The path id as Ravelin shows it: a 32-bit word as a signed 32-bit number (as Ravelin always
// showed path ids), any other as a 64-bit one.
std::u16string PathIdText(std::int64_t pathId);

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
// path id from the first ImportData call after it and its name from the second. For the later
// forms a third gives the bundle member (empty for a file of its own), the class id and the
// 64-bit path id; without it they stay unset, as earlier hosts never make it.
struct PendingAsset {
    std::vector<std::uint8_t> payload;
    std::u16string fileName;  // 511 at most
    std::uint32_t type = 0;
    std::int64_t pathId = 0;
    std::u16string assetName;  // 127 at most
    std::int32_t classId = kNoClassId;
    std::u16string member;  // 511 at most
    std::uint32_t importCalls = 0;
};

// Takes a new hand-over: a private copy of the data; the next two ImportData calls describe it.
void BeginHandOver(PendingAsset& pending, const std::uint8_t* data, std::int32_t length);

// One ImportData call: the first after a hand-over gives the file name, the type and the path
// id, the second the asset's name, the third the member, the class id (`value`) and the 64-bit
// path id; later calls are only counted. `text` is zero-terminated and
// is read no further than its field holds; `value` and `number` may be null.
void RecordImport(PendingAsset& pending, const char16_t* text, const std::int32_t* value,
                  const char16_t* number);

}  // namespace kestrova::ravelin

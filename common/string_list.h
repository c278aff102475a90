#pragma once
// A named, ordered list of wide texts, each with a 32-bit tag chosen by the caller. Used for search
// hits, the plug-in descriptor files found on disk and Ravelin's installer templates.
//
// Entries keep the order in which they were added; there is no removal of single entries and no
// sorting. Every entry holds at most kStringSlotLength (2047) code units: longer text is cut to its
// first 2047 code units when it is stored, and the cut text is what duplicate checks compare. Text
// ends at its first U+0000, as a zero-terminated string would.
//
// Duplicate checks use a hash index (built on the first call that asks for one and kept up to date
// afterwards), so a list filled with duplicate rejection stays linear in the number of entries.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kestrova {

inline constexpr std::size_t kStringSlotLength = 2047;

class StringList;

bool Reset(StringList& list);
bool Clear(StringList& list);
std::int32_t Add(StringList& list, std::u16string_view text, std::uint32_t tag,
                 bool rejectDuplicates, bool matchTag);
bool SetText(StringList& list, std::size_t index, std::u16string_view text);

class StringList {
public:
    // A label for the list; Reset sets it to "String List".
    std::u16string name = u"String List";

    std::uint32_t count() const { return static_cast<std::uint32_t>(strings_.size()); }
    // Entry `index` (< count()); valid until the next Add, SetText or Clear of the list.
    const std::u16string& at(std::size_t index) const { return strings_[index]; }
    std::uint32_t tag(std::size_t index) const { return tags_[index]; }

private:
    friend bool Reset(StringList&);
    friend bool Clear(StringList&);
    friend std::int32_t Add(StringList&, std::u16string_view, std::uint32_t, bool, bool);
    friend bool SetText(StringList&, std::size_t, std::u16string_view);

    struct TaggedText {
        std::u16string text;
        std::uint32_t tag;
        bool operator==(const TaggedText&) const = default;
    };
    struct TaggedTextHash {
        std::size_t operator()(const TaggedText& key) const;
    };
    // Every index holding a key, ascending; the front is the first one in index order.
    using Positions = std::vector<std::int32_t>;

    void IndexUpTo(std::size_t end);
    void Unindex(std::size_t index);
    void Reindex(std::size_t index);

    std::vector<std::u16string> strings_;
    std::vector<std::uint32_t> tags_;
    // Entries [0, indexed_) are in both maps; the rest are indexed on the next duplicate check.
    std::size_t indexed_ = 0;
    std::unordered_map<std::u16string, Positions> byText_;
    std::unordered_map<TaggedText, Positions, TaggedTextHash> byTextAndTag_;
};

// Sets the name to "String List" and empties the list.
bool Reset(StringList& list);

// Empties the list; the name stays.
bool Clear(StringList& list);

// Appends `text` with `tag`, unless
// - the text is empty or consists only of spaces, line feeds and carriage returns (a tab is not
//   blank): nothing is added and the result is -1;
// - `rejectDuplicates` is set and an entry with the same text (case-sensitive) exists, with the
//   same tag too when `matchTag` is set: nothing is added and the result is the index of the first
//   such entry.
// Returns -1 whenever the text was appended.
std::int32_t Add(StringList& list, std::u16string_view text, std::uint32_t tag,
                 bool rejectDuplicates, bool matchTag);

// Replaces the text of entry `index`, cut to the slot length like Add. False when there is no such
// entry. Later duplicate checks see the new text.
bool SetText(StringList& list, std::size_t index, std::u16string_view text);

}  // namespace kestrova

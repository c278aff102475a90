#include "string_list.h"

#include <algorithm>
#include <functional>

namespace kestrova {

namespace {

// The text as an entry stores it: up to the first U+0000, at most one slot long.
std::u16string_view SlotText(std::u16string_view text) {
    std::size_t end = text.find(u'\0');
    if (end == std::u16string_view::npos) {
        end = text.size();
    }
    return text.substr(0, std::min(end, kStringSlotLength));
}

// Only space, line feed and carriage return make a text blank; a tab is kept as content.
bool IsBlank(std::u16string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char16_t c) { return c == u' ' || c == u'\n' || c == u'\r'; });
}

template <typename Map, typename Key>
void InsertPosition(Map& map, const Key& key, std::int32_t index) {
    auto& positions = map[key];
    positions.insert(std::upper_bound(positions.begin(), positions.end(), index), index);
}

template <typename Map, typename Key>
void ErasePosition(Map& map, const Key& key, std::int32_t index) {
    auto found = map.find(key);
    if (found == map.end()) {
        return;
    }
    auto& positions = found->second;
    auto at = std::lower_bound(positions.begin(), positions.end(), index);
    if (at != positions.end() && *at == index) {
        positions.erase(at);
    }
    if (positions.empty()) {
        map.erase(found);
    }
}

}  // namespace

std::size_t StringList::TaggedTextHash::operator()(const TaggedText& key) const {
    std::size_t h = std::hash<std::u16string>{}(key.text);
    return h ^ (std::hash<std::uint32_t>{}(key.tag) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2));
}

void StringList::IndexUpTo(std::size_t end) {
    for (; indexed_ < end; ++indexed_) {
        auto index = static_cast<std::int32_t>(indexed_);
        // Entries are indexed in ascending order, so appending keeps each position list sorted.
        byText_[strings_[indexed_]].push_back(index);
        byTextAndTag_[TaggedText{strings_[indexed_], tags_[indexed_]}].push_back(index);
    }
}

void StringList::Unindex(std::size_t index) {
    if (index >= indexed_) {
        return;
    }
    auto position = static_cast<std::int32_t>(index);
    ErasePosition(byText_, strings_[index], position);
    ErasePosition(byTextAndTag_, TaggedText{strings_[index], tags_[index]}, position);
}

void StringList::Reindex(std::size_t index) {
    if (index >= indexed_) {
        return;
    }
    auto position = static_cast<std::int32_t>(index);
    InsertPosition(byText_, strings_[index], position);
    InsertPosition(byTextAndTag_, TaggedText{strings_[index], tags_[index]}, position);
}

bool Reset(StringList& list) {
    Clear(list);
    list.name = u"String List";
    return true;
}

bool Clear(StringList& list) {
    // Swapping with empty containers gives the memory back, as the owner expects of Clear.
    std::vector<std::u16string>().swap(list.strings_);
    std::vector<std::uint32_t>().swap(list.tags_);
    decltype(list.byText_)().swap(list.byText_);
    decltype(list.byTextAndTag_)().swap(list.byTextAndTag_);
    list.indexed_ = 0;
    return true;
}

std::int32_t Add(StringList& list, std::u16string_view text, std::uint32_t tag,
                 bool rejectDuplicates, bool matchTag) {
    std::u16string_view stored = SlotText(text);
    if (stored.empty() || IsBlank(stored)) {
        return -1;
    }
    if (rejectDuplicates && !list.strings_.empty()) {
        list.IndexUpTo(list.strings_.size());
        if (matchTag) {
            auto found =
                list.byTextAndTag_.find(StringList::TaggedText{std::u16string(stored), tag});
            if (found != list.byTextAndTag_.end()) {
                return found->second.front();
            }
        } else {
            auto found = list.byText_.find(std::u16string(stored));
            if (found != list.byText_.end()) {
                return found->second.front();
            }
        }
    }
    list.strings_.emplace_back(stored);
    list.tags_.push_back(tag);
    // Once an index exists, keep it current so that the next check does not rebuild it.
    if (list.indexed_ > 0) {
        list.IndexUpTo(list.strings_.size());
    }
    return -1;
}

bool SetText(StringList& list, std::size_t index, std::u16string_view text) {
    if (index >= list.strings_.size()) {
        return false;
    }
    list.Unindex(index);
    list.strings_[index] = std::u16string(SlotText(text));
    list.Reindex(index);
    return true;
}

}  // namespace kestrova

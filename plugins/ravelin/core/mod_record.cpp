#include "plugins/ravelin/core/mod_record.h"

#include <algorithm>
#include <charconv>

#include "common/number_text.h"
#include "common/text.h"

namespace kestrova::ravelin {

std::u16string FieldText(std::u16string_view text, std::size_t capacity) {
    std::size_t end = std::min(text.find(u'\0'), text.size());
    return std::u16string(text.substr(0, std::min(end, capacity == 0 ? 0 : capacity - 1)));
}

bool FitsVersion1(const ModEntry& entry) {
    return entry.member.empty() && entry.classId == kNoClassId && entry.pathId >= 0 &&
           entry.pathId <= 0xFFFFFFFF;
}

std::u16string PathIdText(std::int64_t pathId) {
    if (pathId >= 0 && pathId <= 0xFFFFFFFF) {
        return DecimalText(static_cast<std::int32_t>(static_cast<std::uint32_t>(pathId)));
    }
    return DecimalText(pathId);
}

namespace {

// The path id's text holds at most 256 characters.
constexpr std::size_t kNumberCapacity = 257;

// A zero-terminated text from the host, read no further than a field of `capacity` holds.
std::u16string BoundedText(const char16_t* text, std::size_t capacity) {
    std::u16string out;
    if (text == nullptr) {
        return out;
    }
    for (std::size_t i = 0; i + 1 < capacity && text[i] != u'\0'; ++i) {
        out += text[i];
    }
    return out;
}

}  // namespace

void BeginHandOver(PendingAsset& pending, const std::uint8_t* data, std::int32_t length) {
    pending = PendingAsset{};
    if (data != nullptr && length > 0) {
        pending.payload.assign(data, data + length);
    }
}

void RecordImport(PendingAsset& pending, const char16_t* text, const std::int32_t* value,
                  const char16_t* number) {
    if (pending.importCalls == 0) {
        pending.fileName = BoundedText(text, kPathCapacity);
        pending.type = value != nullptr ? static_cast<std::uint32_t>(*value) : 0;
        // The path id as decimal text, read as wcstoul reads it in base 10 (a minus sign
        // negates in 32 bits, so a negative path id comes back as the same word).
        pending.pathId = ReadUnsignedNumber(BoundedText(number, kNumberCapacity), 10);
    } else if (pending.importCalls == 1) {
        pending.assetName = BoundedText(text, kNameCapacity);
    } else if (pending.importCalls == 2) {
        // Assets of the later forms: the bundle member, the class id and the 64-bit path id,
        // which replaces the first call's (a text that is no such number leaves it).
        pending.member = BoundedText(text, kPathCapacity);
        pending.classId = value != nullptr ? *value : kNoClassId;
        const std::string digits = Utf16ToUtf8(BoundedText(number, kNumberCapacity));
        std::int64_t pathId = 0;
        const auto [end, error] =
            std::from_chars(digits.data(), digits.data() + digits.size(), pathId);
        if (error == std::errc{} && end == digits.data() + digits.size()) {
            pending.pathId = pathId;
        }
    }
    ++pending.importCalls;
}

}  // namespace kestrova::ravelin

#include "plugins/ravelin/core/mod_record.h"

#include <algorithm>

namespace kestrova::ravelin {

std::u16string FieldText(std::u16string_view text, std::size_t capacity) {
    std::size_t end = std::min(text.find(u'\0'), text.size());
    return std::u16string(text.substr(0, std::min(end, capacity == 0 ? 0 : capacity - 1)));
}

namespace {

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

bool IsWhiteSpace(char16_t c) {
    return c == u' ' || (c >= u'\t' && c <= u'\r');
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
        pending.index = number != nullptr ? ReadDecimalLikeWcstoul(number) : 0;
    } else if (pending.importCalls == 1) {
        pending.assetName = BoundedText(text, kNameCapacity);
    }
    ++pending.importCalls;
}

std::uint32_t ReadDecimalLikeWcstoul(const char16_t* text) {
    const char16_t* p = text;
    while (IsWhiteSpace(*p)) {
        ++p;
    }
    bool negative = false;
    if (*p == u'+' || *p == u'-') {
        negative = *p == u'-';
        ++p;
    }
    std::uint64_t value = 0;
    bool overflow = false;
    for (; *p >= u'0' && *p <= u'9'; ++p) {
        value = value * 10 + static_cast<std::uint64_t>(*p - u'0');
        if (value > 0xFFFFFFFFull) {
            overflow = true;
            value = 0xFFFFFFFFull;
        }
    }
    if (overflow) {
        return 0xFFFFFFFFu;
    }
    std::uint32_t word = static_cast<std::uint32_t>(value);
    return negative ? 0u - word : word;
}

}  // namespace kestrova::ravelin

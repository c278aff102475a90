#include "plugins/support/entry_point_support.h"

#include <cstring>
#include <limits>
#include <new>

namespace kestrova::plugin {
namespace {

char16_t LowerAscii(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

}  // namespace

std::uint8_t* HandOver(ByteSpan bytes, std::int32_t* length) {
    if (length == nullptr || bytes.size() > std::size_t{std::numeric_limits<std::int32_t>::max()}) {
        return nullptr;
    }
    auto* block = static_cast<std::uint8_t*>(::operator new(bytes.size()));
    if (!bytes.empty()) {
        std::memcpy(block, bytes.data(), bytes.size());
    }
    *length = static_cast<std::int32_t>(bytes.size());
    return block;
}

bool HostBytes(const void* data, std::int32_t length, ByteSpan& out) {
    if (length < 0 || (data == nullptr && length > 0)) {
        return false;
    }
    out = length == 0
              ? ByteSpan{}
              : ByteSpan{static_cast<const std::uint8_t*>(data), static_cast<std::size_t>(length)};
    return true;
}

bool ExtensionIs(const char16_t* extension, std::string_view name) {
    if (extension == nullptr) {
        return false;
    }
    std::size_t i = 0;
    for (; i < name.size(); ++i) {
        const char16_t c = extension[i];
        if (c == 0 || LowerAscii(c) != LowerAscii(static_cast<char16_t>(name[i]))) {
            return false;
        }
    }
    return extension[i] == 0;
}

}  // namespace kestrova::plugin

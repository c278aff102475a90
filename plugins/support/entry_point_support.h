#pragma once
// What a plug-in's five entry points share: blocks handed to the host, the host's input and
// extension texts, and the rule that no exception leaves an entry point.

#include <cstdint>
#include <string_view>

#include "kestrova_plugin.h"
#include "plugins/support/body_bytes.h"

namespace kestrova::plugin {

// A copy of `bytes` in a block from ::operator new, which becomes the host's, with *length set to
// its size (an empty block is still a block, so an empty result is not taken for a refusal).
// Null, with *length untouched, when the bytes are more than a 32-bit length can count.
std::uint8_t* HandOver(ByteSpan bytes, std::int32_t* length);

// The host's block of `length` bytes as a span; false for a negative length or a null block with
// a positive length.
bool HostBytes(const void* data, std::int32_t length, ByteSpan& out);

// True when the host's zero-terminated `extension` is `name`, letters A-Z in either case.
bool ExtensionIs(const char16_t* extension, std::string_view name);

// Runs `call` and returns its result, or `fallback` when it throws: nothing may leave an entry
// point.
template <class Result, class Call>
Result Guarded(Result fallback, Call&& call) noexcept {
    try {
        return call();
    } catch (...) {
        return fallback;
    }
}

}  // namespace kestrova::plugin

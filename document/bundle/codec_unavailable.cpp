// The codecs a build of the Windows installer program was made without (their sources were not
// found, see installer/windows/bundle_codecs.cmake): a block of that compression is refused by
// name instead of being read or written wrongly.

#include "document/bundle/codecs_internal.h"

namespace kestrova::bundle {

namespace {

Outcome Unavailable(const char16_t* codec) {
    return Outcome::Failure(std::u16string(u"This program was built without its ") + codec +
                            u" codec, so it cannot read or write " + codec + u" bundles.");
}

}  // namespace

#ifdef KESTROVA_NO_LZ4
namespace detail {
Outcome DecodeLz4(const ByteSource&, const EncodedBlock&, StreamOutput&, DecodeBuffers&,
                  std::uint64_t) {
    return Unavailable(u"LZ4");
}
Outcome EncodeLz4(bool, std::span<const std::uint8_t>, std::vector<std::uint8_t>&) {
    return Unavailable(u"LZ4");
}
}  // namespace detail
#endif

#ifdef KESTROVA_NO_LZMA
namespace detail {
Outcome DecodeLzma(const ByteSource&, const EncodedBlock&, StreamOutput&, DecodeBuffers&,
                   const std::stop_token&, std::uint64_t) {
    return Unavailable(u"LZMA");
}
}  // namespace detail
Outcome EncodeLzmaStream(std::uint64_t, const std::function<bool(std::span<std::uint8_t>)>&,
                         const std::function<bool(std::span<const std::uint8_t>)>&, std::uint64_t&,
                         const std::stop_token&) {
    return Unavailable(u"LZMA");
}
#endif

}  // namespace kestrova::bundle

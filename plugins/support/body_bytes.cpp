#include "plugins/support/body_bytes.h"

#include <limits>
#include <stdexcept>

namespace kestrova::plugin {

bool ReadAlignedBlock(ByteReader& reader, std::string_view what, AlignedBlock& block,
                      std::string& error) {
    std::uint32_t length = 0;
    if (!reader.ReadLittleEndian32(length)) {
        error = "The body ends before the length of its " + std::string(what) + ".";
        return false;
    }
    if (!reader.Take(length, block.bytes)) {
        error = "The " + std::string(what) + " is said to be " + std::to_string(length) +
                " bytes long, but the body holds only " + std::to_string(reader.remaining()) +
                " more bytes.";
        return false;
    }
    block.padding = reader.TakeAtMost(PaddingFor(length));
    return true;
}

void AppendAlignedBlock(Bytes& out, ByteSpan bytes, const AlignedBlock& stored) {
    if (bytes.size() > std::numeric_limits<std::uint32_t>::max()) {
        throw std::length_error("block too long for its length word");
    }
    PutLittleEndian32(out, static_cast<std::uint32_t>(bytes.size()));
    PutBytes(out, bytes);
    if (bytes.size() == stored.bytes.size()) {
        PutBytes(out, stored.padding);
    } else {
        out.insert(out.end(), PaddingFor(bytes.size()), std::uint8_t{0});
    }
}

}  // namespace kestrova::plugin

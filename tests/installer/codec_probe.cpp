// For the Wine tests, built for Windows: the bundle codecs as the installer program has them.
//   codec_probe OPERATION...   with each OPERATION one of
//     encode CODE IN OUT        IN compressed as one block of compression CODE
//     decode CODE SIZE IN OUT   IN, one block of compression CODE, decoded to SIZE bytes
// A failed operation writes no OUT and prints "OUT: message" on a line of its own.

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "common/text.h"
#include "document/bundle/codec.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace kestrova;

Bytes Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Outcome Run(const std::string& op, std::uint32_t code, std::uint64_t size, const Bytes& in,
            Bytes& out) {
    if (op == "encode") {
        return bundle::EncodeBlock(static_cast<bundle::Compression>(code), in, out);
    }
    bundle::MemorySource source(in);
    bundle::EncodedBlock block;
    block.compressedSize = in.size();
    block.uncompressedSize = size;
    block.compression = code;
    block.what = u"The block";
    bundle::MemoryOutput output;
    bundle::DecodeBuffers buffers;
    Outcome o = bundle::DecodeBlock(source, block, output, buffers);
    out = std::move(output.bytes);
    return o;
}

}  // namespace

int main(int argc, char** argv) {
    int failures = 0;
    for (int i = 1; i < argc;) {
        const std::string op = argv[i];
        const int operands = op == "encode" ? 3 : op == "decode" ? 4 : 0;
        if (operands == 0 || i + operands >= argc) {
            std::cerr << "codec_probe: bad arguments\n";
            return 2;
        }
        const std::uint32_t code =
            static_cast<std::uint32_t>(std::strtoul(argv[i + 1], nullptr, 10));
        const std::uint64_t size = op == "decode" ? std::strtoull(argv[i + 2], nullptr, 10) : 0;
        const std::string out = argv[i + operands];
        Bytes result;
        if (Outcome o = Run(op, code, size, Read(argv[i + operands - 1]), result); !o) {
            std::cout << out << ": " << Utf16ToUtf8(o.message) << "\n";
            ++failures;
        } else {
            std::ofstream(out, std::ios::binary)
                .write(reinterpret_cast<const char*>(result.data()),
                       static_cast<std::streamsize>(result.size()));
        }
        i += operands + 1;
    }
    return failures == 0 ? 0 : 1;
}

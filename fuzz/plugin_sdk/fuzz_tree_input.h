#pragma once
// The fuzz targets' input: a small type tree, a byte order, then what is read through it.
//   u8 nodeCount, then per node: u8 level, u8 type (an index into kTypes), u8 flags (bit 0 the
//   array flag, bit 1 align after), u8 byteSize + 1; then u8 byte order (bit 0 big-endian); then
//   the rest of the input.
// Types come from a list of the engine's names, so that the fuzzer builds trees of real shapes.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "sdk/type_tree.h"
#include "sdk/type_tree_fields.h"

namespace kestrova::fuzz {

inline constexpr const char* kTypes[] = {
    "Base",   "int",   "UInt8",        "SInt8",        "char",     "bool",     "SInt16",  "UInt16",
    "UInt32", "float", "double",       "SInt64",       "UInt64",   "string",   "Array",   "vector",
    "map",    "pair",  "TypelessData", "PPtr<Object>", "Vector3f", "FileSize", "Unknown",
};

struct TreeInput {
    TypeTree tree;
    ByteOrder order = ByteOrder::Little;
    std::span<const std::uint8_t> rest;
};

inline TreeInput ReadTreeInput(std::span<const std::uint8_t> input) {
    TreeInput read;
    if (input.empty()) {
        return read;
    }
    const std::size_t count = input[0];
    std::size_t at = 1;
    for (std::size_t i = 0; i < count && at + 4 <= input.size(); ++i, at += 4) {
        TypeTreeNode& node = read.tree.nodes.emplace_back();
        node.level = input[at];
        node.type = kTypes[input[at + 1] % std::size(kTypes)];
        node.name = "f" + std::to_string(i);
        node.typeFlags = input[at + 2] & 1;
        node.metaFlag = (input[at + 2] & 2) != 0 ? kAlignAfterField : 0;
        node.byteSize = static_cast<std::int32_t>(input[at + 3]) - 1;
    }
    if (at < input.size()) {
        read.order = (input[at] & 1) != 0 ? ByteOrder::Big : ByteOrder::Little;
        ++at;
    }
    read.rest = input.subspan(at < input.size() ? at : input.size());
    return read;
}

// Adds -max_len=`length` to the fuzzer's arguments unless one is given: small inputs find the
// faults here, and long ones (whole game files among the seeds) would only slow every run.
inline void DefaultMaxLength(int* argc, char*** argv, std::size_t length) {
    static std::vector<char*> arguments;
    static std::string flag;
    for (int i = 0; i < *argc; ++i) {
        if (std::strncmp((*argv)[i], "-max_len=", 9) == 0) {
            return;
        }
    }
    flag = "-max_len=" + std::to_string(length);
    arguments.assign(*argv, *argv + *argc);
    arguments.push_back(flag.data());
    arguments.push_back(nullptr);
    *argc += 1;
    *argv = arguments.data();
}

}  // namespace kestrova::fuzz

// Parses arbitrary bytes with both name capacities and checks that every field of the tree stays
// within its capacity and that nesting stays within the depth limit.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "common/markup_reader.h"

namespace {

using namespace kestrova;

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void CheckNode(const MarkupNode& node, const MarkupLimits& limits, std::size_t depth) {
    Check(depth <= limits.maxDepth);
    Check(node.name.size() < limits.nameCapacity);
    Check(node.text.size() < kMarkupTextCapacity);
    for (const auto& attribute : node.attributes) {
        Check(attribute.name.size() < limits.nameCapacity);
        Check(attribute.value.size() < kMarkupValueCapacity);
    }
    for (const auto& child : node.children) {
        CheckNode(child, limits, depth + 1);
    }
}

void ParseAndCheck(std::string_view bytes, const MarkupLimits& limits) {
    MarkupDocument document;
    ParseDocument(bytes, document, limits);
    for (const auto& root : document.roots) {
        CheckNode(root, limits, 1);
    }
    // Lookups must cope with whatever the tree holds.
    if (const MarkupNode* root = FindRoot(document, u"plugin")) {
        FindChild(*root, u"name", 1);
        FindAttribute(*root, u"id");
    }
    FreeDocument(document);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    ParseAndCheck(bytes, kKestrovaMarkupLimits);
    ParseAndCheck(bytes, kRavelinMarkupLimits);
    return 0;
}

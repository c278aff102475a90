// Reads arbitrary bytes through arbitrary type trees. Whatever reads must be walkable to every
// value, write back unchanged to the same bytes, and give JSON that imports to an object whose
// JSON is the same text.

#include <cstdio>
#include <cstdlib>

#include "fuzz/plugin_sdk/fuzz_tree_input.h"
#include "sdk/field_values.h"
#include "sdk/type_tree_json.h"

namespace {

using namespace kestrova;

void Check(bool holds, const char* invariant) {
    if (!holds) {
        std::fprintf(stderr, "invariant broken: %s\n", invariant);
        std::abort();
    }
}

// Visits every value through the navigation calls, elements from the last, as a view would.
void Walk(const FieldReader& reader, FieldAt field, std::size_t& values) {
    const FieldNode& node = reader.Node(field);
    ++values;
    if (node.kind == FieldKind::Struct) {
        for (const FieldAt& member : reader.Members(field)) {
            Walk(reader, member, values);
        }
    } else if (node.kind == FieldKind::Array) {
        for (std::uint32_t i = reader.Count(field); i-- > 0;) {
            Walk(reader, reader.Element(field, i), values);
        }
    } else if (node.kind == FieldKind::String || node.kind == FieldKind::Bytes) {
        Check(reader.Payload(field).size() == reader.Count(field), "payload length");
    } else {
        (void)ScalarText(node.kind, reader.ScalarBits(field));
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    kestrova::fuzz::DefaultMaxLength(argc, argv, 4096);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fuzz::TreeInput input = fuzz::ReadTreeInput({data, size});
    std::string error;
    const std::optional<FieldLayout> layout = FieldLayout::Compile(input.tree, error);
    if (!layout) {
        Check(!error.empty(), "a refused tree says why");
        return 0;
    }
    const FieldReader reader(*layout, input.rest, input.order);
    if (std::optional<FieldError> problem = reader.Check()) {
        Check(problem->offset <= input.rest.size(), "a failure lies inside the object");
        return 0;
    }
    std::size_t values = 0;
    Walk(reader, reader.Root(), values);
    const std::vector<std::uint8_t> copy = ReplacePayload(reader, {~0u, ~0ull}, {});
    Check(std::equal(copy.begin(), copy.end(), input.rest.begin(), input.rest.end()),
          "an unchanged object writes back to the same bytes");
    const std::string json = FieldsToJson(reader);
    const std::optional<std::vector<std::uint8_t>> imported =
        FieldsFromJson(*layout, input.order, json, error);
    Check(imported.has_value(), "exported JSON imports");
    const FieldReader again(*layout, *imported, input.order);
    Check(!again.Check() && FieldsToJson(again) == json, "imported JSON exports the same");
    return 0;
}

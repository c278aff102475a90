// Imports arbitrary text as JSON through arbitrary type trees. Whatever imports must read through
// the tree and export to JSON that imports to the same bytes.

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "fuzz/plugin_sdk/fuzz_tree_input.h"
#include "sdk/type_tree_json.h"

namespace {

void Check(bool holds, const char* invariant) {
    if (!holds) {
        std::fprintf(stderr, "invariant broken: %s\n", invariant);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    kestrova::fuzz::DefaultMaxLength(argc, argv, 4096);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kestrova;
    const fuzz::TreeInput input = fuzz::ReadTreeInput({data, size});
    std::string error;
    const std::optional<FieldLayout> layout = FieldLayout::Compile(input.tree, error);
    if (!layout) {
        return 0;
    }
    const std::string_view json(reinterpret_cast<const char*>(input.rest.data()),
                                input.rest.size());
    const std::optional<std::vector<std::uint8_t>> object =
        FieldsFromJson(*layout, input.order, json, error);
    if (!object) {
        Check(!error.empty(), "a refused import says why");
        return 0;
    }
    const FieldReader reader(*layout, *object, input.order);
    Check(!reader.Check(), "an imported object reads");
    const std::optional<std::vector<std::uint8_t>> again =
        FieldsFromJson(*layout, input.order, FieldsToJson(reader), error);
    Check(again == object, "export then import gives the same bytes");
    return 0;
}

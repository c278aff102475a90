#pragma once
// The asset the Fields plug-in holds between the host's calls: the object's bytes (the name
// prefix from the plug-in context, then the body the host handed over), read through the type tree
// the context gave, the edits made to them, and the JSON conversions. No Qt here.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "kestrova_plugin.h"
#include "plugins/support/body_bytes.h"
#include "plugins/support/held_context.h"
#include "sdk/type_tree.h"
#include "sdk/type_tree_fields.h"

namespace kestrova::fields {

using plugin::Bytes;
using plugin::ByteSpan;

// The one data type: the fields as JSON (sdk/type_tree_json.h describes the form).
inline constexpr char kJsonExtension[] = "json";

inline constexpr char kNoTreeMessage[] =
    "This file keeps no type tree for the asset's class, so its fields cannot be shown.";

// What the session needs of the panel that shows it.
class FieldsView {
public:
    virtual ~FieldsView() = default;
    // The object was replaced (by an import): show it afresh.
    virtual void Reload() = 0;
};

class FieldsSession {
public:
    enum class State { Empty, NoTree, Damaged, Ready };

    // The context for the asset that the next Load hands over (copied); null forgets it. A
    // context describes one hand-over only.
    void SetContext(const KestrovaPluginContext* context);
    // Takes a copy of the body and reads the object through the tree; whatever was held before,
    // edits included, is forgotten.
    void Load(ByteSpan body);

    State state() const { return state_; }
    // Why the fields are not shown (NoTree, Damaged), or empty.
    const std::string& message() const { return message_; }
    // The reader over the current object, while Ready. It is made anew when a change moves the
    // object's fields; generation() then counts up.
    const FieldReader& reader() const { return *reader_; }
    std::uint64_t generation() const { return generation_; }
    // Counts the hand-overs: a view made for an earlier one shows nothing of this one.
    std::uint64_t loads() const { return loads_; }

    // Whether the value of `field` may be edited: numbers, booleans and strings, except the
    // asset's name, which the host keeps apart from the data.
    bool Editable(FieldAt field) const;
    // Sets a number or boolean from typed text, or a string to `text` (UTF-8), checked against
    // the field's type; false with `error` saying why, the object unchanged.
    bool Edit(FieldAt field, std::string_view text, std::string& error);

    bool Changed() const;
    // The object without the name prefix: what goes back into the asset.
    std::optional<Bytes> Body() const;
    std::optional<Bytes> Export(const char16_t* extension) const;
    // The object a JSON file describes, as a body; it becomes the session's object.
    std::optional<Bytes> Import(ByteSpan file, const char16_t* extension);

    void Attach(FieldsView* view) { view_ = view; }
    void Detach(const FieldsView* view);

private:
    void Use(Bytes object);

    plugin::HeldContext next_;     // given for the coming Load
    plugin::HeldContext context_;  // of the object held
    std::optional<FieldLayout> layout_;
    Bytes object_;
    bool edited_ = false;  // some value differs from what was handed over
    std::unique_ptr<FieldReader> reader_;
    State state_ = State::Empty;
    std::string message_ = "No asset has been handed over.";
    std::uint64_t generation_ = 0;
    std::uint64_t loads_ = 0;
    FieldsView* view_ = nullptr;
};

}  // namespace kestrova::fields

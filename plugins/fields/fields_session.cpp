#include "plugins/fields/fields_session.h"

#include <algorithm>

#include "plugins/support/entry_point_support.h"
#include "sdk/field_values.h"
#include "sdk/type_tree_json.h"

namespace kestrova::fields {

void FieldsSession::SetContext(const KestrovaPluginContext* context) {
    next_ = plugin::HeldContext::From(context);
}

void FieldsSession::Load(ByteSpan body) {
    reader_.reset();
    layout_.reset();
    context_ = std::move(next_);
    next_ = {};
    ++generation_;
    ++loads_;
    // The object as the file stores it: the name prefix the host keeps apart, then the body.
    Bytes object;
    object.reserve(context_.namePrefix.size() + body.size());
    object.insert(object.end(), context_.namePrefix.begin(), context_.namePrefix.end());
    object.insert(object.end(), body.begin(), body.end());
    object_ = std::move(object);
    edited_ = false;
    message_.clear();
    if (!context_.tree) {
        state_ = context_.treeError.empty() ? State::NoTree : State::Damaged;
        message_ = context_.treeError.empty() ? kNoTreeMessage : context_.treeError;
        return;
    }
    if (context_.prefixMissing) {
        state_ = State::Damaged;
        message_ = "The host gave the length of the asset's name without its bytes.";
        return;
    }
    layout_ = FieldLayout::Compile(*context_.tree, message_);
    if (!layout_) {
        state_ = State::Damaged;
        return;
    }
    reader_ = std::make_unique<FieldReader>(*layout_, object_, context_.order);
    if (std::optional<FieldError> error = reader_->Check()) {
        reader_.reset();
        state_ = State::Damaged;
        message_ = "The asset's data does not read through its type tree: " + error->Text();
        return;
    }
    state_ = State::Ready;
}

void FieldsSession::Use(Bytes object) {
    reader_.reset();
    object_ = std::move(object);
    reader_ = std::make_unique<FieldReader>(*layout_, object_, context_.order);
    reader_->Check();  // indexes large arrays once, as Load does
    ++generation_;
}

bool FieldsSession::Editable(FieldAt field) const {
    if (state_ != State::Ready) {
        return false;
    }
    const FieldKind kind = reader_->Node(field).kind;
    return (IsScalar(kind) || kind == FieldKind::String) &&
           field.offset >= context_.namePrefix.size();
}

bool FieldsSession::Edit(FieldAt field, std::string_view text, std::string& error) {
    if (!Editable(field)) {
        error = "This value cannot be edited here.";
        return false;
    }
    const FieldKind kind = reader_->Node(field).kind;
    if (kind == FieldKind::String) {
        const ByteSpan bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
        if (bytes.size() > static_cast<std::size_t>(INT32_MAX)) {
            error = "The text is too long.";
            return false;
        }
        const ByteSpan stored = reader_->Payload(field);
        if (!std::equal(stored.begin(), stored.end(), bytes.begin(), bytes.end())) {
            Use(ReplacePayload(*reader_, field, bytes));
            edited_ = true;
        }
        return true;
    }
    const std::optional<std::uint64_t> bits = ParseScalar(kind, text, error);
    if (!bits) {
        return false;
    }
    // A number keeps its size: written over its bytes, nothing else moves.
    if (*bits != reader_->ScalarBits(field)) {
        FieldWriter writer(context_.order);
        writer.PutScalar(kind, *bits);
        std::copy(writer.bytes().begin(), writer.bytes().end(),
                  object_.begin() + static_cast<std::ptrdiff_t>(field.offset));
        edited_ = true;
    }
    return true;
}

bool FieldsSession::Changed() const {
    return state_ == State::Ready && edited_;
}

std::optional<Bytes> FieldsSession::Body() const {
    if (state_ != State::Ready) {
        return std::nullopt;
    }
    return Bytes(object_.begin() + static_cast<std::ptrdiff_t>(context_.namePrefix.size()),
                 object_.end());
}

std::optional<Bytes> FieldsSession::Export(const char16_t* extension) const {
    if (!plugin::ExtensionIs(extension, kJsonExtension)) {
        return std::nullopt;
    }
    if (state_ != State::Ready) {
        context_.Report(message_);
        return std::nullopt;
    }
    const std::string json = FieldsToJson(*reader_);
    return Bytes(json.begin(), json.end());
}

std::optional<Bytes> FieldsSession::Import(ByteSpan file, const char16_t* extension) {
    // Checked before the input is looked at: the "Mod" mode passes texts that are no file.
    if (!plugin::ExtensionIs(extension, kJsonExtension)) {
        return std::nullopt;
    }
    if (state_ != State::Ready) {
        context_.Report(message_);
        return std::nullopt;
    }
    std::string error;
    std::optional<Bytes> object = FieldsFromJson(
        *layout_, context_.order,
        std::string_view(reinterpret_cast<const char*>(file.data()), file.size()), error);
    if (!object) {
        context_.Report(error);
        return std::nullopt;
    }
    const Bytes& prefix = context_.namePrefix;
    if (object->size() < prefix.size() ||
        !std::equal(prefix.begin(), prefix.end(), object->begin())) {
        context_.Report("m_Name: the asset's name cannot change through an import.");
        return std::nullopt;
    }
    Use(std::move(*object));
    edited_ = false;
    if (view_ != nullptr) {
        view_->Reload();
    }
    return Body();
}

void FieldsSession::Detach(const FieldsView* view) {
    if (view_ == view) {
        view_ = nullptr;
    }
}

}  // namespace kestrova::fields

#include "plugins/text/text_session.h"

#include <algorithm>

#include "plugins/support/entry_point_support.h"

namespace kestrova::text {

void TextSession::SetContext(const KestrovaPluginContext* context) {
    next_ = plugin::HeldContext::From(context);
}

void TextSession::Load(ByteSpan body) {
    context_ = std::move(next_);
    next_ = {};
    held_.Load(body);
    view_ = nullptr;
    leftText_.reset();
    treeError_.clear();
    if (!context_.tree || held_.damaged()) {
        return;
    }
    if (context_.prefixMissing) {
        treeError_ = "The host gave the length of the asset's name without its bytes.";
        return;
    }
    Bytes object = context_.namePrefix;
    object.insert(object.end(), body.begin(), body.end());
    treeError_ =
        CheckTextFieldByTree(object, context_.namePrefix.size(), *context_.tree, context_.order)
            .value_or(std::string());
}

void TextSession::Detach(const TextView* view) {
    if (view_ != view) {
        return;
    }
    if (std::optional<Bytes> edited = view->EditedText()) {
        leftText_ = std::move(edited);
    }
    view_ = nullptr;
}

Bytes TextSession::CurrentText() const {
    if (view_ != nullptr) {
        if (std::optional<Bytes> edited = view_->EditedText()) {
            return std::move(*edited);
        }
    }
    if (leftText_) {
        return *leftText_;
    }
    return Bytes(storedText().begin(), storedText().end());
}

bool TextSession::Changed() const {
    if (damaged()) {
        return false;
    }
    const Bytes current = CurrentText();
    return !std::equal(current.begin(), current.end(), storedText().begin(), storedText().end());
}

std::optional<Bytes> TextSession::Body() const {
    if (damaged()) {
        return std::nullopt;
    }
    return BuildTextBody(held_.body(), CurrentText());
}

std::optional<Bytes> TextSession::Export(const char16_t* extension) const {
    if (!plugin::ExtensionIs(extension, kTextExtension)) {
        return std::nullopt;
    }
    if (damaged()) {
        context_.Report(error());
        return std::nullopt;
    }
    return CurrentText();
}

std::optional<Bytes> TextSession::Import(ByteSpan file, const char16_t* extension) {
    if (damaged() || !plugin::ExtensionIs(extension, kTextExtension)) {
        return std::nullopt;
    }
    Bytes rebuilt = BuildTextBody(held_.body(), file);
    held_.Load(rebuilt);
    leftText_.reset();
    if (view_ != nullptr) {
        view_->Reload();
    }
    return rebuilt;
}

}  // namespace kestrova::text

#include "plugins/text/text_session.h"

#include <algorithm>

#include "plugins/support/entry_point_support.h"

namespace kestrova::text {

void TextSession::Load(ByteSpan body) {
    held_.Load(body);
    view_ = nullptr;
    leftText_.reset();
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
    if (damaged() || !plugin::ExtensionIs(extension, kTextExtension)) {
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

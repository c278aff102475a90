#include "plugins/text/text_session.h"

#include <algorithm>
#include <utility>

#include "plugins/support/entry_point_support.h"

namespace kestrova::text {

void TextSession::Load(ByteSpan body) {
    // Copied first: when the copy fails, the session still holds what it held.
    Bytes copy(body.begin(), body.end());
    data_ = std::move(copy);
    body_ = {};
    error_.clear();
    view_ = nullptr;
    leftText_.reset();
    ParseTextBody(data_, body_, error_);
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

Bytes TextSession::Body() const {
    if (damaged()) {
        return data_;
    }
    return BuildTextBody(body_, CurrentText());
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
    Bytes body = BuildTextBody(body_, file);
    TextView* view = view_;
    Load(body);
    view_ = view;
    if (view_ != nullptr) {
        view_->Reload();
    }
    return body;
}

}  // namespace kestrova::text

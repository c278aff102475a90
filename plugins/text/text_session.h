#pragma once
// The asset the text plug-in holds between the host's calls: a copy of the body it was handed,
// read once, and the conversions that the entry points offer on it. No Qt here; the panel
// reaches the session through TextView.

#include <optional>
#include <string>

#include "kestrova_plugin.h"
#include "plugins/support/held_body.h"
#include "plugins/support/held_context.h"
#include "plugins/text/text_body.h"

namespace kestrova::text {

// The one data type of the text plug-in: the text's bytes as they are stored.
inline constexpr char kTextExtension[] = "txt";

// What the session needs of the panel that shows its text.
class TextView {
public:
    virtual ~TextView() = default;
    // The text as the panel would store it now, when the user has changed it.
    virtual std::optional<Bytes> EditedText() const = 0;
    // The stored text was replaced (by an import): show it afresh, as unchanged.
    virtual void Reload() = 0;
};

class TextSession {
public:
    // The context of the next hand-over (copied); null forgets it. Where it gives the class's
    // type tree, the body is read only when the tree places the text right after the name.
    void SetContext(const KestrovaPluginContext* context);
    // Takes a copy of the body the host handed over and reads it; whatever was held before,
    // edits and panel included, is forgotten.
    void Load(ByteSpan body);

    bool damaged() const { return held_.damaged() || !treeError_.empty(); }
    const std::string& error() const { return treeError_.empty() ? held_.error() : treeError_; }
    ByteSpan storedText() const { return held_.body().text.bytes; }

    void Attach(TextView* view) { view_ = view; }
    // `view` goes away; the text it changed stays the session's.
    void Detach(const TextView* view);

    // The text as it would be stored now: the panel's, or what a closed panel left, or the
    // stored one.
    Bytes CurrentText() const;
    bool Changed() const;

    // The body to write back: the current text with its length and padding rebuilt and the rest
    // of the body kept; nullopt for a damaged body, which is never written back.
    std::optional<Bytes> Body() const;
    // The current text's bytes, for the extension "txt"; nullopt for any other or a damaged body.
    std::optional<Bytes> Export(const char16_t* extension) const;
    // The body rebuilt around `file` as its text, for the extension "txt"; nullopt for any other
    // or a damaged body. The result becomes the session's body and the panel shows it. The
    // extension is checked before a byte of `file` is read: in the "Mod" panel mode the host
    // passes other things than files.
    std::optional<Bytes> Import(ByteSpan file, const char16_t* extension);

private:
    plugin::HeldContext next_;
    plugin::HeldContext context_;
    plugin::HeldBody<TextBody> held_{ParseTextBody};
    std::string treeError_;  // why the type tree refuses the body
    TextView* view_ = nullptr;
    std::optional<Bytes> leftText_;
};

}  // namespace kestrova::text

// The text plug-in's entry points, for TextAsset and Shader assets alike: the panel edits the
// text; "txt" exports the text's stored bytes and imports a file's bytes as the new text.

#include <QPointer>
#include <QWidget>

#include "kestrova_plugin.h"
#include "plugins/support/entry_point_support.h"
#include "plugins/text/text_panel.h"
#include "plugins/text/text_session.h"

namespace {

using kestrova::plugin::ByteSpan;
using kestrova::plugin::Guarded;
using kestrova::text::TextPanel;
using kestrova::text::TextSession;

TextSession& Session() {
    static TextSession session;
    return session;
}

// The host may delete the panel at any time; the pointer then turns null.
QPointer<TextPanel>& Panel() {
    static QPointer<TextPanel> panel;
    return panel;
}

}  // namespace

void* CreatePluginDialog(void* parent, const uint8_t* data, int32_t length) {
    return Guarded<void*>(nullptr, [&]() -> void* {
        if (Panel()) {
            // A panel the host has not destroyed shows what is no longer held.
            Panel()->hide();
        }
        ByteSpan body;
        kestrova::plugin::HostBytes(data, length, body);
        Session().Load(body);
        if (parent == nullptr) {
            return nullptr;
        }
        Panel() = new TextPanel(Session(), static_cast<QWidget*>(parent));
        return static_cast<QWidget*>(Panel().data());
    });
}

uint8_t AssetChanged(void) {
    return Guarded<uint8_t>(0, [] { return static_cast<uint8_t>(Session().Changed() ? 1 : 0); });
}

uint8_t* GetData(int32_t* length) {
    return kestrova::plugin::HandOverBody(length, [] { return Session().Body(); });
}

uint8_t* ExportData(int32_t* length, const char16_t* extension) {
    return kestrova::plugin::HandOverIfAny(length, [&] { return Session().Export(extension); });
}

uint8_t* ImportData(const void* input, int32_t* length, const char16_t* extension) {
    return kestrova::plugin::HandOverIfAny(length, [&]() -> std::optional<kestrova::plugin::Bytes> {
        ByteSpan file;
        if (!kestrova::plugin::HostBytes(input, *length, file)) {
            return std::nullopt;
        }
        return Session().Import(file, extension);
    });
}

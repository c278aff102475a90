// The audio plug-in's entry points for AudioClip assets: the panel tells what the clip is and
// plays it; "wav", "ogg" and "mp3" export the embedded sound file as it is and import one back.

#include <QPointer>
#include <QWidget>

#include "kestrova_plugin.h"
#include "plugins/audio/audio_panel.h"
#include "plugins/audio/audio_session.h"
#include "plugins/support/entry_point_support.h"

namespace {

using kestrova::audio::AudioPanel;
using kestrova::audio::AudioSession;
using kestrova::plugin::Bytes;
using kestrova::plugin::ByteSpan;

AudioSession& Session() {
    static AudioSession session;
    return session;
}

// The host may delete the panel at any time; the pointer then turns null.
QPointer<AudioPanel>& Panel() {
    static QPointer<AudioPanel> panel;
    return panel;
}

}  // namespace

void* CreatePluginDialog(void* parent, const uint8_t* data, int32_t length) {
    return kestrova::plugin::Guarded<void*>(nullptr, [&]() -> void* {
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
        Panel() = new AudioPanel(Session(), static_cast<QWidget*>(parent));
        return static_cast<QWidget*>(Panel().data());
    });
}

// The panel has no edits of its own; imports reach the host through ImportData.
uint8_t AssetChanged(void) {
    return 0;
}

uint8_t* GetData(int32_t* length) {
    return kestrova::plugin::HandOverBody(length, [] { return Session().Body(); });
}

uint8_t* ExportData(int32_t* length, const char16_t* extension) {
    return kestrova::plugin::HandOverIfAny(length, [&] { return Session().Export(extension); });
}

uint8_t* ImportData(const void* input, int32_t* length, const char16_t* extension) {
    return kestrova::plugin::HandOverIfAny(length, [&]() -> std::optional<Bytes> {
        ByteSpan file;
        if (!kestrova::plugin::HostBytes(input, *length, file)) {
            return std::nullopt;
        }
        return Session().Import(file, extension);
    });
}

// The texture plug-in's five entry points. The plug-in keeps a copy of the asset it was last
// handed; Export and Import convert that copy. It never changes the asset itself, so it always
// answers AssetChanged with 0.

#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <cstring>
#include <limits>
#include <span>
#include <string_view>
#include <vector>

#include "kestrova_plugin.h"
#include "plugins/texture/texture_panel.h"
#include "plugins/texture/texture_png.h"

namespace {

using kestrova::texture::Conversion;
using kestrova::texture::TexturePanel;

struct PluginState {
    std::vector<std::uint8_t> body;
    // The host destroys the panel whenever it likes; QPointer turns null when it does.
    QPointer<TexturePanel> panel;
};

PluginState& State() {
    static PluginState state;
    return state;
}

// A block the host owns afterwards, as the contract says: allocated with ::operator new.
std::uint8_t* HandOver(const std::vector<std::uint8_t>& bytes, std::int32_t* length) {
    if (bytes.empty() ||
        bytes.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        return nullptr;
    }
    auto* block = static_cast<std::uint8_t*>(::operator new(bytes.size()));
    std::memcpy(block, bytes.data(), bytes.size());
    *length = static_cast<std::int32_t>(bytes.size());
    return block;
}

bool IsPng(const char16_t* extension) {
    if (extension == nullptr) {
        return false;
    }
    const std::u16string_view text(extension);
    if (text.size() != 3) {
        return false;
    }
    constexpr std::u16string_view kPng = u"png";
    for (std::size_t i = 0; i < 3; ++i) {
        const char16_t c = text[i] >= u'A' && text[i] <= u'Z' ? text[i] + (u'a' - u'A') : text[i];
        if (c != kPng[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace

KESTROVA_PLUGIN_EXPORT void* CreatePluginDialog(void* parent, const uint8_t* data, int32_t length) {
    try {
        PluginState& state = State();
        if (data != nullptr && length > 0) {
            state.body.assign(data, data + length);
        } else {
            state.body.clear();
        }
        if (parent == nullptr) {
            return nullptr;
        }
        // A panel the host has not destroyed yet is not shown any more.
        delete state.panel.data();
        state.panel = new TexturePanel(static_cast<QWidget*>(parent), state.body);
        return state.panel.data();
    } catch (...) {
        return nullptr;
    }
}

KESTROVA_PLUGIN_EXPORT uint8_t AssetChanged(void) {
    return 0;
}

KESTROVA_PLUGIN_EXPORT uint8_t* GetData(int32_t* length) {
    try {
        return length != nullptr ? HandOver(State().body, length) : nullptr;
    } catch (...) {
        return nullptr;
    }
}

KESTROVA_PLUGIN_EXPORT uint8_t* ExportData(int32_t* length, const char16_t* extension) {
    try {
        if (length == nullptr || !IsPng(extension)) {
            return nullptr;
        }
        const Conversion png = kestrova::texture::ExportPng(State().body);
        return png.ok() ? HandOver(png.bytes, length) : nullptr;
    } catch (...) {
        return nullptr;
    }
}

KESTROVA_PLUGIN_EXPORT uint8_t* ImportData(const void* input, int32_t* length,
                                           const char16_t* extension) {
    try {
        // The "Mod" mode's calls carry a path id as the extension and are not for this plug-in.
        if (input == nullptr || length == nullptr || *length < 0 || !IsPng(extension)) {
            return nullptr;
        }
        PluginState& state = State();
        const Conversion body = kestrova::texture::ImportPng(
            state.body,
            {static_cast<const std::uint8_t*>(input), static_cast<std::size_t>(*length)});
        if (!body.ok() && state.panel) {
            state.panel->ShowMessage(body.problem);
        }
        return body.ok() ? HandOver(body.bytes, length) : nullptr;
    } catch (...) {
        return nullptr;
    }
}

#pragma once
// The five entry points of a plug-in that keeps the asset in a Qt-free session and shows it in
// one Qt panel at a time. For the Qt part of a plug-in only (the rest of plugins/support is
// Qt-free). KESTROVA_SESSION_PLUGIN(Session, Panel) defines the exported functions;
// KESTROVA_SESSION_PLUGIN(Session, Panel, LeftPanel::Delete) deletes a panel the host left.
//
// A Session offers Load(ByteSpan), Changed(), Body(), Export(extension) and
// Import(ByteSpan, extension); the last three give an optional block, of bytes or a view of
// bytes that stay valid until the next call. A Panel is a QWidget made from (Session&,
// QWidget* parent); it may read what it shows from the session, or take its own copy then.
// Once a panel is shown, the session's RunLongConversion calls run off the interface thread.
// KESTROVA_SESSION_PLUGIN_CONTEXT with the same arguments adds the sixth entry point,
// SetPluginContext, for a Session that offers SetContext(const KestrovaPluginContext*).

#include <optional>

#include <QCoreApplication>
#include <QPointer>
#include <QWidget>

#include "kestrova_plugin.h"
#include "plugins/support/conversion_dialog.h"
#include "plugins/support/entry_point_support.h"

namespace kestrova::plugin {

// What becomes of a panel the host has not destroyed when the next asset is handed over.
enum class LeftPanel {
    Hide,    // hidden; the host destroys it as it does every panel
    Delete,  // deleted at once
};

template <class Session, class Panel, LeftPanel left = LeftPanel::Hide>
class SessionPlugin {
public:
    static void* CreatePluginDialog(void* parent, const std::uint8_t* data, std::int32_t length) {
        return Guarded<void*>(nullptr, [&]() -> void* {
            // A panel the host has not destroyed would show what is no longer held.
            if (Panel* previous = panel().data()) {
                if constexpr (left == LeftPanel::Delete) {
                    delete previous;
                } else {
                    previous->hide();
                }
            }
            ByteSpan body;
            HostBytes(data, length, body);
            session().Load(body);
            if (parent == nullptr) {
                return nullptr;  // conversion without a display
            }
            // Shown in a window: long conversions from now on leave that window answering.
            RunConversionsInWindow();
            panel() = new Panel(session(), static_cast<QWidget*>(parent));
            return static_cast<QWidget*>(panel().data());
        });
    }

    static std::uint8_t AssetChanged() {
        return Guarded<std::uint8_t>(
            0, [] { return static_cast<std::uint8_t>(session().Changed() ? 1 : 0); });
    }

    static std::uint8_t* GetData(std::int32_t* length) {
        if (length == nullptr) {
            return nullptr;
        }
        // A negative length makes the host refuse the result, so a refusal or a failure never
        // empties the asset (a null block with length 0 would).
        *length = -1;
        return HandOverIfAny(length, [] { return session().Body(); });
    }

    static std::uint8_t* ExportData(std::int32_t* length, const char16_t* extension) {
        return HandOverIfAny(length, [&] { return session().Export(extension); });
    }

    static std::uint8_t* ImportData(const void* input, std::int32_t* length,
                                    const char16_t* extension) {
        return HandOverIfAny(length, [&] {
            ByteSpan file;
            using Block = decltype(session().Import(file, extension));
            if (!HostBytes(input, *length, file)) {
                return Block{};
            }
            return session().Import(file, extension);
        });
    }

    static void SetPluginContext(const KestrovaPluginContext* context) {
        Guarded(0, [&] {
            session().SetContext(context);
            return 0;
        });
    }

private:
    struct State {
        Session session;
        // The host may delete the panel at any time; the pointer then turns null.
        QPointer<Panel> panel;

        // A panel still there when the library is unloaded would run code that is gone. It goes
        // while the session it may refer to is still there.
        ~State() {
            if (QCoreApplication::instance() != nullptr) {
                delete panel.data();
            }
        }
    };

    static State& state() {
        static State held;
        return held;
    }
    static Session& session() { return state().session; }
    static QPointer<Panel>& panel() { return state().panel; }

    // Hands over the block that `make` gives; null, which refuses, when it gives none or fails.
    template <class Make>
    static std::uint8_t* HandOverIfAny(std::int32_t* length, Make&& make) {
        if (length == nullptr) {
            return nullptr;
        }
        return Guarded<std::uint8_t*>(nullptr, [&]() -> std::uint8_t* {
            const auto block = make();
            return block ? HandOver(ByteSpan(*block), length) : nullptr;
        });
    }
};

}  // namespace kestrova::plugin

#define KESTROVA_SESSION_PLUGIN(...)                                                            \
    void* CreatePluginDialog(void* parent, const uint8_t* data, int32_t length) {               \
        return ::kestrova::plugin::SessionPlugin<__VA_ARGS__>::CreatePluginDialog(parent, data, \
                                                                                  length);      \
    }                                                                                           \
    uint8_t AssetChanged(void) {                                                                \
        return ::kestrova::plugin::SessionPlugin<__VA_ARGS__>::AssetChanged();                  \
    }                                                                                           \
    uint8_t* GetData(int32_t* length) {                                                         \
        return ::kestrova::plugin::SessionPlugin<__VA_ARGS__>::GetData(length);                 \
    }                                                                                           \
    uint8_t* ExportData(int32_t* length, const char16_t* extension) {                           \
        return ::kestrova::plugin::SessionPlugin<__VA_ARGS__>::ExportData(length, extension);   \
    }                                                                                           \
    uint8_t* ImportData(const void* input, int32_t* length, const char16_t* extension) {        \
        return ::kestrova::plugin::SessionPlugin<__VA_ARGS__>::ImportData(input, length,        \
                                                                          extension);           \
    }

#define KESTROVA_SESSION_PLUGIN_CONTEXT(...)                                       \
    void SetPluginContext(const KestrovaPluginContext* context) {                  \
        ::kestrova::plugin::SessionPlugin<__VA_ARGS__>::SetPluginContext(context); \
    }

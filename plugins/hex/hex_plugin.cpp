// The five entry points of the hex plug-in. The plug-in keeps the handed-over bytes in a document
// of its own, apart from the panel: the editor may destroy the panel whenever it likes and still
// ask afterwards whether the bytes changed and for the changed bytes.

#include <cstring>
#include <memory>
#include <new>
#include <span>
#include <vector>

#include <QCoreApplication>
#include <QPointer>
#include <QWidget>

#include "hex_document.h"
#include "hex_panel.h"
#include "kestrova_plugin.h"

namespace {

using kestrova::hex::HexDocument;
using kestrova::hex::HexPanel;

struct PluginState {
    std::shared_ptr<HexDocument> document;
    QPointer<QWidget> panel;  // null once the editor destroyed it

    PluginState() = default;
    PluginState(const PluginState&) = delete;
    PluginState& operator=(const PluginState&) = delete;
    // A panel left over when the library is unloaded would run code that is gone.
    ~PluginState() {
        if (QCoreApplication::instance() != nullptr) {
            delete panel.data();
        }
    }
};

PluginState& State() {
    static PluginState state;
    return state;
}

// The one data type: raw bytes, which are the asset's data as they are.
bool IsRawBytes(const char16_t* extension) {
    if (extension == nullptr) {
        return false;
    }
    static constexpr char16_t kRaw[] = u"bin";
    for (std::size_t i = 0; i < 4; ++i) {
        char16_t c = extension[i];
        if (c >= u'A' && c <= u'Z') {
            c = static_cast<char16_t>(c - u'A' + u'a');
        }
        if (c != kRaw[i]) {
            return false;
        }
        if (c == 0) {
            return true;
        }
    }
    return false;
}

// A block for the editor, which releases it with ::operator delete.
std::uint8_t* HandOut(std::span<const std::uint8_t> bytes, std::int32_t* length) {
    auto* block = static_cast<std::uint8_t*>(::operator new(bytes.size()));
    if (!bytes.empty()) {
        std::memcpy(block, bytes.data(), bytes.size());
    }
    *length = static_cast<std::int32_t>(bytes.size());
    return block;
}

}  // namespace

void* CreatePluginDialog(void* parent, const std::uint8_t* data, std::int32_t length) {
    try {
        PluginState& state = State();
        delete state.panel.data();
        // Dropped first, so that a failure below never leaves the previous asset's edits to be
        // taken for this asset's.
        state.document.reset();
        std::vector<std::uint8_t> bytes;
        if (data != nullptr && length > 0) {
            bytes.assign(data, data + length);
        }
        state.document = std::make_shared<HexDocument>(std::move(bytes));
        if (parent == nullptr) {
            return nullptr;
        }
        auto* panel = new HexPanel(state.document, static_cast<QWidget*>(parent));
        state.panel = panel;
        return static_cast<QWidget*>(panel);
    } catch (...) {
        return nullptr;
    }
}

std::uint8_t AssetChanged() {
    const std::shared_ptr<HexDocument>& document = State().document;
    return document != nullptr && document->changed() ? 1 : 0;
}

std::uint8_t* GetData(std::int32_t* length) {
    if (length == nullptr) {
        return nullptr;
    }
    *length = 0;
    try {
        const std::shared_ptr<HexDocument>& document = State().document;
        return document != nullptr ? HandOut(document->bytes(), length) : nullptr;
    } catch (...) {
        *length = 0;
        return nullptr;
    }
}

std::uint8_t* ExportData(std::int32_t* length, const char16_t* extension) {
    if (length == nullptr) {
        return nullptr;
    }
    *length = 0;
    try {
        const std::shared_ptr<HexDocument>& document = State().document;
        if (document == nullptr || !IsRawBytes(extension)) {
            return nullptr;
        }
        return HandOut(document->bytes(), length);
    } catch (...) {
        *length = 0;
        return nullptr;
    }
}

std::uint8_t* ImportData(const void* input, std::int32_t* length, const char16_t* extension) {
    // The "Mod" mode's calls pass a name and a path id here, which are no data type of this
    // plug-in; they are refused like any other unknown extension, before the input is looked at.
    if (length == nullptr || !IsRawBytes(extension) || *length < 0 ||
        (input == nullptr && *length > 0)) {
        return nullptr;
    }
    try {
        const auto* bytes = static_cast<const std::uint8_t*>(input);
        return HandOut({bytes, static_cast<std::size_t>(*length)}, length);
    } catch (...) {
        return nullptr;
    }
}

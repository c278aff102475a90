#include "editor/plugins/plugin_host.h"

#include <limits>

#include "common/text.h"
#include "document/asset_file.h"
#include "editor/plugins/asset_context.h"
#include "editor/plugins/plugin_calls.h"
#include "editor/plugins/plugin_conversion.h"

namespace kestrova {

PluginHost::PluginHost(const PluginTable& table, PluginPanelSite& site)
    : table_(table), site_(site) {}

const PluginRecord* PluginHost::ChoosePlugin(std::uint32_t typeId, PanelMode mode) const {
    switch (mode) {
        case PanelMode::Plugin:
            // A class without a plug-in of its own goes to the one that takes any other class.
            if (const PluginRecord* own = FindPluginByType(table_, typeId)) {
                return own;
            }
            return FindPluginByType(table_, KESTROVA_PLUGIN_TYPE_ANY_OTHER);
        case PanelMode::Hex:
            return FindPluginByName(table_, u"Hex");
        case PanelMode::Mod:
            return FindPluginByName(table_, u"Mod");
    }
    return nullptr;
}

void PluginHost::EndHandOver(EditorShell& shell, std::uint32_t leaving) {
    if (currentPlugin_ == nullptr || handedOver_ != leaving ||
        leaving >= shell.document.entries.size()) {
        return;
    }
    if (!CallAssetChanged(*currentPlugin_)) {
        return;
    }
    PluginBlock data = CallGetData(*currentPlugin_);
    if (data.state == PluginBlock::State::Missing) {
        return;  // without GetData there is nothing to take back
    }
    if (data.state == PluginBlock::State::Invalid) {
        shell.SetStatus(
            BlockProblem(*currentPlugin_, data, u"GetData") + u" The asset keeps its data.", 0.0f);
        return;
    }
    // A null block with length 0 empties the asset's body.
    Outcome written = ReplaceAssetBody(shell.document, leaving, data.bytes());
    if (!written) {
        shell.SetStatus(u"The changes to " + shell.document.entries[leaving].name +
                            u" were not saved: " + written.message,
                        0.0f);
    }
}

bool PluginHost::BeginHandOver(EditorShell& shell, std::uint32_t index, PanelMode mode) {
    handedOver_.reset();
    const AssetEntry& entry = shell.document.entries.at(index);
    currentPlugin_ = ChoosePlugin(entry.typeId, mode);
    if (currentPlugin_ == nullptr) {
        return true;
    }
    std::optional<std::vector<std::uint8_t>> body = ReadAssetBody(shell.document, index);
    if (!body) {
        return false;
    }
    if (!FitsPluginLength(body->size())) {
        shell.SetStatus(u"The asset " + entry.name + u" is too large to hand to a plug-in.", 0.0f);
        currentPlugin_ = nullptr;
        return false;
    }
    handedOver_ = index;
    context_.Set(AssetContextOf(shell.document, index, shell.documentFolder));
    context_.SetArchiveReader(ArchiveReaderOf(shell.document));
    void* panel = HandOverToPlugin(*currentPlugin_, context_, site_.PanelParent(), *body);
    if (mode == PanelMode::Mod) {
        // Ravelin learns which file and which asset it was given. The results carry nothing.
        for (const ModImportCall& call : ModImportCalls(shell.document, index)) {
            CallImportData(*currentPlugin_, call.text.c_str(), call.value, call.number);
        }
    }
    if (panel != nullptr) {
        site_.ShowPanel(panel);
    }
    return true;
}

void PluginHost::Reset() {
    currentPlugin_ = nullptr;
    handedOver_.reset();
}

std::optional<std::uint32_t> PluginHost::HandedOverAsset() const {
    return currentPlugin_ != nullptr ? handedOver_ : std::nullopt;
}

std::u16string PluginHost::TypeText(std::uint32_t typeId, std::u16string_view unnamed) const {
    return TypeColumnText(table_, typeId, unnamed);
}

std::optional<std::uint32_t> PluginHost::TypeByName(std::u16string_view typeName) const {
    return FindTypeByName(table_, typeName);
}

std::vector<PluginDataType> PluginHost::DataTypes() const {
    std::vector<PluginDataType> types;
    if (currentPlugin_ == nullptr) {
        return types;
    }
    const PluginDescriptor& descriptor = currentPlugin_->descriptor;
    for (std::size_t k = 0; k < descriptor.extensions.size(); ++k) {
        types.push_back({descriptor.extensions[k], descriptor.filters[k]});
    }
    return types;
}

Outcome PluginHost::ExportData(std::u16string_view extension, std::vector<std::uint8_t>& out) {
    if (currentPlugin_ == nullptr) {
        return Outcome::Failure(u"No plug-in shows the asset.");
    }
    if (PluginConversion c = ExportThroughPlugin(*currentPlugin_, context_, extension, out);
        !c.ok()) {
        return Outcome::Failure(c.problem + u" Nothing was exported.");
    }
    return Outcome::Success();
}

Outcome PluginHost::ImportData(std::u16string_view extension, std::vector<std::uint8_t>& bytes) {
    if (currentPlugin_ == nullptr) {
        return Outcome::Failure(u"No plug-in shows the asset.");
    }
    if (PluginConversion c = ImportThroughPlugin(*currentPlugin_, context_, extension, bytes);
        !c.ok()) {
        return Outcome::Failure(c.problem + u" Nothing was imported.");
    }
    return Outcome::Success();
}

}  // namespace kestrova

#pragma once
// The plug-in host's side of the editor: which plug-in shows the selected asset, the hand-over of
// the asset's data to it, the write-back of what it changed, and the conversions of Export and
// Import through its data types.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "editor/plugins/plugin_context.h"
#include "editor/plugins/plugin_table.h"
#include "editor/shell/editor_shell.h"

namespace kestrova {

// Where plug-in panels live in the window.
class PluginPanelSite {
public:
    virtual ~PluginPanelSite() = default;
    // The parent handed to CreatePluginDialog (a QWidget* in the editor).
    virtual void* PanelParent() = 0;
    // Places a panel that a plug-in returned beside the asset list and shows it.
    virtual void ShowPanel(void* panel) = 0;
};

class PluginHost final : public PluginBridge {
public:
    PluginHost(const PluginTable& table, PluginPanelSite& site);

    void EndHandOver(EditorShell& shell, std::uint32_t leaving) override;
    bool BeginHandOver(EditorShell& shell, std::uint32_t index, PanelMode mode) override;
    void Reset() override;
    std::optional<std::uint32_t> HandedOverAsset() const override;
    std::u16string TypeText(std::uint32_t typeId, std::u16string_view unnamed) const override;
    std::optional<std::uint32_t> TypeByName(std::u16string_view typeName) const override;
    std::vector<PluginDataType> DataTypes() const override;
    Outcome ExportData(std::u16string_view extension, std::vector<std::uint8_t>& out) override;
    Outcome ImportData(std::u16string_view extension, std::vector<std::uint8_t>& bytes) override;

    // The plug-in chosen for the asset shown last, or null.
    const PluginRecord* currentPlugin() const { return currentPlugin_; }
    // The context of the asset handed over last; the bundle layer sets its archive reader here.
    PluginContextHolder& context() { return context_; }

private:
    const PluginRecord* ChoosePlugin(std::uint32_t typeId, PanelMode mode) const;

    const PluginTable& table_;
    PluginPanelSite& site_;
    const PluginRecord* currentPlugin_ = nullptr;
    // The asset whose data the current plug-in was given; changes go back into it alone.
    std::optional<std::uint32_t> handedOver_;
    PluginContextHolder context_;
};

}  // namespace kestrova

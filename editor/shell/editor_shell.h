#pragma once
// The editor's state and commands, without any window system. The Qt front end shows this state and
// turns clicks into calls of these commands; tests drive the same calls with scripted host
// services.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "document/asset_file.h"
#include "document/bundle/bundle_writer.h"
#include "editor/shell/file_dialog.h"
#include "editor/shell/preferences.h"
#include "editor/tasks/long_work.h"

namespace kestrova {

class EditorShell;

enum class PanelMode : std::int32_t { Plugin = 0, Hex = 1, Mod = 2 };

// What the core asks of the window it runs in.
class ShellView {
public:
    virtual ~ShellView() = default;
    // Paint statusText and statusProgress at once, without processing other events.
    virtual void RefreshStatusBar() = 0;
    virtual void SetTitle(std::u16string_view title) = 0;
    // The rows were rebuilt in table order (after Open, Add, Remove) or re-sorted.
    virtual void RowsChanged() = 0;
    // The plug-in panel (if any) must go: the hand-over it showed has ended.
    virtual void ClosePluginPanel() = 0;
    // A plug-in converts data now, which may take seconds (encoding a large texture): the window
    // shows it is working until ShowBusy(false).
    virtual void ShowBusy(bool busy) { (void)busy; }
    // Runs `work`, passing on its progress to `show`, and then `done` with its outcome. A window
    // runs the work off its own thread, calls `show` and `done` on its own thread, offers Cancel
    // and keeps the commands that would conflict disabled until `done` has run. Here both run at
    // once on the calling thread.
    virtual void RunLongWork(LongWork work, ProgressCallback show, LongWorkDone done) {
        done(work(show, std::stop_token{}));
    }
    // Open chose a compressed bundle with several serialized members: the index of the one to
    // open, or nothing to cancel the open.
    virtual std::optional<std::size_t> ChooseBundleMember(std::u16string_view bundle,
                                                          const std::vector<BundleNode>& members) {
        (void)bundle;
        (void)members;
        return std::nullopt;
    }
    // Save As of a compressed bundle's member: the bundle's compression, or nothing to cancel.
    virtual std::optional<bundle::ChosenCompression> ChooseBundleCompression() {
        return bundle::ChosenCompression::AsOriginal;
    }
};

// A data type that the current plug-in converts asset data to and from on export and import.
struct PluginDataType {
    std::u16string extension;    // without the dot, at most 9 characters
    std::u16string description;  // the filter's description
};

// Lets the plug-in host take part in selection, export and import. Without one the shell works
// with raw data only and shows no panel.
class PluginBridge {
public:
    virtual ~PluginBridge() = default;
    // The asset `leaving` stops being shown; write back its changed data if the plug-in that was
    // given that asset has any.
    virtual void EndHandOver(EditorShell& shell, std::uint32_t leaving) = 0;
    // Show asset `index` in the panel of the plug-in chosen for `mode`. False when the working copy
    // could not be read.
    virtual bool BeginHandOver(EditorShell& shell, std::uint32_t index, PanelMode mode) = 0;
    // Forget the current plug-in without calling it (the list was rebuilt, or the asset it was
    // given was replaced by an import).
    virtual void Reset() = 0;
    // The asset that the current plug-in was given, if any.
    virtual std::optional<std::uint32_t> HandedOverAsset() const = 0;
    // The Type column's text for `typeId`: the type name a plug-in gives it, or `unnamed` (the
    // document's ClassColumnText); and the type id a plug-in declares under `typeName` (ignoring
    // the case of A-Z).
    virtual std::u16string TypeText(std::uint32_t typeId, std::u16string_view unnamed) const = 0;
    virtual std::optional<std::uint32_t> TypeByName(std::u16string_view typeName) const = 0;
    // The current plug-in's data types, all of them in its order (none without a current plug-in).
    virtual std::vector<PluginDataType> DataTypes() const = 0;
    // The asset the current plug-in shows, converted into `extension`; a failure says why.
    virtual Outcome ExportData(std::u16string_view extension, std::vector<std::uint8_t>& out) = 0;
    // `bytes` of a file converted through every data type of the current plug-in whose
    // extension is `extension` (ignoring case), in its order.
    virtual Outcome ImportData(std::u16string_view extension, std::vector<std::uint8_t>& bytes) = 0;
};

// Key of CompareAssetRows: 2 × column (0 Name, 1 Type, 2 Index, 3 Size), + 1 for descending.
// Returns 1 when a sorts after b, otherwise -1 (also for equal keys and unknown key values).
int CompareAssetRows(const AssetFile& doc, std::uint32_t a, std::uint32_t b, int key);

class EditorShell {
public:
    EditorShell(ShellView& view, FileChooser& chooser);

    // --- state the window reads ---
    AssetFile document;
    // The open file's folder, where the files that its objects stream data from lie.
    std::u16string documentFolder;
    Preferences preferences;
    FileDialog fileDialog;
    std::u16string statusText;
    float statusProgress = 0.0f;
    std::uint32_t currentAssetIndex = 0;
    std::int32_t selectedRow = -1;
    std::int32_t sortState = -1;

    PanelMode panelMode() const { return static_cast<PanelMode>(preferences.panelMode); }

    // Rows of the asset list in display order: each holds its asset's table index.
    std::size_t rowCount() const { return rows_.size(); }
    std::uint32_t rowAssetIndex(std::size_t row) const { return rows_[row]; }
    // The texts of one row's columns: Name, Type (a plug-in's type name, else the class name in
    // the later forms and "0x%08X" in the 44-byte form, see TypeColumnText), Index ("%i" of the
    // pathId in the 44-byte form, the 64-bit path id in the later forms), Size (kilobytes,
    // (size >> 10) + 1).
    std::u16string cellText(std::size_t row, int column) const;

    void SetPluginBridge(PluginBridge* bridge) { bridge_ = bridge; }

    // --- commands ---
    void OpenFile();  // File > Open
    // Opens `path` as File > Open opens the file chosen in its dialog (a file named on the command
    // line or dropped on the window). False when the file was refused (the reason is shown); a
    // view that opens in the background returns true once the open has started.
    bool OpenPath(const std::u16string& path);
    void SaveFileAs();   // File > Save As
    void ExportAsset();  // Asset > Export
    void ImportAsset();  // Asset > Import
    // Asset > Add (the Add Asset dialog's OK): texts as typed in its three fields.
    void AddAsset(std::u16string_view name, std::u16string_view indexOffsetText,
                  std::u16string_view typeText);
    // Asset > Remove (the Remove Asset dialog's OK): removes the current asset.
    void RemoveAsset();
    // A column header click: sorts as the list does (ascending, then descending, ...).
    void SortByColumn(int column);
    // Makes the asset in display row `row` the current one (-1: nothing).
    bool SelectAsset(std::int32_t row);
    // A mode button: sets the panel mode and re-selects the selected row.
    void SetPanelMode(PanelMode mode);
    // Ends the run: closes the document, deleting the working copy and its folder when empty.
    void Shutdown();

    // Writes statusText/statusProgress and asks the view to paint them.
    // Texts longer than a status line (511 characters) are cut.
    void SetStatus(std::u16string_view text, float progress);

    static constexpr std::size_t kStatusCapacity = 512;  // characters incl. terminator

private:
    bool LoadDocument(const std::u16string& path, const std::u16string& folder);
    void RebuildRows();  // the list panel re-created: rows in table order, current asset 0
    void SortRows(int key);
    // The hand-over of `asset` to the panel of the current mode; false when it could not start.
    bool HandOverAsset(std::uint32_t asset);
    // Writes the plug-in's changed data back into the asset it was given, keeping the hand-over,
    // so that commands which read or rewrite the working copy see what the panel shows.
    void CommitHandOver();
    // Export and Import: the current plug-in's data types (none without a plug-in, or outside the
    // Plugin mode); those with an extension are offered as filters before the raw data ones.
    std::vector<PluginDataType> PluginDataTypes() const;
    std::vector<PluginDataType> SetDataFilters(const std::vector<PluginDataType>& types);
    // Runs an export's or an import's file work beside the window, its progress in the status
    // line, and then `then` when it succeeded; a failure's or a cancel's message is shown.
    void RunFileWork(LongWork work, std::function<void()> then = {});
    // The rest of Import once the file is read: the plug-in's conversion and the new body.
    void FinishImport(std::uint32_t imported, const std::vector<PluginDataType>& types,
                      std::u16string_view extension, std::vector<std::uint8_t>& body);
    // Converts imported bytes through the current plug-in when one of `types` has the file's
    // extension (ignoring case); false (with the reason in the status line) when it refused.
    bool ConvertImportedData(const std::vector<PluginDataType>& types,
                             std::u16string_view extension, std::vector<std::uint8_t>& bytes);
    void SetAssetFilters();
    void ShowDocumentTitle();

    ShellView& view_;
    FileChooser& chooser_;
    PluginBridge* bridge_ = nullptr;
    std::vector<std::uint32_t> rows_;
};

}  // namespace kestrova

#include "editor/shell/editor_shell.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <numeric>
#include <span>

#include "common/number_text.h"
#include "common/platform.h"
#include "common/text.h"
#include "document/bundle/bundle_document.h"

namespace kestrova {

namespace {

constexpr std::size_t kNameCapacity = 256;   // an asset name or a dialog field, with terminator
constexpr std::size_t kTitleCapacity = 512;  // a document name in the window title

constexpr std::u16string_view kAssetFileFilter = u"Unity Asset File (*.assets)";
constexpr std::u16string_view kRawDataFilter = u"Unity Asset Raw Data (*.data)";
constexpr std::u16string_view kAllFilesFilter = u"All Files (*.*)";

// "<lead>(%i/%i) %s" into `out`, cut to a status line. `out` keeps its storage from one row to the
// next, which keeps a status line per asset cheap for a list of a million assets.
void FormatStepStatus(std::u16string& out, std::u16string_view lead, std::uint32_t index,
                      std::uint32_t count, std::u16string_view name) {
    out.assign(lead);
    out += u'(';
    out += DecimalText(static_cast<std::int32_t>(index));
    out += u'/';
    out += DecimalText(static_cast<std::int32_t>(count));
    out += u") ";
    out.append(name.substr(0, EditorShell::kStatusCapacity));
    if (out.size() >= EditorShell::kStatusCapacity) {
        out.resize(EditorShell::kStatusCapacity - 1);
    }
}

// Names compare ignoring the case of A-Z only.
char16_t FoldCase(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
}

// Four code units of a name from `from` on, case-folded as the name comparison folds them, packed
// so that comparing the numbers compares those units in order. Names hold no zero code unit, so
// the zero padding past a name's end sorts it before any longer name with the same beginning.

std::uint64_t FoldedNameChunk(std::u16string_view name, std::size_t from) {
    std::uint64_t chunk = 0;
    for (std::size_t i = from; i < from + 4; ++i) {
        std::uint64_t unit = i < name.size() ? FoldCase(name[i]) : 0;
        chunk = (chunk << 16) | unit;
    }
    return chunk;
}

// One row being sorted: its asset and the part of the asset's sort key now compared.
struct SortItem {
    std::uint64_t key;
    std::uint32_t asset;
};

void StableSortItems(std::span<SortItem> items, bool descending) {
    if (descending) {
        std::stable_sort(items.begin(), items.end(),
                         [](const SortItem& a, const SortItem& b) { return a.key > b.key; });
    } else {
        std::stable_sort(items.begin(), items.end(),
                         [](const SortItem& a, const SortItem& b) { return a.key < b.key; });
    }
}

// Sorts by name four code units at a time: the rows are ordered by the chunk at `from`, and only
// runs that share that chunk and go on past it are refined by the next chunk. Each step touches
// every row of its run once, so names with long common beginnings cost no more than a few passes.
// How far from `from` on the names nameAt(0) to nameAt(count - 1) agree (ignoring case), rounded
// down to whole chunks: those chunks decide nothing and are skipped.
template <typename NameAt>
std::size_t SkipSharedChunks(std::size_t count, const NameAt& nameAt, std::size_t from) {
    const std::u16string_view first = nameAt(0);
    std::size_t common = first.size();
    for (std::size_t k = 0; k < count; ++k) {
        const std::u16string_view name = nameAt(k);
        std::size_t i = from;
        std::size_t limit = std::min(common, name.size());
        // Names that agree exactly are the common case; compare them in bulk first.
        if (limit > from && name.substr(from, limit - from) == first.substr(from, limit - from)) {
            i = limit;
        }
        while (i < limit && FoldCase(name[i]) == FoldCase(first[i])) {
            ++i;
        }
        common = i;
        if (common < from + 4) {
            return from;
        }
    }
    return from + (common - from) / 4 * 4;
}

void StableSortByName(std::span<SortItem> items, const std::vector<AssetEntry>& entries,
                      std::size_t from, bool descending) {
    from = SkipSharedChunks(
        items.size(),
        [&](std::size_t k) { return std::u16string_view(entries[items[k].asset].name); }, from);
    for (SortItem& item : items) {
        item.key = FoldedNameChunk(entries[item.asset].name, from);
    }
    StableSortItems(items, descending);
    for (std::size_t start = 0; start < items.size();) {
        std::size_t end = start + 1;
        while (end < items.size() && items[end].key == items[start].key) {
            ++end;
        }
        // A chunk that ends in padding holds the end of every name of the run: they are equal.
        if (end - start > 1 && (items[start].key & 0xFFFF) != 0) {
            StableSortByName(items.subspan(start, end - start), entries, from + 4, descending);
        }
        start = end;
    }
}

std::uint64_t NumericSortKey(const AssetEntry& entry, int column) {
    switch (column) {
        case 1:
            return entry.typeId;
        case 2:
            // Signed order as unsigned keys; the 44-byte form's words (zero-extended) keep their
            // unsigned order.
            return static_cast<std::uint64_t>(entry.pathId) ^ (std::uint64_t{1} << 63);
        default:
            return entry.size;
    }
}

// Whether two paths name one existing file (through links and relative parts too).
bool IsSameFile(const std::u16string& a, const std::u16string& b) {
    std::error_code error;
    return std::filesystem::equivalent(platform::NativePath(a), platform::NativePath(b), error);
}

// Shows the window busy for the life of the scope.
class BusyScope {
public:
    explicit BusyScope(ShellView& view) : view_(view) { view_.ShowBusy(true); }
    ~BusyScope() { view_.ShowBusy(false); }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    ShellView& view_;
};

}  // namespace

int CompareAssetRows(const AssetFile& doc, std::uint32_t a, std::uint32_t b, int key) {
    const AssetEntry& ea = doc.entries[a];
    const AssetEntry& eb = doc.entries[b];
    bool after = false;
    switch (key) {
        case 0:
            after = CompareIgnoringAsciiCase(ea.name, eb.name) > 0;
            break;
        case 1:
            after = CompareIgnoringAsciiCase(ea.name, eb.name) < 0;
            break;
        case 2:
            after = ea.typeId > eb.typeId;
            break;
        case 3:
            after = ea.typeId < eb.typeId;
            break;
        case 4:
            after = ea.pathId > eb.pathId;
            break;
        case 5:
            after = ea.pathId < eb.pathId;
            break;
        case 6:
            after = ea.size > eb.size;
            break;
        case 7:
            after = ea.size < eb.size;
            break;
        default:
            break;
    }
    return after ? 1 : -1;
}

EditorShell::EditorShell(ShellView& view, FileChooser& chooser) : view_(view), chooser_(chooser) {}

std::u16string EditorShell::cellText(std::size_t row, int column) const {
    if (row >= rows_.size() || rows_[row] >= document.entries.size()) {
        return {};
    }
    const AssetEntry& entry = document.entries[rows_[row]];
    switch (column) {
        case 0:
            return CopyLimited(entry.name, kNameCapacity);
        case 1: {
            // Without a plug-in host no type has a plug-in's name.
            std::u16string unnamed = ClassColumnText(document, rows_[row]);
            return bridge_ != nullptr ? bridge_->TypeText(entry.typeId, unnamed) : unnamed;
        }
        case 2:
            return PathIdText(document, entry);
        case 3:
            return DecimalText((entry.size >> 10) + 1);
        default:
            return {};
    }
}

void EditorShell::SetStatus(std::u16string_view text, float progress) {
    statusText.assign(text.substr(0, kStatusCapacity - 1));
    statusProgress = progress;
    view_.RefreshStatusBar();
}

void EditorShell::SetAssetFilters() {
    fileDialog.ClearFilters();
    fileDialog.AddFilter(std::u16string(kAssetFileFilter), u"*.assets");
    fileDialog.AddFilter(std::u16string(kAllFilesFilter), u"*.*");
}

void EditorShell::ShowDocumentTitle() {
    std::u16string name = document.documentName;
    if (document.compressed) {
        // "Kestrova ( data.unity3d : level0 )": the bundle and the member open from it.
        name += u" : " + Latin1ToUtf16(document.compressed->name());
    }
    view_.SetTitle(u"Kestrova ( " + CopyLimited(name, kTitleCapacity) + u" )");
}

void EditorShell::OpenFile() {
    std::u16string folder = FolderText(preferences.lastAssetFolder);
    SetAssetFilters();
    std::optional<std::u16string> path =
        fileDialog.ShowOpenDialog(chooser_, folder, u" ", u"Open Asset File");
    if (path) {
        LoadDocument(*path, folder);
    }
}

bool EditorShell::OpenPath(const std::u16string& path) {
    return LoadDocument(path, path.substr(0, FileNameStart(path)));
}

bool EditorShell::LoadDocument(const std::u16string& path, const std::u16string& folder) {
    // A compressed bundle with several serialized members: the user chooses one.
    std::optional<std::string> member;
    if (bundle::IsCompressedBundle(path)) {
        std::vector<BundleNode> members;
        if (Outcome o = bundle::ReadBundleMembers(path, members); !o) {
            SetStatus(o.message, 0.0f);
            return false;
        }
        if (members.size() > 1) {
            std::optional<std::size_t> chosen =
                view_.ChooseBundleMember(path.substr(FileNameStart(path)), members);
            if (!chosen || *chosen >= members.size()) {
                return false;
            }
            member = members[*chosen].path;
        }
    }
    // The file is read into a document of its own, which replaces the open one only once it is
    // complete: a refused or cancelled file leaves the open document, its list and its hand-over
    // as they were.
    auto fresh = std::make_shared<AssetFile>();
    fresh->workingFolder = document.workingFolder;
    auto accepted = std::make_shared<bool>(true);
    view_.RunLongWork(
        // The loader reports "Reading Header", "Decompressing", every asset read and "Ready"
        // itself.
        [fresh, path, member](const ProgressCallback& progress, std::stop_token stop) {
            return bundle::LoadDocument(*fresh, path, member, progress, stop);
        },
        [this](std::u16string_view text, float fraction) { SetStatus(text, fraction); },
        [this, fresh, accepted, path, folder](const Outcome& loaded) {
            if (!loaded) {
                *accepted = false;
                SetStatus(loaded.message, 0.0f);
                return;
            }
            document = std::move(*fresh);
            SetFolderText(preferences.lastAssetFolder, folder);
            documentFolder = path.substr(0, FileNameStart(path) > 0 ? FileNameStart(path) - 1 : 0);
            ShowDocumentTitle();
            RebuildRows();
        });
    return *accepted;
}

void EditorShell::SaveFileAs() {
    if (document.documentName.empty()) {
        return;
    }
    std::u16string folder = FolderText(preferences.lastAssetFolder);
    SetAssetFilters();
    std::optional<std::u16string> path =
        fileDialog.ShowSaveDialog(chooser_, folder, document.documentName, u"Save Asset File", u"");
    if (!path) {
        return;
    }
    SetFolderText(preferences.lastAssetFolder, folder);
    // A name typed without an extension under the asset file filter gets that filter's extension
    // (a bundle keeps the name as typed).
    if (fileDialog.extensionOffset == 0 && fileDialog.chosenFilterIndex == 1 &&
        !document.compressed) {
        *path += u".assets";
    }
    bundle::ChosenCompression compression = bundle::ChosenCompression::AsOriginal;
    if (document.compressed) {
        std::optional<bundle::ChosenCompression> chosen = view_.ChooseBundleCompression();
        if (!chosen) {
            return;
        }
        compression = *chosen;
    }
    // What the panel shows but has not handed back yet belongs in the saved file.
    CommitHandOver();
    // The view keeps every command that changes the working copy disabled while it is copied.
    view_.RunLongWork(
        [this, target = *path, compression](const ProgressCallback& progress, std::stop_token stop) {
            return bundle::SaveDocumentAs(document, target, compression, progress, stop);
        },
        [this](std::u16string_view text, float fraction) { SetStatus(text, fraction); },
        [this, target = *path](const Outcome& saved) {
            if (!saved) {
                // The title keeps naming the file that really holds the document.
                SetStatus(saved.message, 0.0f);
                return;
            }
            document.documentName = target.substr(FileNameStart(target));
            ShowDocumentTitle();
            if (statusProgress != 0.0f) {
                SetStatus(u"Ready", 0.0f);  // a large copy's progress is over
            }
        });
}

std::vector<PluginDataType> EditorShell::PluginDataTypes() const {
    // Only the plug-in chosen by the asset's type converts data, so only in the Plugin mode.
    if (bridge_ == nullptr || panelMode() != PanelMode::Plugin) {
        return {};
    }
    return bridge_->DataTypes();
}

std::vector<PluginDataType> EditorShell::SetDataFilters(const std::vector<PluginDataType>& types) {
    fileDialog.ClearFilters();
    // Data types without an extension get no filter: filter k + 1 stands for offered[k].
    std::vector<PluginDataType> offered;
    for (const PluginDataType& type : types) {
        if (!type.extension.empty()) {
            fileDialog.AddFilter(type.description, u"*." + type.extension);
            offered.push_back(type);
        }
    }
    fileDialog.AddFilter(std::u16string(kRawDataFilter), u"*.data");
    fileDialog.AddFilter(std::u16string(kAllFilesFilter), u"*.*");
    return offered;
}

void EditorShell::RunFileWork(LongWork work, std::function<void()> then) {
    view_.RunLongWork(
        std::move(work),
        [this](std::u16string_view text, float fraction) { SetStatus(text, fraction); },
        [this, then = std::move(then)](const Outcome& outcome) {
            if (!outcome) {
                SetStatus(outcome.message, 0.0f);
                return;
            }
            if (statusProgress != 0.0f) {
                SetStatus(u"Ready", 0.0f);  // a large file's progress is over
            }
            if (then) {
                then();
            }
        });
}

bool EditorShell::ConvertImportedData(const std::vector<PluginDataType>& types,
                                      std::u16string_view extension,
                                      std::vector<std::uint8_t>& bytes) {
    const bool converts = std::any_of(types.begin(), types.end(), [&](const PluginDataType& type) {
        return CompareIgnoringAsciiCase(extension, type.extension) == 0;
    });
    if (!converts) {
        return true;
    }
    BusyScope busy(view_);
    if (Outcome converted = bridge_->ImportData(extension, bytes); !converted) {
        SetStatus(converted.message, 0.0f);
        return false;
    }
    return true;
}

void EditorShell::CommitHandOver() {
    if (bridge_ == nullptr) {
        return;
    }
    if (std::optional<std::uint32_t> shown = bridge_->HandedOverAsset()) {
        bridge_->EndHandOver(*this, *shown);
    }
}

void EditorShell::ExportAsset() {
    if (document.assetCount() == 0 || currentAssetIndex >= document.entries.size()) {
        return;
    }
    std::u16string folder = FolderText(preferences.lastDataFolder);
    const std::vector<PluginDataType> types = SetDataFilters(PluginDataTypes());
    std::optional<std::u16string> path = fileDialog.ShowSaveDialog(
        chooser_, folder, document.entries[currentAssetIndex].name, u"Export Asset File", u"");
    if (!path) {
        return;
    }
    SetFolderText(preferences.lastDataFolder, folder);
    const std::size_t filter = fileDialog.chosenFilterIndex;
    const bool pluginType = filter >= 1 && filter <= types.size();
    if (fileDialog.extensionOffset == 0) {
        if (filter == types.size() + 1) {
            *path += u".data";
        } else if (pluginType) {
            *path += u"." + types[filter - 1].extension;
        }
    }
    if (IsSameFile(*path, document.WorkingCopyPath())) {
        // Writing an asset over the working copy would destroy the open document.
        SetStatus(u"Cannot export over the working copy " + *path, 0.0f);
        return;
    }
    if (pluginType) {
        // The plug-in converts on the interface thread, as its contract says (a long conversion
        // of its own runs beside the window); the file is written beside it.
        auto bytes = std::make_shared<std::vector<std::uint8_t>>();
        {
            BusyScope busy(view_);
            if (Outcome converted = bridge_->ExportData(types[filter - 1].extension, *bytes);
                !converted) {
                SetStatus(converted.message, 0.0f);
                return;
            }
        }
        RunFileWork([bytes, target = *path](const ProgressCallback&, std::stop_token) {
            return WriteWholeFile(target, *bytes);
        });
        return;
    }
    // The raw data is read from the working copy: it takes the panel's changes first.
    CommitHandOver();
    RunFileWork([this, index = currentAssetIndex, target = *path](const ProgressCallback& progress,
                                                                  std::stop_token stop) {
        return ExportAssetBody(document, index, target, progress, stop);
    });
}

void EditorShell::ImportAsset() {
    if (document.assetCount() == 0 || currentAssetIndex >= document.entries.size()) {
        return;
    }
    std::u16string folder = FolderText(preferences.lastDataFolder);
    const std::vector<PluginDataType> types = PluginDataTypes();
    SetDataFilters(types);
    std::optional<std::u16string> path =
        fileDialog.ShowOpenDialog(chooser_, folder, u" ", u"Import Asset File");
    if (!path) {
        return;
    }
    SetFolderText(preferences.lastDataFolder, folder);
    std::u16string extension;
    if (fileDialog.extensionOffset != 0) {
        extension = path->substr(fileDialog.extensionOffset);
    }
    // A large file is read beside the window; the list and the commands wait for it.
    auto body = std::make_shared<std::vector<std::uint8_t>>();
    RunFileWork(
        [body, source = *path](const ProgressCallback& progress, std::stop_token stop) {
            return ReadWholeFile(source, *body, progress, stop);
        },
        [this, body, types, extension, imported = currentAssetIndex] {
            FinishImport(imported, types, extension, *body);
        });
}

void EditorShell::FinishImport(std::uint32_t imported, const std::vector<PluginDataType>& types,
                               std::u16string_view extension, std::vector<std::uint8_t>& body) {
    if (imported >= document.entries.size()) {
        return;
    }
    if (!ConvertImportedData(types, extension, body)) {
        return;
    }
    Outcome replaced = ReplaceAssetBody(document, imported, body);
    if (!replaced) {
        SetStatus(replaced.message, 0.0f);
        return;
    }
    // The plug-in's own copy of the asset is out of date now: its changes must never be written
    // over the imported data. The panel is made afresh from what the asset now holds.
    if (bridge_ != nullptr && bridge_->HandedOverAsset() == imported) {
        bridge_->Reset();
        HandOverAsset(imported);
    }
    // The Size column shows the new size at once.
    view_.RowsChanged();
}

void EditorShell::AddAsset(std::u16string_view name, std::u16string_view indexOffsetText,
                           std::u16string_view typeText) {
    // The dialog's fields hold at most 255 characters each.
    name = name.substr(0, kNameCapacity - 1);
    indexOffsetText = indexOffsetText.substr(0, kNameCapacity - 1);
    typeText = typeText.substr(0, kNameCapacity - 1);
    const std::uint32_t indexOffset = ReadDialogUnsigned(indexOffsetText);
    std::uint32_t typeId = ReadTypeNumber(typeText);
    if (typeId == 0 && bridge_ != nullptr) {
        typeId = bridge_->TypeByName(typeText).value_or(0);
    }
    if (typeId == 0) {
        // Files of the later forms also take the name of a class their type list holds.
        typeId = static_cast<std::uint32_t>(FindClassInFile(document, typeText).value_or(0));
    }
    // The list is rebuilt afterwards, which ends the hand-over: the panel's changes go back first.
    CommitHandOver();
    Outcome added = kestrova::AddAsset(document, typeId, name, indexOffset);
    RebuildRows();
    if (!added) {
        // Shown after the rebuild, whose own messages would hide it.
        SetStatus(added.message, 0.0f);
    }
}

void EditorShell::RemoveAsset() {
    if (document.assetCount() == 0) {
        return;
    }
    // The panel's changes go back first, unless they belong to the asset being removed.
    if (bridge_ != nullptr && bridge_->HandedOverAsset() == currentAssetIndex) {
        bridge_->Reset();
    } else {
        CommitHandOver();
    }
    Outcome removed = kestrova::RemoveAsset(document, currentAssetIndex);
    RebuildRows();
    if (!removed) {
        SetStatus(removed.message, 0.0f);
    }
}

void EditorShell::RebuildRows() {
    const auto count = static_cast<std::uint32_t>(document.entries.size());
    rows_.resize(count);
    std::iota(rows_.begin(), rows_.end(), 0u);
    for (std::uint32_t i = 0; i < count; ++i) {
        FormatStepStatus(statusText, u"Building Asset List: ", i, count, document.entries[i].name);
        statusProgress = static_cast<float>(i) / static_cast<float>(count);
        view_.RefreshStatusBar();
    }
    SetStatus(u"Ready", 0.0f);
    currentAssetIndex = 0;
    // The hand-over ends with the old list: no plug-in's data may later be written back into an
    // asset that it was never given (or into another file's asset).
    if (bridge_ != nullptr) {
        bridge_->Reset();
    }
    view_.ClosePluginPanel();
    view_.RowsChanged();
}

void EditorShell::SortByColumn(int column) {
    if (column < 0 || column > 3) {
        return;
    }
    int key = 2 * column;
    if (sortState == column) {
        sortState = -1;
        key += 1;
    } else {
        sortState = column;
    }
    // The selected row follows its asset, so that a mode button re-selects the asset the user sees
    // highlighted rather than whatever the sort moved into that row.
    const bool followSelection =
        selectedRow >= 0 && static_cast<std::size_t>(selectedRow) < rows_.size();
    const std::uint32_t selectedAsset = followSelection ? rows_[selectedRow] : 0;
    SortRows(key);
    if (followSelection) {
        const auto row = std::find(rows_.begin(), rows_.end(), selectedAsset);
        selectedRow = static_cast<std::int32_t>(row - rows_.begin());
    }
    view_.RowsChanged();
}

void EditorShell::SortRows(int key) {
    // Rows whose keys are equal keep their current order. The keys are gathered into a compact
    // array first, so that the sort does not wander through the asset table.
    const bool descending = (key & 1) != 0;
    const int column = key / 2;
    const std::vector<AssetEntry>& entries = document.entries;
    std::vector<SortItem> items(rows_.size());
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        items[i].asset = rows_[i];
    }
    if (column == 0) {
        if (!items.empty()) {
            // Read in table order, which is the order the names lie in memory.
            const std::size_t from = SkipSharedChunks(
                entries.size(), [&](std::size_t k) { return std::u16string_view(entries[k].name); },
                0);
            StableSortByName(items, entries, from, descending);
        }
    } else {
        for (SortItem& item : items) {
            item.key = NumericSortKey(entries[item.asset], column);
        }
        StableSortItems(items, descending);
    }
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        rows_[i] = items[i].asset;
    }
}

bool EditorShell::SelectAsset(std::int32_t row) {
    selectedRow = row;
    if (row < 0 || document.assetCount() == 0 || static_cast<std::size_t>(row) >= rows_.size()) {
        return false;
    }
    const std::uint32_t asset = rows_[static_cast<std::size_t>(row)];
    if (asset >= document.entries.size()) {
        return false;
    }
    if (asset != currentAssetIndex) {
        if (bridge_ != nullptr) {
            bridge_->EndHandOver(*this, currentAssetIndex);
        }
        currentAssetIndex = asset;
    }
    if (!HandOverAsset(asset)) {
        return false;
    }
    SetStatus(u"Asset Selected: " + document.entries[asset].name, 0.0f);
    return true;
}

bool EditorShell::HandOverAsset(std::uint32_t asset) {
    view_.ClosePluginPanel();
    if (bridge_ == nullptr) {
        return true;
    }
    return bridge_->BeginHandOver(*this, asset, panelMode());
}

void EditorShell::SetPanelMode(PanelMode mode) {
    preferences.panelMode = static_cast<std::int32_t>(mode);
    SelectAsset(selectedRow);
}

void EditorShell::Shutdown() {
    CloseAssetFile(document);
}

}  // namespace kestrova

#pragma once
// The plug-in's state and the mod form's decisions, without any window: the mod being built,
// the asset handed over last, the form's lists and selections, and what every control does.
// The Qt form shows what this holds and forwards the user's actions here; after each action it
// refreshes from this state.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/string_list.h"
#include "plugins/ravelin/core/form_services.h"
#include "plugins/ravelin/core/mod_file.h"
#include "plugins/ravelin/core/mod_record.h"
#include "plugins/ravelin/core/mod_templates.h"

namespace kestrova::ravelin {

// The edit controls and the record field each one writes.
enum class ModField { Name, Version, Author, Date, Directory, VerifyFile, Description, IconPath };

// One line of the "Mod Files" list: its text and the entry it stands for.
struct EntryListItem {
    std::u16string text;
    std::size_t entry = 0;
};

// The "%s/%s (%i)" line of an entry (the file, its member when it has one, the asset's name and
// path id), at most 511 characters.
std::u16string EntryListText(const ModEntry& entry);

// The order in which a sorted list shows texts: by text ignoring the case of A-Z, then by code
// units; equal texts keep their order.
std::vector<std::size_t> SortedOrder(const std::vector<std::u16string>& texts);

// The rules of the "..." buttons. A chosen folder gives the part of its path after the first
// separator (nothing for a root); a verify file gives its path below `directory`, when it lies
// there (compared by case, on any drive).
std::optional<std::u16string> DirectoryFromFolder(std::u16string_view folder);
std::optional<std::u16string> VerifyFileFromPath(std::u16string_view path,
                                                 std::u16string_view directory);

class ModSession {
public:
    explicit ModSession(ModWorkFiles files = {}, std::u16string dataFolder = {});

    // A hand-over from the editor. With a form, the form's lists are filled anew and nothing is
    // selected in "Mod Files"; the next two RecordImport calls describe the asset.
    void BeginForm(const std::uint8_t* data, std::int32_t length, bool withForm);
    // The form was destroyed: its lists and the handed-over data are released.
    void EndForm();
    void RecordImport(const char16_t* text, const std::int32_t* value, const char16_t* number);

    // The form's content.
    const ModRecord& mod() const { return mod_; }
    ModRecord& mod() { return mod_; }
    const PendingAsset& pending() const { return pending_; }
    std::u16string FieldValue(ModField field) const;
    std::vector<EntryListItem> EntryList() const;  // in the order the list shows them
    std::vector<std::u16string> TemplateItems() const;
    std::optional<std::size_t> TemplateSelection() const;
    std::vector<std::u16string> InstallerItems() const;  // sorted, as the box shows them
    std::optional<std::size_t> InstallerSelection() const { return installerShown_; }
    std::uint32_t selectedEntry() const { return selectedEntry_; }
    const std::u16string& dataFolder() const { return dataFolder_; }
    const ModWorkFiles& files() const { return files_; }

    // The user's actions.
    void EditField(ModField field, std::u16string_view text);
    void SelectEntry(std::size_t entry);
    void ChooseTemplate(std::size_t position);
    void ChooseInstaller(std::size_t position);
    void BrowseDirectory(FolderChooser& chooser);
    void BrowseVerifyFile(FileChooser& chooser);
    void BrowseIcon(FileChooser& chooser);
    void AddFile(MessageSink& sink);
    void RemoveFile(MessageSink& sink);
    // Save Mod, Open Mod and Package Mod run their copy on `runner` when one is given and the
    // data is large enough to take a while (kBackgroundBytes), otherwise at once. A cancelled one
    // changes nothing and warns of nothing.
    static constexpr std::uint64_t kBackgroundBytes = std::uint64_t{8} << 20;
    void SaveModFile(FileChooser& chooser, MessageSink& sink, WorkRunner* runner = nullptr);
    void OpenModFile(FileChooser& chooser, MessageSink& sink, WorkRunner* runner = nullptr);
    void PackageModFile(FileChooser& chooser, MessageSink& sink, WorkRunner* runner = nullptr);
    // The list is refilled after every action, with nothing selected.
    void Refreshed() { selectedEntry_ = 0; }

private:
    void FillFormLists();
    // Runs `work` on a copy of the mod, on `runner` when `bytes` are many; on success the copy
    // becomes the mod, otherwise `sink` is told why under `caption` (not for a cancellation).
    void RunOnCopy(WorkRunner* runner, std::uint64_t bytes, std::u16string_view caption,
                   MessageSink& sink,
                   std::function<Outcome(ModRecord& mod, const ProgressCallback& progress,
                                         std::stop_token stop)>
                       work);

    ModWorkFiles files_;
    std::u16string dataFolder_;
    ModRecord mod_;
    PendingAsset pending_;
    std::uint32_t selectedEntry_ = 0;  // the selected entry + 1; 0 for none
    std::size_t selectedTemplate_ = 0;
    std::size_t selectedInstaller_ = 0;
    std::optional<std::size_t> installerShown_;
    std::vector<ModTemplate> templates_;
    StringList installers_;                    // bare names, in the order of the scan
    std::vector<std::size_t> installerOrder_;  // the box's items as positions in installers_
};

}  // namespace kestrova::ravelin

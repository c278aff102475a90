#include "plugins/ravelin/core/mod_session.h"

#include <algorithm>
#include <memory>
#include <numeric>

#include "common/platform.h"
#include "common/text.h"
#include "plugins/ravelin/core/mod_contents.h"
#include "plugins/ravelin/core/mod_package.h"

namespace kestrova::ravelin {

namespace {

bool IsSeparator(char16_t c) {
    return c == u'/' || c == u'\\';
}

// The part of a path after its first separator; nothing when it has none.
std::optional<std::u16string_view> AfterFirstSeparator(std::u16string_view path) {
    std::size_t separator = path.find_first_of(u"/\\");
    if (separator == std::u16string_view::npos) {
        return std::nullopt;
    }
    return path.substr(separator + 1);
}

const FileFilter kAllFiles{u"All Files (*.*)", u"*.*"};
const FileFilter kModFiles{u"Unity Mod File (*.umod)", u"*.umod"};

}  // namespace

std::u16string EntryListText(const ModEntry& entry) {
    const std::u16string file =
        entry.member.empty() ? entry.fileName : entry.fileName + u"/" + entry.member;
    return FieldText(file + u"/" + entry.assetName + u" (" + PathIdText(entry.pathId) + u")",
                     kPathCapacity);
}

std::vector<std::size_t> SortedOrder(const std::vector<std::u16string>& texts) {
    std::vector<std::size_t> order(texts.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        int folded = CompareIgnoringAsciiCase(texts[a], texts[b]);
        return folded != 0 ? folded < 0 : texts[a] < texts[b];
    });
    return order;
}

std::optional<std::u16string> DirectoryFromFolder(std::u16string_view folder) {
    std::optional<std::u16string_view> rest = AfterFirstSeparator(folder);
    if (!rest || rest->empty()) {
        return std::nullopt;
    }
    return FieldText(*rest, kPathCapacity);
}

std::optional<std::u16string> VerifyFileFromPath(std::u16string_view path,
                                                 std::u16string_view directory) {
    std::optional<std::u16string_view> rest = AfterFirstSeparator(path);
    if (!rest || !rest->starts_with(directory) || rest->size() < directory.size() + 2 ||
        !IsSeparator((*rest)[directory.size()])) {
        return std::nullopt;
    }
    return FieldText(rest->substr(directory.size() + 1), kPathCapacity);
}

ModSession::ModSession(ModWorkFiles files, std::u16string dataFolder)
    : files_(std::move(files)), dataFolder_(std::move(dataFolder)) {}

void ModSession::BeginForm(const std::uint8_t* data, std::int32_t length, bool withForm) {
    BeginHandOver(pending_, data, length);
    selectedEntry_ = 0;
    if (withForm) {
        FillFormLists();
    }
}

void ModSession::EndForm() {
    Clear(installers_);
    installerOrder_.clear();
    templates_.clear();
    pending_.payload.clear();
    pending_.payload.shrink_to_fit();
}

void ModSession::RecordImport(const char16_t* text, const std::int32_t* value,
                              const char16_t* number) {
    ravelin::RecordImport(pending_, text, value, number);
}

void ModSession::FillFormLists() {
    templates_.clear();
    installerShown_.reset();
    if (dataFolder_.empty()) {
        Reset(installers_);
    } else {
        ScanInstallers(InstallersFolder(dataFolder_), installers_);
    }
    std::vector<std::u16string> scanned;
    for (std::size_t i = 0; i < installers_.count(); ++i) {
        scanned.push_back(installers_.at(i));
    }
    installerOrder_ = SortedOrder(scanned);
    for (std::size_t position = 0; position < installerOrder_.size(); ++position) {
        if (installers_.at(installerOrder_[position]) == mod_.installer) {
            selectedInstaller_ = position;
            break;
        }
    }
    if (selectedInstaller_ < installerOrder_.size()) {
        installerShown_ = selectedInstaller_;
    }
    if (!dataFolder_.empty()) {
        LoadTemplates(TemplatesFile(dataFolder_), templates_);
    }
}

namespace {

template <typename Record>
auto FieldOf(Record& mod, ModField field) -> decltype(&mod.name) {
    switch (field) {
        case ModField::Name:
            return &mod.name;
        case ModField::Version:
            return &mod.version;
        case ModField::Author:
            return &mod.author;
        case ModField::Date:
            return &mod.date;
        case ModField::Directory:
            return &mod.directory;
        case ModField::VerifyFile:
            return &mod.verifyFile;
        case ModField::Description:
            return &mod.description;
        case ModField::IconPath:
            return &mod.iconPath;
    }
    return &mod.name;
}

}  // namespace

std::u16string ModSession::FieldValue(ModField field) const {
    return *FieldOf(mod_, field);
}

void ModSession::EditField(ModField field, std::u16string_view text) {
    std::size_t capacity = kNameCapacity;
    if (field == ModField::Directory || field == ModField::VerifyFile ||
        field == ModField::IconPath) {
        capacity = kPathCapacity;
    } else if (field == ModField::Description) {
        capacity = kDescriptionCapacity;
    }
    *FieldOf(mod_, field) = FieldText(text, capacity);
}

std::vector<EntryListItem> ModSession::EntryList() const {
    std::vector<std::u16string> texts;
    for (const ModEntry& e : mod_.entries) {
        texts.push_back(EntryListText(e));
    }
    std::vector<EntryListItem> items;
    for (std::size_t i : SortedOrder(texts)) {
        items.push_back({texts[i], i});
    }
    return items;
}

std::vector<std::u16string> ModSession::TemplateItems() const {
    std::vector<std::u16string> names;
    for (const ModTemplate& t : templates_) {
        names.push_back(t.name);
    }
    return names;
}

std::optional<std::size_t> ModSession::TemplateSelection() const {
    if (selectedTemplate_ < templates_.size()) {
        return selectedTemplate_;
    }
    return std::nullopt;
}

std::vector<std::u16string> ModSession::InstallerItems() const {
    std::vector<std::u16string> names;
    for (std::size_t i : installerOrder_) {
        names.push_back(installers_.at(i));
    }
    return names;
}

void ModSession::SelectEntry(std::size_t entry) {
    selectedEntry_ = static_cast<std::uint32_t>(entry + 1);
}

void ModSession::ChooseTemplate(std::size_t position) {
    if (position >= templates_.size()) {
        return;
    }
    selectedTemplate_ = position;
    const ModTemplate& chosen = templates_[position];
    mod_.directory = FieldText(chosen.directory, kPathCapacity);
    mod_.verifyFile = FieldText(chosen.verifyFile, kPathCapacity);
    // The first installer of that name in the order of the scan.
    for (std::size_t i = 0; i < installers_.count(); ++i) {
        if (installers_.at(i) == chosen.installer) {
            auto shown = std::find(installerOrder_.begin(), installerOrder_.end(), i);
            selectedInstaller_ = static_cast<std::size_t>(shown - installerOrder_.begin());
            installerShown_ = selectedInstaller_;
            mod_.installer = FieldText(chosen.installer, kNameCapacity);
            break;
        }
    }
}

void ModSession::ChooseInstaller(std::size_t position) {
    if (position >= installerOrder_.size()) {
        return;
    }
    selectedInstaller_ = position;
    installerShown_ = position;
    mod_.installer = FieldText(installers_.at(installerOrder_[position]), kNameCapacity);
}

void ModSession::BrowseDirectory(FolderChooser& chooser) {
    if (std::optional<std::u16string> folder = chooser.ChooseFolder(u"Select Assets Directory")) {
        if (std::optional<std::u16string> directory = DirectoryFromFolder(*folder)) {
            mod_.directory = *directory;
        }
    }
}

void ModSession::BrowseVerifyFile(FileChooser& chooser) {
    if (std::optional<std::u16string> path =
            chooser.Choose({false, u"Select Verification File", {kAllFiles}})) {
        if (std::optional<std::u16string> file = VerifyFileFromPath(*path, mod_.directory)) {
            mod_.verifyFile = *file;
        }
    }
}

void ModSession::BrowseIcon(FileChooser& chooser) {
    FileRequest request{
        false, u"Open Icon File", {{u"Windows Icon File (*.ico)", u"*.ico"}, kAllFiles}};
    if (std::optional<std::u16string> path = chooser.Choose(request)) {
        mod_.iconPath = FieldText(*path, kPathCapacity);
    }
}

void ModSession::AddFile(MessageSink& sink) {
    if (Outcome o = AddPendingAsset(mod_, pending_, files_); !o) {
        sink.Warn(kAddFailedCaption, o.message);
    }
}

void ModSession::RemoveFile(MessageSink& sink) {
    if (selectedEntry_ == 0) {
        return;
    }
    Outcome o = RemoveEntry(mod_, selectedEntry_ - 1, files_);
    selectedEntry_ = 0;
    if (!o) {
        sink.Warn(u"Remove File", o.message);
    }
}

void ModSession::RunOnCopy(
    WorkRunner* runner, std::uint64_t bytes, std::u16string_view caption, MessageSink& sink,
    std::function<Outcome(ModRecord& mod, const ProgressCallback& progress, std::stop_token stop)>
        work) {
    // The work changes a copy, which replaces the mod only when it succeeded.
    auto copy = std::make_shared<ModRecord>(mod_);
    const std::u16string title(caption);
    auto done = [this, copy, title, &sink](const Outcome& o) {
        if (o) {
            mod_ = std::move(*copy);
        } else if (o.message != Cancelled().message) {
            sink.Warn(title, o.message);
        }
    };
    if (runner == nullptr || bytes < kBackgroundBytes) {
        done(work(*copy, {}, {}));
        return;
    }
    runner->Run(
        caption,
        [copy, work = std::move(work)](const ProgressCallback& progress, std::stop_token stop) {
            return work(*copy, progress, std::move(stop));
        },
        std::move(done));
}

namespace {

std::uint64_t SizeOf(const std::u16string& path) {
    return platform::FileExists(path) ? platform::FileSize(path).value_or(0) : 0;
}

}  // namespace

void ModSession::SaveModFile(FileChooser& chooser, MessageSink& sink, WorkRunner* runner) {
    if (std::optional<std::u16string> path =
            chooser.Choose({true, u"Save Mod File", {kModFiles, kAllFiles}})) {
        RunOnCopy(runner, SizeOf(files_.data), u"Save Mod File", sink,
                  [target = *path, files = files_](ModRecord& mod, const ProgressCallback& progress,
                                                   std::stop_token stop) {
                      return SaveModAs(target, mod, files, progress, stop);
                  });
    }
}

void ModSession::OpenModFile(FileChooser& chooser, MessageSink& sink, WorkRunner* runner) {
    if (std::optional<std::u16string> path =
            chooser.Choose({false, u"Open Mod File", {kModFiles, kAllFiles}})) {
        RunOnCopy(runner, SizeOf(*path), u"Open Mod File", sink,
                  [source = *path, files = files_](ModRecord& mod, const ProgressCallback& progress,
                                                   std::stop_token stop) {
                      return OpenMod(source, mod, files, progress, stop);
                  });
    }
}

void ModSession::PackageModFile(FileChooser& chooser, MessageSink& sink, WorkRunner* runner) {
    FileRequest request{
        true, u"Package Mod", {{u"Unity Mod Installer (*.exe)", u"*.exe"}, kAllFiles}};
    if (std::optional<std::u16string> path = chooser.Choose(request)) {
        RunOnCopy(runner, SizeOf(files_.data), u"Package Mod", sink,
                  [target = *path, files = files_, folder = dataFolder_](
                      ModRecord& mod, const ProgressCallback& progress, std::stop_token stop) {
                      return PackageMod(mod, folder, target, files, progress, stop);
                  });
    }
}

}  // namespace kestrova::ravelin

#include "installer/core/mod_apply.h"

#include <algorithm>
#include <deque>
#include <map>
#include <memory>
#include <unordered_map>

#include "common/platform.h"
#include "common/text.h"
#include "document/asset_file.h"
#include "pe/pe_image.h"
#include "plugins/ravelin/core/mod_contents.h"

namespace kestrova::installer {

namespace {

using ravelin::ModEntry;
using ravelin::ModRecord;

// The folders (one a file, numbered) in which working copies are made beside the files they
// replace; the search for asset files never enters them.
constexpr char16_t kWorkFolder[] = u".kestrova-install";
constexpr char16_t kBackupSuffix[] = u".bak";
constexpr char16_t kAsideSuffix[] = u".kestrova-old";
// The search for asset files ends somewhere, even in a folder that links back to itself.
constexpr int kMaxSearchDepth = 32;
constexpr std::size_t kMaxSearchFolders = 100000;

bool IsSeparator(char16_t c) {
    return c == u'/' || c == u'\\';
}

std::u16string Join(const std::u16string& folder, std::u16string_view name) {
    std::u16string path = folder;
    if (!path.empty() && !IsSeparator(path.back())) {
        path += platform::kSeparator;
    }
    return path.append(name);
}

// A path written in the mod (with either separator) in this platform's spelling, without
// leading separators.
std::u16string Relative(std::u16string_view path) {
    std::u16string out;
    for (char16_t c : path) {
        if (IsSeparator(c)) {
            if (!out.empty() && out.back() != platform::kSeparator) {
                out += platform::kSeparator;
            }
        } else {
            out += c;
        }
    }
    return out;
}

std::u16string Lower(std::u16string_view text) {
    std::u16string out(text);
    for (char16_t& c : out) {
        if (c >= u'A' && c <= u'Z') {
            c = static_cast<char16_t>(c - u'A' + u'a');
        }
    }
    return out;
}

bool Given(const std::u16string& text) {
    return !text.empty() && text != ravelin::kNotSet;
}

// Finds files by name (letters A-Z in either case) in `root` and below it: breadth first, the
// names of each folder in code-unit order, so that the same folder gives the same answer on
// every system. Returns the first path found for each wanted name (given in lower case).
std::map<std::u16string, std::u16string> FindFiles(const std::u16string& root,
                                                   const std::vector<std::u16string>& wanted) {
    std::map<std::u16string, std::u16string> found;
    std::deque<std::pair<std::u16string, int>> folders{{root, 0}};
    std::size_t visited = 0;
    while (!folders.empty() && found.size() < wanted.size() && visited++ < kMaxSearchFolders) {
        auto [folder, depth] = std::move(folders.front());
        folders.pop_front();
        std::optional<std::vector<platform::DirectoryEntry>> entries =
            platform::ListDirectory(folder);
        if (!entries) {
            continue;
        }
        std::sort(entries->begin(), entries->end(),
                  [](const auto& a, const auto& b) { return a.name < b.name; });
        for (const platform::DirectoryEntry& e : *entries) {
            const std::u16string key = Lower(e.name);
            if (e.isFolder) {
                if (depth + 1 < kMaxSearchDepth && key.rfind(kWorkFolder, 0) != 0) {
                    folders.emplace_back(Join(folder, e.name), depth + 1);
                }
            } else if (std::find(wanted.begin(), wanted.end(), key) != wanted.end() &&
                       !found.count(key)) {
                found[key] = Join(folder, e.name);
            }
        }
    }
    return found;
}

std::u16string Lines(const std::vector<std::u16string>& lines) {
    std::u16string out;
    for (const std::u16string& line : lines) {
        out += u"\n- " + line;
    }
    return out;
}

std::u16string Describe(const ModEntry& e) {
    return e.fileName + u" / " + e.assetName + u" (path id " + DecimalText(e.index) + u")";
}

// One asset file the mod changes, loaded into its own working copy.
struct TargetFile {
    std::u16string path;
    std::vector<std::size_t> entries;   // indices into the mod's entries
    std::vector<std::uint32_t> assets;  // the table index of each entry's asset
    std::unique_ptr<AssetFile> doc;
    std::u16string movedTo;  // where the original went while the new file takes its place
    bool newBackup = false;
};

class Installation {
public:
    Installation(const ModRecord& mod, std::span<const std::uint8_t> payload,
                 const std::u16string& root, const ApplyProgress& progress)
        : mod_(mod), payload_(payload), root_(root), progress_(progress) {}
    ~Installation() { Clean(); }
    Installation(const Installation&) = delete;
    Installation& operator=(const Installation&) = delete;

    Outcome Run(ApplyReport* report) {
        if (Outcome o = CheckGameFolder(mod_, root_); !o) {
            return o;
        }
        if (Outcome o = Check(); !o) {
            return o;
        }
        if (Outcome o = Apply(); !o) {
            return o;
        }
        if (Outcome o = Commit(); !o) {
            return o;
        }
        if (report != nullptr) {
            for (const TargetFile& t : files_) {
                report->changedFiles.push_back(t.path);
                if (t.newBackup) {
                    report->newBackups.push_back(t.movedTo);
                }
            }
        }
        return Outcome::Success();
    }

private:
    void Tell(const std::u16string& text) const {
        if (progress_) {
            progress_(text);
        }
    }

    Outcome Refuse(const std::vector<std::u16string>& problems) const {
        return Outcome::Failure(u"The mod cannot be installed in " + root_ + u":" +
                                Lines(problems) + u"\nNothing was changed.");
    }

    // Every entry's file, asset and data, before anything is written.
    Outcome Check() {
        std::vector<std::u16string> problems;
        std::vector<std::u16string> wanted;
        for (const ModEntry& e : mod_.entries) {
            if (!IsPlainFileName(e.fileName)) {
                problems.push_back(Describe(e) + u": the file name is not a plain file name.");
            } else if (std::find(wanted.begin(), wanted.end(), Lower(e.fileName)) == wanted.end()) {
                wanted.push_back(Lower(e.fileName));
            }
        }
        Tell(u"Looking for the mod's files in " + root_);
        const std::map<std::u16string, std::u16string> found = FindFiles(root_, wanted);
        for (std::size_t i = 0; i < mod_.entries.size(); ++i) {
            const ModEntry& e = mod_.entries[i];
            auto where = found.find(Lower(e.fileName));
            if (!IsPlainFileName(e.fileName)) {
                continue;
            }
            if (where == found.end()) {
                problems.push_back(e.fileName + u" is missing (needed for " + Describe(e) + u").");
                continue;
            }
            auto same = [&](const TargetFile& t) { return t.path == where->second; };
            auto target = std::find_if(files_.begin(), files_.end(), same);
            if (target == files_.end()) {
                files_.push_back({where->second, {}, {}, nullptr, {}, false});
                target = files_.end() - 1;
            }
            target->entries.push_back(i);
        }
        for (std::size_t k = 0; k < files_.size(); ++k) {
            CheckFile(files_[k], k, problems);
        }
        return problems.empty() ? Outcome::Success() : Refuse(problems);
    }

    void CheckFile(TargetFile& target, std::size_t k, std::vector<std::u16string>& problems) {
        Tell(u"Checking " + target.path);
        target.doc = std::make_unique<AssetFile>();
        // The working copy lies beside the file it replaces, so that it takes its place by a
        // rename on the same disk.
        const std::u16string folder = target.path.substr(0, FileNameStart(target.path));
        target.doc->workingFolder =
            folder + kWorkFolder + DecimalText(static_cast<std::int64_t>(k));
        if (!platform::CreateDirectory(target.doc->workingFolder) &&
            !platform::FileExists(target.doc->workingFolder)) {
            problems.push_back(u"Cannot create a working folder beside " + target.path + u".");
            target.doc.reset();
            return;
        }
        if (Outcome o = LoadAssetFile(*target.doc, target.path); !o) {
            problems.push_back(target.path + u" is not an asset file that loads: " + o.message);
            CloseAssetFile(*target.doc);  // removes the working folder the load made
            target.doc.reset();
            return;
        }
        // One pass over the table finds the first asset of each path id the mod names, so that
        // many entries in a file of many assets cost no more than reading its table.
        constexpr std::uint32_t kNoAsset = 0xFFFFFFFF;
        std::unordered_map<std::uint32_t, std::uint32_t> firstAsset;
        for (std::size_t i : target.entries) {
            firstAsset.emplace(mod_.entries[i].index, kNoAsset);
        }
        const std::vector<AssetEntry>& assets = target.doc->entries;
        for (std::uint32_t a = 0; a < assets.size(); ++a) {
            // A mod names its assets by 32-bit path ids.
            if (assets[a].pathId < 0 || assets[a].pathId > 0xFFFFFFFF) {
                continue;
            }
            auto wanted = firstAsset.find(static_cast<std::uint32_t>(assets[a].pathId));
            if (wanted != firstAsset.end() && wanted->second == kNoAsset) {
                wanted->second = a;
            }
        }
        for (std::size_t i : target.entries) {
            const ModEntry& e = mod_.entries[i];
            const std::uint32_t asset = firstAsset.at(e.index);
            if (asset == kNoAsset) {
                problems.push_back(target.path + u" holds no asset with path id " +
                                   DecimalText(e.index) + u" (needed for " + Describe(e) + u").");
            } else if (std::uint64_t{e.offset} + e.length > payload_.size()) {
                problems.push_back(Describe(e) + u": its data lies outside the mod.");
            } else if (ravelin::EntryNamePrefix(e.assetName).size() > e.length) {
                problems.push_back(Describe(e) + u": its data is shorter than its name.");
            }
            target.assets.push_back(asset);
        }
    }

    // New bodies into every working copy.
    Outcome Apply() {
        for (TargetFile& target : files_) {
            Tell(u"Changing " + target.path);
            for (std::size_t n = 0; n < target.entries.size(); ++n) {
                const ModEntry& e = mod_.entries[target.entries[n]];
                const std::size_t prefix = ravelin::EntryNamePrefix(e.assetName).size();
                std::span<const std::uint8_t> body =
                    payload_.subspan(e.offset + prefix, e.length - prefix);
                if (Outcome o = ReplaceAssetBody(*target.doc, target.assets[n], body); !o) {
                    return Outcome::Failure(u"Cannot change " + Describe(e) + u" in " +
                                            target.path + u": " + o.message +
                                            u"\nNothing was changed.");
                }
            }
        }
        return Outcome::Success();
    }

    // The originals step aside (to their backup when there is none yet), the new files take
    // their places; any failure puts every original back.
    Outcome Commit() {
        std::size_t moved = 0;
        for (; moved < files_.size(); ++moved) {
            TargetFile& t = files_[moved];
            const std::u16string backup = t.path + kBackupSuffix;
            t.newBackup = !platform::FileExists(backup);
            t.movedTo = t.newBackup ? backup : t.path + kAsideSuffix;
            if (!t.newBackup) {
                platform::DeleteFile(t.movedTo);
            }
            if (!platform::MoveFile(t.path, t.movedTo)) {
                return Undo(moved, 0, t.path);
            }
        }
        for (std::size_t placed = 0; placed < files_.size(); ++placed) {
            TargetFile& t = files_[placed];
            if (!platform::MoveFile(t.doc->WorkingCopyPath(), t.path)) {
                return Undo(files_.size(), placed, t.path);
            }
        }
        for (const TargetFile& t : files_) {
            if (!t.newBackup) {
                platform::DeleteFile(t.movedTo);
            }
        }
        return Outcome::Success();
    }

    Outcome Undo(std::size_t moved, std::size_t placed, const std::u16string& failed) {
        for (std::size_t k = 0; k < placed; ++k) {
            platform::DeleteFile(files_[k].path);
        }
        for (std::size_t k = 0; k < moved; ++k) {
            platform::MoveFile(files_[k].movedTo, files_[k].path);
            files_[k].newBackup = false;
        }
        return Outcome::Failure(u"Cannot replace " + failed +
                                u" (is the game running?). Nothing was changed.");
    }

    void Clean() {
        for (TargetFile& t : files_) {
            if (t.doc) {
                CloseAssetFile(*t.doc);
            }
        }
    }

    const ModRecord& mod_;
    std::span<const std::uint8_t> payload_;
    const std::u16string& root_;
    const ApplyProgress& progress_;
    std::vector<TargetFile> files_;
};

}  // namespace

Outcome ModSource::Open(const std::u16string& path) {
    if (!file_.Open(path)) {
        return Outcome::Failure(u"Cannot open " + path + u".");
    }
    file_.AdviseSequential();
    std::uint64_t start = 0;
    if (std::optional<std::uint64_t> end = AppendedModStart(file_.bytes())) {
        if (*end >= file_.size()) {
            return Outcome::Failure(path + u" is an installer program with no mod in it.");
        }
        start = *end;
        packaged_ = true;
    }
    return ravelin::ParseMod(file_.bytes(), start, mod_, layout_);
}

std::span<const std::uint8_t> ModSource::payload() const {
    return file_.bytes().subspan(layout_.payloadStart, layout_.payloadLength);
}

std::optional<std::uint64_t> AppendedModStart(std::span<const std::uint8_t> bytes) {
    ravelin::PeImage image;
    if (!ravelin::ReadPeImage(bytes, image)) {
        return std::nullopt;
    }
    return image.imageEnd;
}

std::u16string GameFolderOn(const std::u16string& drive, const std::u16string& directory) {
    return Join(drive, Relative(directory));
}

Outcome CheckGameFolder(const ModRecord& mod, const std::u16string& root) {
    if (root.empty() || !platform::FileExists(root)) {
        return Outcome::Failure(u"The folder " + root + u" does not exist.");
    }
    if (Given(mod.verifyFile) && !platform::FileExists(Join(root, Relative(mod.verifyFile)))) {
        return Outcome::Failure(u"The folder " + root + u" is not the game's folder: " +
                                mod.verifyFile + u" is not in it.");
    }
    return Outcome::Success();
}

std::u16string OnOneLine(std::u16string_view message) {
    std::u16string out;
    for (char16_t c : message) {
        if (c == u'\n') {
            out += u' ';
        } else if (c != u'\r') {
            out += c;
        }
    }
    return out;
}

Outcome InstallMod(const ModRecord& mod, std::span<const std::uint8_t> payload,
                   const std::u16string& root, const ApplyProgress& progress, ApplyReport* report) {
    return Installation(mod, payload, root, progress).Run(report);
}

Outcome UninstallMod(const ModRecord& mod, const std::u16string& root, ApplyReport* report) {
    if (Outcome o = CheckGameFolder(mod, root); !o) {
        return o;
    }
    std::vector<std::u16string> wanted;
    for (const ModEntry& e : mod.entries) {
        const std::u16string backup = Lower(e.fileName + kBackupSuffix);
        if (IsPlainFileName(e.fileName) &&
            std::find(wanted.begin(), wanted.end(), backup) == wanted.end()) {
            wanted.push_back(backup);
        }
    }
    std::vector<std::u16string> failed;
    std::size_t restored = 0;
    for (const auto& [name, backup] : FindFiles(root, wanted)) {
        const std::u16string original =
            backup.substr(0, backup.size() - std::char_traits<char16_t>::length(kBackupSuffix));
        if (platform::ReplaceFile(backup, original)) {
            ++restored;
            if (report != nullptr) {
                report->changedFiles.push_back(original);
            }
        } else {
            failed.push_back(original);
        }
    }
    if (!failed.empty()) {
        return Outcome::Failure(
            u"Cannot restore these files from their backups (is the game "
            u"running?):" +
            Lines(failed));
    }
    if (restored == 0) {
        return Outcome::Failure(u"There is no backup of the mod's files in " + root +
                                u" to restore.");
    }
    return Outcome::Success();
}

}  // namespace kestrova::installer

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

// The search for asset files ends somewhere, even in a folder that links back to itself.
constexpr int kMaxSearchDepth = 32;
constexpr std::size_t kMaxSearchFolders = 100000;

bool IsSeparator(char16_t c) {
    return c == u'/' || c == u'\\';
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
// every system. Returns the first path found for each wanted name (given in lower case), as a
// path inside `root`.
std::map<std::u16string, std::u16string> FindFiles(const std::u16string& root,
                                                   const std::vector<std::u16string>& wanted) {
    std::map<std::u16string, std::u16string> found;
    std::deque<std::pair<std::u16string, int>> folders{{u"", 0}};
    std::size_t visited = 0;
    while (!folders.empty() && found.size() < wanted.size() && visited++ < kMaxSearchFolders) {
        auto [folder, depth] = std::move(folders.front());
        folders.pop_front();
        std::optional<std::vector<platform::DirectoryEntry>> entries =
            platform::ListDirectory(folder.empty() ? root : platform::JoinPath(root, folder));
        if (!entries) {
            continue;
        }
        std::sort(entries->begin(), entries->end(),
                  [](const auto& a, const auto& b) { return a.name < b.name; });
        for (const platform::DirectoryEntry& e : *entries) {
            const std::u16string key = Lower(e.name);
            if (e.isFolder) {
                if (depth + 1 < kMaxSearchDepth && key.rfind(kWorkFolderPrefix, 0) != 0) {
                    folders.emplace_back(platform::JoinPath(folder, e.name), depth + 1);
                }
            } else if (std::find(wanted.begin(), wanted.end(), key) != wanted.end() &&
                       !found.count(key)) {
                found[key] = platform::JoinPath(folder, e.name);
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
    const std::u16string file = e.member.empty() ? e.fileName : e.fileName + u" / " + e.member;
    return file + u" / " + e.assetName + u" (path id " + ravelin::PathIdText(e.pathId) + u")";
}

// One asset file the mod changes, loaded into its own working copy.
struct TargetFile {
    std::u16string path;                // inside the game folder
    std::vector<std::size_t> entries;   // indices into the mod's entries
    std::vector<std::uint32_t> assets;  // the table index of each entry's asset
    std::unique_ptr<AssetFile> doc;
};

class Installation {
public:
    Installation(const ModRecord& mod, std::span<const std::uint8_t> payload,
                 const std::u16string& root, const ApplyProgress& progress,
                 const StepObserver& afterStep)
        : mod_(mod),
          payload_(payload),
          root_(root),
          progress_(progress),
          afterStep_(afterStep),
          replacement_(root, afterStep) {}

    Outcome Run(ApplyReport* report) {
        if (Outcome o = CheckGameFolder(mod_, root_); !o) {
            return o;
        }
        Recovery recovery;
        if (Outcome o = FileReplacement::Recover(root_, recovery, afterStep_); !o) {
            return o;
        }
        if (!recovery.message.empty()) {
            Tell(recovery.message);
            if (report != nullptr) {
                report->recovery = recovery.message;
            }
        }
        if (Outcome o = Check(); !o) {
            return o;
        }
        if (Outcome o = Apply(); !o) {
            return o;
        }
        if (Outcome o = replacement_.Replace(); !o) {
            return o;
        }
        if (report != nullptr) {
            for (std::size_t k = 0; k < files_.size(); ++k) {
                report->changedFiles.push_back(replacement_.Target(k));
                if (std::u16string backup = replacement_.NewBackup(k); !backup.empty()) {
                    report->newBackups.push_back(std::move(backup));
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

    void Step(std::u16string_view what) const {
        if (afterStep_) {
            afterStep_(what);
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
            } else if (!e.member.empty()) {
                problems.push_back(Describe(e) +
                                   u": this installer does not change members of bundles.");
            } else if (std::find(wanted.begin(), wanted.end(), Lower(e.fileName)) == wanted.end()) {
                wanted.push_back(Lower(e.fileName));
            }
        }
        Tell(u"Looking for the mod's files in " + root_);
        const std::map<std::u16string, std::u16string> found = FindFiles(root_, wanted);
        for (std::size_t i = 0; i < mod_.entries.size(); ++i) {
            const ModEntry& e = mod_.entries[i];
            auto where = found.find(Lower(e.fileName));
            if (!IsPlainFileName(e.fileName) || !e.member.empty()) {
                continue;
            }
            if (where == found.end()) {
                problems.push_back(e.fileName + u" is missing (needed for " + Describe(e) + u").");
                continue;
            }
            auto same = [&](const TargetFile& t) { return t.path == where->second; };
            auto target = std::find_if(files_.begin(), files_.end(), same);
            if (target == files_.end()) {
                files_.push_back({where->second, {}, {}, nullptr});
                target = files_.end() - 1;
            }
            target->entries.push_back(i);
        }
        if (!files_.empty()) {
            std::vector<std::u16string> paths;
            for (const TargetFile& t : files_) {
                paths.push_back(t.path);
            }
            if (Outcome o = replacement_.Prepare(paths); !o) {
                return Outcome::Failure(o.message + u"\nNothing was changed.");
            }
        }
        for (std::size_t k = 0; k < files_.size(); ++k) {
            CheckFile(files_[k], k, problems);
        }
        return problems.empty() ? Outcome::Success() : Refuse(problems);
    }

    void CheckFile(TargetFile& target, std::size_t k, std::vector<std::u16string>& problems) {
        const std::u16string path = replacement_.Target(k);
        Tell(u"Checking " + path);
        target.doc = std::make_unique<AssetFile>();
        target.doc->workingFolder = replacement_.WorkingFolder(k);
        if (!platform::CreateDirectory(target.doc->workingFolder) &&
            !platform::FileExists(target.doc->workingFolder)) {
            problems.push_back(u"Cannot create a working folder beside " + path + u".");
            target.doc.reset();
            return;
        }
        Step(u"working folder made");
        if (Outcome o = LoadAssetFile(*target.doc, path); !o) {
            problems.push_back(path + u" is not an asset file that loads: " + o.message);
            target.doc.reset();
            return;
        }
        Step(u"working copy made");
        // One pass over the table finds the first asset of each path id the mod names, so that
        // many entries in a file of many assets cost no more than reading its table.
        constexpr std::uint32_t kNoAsset = 0xFFFFFFFF;
        std::unordered_map<std::int64_t, std::uint32_t> firstAsset;
        for (std::size_t i : target.entries) {
            firstAsset.emplace(mod_.entries[i].pathId, kNoAsset);
        }
        const std::vector<AssetEntry>& assets = target.doc->entries;
        for (std::uint32_t a = 0; a < assets.size(); ++a) {
            auto wanted = firstAsset.find(static_cast<std::int64_t>(assets[a].pathId));
            if (wanted != firstAsset.end() && wanted->second == kNoAsset) {
                wanted->second = a;
            }
        }
        for (std::size_t i : target.entries) {
            const ModEntry& e = mod_.entries[i];
            const std::uint32_t asset = firstAsset.at(e.pathId);
            if (asset == kNoAsset) {
                problems.push_back(path + u" holds no asset with path id " +
                                   ravelin::PathIdText(e.pathId) + u" (needed for " + Describe(e) +
                                   u").");
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
        for (std::size_t k = 0; k < files_.size(); ++k) {
            TargetFile& target = files_[k];
            const std::u16string path = replacement_.Target(k);
            Tell(u"Changing " + path);
            for (std::size_t n = 0; n < target.entries.size(); ++n) {
                const ModEntry& e = mod_.entries[target.entries[n]];
                const std::size_t prefix = ravelin::EntryNamePrefix(e.assetName).size();
                std::span<const std::uint8_t> body =
                    payload_.subspan(e.offset + prefix, e.length - prefix);
                if (Outcome o = ReplaceAssetBody(*target.doc, target.assets[n], body); !o) {
                    return Outcome::Failure(u"Cannot change " + Describe(e) + u" in " + path +
                                            u": " + o.message + u"\nNothing was changed.");
                }
            }
            Step(u"working copy changed");
        }
        return Outcome::Success();
    }

    const ModRecord& mod_;
    std::span<const std::uint8_t> payload_;
    const std::u16string& root_;
    const ApplyProgress& progress_;
    const StepObserver& afterStep_;
    std::vector<TargetFile> files_;
    FileReplacement replacement_;
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
    return platform::JoinPath(drive, Relative(directory));
}

Outcome CheckGameFolder(const ModRecord& mod, const std::u16string& root) {
    if (root.empty() || !platform::FileExists(root)) {
        return Outcome::Failure(u"The folder " + root + u" does not exist.");
    }
    if (Given(mod.verifyFile) &&
        !platform::FileExists(platform::JoinPath(root, Relative(mod.verifyFile)))) {
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
                   const std::u16string& root, const ApplyProgress& progress, ApplyReport* report,
                   const StepObserver& afterStep) {
    return Installation(mod, payload, root, progress, afterStep).Run(report);
}

Outcome UninstallMod(const ModRecord& mod, const std::u16string& root, ApplyReport* report) {
    if (Outcome o = CheckGameFolder(mod, root); !o) {
        return o;
    }
    Recovery recovery;
    if (Outcome o = FileReplacement::Recover(root, recovery); !o) {
        return o;
    }
    if (report != nullptr) {
        report->recovery = recovery.message;
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
    for (const auto& [name, inside] : FindFiles(root, wanted)) {
        const std::u16string backup = platform::JoinPath(root, inside);
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
    // A stopped installation that was just undone leaves the files as they were without one.
    if (restored == 0 && (recovery.message.empty() || recovery.finished)) {
        return Outcome::Failure(u"There is no backup of the mod's files in " + root +
                                u" to restore.");
    }
    return Outcome::Success();
}

}  // namespace kestrova::installer

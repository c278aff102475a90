#include "installer/core/mod_apply.h"

#include <algorithm>
#include <deque>
#include <map>
#include <memory>
#include <stop_token>
#include <unordered_map>

#include "common/platform.h"
#include "common/text.h"
#include "document/asset_file.h"
#include "document/bundle/bundle_document.h"
#include "document/bundle/codec.h"
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

// The fraction of a run done, counted in bytes of work. What remains is known better as the run
// goes (how large the files are, which entries change a file's length); each new estimate shares
// out the rest of the bar from the fraction shown, so that the bar never goes back. A report is
// made when the text changes or the fraction gains a thousandth.
class WorkMeter {
public:
    explicit WorkMeter(const ProgressCallback& progress) : progress_(progress) {}

    void Expect(std::uint64_t remaining) {
        base_ = shown_;
        total_ = std::max<std::uint64_t>(remaining, 1);
        done_ = 0;
        part_ = 0;
    }
    void Say(std::u16string text) {
        text_ = std::move(text);
        Show(true);
    }
    // `fraction` of a piece of `bytes` bytes is done.
    void Within(std::uint64_t bytes, float fraction) {
        part_ = static_cast<double>(bytes) * std::clamp(fraction, 0.0f, 1.0f);
        Show(false);
    }
    void Done(std::uint64_t bytes) {
        done_ += static_cast<double>(bytes);
        part_ = 0;
        Show(false);
    }
    void Finish(std::u16string text) {
        base_ = 1.0;
        Say(std::move(text));
    }

private:
    void Show(bool newText) {
        const double f =
            std::max(shown_, base_ + (1.0 - base_) * std::min(1.0, (done_ + part_) / total_));
        const int permille = static_cast<int>(f * 1000.0);
        if (!progress_ || (!newText && permille == shownPermille_)) {
            return;
        }
        shown_ = f;
        shownPermille_ = permille;
        progress_(text_, static_cast<float>(f));
    }

    const ProgressCallback& progress_;
    std::u16string text_;
    double base_ = 0;
    double shown_ = 0;
    int shownPermille_ = -1;
    double total_ = 1;
    double done_ = 0;
    double part_ = 0;
};

// One asset file the mod changes, loaded into its own working copy: a serialized file, or the
// member of a compressed bundle that the entries name.
struct TargetFile {
    std::u16string path;                // inside the game folder
    std::u16string member;              // empty for a file that is not a bundle's member
    std::vector<std::size_t> entries;   // indices into the mod's entries
    std::vector<std::uint32_t> assets;  // the table index of each entry's asset
    std::unique_ptr<AssetFile> doc;
    std::uint64_t length = 0;  // of the file in the game folder
};

class Installation {
public:
    Installation(const ModRecord& mod, std::span<const std::uint8_t> payload,
                 const std::u16string& root, const ApplyControl& control)
        : mod_(mod),
          payload_(payload),
          root_(root),
          control_(control),
          meter_(control.progress),
          replacement_(root, control.afterStep) {}

    Outcome Run(ApplyReport* report) {
        if (Outcome o = CheckGameFolder(mod_, root_); !o) {
            return o;
        }
        Recovery recovery;
        if (Outcome o = FileReplacement::Recover(root_, recovery, control_.afterStep); !o) {
            return o;
        }
        if (!recovery.message.empty()) {
            meter_.Say(recovery.message);
            if (report != nullptr) {
                report->recovery = recovery.message;
            }
        }
        Outcome done = Check();
        if (done && !Cancelled()) {
            done = Apply();
        }
        if (done && !Cancelled()) {
            meter_.Say(u"Writing the changed files to the disk");
            bool stopped = false;
            done = replacement_.Replace(
                [&](std::size_t k) {
                    meter_.Done(files_[k].doc->workingLength);
                    return !Cancelled();
                },
                &stopped);
            cancelled_ = cancelled_ || stopped;
        }
        if (cancelled_) {
            if (report != nullptr) {
                report->cancelled = true;
            }
            return Outcome::Failure(kInstallCancelled);
        }
        if (!done) {
            return done;
        }
        meter_.Finish(mod_.name + u" is installed.");
        if (report != nullptr) {
            report->notes = notes_;
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
    // A cancellation is seen once and then holds for the rest of the run.
    bool Cancelled() {
        cancelled_ = cancelled_ || (control_.cancel != nullptr && control_.cancel->load());
        return cancelled_;
    }

    void Step(std::u16string_view what) const {
        if (control_.afterStep) {
            control_.afterStep(what);
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
        meter_.Say(u"Looking for the mod's files in " + root_);
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
                files_.push_back({where->second, e.member, {}, {}, nullptr});
                target = files_.end() - 1;
            } else if (target->member != e.member) {
                // A file is loaded once, as one member; a second member would need a second pass
                // over the rebuilt bundle.
                problems.push_back(
                    Describe(e) + u": another entry changes " +
                    (target->member.empty() ? e.fileName : u"its member " + target->member) +
                    u"; one installation changes one serialized file of a "
                    u"bundle.");
                continue;
            }
            target->entries.push_back(i);
        }
        // Each file is copied, changed and put on the disk; the entries' data is what a change
        // writes at least.
        std::uint64_t work = 0;
        for (TargetFile& t : files_) {
            t.length = platform::FileSize(platform::JoinPath(root_, t.path)).value_or(0);
            work += 2 * t.length;
            for (std::size_t i : t.entries) {
                work += mod_.entries[i].length;
            }
        }
        meter_.Expect(work);
        if (!files_.empty()) {
            std::vector<std::u16string> paths;
            for (const TargetFile& t : files_) {
                paths.push_back(t.path);
            }
            if (Outcome o = replacement_.Prepare(paths); !o) {
                return Outcome::Failure(o.message + u"\nNothing was changed.");
            }
        }
        for (std::size_t k = 0; k < files_.size() && !Cancelled(); ++k) {
            CheckFile(files_[k], k, problems);
        }
        return problems.empty() ? Outcome::Success() : Refuse(problems);
    }

    // A plain file as the loader reads it; a bundle's member through the bundle's container
    // layer, its blocks decompressed into the working folder.
    static Outcome LoadTarget(TargetFile& target, const std::u16string& path,
                              const ProgressCallback& progress) {
        if (target.member.empty()) {
            if (Outcome o = LoadAssetFile(*target.doc, path, progress); !o) {
                return Outcome::Failure(path + u" is not an asset file that loads: " + o.message);
            }
            return Outcome::Success();
        }
        std::string member;
        if (!Utf16ToLatin1(target.member, member) || !bundle::IsCompressedBundle(path)) {
            return Outcome::Failure(path + u" is not a compressed bundle with the file " +
                                    target.member + u" in it.");
        }
        std::vector<BundleNode> members;
        if (Outcome o = bundle::ReadBundleMembers(path, members); !o) {
            return Outcome::Failure(path + u" is not a bundle that loads: " + o.message);
        }
        auto named = [&](const BundleNode& node) { return node.path == member; };
        if (std::none_of(members.begin(), members.end(), named)) {
            return Outcome::Failure(path + u" holds no serialized file " + target.member +
                                    u" (it holds " + bundle::MemberList(members) + u").");
        }
        if (Outcome o = bundle::LoadDocument(*target.doc, path, member, progress); !o) {
            return Outcome::Failure(path + u" / " + target.member +
                                    u" is not an asset file that loads: " + o.message);
        }
        return Outcome::Success();
    }

    void CheckFile(TargetFile& target, std::size_t k, std::vector<std::u16string>& problems) {
        const std::u16string path = replacement_.Target(k);
        meter_.Say(u"Checking " + path);
        target.doc = std::make_unique<AssetFile>();
        target.doc->workingFolder = replacement_.WorkingFolder(k);
        if (!platform::CreateDirectory(target.doc->workingFolder) &&
            !platform::FileExists(target.doc->workingFolder)) {
            problems.push_back(u"Cannot create a working folder beside " + path + u".");
            target.doc.reset();
            return;
        }
        Step(u"working folder made");
        // The load reports its copy, then its table: the furthest it came counts.
        float loaded = 0;
        auto progress = [&](std::u16string_view, float fraction) {
            loaded = std::max(loaded, fraction);
            meter_.Within(target.length, loaded);
        };
        if (Outcome o = LoadTarget(target, path, progress); !o) {
            problems.push_back(o.message);
            target.doc.reset();
            return;
        }
        meter_.Done(target.length);
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
            auto wanted = firstAsset.find(assets[a].pathId);
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

    // The bytes an entry's change writes: its body in place, or the whole working copy when the
    // body's length differs from the asset's.
    std::uint64_t ChangeCost(const TargetFile& target, std::size_t n) const {
        const ModEntry& e = mod_.entries[target.entries[n]];
        const AssetEntry& asset = target.doc->entries[target.assets[n]];
        const std::uint64_t body = e.length - ravelin::EntryNamePrefix(e.assetName).size();
        return asset.bodyLength() == body ? body : target.doc->workingLength;
    }

    // A changed member of a compressed bundle: the whole bundle is written from the changed data
    // stream, its other files and their blocks as they were, in the original's compression where
    // this program has the codec and stored otherwise; it then stands as the working copy that
    // takes the bundle's place.
    Outcome RebuildBundle(TargetFile& target, const std::u16string& path) {
        AssetFile& doc = *target.doc;
        bundle::FileSource original;
        bundle::BundleArchive archive;
        if (!original.Open(doc.OriginalBundlePath())) {
            return Outcome::Failure(u"the bundle kept in the working folder cannot be read.");
        }
        if (Outcome o = bundle::ReadBundleArchive(original, archive); !o) {
            return o;
        }
        // A "UnityWeb" bundle that changed is written as a "UnityFS" one with LZMA.
        const bundle::Compression kept = archive.kind == bundle::BundleKind::UnityWeb
                                             ? bundle::Compression::Lzma
                                             : bundle::OriginalCompression(archive);
        bundle::ChosenCompression choice = bundle::ChosenCompression::AsOriginal;
        if (!bundle::CanEncode(kept)) {
            choice = bundle::ChosenCompression::Stored;
            notes_.push_back(path + u" is written uncompressed: this installer cannot write " +
                             bundle::CompressionName(static_cast<std::uint32_t>(kept)) +
                             u" blocks.");
            meter_.Say(notes_.back());
        }
        // Beside the working copy and the original kept as OriginalBundlePath(), which the
        // writer reads from.
        const std::u16string rebuilt = doc.WorkingCopyPath() + u".bundle";
        // The installation's Cancel stops the compression too, at its next report.
        std::stop_source stop;
        auto progress = [&](std::u16string_view, float fraction) {
            meter_.Within(doc.workingLength, fraction);
            if (Cancelled()) {
                stop.request_stop();
            }
        };
        const Outcome saved =
            bundle::SaveDocumentAs(doc, rebuilt, choice, progress, stop.get_token());
        if (Cancelled()) {
            platform::DeleteFile(rebuilt);
            return Outcome::Success();  // the run ends as cancelled
        }
        if (!saved) {
            return saved;
        }
        meter_.Done(doc.workingLength);
        if (!platform::ReplaceFile(rebuilt, doc.WorkingCopyPath())) {
            platform::DeleteFile(rebuilt);
            return Outcome::Failure(u"cannot move the rebuilt bundle into the working folder.");
        }
        doc.workingLength = platform::FileSize(doc.WorkingCopyPath()).value_or(0);
        return Outcome::Success();
    }

    // New bodies into every working copy.
    Outcome Apply() {
        std::uint64_t work = 0;
        for (const TargetFile& target : files_) {
            // Put on the disk, and a bundle's data stream compressed before that.
            work += target.doc->workingLength * (target.doc->compressed ? 2 : 1);
            for (std::size_t n = 0; n < target.entries.size(); ++n) {
                work += ChangeCost(target, n);
            }
        }
        meter_.Expect(work);
        for (std::size_t k = 0; k < files_.size(); ++k) {
            TargetFile& target = files_[k];
            const std::u16string path = replacement_.Target(k);
            meter_.Say(u"Changing " + path);
            for (std::size_t n = 0; n < target.entries.size(); ++n) {
                if (Cancelled()) {
                    return Outcome::Success();
                }
                const ModEntry& e = mod_.entries[target.entries[n]];
                const std::size_t prefix = ravelin::EntryNamePrefix(e.assetName).size();
                std::span<const std::uint8_t> body =
                    payload_.subspan(e.offset + prefix, e.length - prefix);
                const std::uint64_t cost = ChangeCost(target, n);
                if (Outcome o = ReplaceAssetBody(*target.doc, target.assets[n], body); !o) {
                    return Outcome::Failure(u"Cannot change " + Describe(e) + u" in " + path +
                                            u": " + o.message + u"\nNothing was changed.");
                }
                meter_.Done(cost);
            }
            if (target.doc->compressed) {
                if (Outcome o = RebuildBundle(target, path); !o) {
                    return Outcome::Failure(u"Cannot rewrite " + path + u": " + o.message +
                                            u"\nNothing was changed.");
                }
            }
            Step(u"working copy changed");
        }
        return Outcome::Success();
    }

    const ModRecord& mod_;
    std::span<const std::uint8_t> payload_;
    const std::u16string& root_;
    const ApplyControl& control_;
    WorkMeter meter_;
    bool cancelled_ = false;
    std::vector<TargetFile> files_;
    std::vector<std::u16string> notes_;
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
                   const std::u16string& root, ApplyReport* report, const ApplyControl& control) {
    return Installation(mod, payload, root, control).Run(report);
}

Outcome UninstallMod(const ModRecord& mod, const std::u16string& root, ApplyReport* report,
                     const ProgressCallback& progress) {
    WorkMeter meter(progress);
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
    meter.Say(u"Looking for the backups in " + root);
    const std::map<std::u16string, std::u16string> backups = FindFiles(root, wanted);
    meter.Expect(backups.size());
    for (const auto& [name, inside] : backups) {
        const std::u16string backup = platform::JoinPath(root, inside);
        const std::u16string original =
            backup.substr(0, backup.size() - std::char_traits<char16_t>::length(kBackupSuffix));
        meter.Say(u"Restoring " + original);
        const bool back = platform::ReplaceFile(backup, original);
        meter.Done(1);
        if (back) {
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

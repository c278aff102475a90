#include "installer/core/file_replacement.h"

#include <optional>

#include "common/platform.h"
#include "common/text.h"
#include "document/asset_file.h"
#include "document/range_writer.h"

namespace kestrova::installer {

namespace {

constexpr char16_t kAsideSuffix[] = u".kestrova-old";

// Removes a working folder with whatever a stopped run left in it; false when there was none.
bool RemoveFolder(const std::u16string& folder) {
    std::optional<std::vector<platform::DirectoryEntry>> entries = platform::ListDirectory(folder);
    if (!entries) {
        return false;
    }
    for (const platform::DirectoryEntry& e : *entries) {
        if (!e.isFolder) {
            platform::DeleteFile(platform::JoinPath(folder, e.name));
        }
    }
    platform::RemoveDirectory(folder);
    return true;
}

}  // namespace

FileReplacement::FileReplacement(std::u16string root, StepObserver afterStep)
    : root_(std::move(root)), afterStep_(std::move(afterStep)) {}

FileReplacement::~FileReplacement() {
    Discard();
}

Outcome FileReplacement::Prepare(const std::vector<std::u16string>& paths) {
    journal_ = {};
    for (std::size_t k = 0; k < paths.size(); ++k) {
        journal_.files.push_back({paths[k], static_cast<std::uint32_t>(k), false});
        journal_.files[k].newBackup = !platform::FileExists(Target(k) + kBackupSuffix);
    }
    return Save(InstallPhase::kPreparing);
}

std::u16string FileReplacement::Target(std::size_t k) const {
    return platform::JoinPath(root_, journal_.files[k].path);
}

std::u16string FileReplacement::WorkingFolder(std::size_t k) const {
    const std::u16string target = Target(k);
    return target.substr(0, FileNameStart(target)) + kWorkFolderPrefix +
           DecimalText(journal_.files[k].workFolder);
}

std::u16string FileReplacement::NewBackup(std::size_t k) const {
    return journal_.files[k].newBackup ? Target(k) + kBackupSuffix : std::u16string();
}

std::u16string FileReplacement::SetAside(std::size_t k) const {
    return Target(k) + (journal_.files[k].newBackup ? kBackupSuffix : kAsideSuffix);
}

std::u16string FileReplacement::WorkingCopy(std::size_t k) const {
    AssetFile doc;
    doc.workingFolder = WorkingFolder(k);
    return doc.WorkingCopyPath();
}

void FileReplacement::Step(std::u16string_view what) const {
    if (afterStep_) {
        afterStep_(what);
    }
}

Outcome FileReplacement::Save(InstallPhase phase) {
    journal_.phase = phase;
    Outcome o = WriteJournal(root_, journal_);
    if (o) {
        pending_ = true;
        Step(u"journal written");
    }
    return o;
}

Outcome FileReplacement::Replace(const std::function<bool(std::size_t file)>& onDisk,
                                 bool* stopped) {
    const std::size_t n = journal_.files.size();
    // The copies' data reaches the disk before their names do, so that a power cut cannot leave
    // a file in place whose data never arrived.
    for (std::size_t k = 0; k < n; ++k) {
        FileDescriptor copy = FileDescriptor::OpenForWriting(WorkingCopy(k));
        if (!copy.valid() || !SyncFile(copy.get())) {
            return Outcome::Failure(u"Cannot write " + WorkingCopy(k) + u" to the disk: " +
                                    SystemErrorText() + u". Nothing was changed.");
        }
        if (onDisk && !onDisk(k)) {
            if (stopped != nullptr) {
                *stopped = true;
            }
            return Outcome::Failure(u"Stopped before any file was replaced.");
        }
    }
    // From here on, an original found where it steps aside must have been moved there.
    for (std::size_t k = 0; k < n; ++k) {
        if (!journal_.files[k].newBackup) {
            platform::DeleteFile(SetAside(k));
        }
        if (platform::FileExists(SetAside(k))) {
            return Outcome::Failure(u"Cannot replace " + Target(k) + u": " + SetAside(k) +
                                    u" is in the way. Nothing was changed.");
        }
    }
    if (Outcome o = Save(InstallPhase::kReplacing); !o) {
        return Outcome::Failure(o.message + u" Nothing was changed.");
    }
    auto undo = [&](std::size_t k, std::size_t setAside) {
        const std::u16string why = u"Cannot replace " + Target(k) + u" (is the game running?).";
        Outcome back = PutOriginalsBack(setAside);
        return Outcome::Failure(back ? why + u" Nothing was changed." : why + u"\n" + back.message);
    };
    for (std::size_t k = 0; k < n; ++k) {
        if (!platform::MoveFile(Target(k), SetAside(k))) {
            return undo(k, k);
        }
        Step(u"original set aside");
    }
    for (std::size_t k = 0; k < n; ++k) {
        if (!platform::MoveFile(WorkingCopy(k), Target(k))) {
            return undo(k, n);
        }
        Step(u"working copy in place");
    }
    Finish();
    return Outcome::Success();
}

void FileReplacement::Discard() {
    if (pending_ && journal_.phase == InstallPhase::kPreparing) {
        RemoveWorkingFiles();
    }
}

bool FileReplacement::AllInPlace() const {
    for (std::size_t k = 0; k < journal_.files.size(); ++k) {
        if (platform::FileExists(WorkingCopy(k)) || !platform::FileExists(Target(k))) {
            return false;
        }
    }
    return true;
}

// A journal that cannot be saved here leaves the one of the replacing phase, from which the files
// themselves lead the next run to the same end.
Outcome FileReplacement::PutOriginalsBack(std::size_t setAside) {
    Save(InstallPhase::kRollingBack);
    std::u16string stuck;
    for (std::size_t k = 0; k < setAside; ++k) {
        if (!platform::FileExists(SetAside(k))) {
            continue;  // never moved, or back already
        }
        if (platform::ReplaceFile(SetAside(k), Target(k))) {
            Step(u"original put back");
        } else {
            stuck += u"\n- " + Target(k) + u" (its original is " + SetAside(k) + u")";
        }
    }
    if (!stuck.empty()) {
        return Outcome::Failure(
            u"These files are not back yet; running the installation again puts them back:" +
            stuck);
    }
    RemoveWorkingFiles();
    return Outcome::Success();
}

void FileReplacement::Finish() {
    Save(InstallPhase::kFinishing);
    for (std::size_t k = 0; k < journal_.files.size(); ++k) {
        if (!journal_.files[k].newBackup && platform::DeleteFile(SetAside(k))) {
            Step(u"set-aside original deleted");
        }
    }
    RemoveWorkingFiles();
}

void FileReplacement::RemoveWorkingFiles() {
    for (std::size_t k = 0; k < journal_.files.size(); ++k) {
        if (RemoveFolder(WorkingFolder(k))) {
            Step(u"working folder removed");
        }
    }
    if (platform::DeleteFile(JournalPath(root_))) {
        Step(u"journal removed");
    }
    pending_ = false;
}

Outcome FileReplacement::Recover(const std::u16string& root, Recovery& recovery,
                                 StepObserver afterStep) {
    recovery = {};
    FileReplacement left(root, std::move(afterStep));
    bool found = false;
    if (Outcome o = ReadJournal(root, left.journal_, found); !o) {
        return Outcome::Failure(o.message +
                                u"\nCheck the game's files, then delete the record to go on.");
    }
    if (!found) {
        return Outcome::Success();
    }
    left.pending_ = true;
    const std::u16string stopped = u"An installation into " + root + u" was stopped ";
    InstallPhase phase = left.journal_.phase;
    if (phase == InstallPhase::kReplacing) {
        phase = left.AllInPlace() ? InstallPhase::kFinishing : InstallPhase::kRollingBack;
    }
    if (phase == InstallPhase::kPreparing) {
        left.RemoveWorkingFiles();
        recovery.message = stopped + u"before it changed any file; what it left was removed.";
    } else if (phase == InstallPhase::kFinishing) {
        left.Finish();
        recovery.finished = true;
        recovery.message = stopped + u"after it had replaced every file; it is now complete.";
    } else if (Outcome o = left.PutOriginalsBack(left.journal_.files.size()); !o) {
        return Outcome::Failure(stopped + u"half-way. " + o.message);
    } else {
        recovery.message = stopped + u"half-way; every file it changed is as it was before.";
    }
    return Outcome::Success();
}

}  // namespace kestrova::installer

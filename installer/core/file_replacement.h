#pragma once
// Replacing files of a game folder by working copies so that the folder ends with every file
// replaced or none, wherever a run stops: killed, a power cut, or a file that cannot be moved.
// A journal (install_journal.h), on the disk before every step that deleting the working folders
// would not undo, tells the next run how far the stopped one came:
// - before the first original stepped aside, deleting the working folders undoes it;
// - once every working copy has taken its file's place, it is finished;
// - in between, every original goes back to its place.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/outcome.h"
#include "installer/core/install_journal.h"

namespace kestrova::installer {

// The working folders are named with this and their number; searches for game files skip them.
inline constexpr char16_t kWorkFolderPrefix[] = u".kestrova-install";
inline constexpr char16_t kBackupSuffix[] = u".bak";

// Told of every change made on disk, in a few words, right after it is made. Tests stop a run
// there to check what the next run makes of the folder.
using StepObserver = std::function<void(std::u16string_view step)>;

// What the next run did about a run that was stopped.
struct Recovery {
    std::u16string message;  // one sentence for the user; empty when nothing was left
    bool finished = false;   // the stopped installation was completed rather than undone
};

class FileReplacement {
public:
    explicit FileReplacement(std::u16string root, StepObserver afterStep = {});
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    // Plans to replace these files (paths inside the game folder) and writes the journal. From
    // then on each file's working folder may be made and filled; nothing else has changed.
    Outcome Prepare(const std::vector<std::u16string>& paths);

    std::u16string Target(std::size_t k) const;
    // Beside its file, so that the working copy takes the file's place by a rename on one disk.
    std::u16string WorkingFolder(std::size_t k) const;
    // The backup (NAME.bak) that replacing file k makes; empty when it has one already.
    std::u16string NewBackup(std::size_t k) const;

    // With every working copy complete: the originals step aside (to their backups when they
    // have none yet) and the copies take their places, then the working folders and the journal
    // go. On failure every original is back in its place. `onDisk` is told of each working copy
    // once its data is on the disk; when it answers false, Replace stops there with nothing
    // changed (and `stopped` set), and Discard removes what was made.
    Outcome Replace(const std::function<bool(std::size_t file)>& onDisk = {},
                    bool* stopped = nullptr);

    // Gives up before Replace: the working folders and the journal go. The destructor does it
    // for a replacement that was prepared and not carried out.
    void Discard();

    // Finishes or undoes what a stopped run left in `root`; nothing when it left no journal.
    static Outcome Recover(const std::u16string& root, Recovery& recovery,
                           StepObserver afterStep = {});

private:
    void Step(std::u16string_view what) const;
    Outcome Save(InstallPhase phase);
    std::u16string SetAside(std::size_t k) const;
    std::u16string WorkingCopy(std::size_t k) const;
    bool AllInPlace() const;
    // Puts back the originals of the files before `setAside` that are where they stepped aside
    // to; the files from `setAside` on never stepped aside.
    Outcome PutOriginalsBack(std::size_t setAside);
    void Finish();
    void RemoveWorkingFiles();

    std::u16string root_;
    StepObserver afterStep_;
    InstallJournal journal_;
    bool pending_ = false;  // a journal is on disk that this object has not settled
};

}  // namespace kestrova::installer

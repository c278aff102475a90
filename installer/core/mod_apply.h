#pragma once
// Installing a mod into a game folder and taking it out again: the logic that the Windows
// installer program and `kestrova-cli mod apply` share. Nothing here knows of a window or of a
// command line.
//
// Installing checks everything before it changes anything: the game folder (and its verify file),
// every entry's asset file somewhere in the folder or below it, that file loading as an asset
// file (or, for an entry of a bundle's member, the bundle holding that member and the member
// loading), and an asset with the entry's path id in it. A changed member's bundle is written
// anew around it, every other file of it unchanged. Then every file gets its new bodies in a
// working copy beside it; only when all of them are complete are the originals
// moved aside (to NAME.bak when there is no backup yet) and the new files put in their place,
// each by a rename, so that the folder ends with either every file changed or none
// (file_replacement.h). A run that was stopped half-way is finished or undone by the next one,
// installing or uninstalling, before it does anything else.

#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/mapped_file.h"
#include "common/outcome.h"
#include "common/progress.h"
#include "installer/core/file_replacement.h"
#include "plugins/ravelin/core/mod_file.h"
#include "plugins/ravelin/core/mod_record.h"

namespace kestrova::installer {

// A mod as installing reads it: from a .umod file, or from the end of a packaged installer
// program (the first byte after its program image). The file stays mapped while this lives.
class ModSource {
public:
    Outcome Open(const std::u16string& path);

    const ravelin::ModRecord& mod() const { return mod_; }
    std::span<const std::uint8_t> payload() const;
    // True when the mod was found after a program.
    bool packaged() const { return packaged_; }

private:
    MappedFile file_;
    ravelin::ModRecord mod_;
    ravelin::ModLayout layout_;
    bool packaged_ = false;
};

// Where a mod appended to a program begins: the end of the program image (its sections' data,
// or its certificate table when that lies further). Nothing when `bytes` is not a program.
std::optional<std::uint64_t> AppendedModStart(std::span<const std::uint8_t> bytes);

// How an installation tells what it does and is stopped.
struct ApplyControl {
    // What it is doing, and the fraction done counted in the bytes it copies into working
    // copies, changes in them and puts on the disk. The fraction never goes back.
    ProgressCallback progress;
    // Set, from any thread, to stop at the next safe point before the first file of the game is
    // replaced: between files and entries while working copies are made and changed, and between
    // files while they are put on the disk. Everything the run made is removed.
    const std::atomic<bool>* cancel = nullptr;
    // Told of every change made on disk (tests stop a run there).
    StepObserver afterStep;
};

inline constexpr char16_t kInstallCancelled[] =
    u"The installation was cancelled. Nothing was changed.";

struct ApplyReport {
    std::vector<std::u16string> changedFiles;  // full paths, in the order they were changed
    std::vector<std::u16string> newBackups;    // NAME.bak files made by this run
    std::u16string recovery;  // what was done about a run that was stopped, or empty
    // What the user should know of a run that succeeded: a bundle written uncompressed.
    std::vector<std::u16string> notes;
    bool cancelled = false;  // stopped by ApplyControl::cancel; nothing was changed
};

// A mod's `directory` on one drive or root folder ("C:\" and "Games\X\Data" give
// "C:\Games\X\Data"), written with this platform's separator.
std::u16string GameFolderOn(const std::u16string& drive, const std::u16string& directory);

// The game folder exists and, when the mod names a verify file, holds it.
Outcome CheckGameFolder(const ravelin::ModRecord& mod, const std::u16string& root);

// Installs the mod's entries (their data in `payload`) into the game folder `root`. On failure
// or cancellation nothing in the folder has changed and the message names everything that is
// missing or wrong (or is kInstallCancelled).
Outcome InstallMod(const ravelin::ModRecord& mod, std::span<const std::uint8_t> payload,
                   const std::u16string& root, ApplyReport* report = nullptr,
                   const ApplyControl& control = {});

// Puts back the backups (NAME.bak) of every asset file the mod changes, telling `progress` of
// each. Fails when there is none to put back (unless a stopped installation was just undone,
// which leaves the files as they were), or names the files that could not be restored.
Outcome UninstallMod(const ravelin::ModRecord& mod, const std::u16string& root,
                     ApplyReport* report = nullptr, const ProgressCallback& progress = {});

// A message of several lines (as the checks give them) on one line, for standard error.
std::u16string OnOneLine(std::u16string_view message);

}  // namespace kestrova::installer

#pragma once
// The record an installation keeps in the game folder while it changes files, so that a run
// stopped at any point (killed, or by a power cut) is finished or undone by the next one. It
// names the phase the installation has reached and each file being replaced: its path inside the
// game folder, the number of the working folder beside it, and whether its original becomes its
// backup. Where the working copy lies and where the original steps aside follow from these, so
// a damaged or forged record can name nothing outside the game folder.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/outcome.h"

namespace kestrova::installer {

enum class InstallPhase : std::uint32_t {
    kPreparing = 0,    // working copies are being made; no file of the game has changed
    kReplacing = 1,    // every working copy is complete; originals step aside, copies move in
    kFinishing = 2,    // every copy is in place; the originals that are not backups go
    kRollingBack = 3,  // the originals go back to their places
};

struct JournalFile {
    std::u16string path;           // inside the game folder, this platform's separators
    std::uint32_t workFolder = 0;  // the number of its working folder
    bool newBackup = false;  // its original becomes NAME.bak; otherwise it steps aside and goes

    bool operator==(const JournalFile&) const = default;
};

struct InstallJournal {
    InstallPhase phase = InstallPhase::kPreparing;
    std::vector<JournalFile> files;

    bool operator==(const InstallJournal&) const = default;
};

std::vector<std::uint8_t> EncodeJournal(const InstallJournal& journal);

// Refuses bytes that are not one whole journal, and paths that are empty, absolute or lead out
// of the game folder.
Outcome DecodeJournal(std::span<const std::uint8_t> bytes, InstallJournal& journal);

// The journal of an installation into `root`, in that folder.
std::u16string JournalPath(const std::u16string& root);

// Writes the journal beside its place, waits until it is on the disk and renames it into place,
// so that a reader finds the old journal or the new one, whole.
Outcome WriteJournal(const std::u16string& root, const InstallJournal& journal);

// Reads the journal of `root`; false in `found` (and success) when there is none.
Outcome ReadJournal(const std::u16string& root, InstallJournal& journal, bool& found);

}  // namespace kestrova::installer

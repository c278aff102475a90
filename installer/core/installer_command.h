#pragma once
// The installer program's command line and its silent mode, for scripts and tests:
//
//   installer /S /D=<folder>       installs the mod into <folder> without any window
//   installer /S /U /D=<folder>    puts back the backups of the files the mod changed
//
// /D= is the last option and takes the rest of the line, spaces included (quotes around it are
// dropped). Without /S the window opens, with <folder> proposed when /D= gives one.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova::installer {

// Exit statuses of the silent mode.
inline constexpr int kSucceeded = 0;
inline constexpr int kUsageError = 1;    // the command line cannot be understood
inline constexpr int kNoModError = 2;    // the program holds no readable mod
inline constexpr int kInstallError = 3;  // the folder was refused or a change failed

struct InstallerCommand {
    bool silent = false;
    bool undo = false;
    std::optional<std::u16string> folder;
    std::vector<std::u16string> unknown;  // options that mean nothing here
};

// The arguments of a whole command line as Windows gives it: what follows the program's name
// (quoted or not) and the spaces after it.
std::u16string_view ArgumentsOf(std::u16string_view commandLine);

InstallerCommand ParseInstallerArguments(std::u16string_view arguments);

struct SilentResult {
    int status = kSucceeded;
    std::u16string message;  // one line, empty on success
};

// Runs the silent mode on the mod appended to `program` (the installer's own file).
SilentResult RunSilently(const std::u16string& program, const InstallerCommand& command);

}  // namespace kestrova::installer

#pragma once
// What every kestrova-cli command shares: the document in a private working folder, the way a
// command fails (one line on standard error and an exit status), and the choice of an asset.

#include <CLI/CLI.hpp>

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>

#include "document/asset_file.h"

namespace kestrova::cli {

// Exit statuses: a command line that cannot be understood, an input that cannot be used.
inline constexpr int kUsageError = 1;
inline constexpr int kInputError = 2;

// Thrown by a command to end the program with `status` and one line of explanation.
class CliFailure : public std::runtime_error {
public:
    CliFailure(int status, const std::string& message)
        : std::runtime_error(message), status_(status) {}
    int status() const { return status_; }

private:
    int status_;
};

[[noreturn]] void Fail(int status, const std::string& message);
[[noreturn]] void Fail(int status, const Outcome& outcome);

// The one document of a run. Its working folder is a private temporary folder, removed with
// the working copy when the context ends.
class CliContext {
public:
    CliContext() = default;
    ~CliContext();
    CliContext(const CliContext&) = delete;
    CliContext& operator=(const CliContext&) = delete;

    AssetFile doc;
    // The input file's folder, where the files its objects stream data from lie.
    std::u16string folder;
    // Set once the private working folder exists; only then is there anything to remove.
    bool hasWorkingFolder = false;
    // --member NAME: the serialized file of a compressed bundle to open.
    std::optional<std::string> member;
    // --compression: how a bundle is compressed when saved ("" as the original).
    std::string compression;
};

// Makes the context's private working folder, once; a failure ends the run with status 2.
void EnsureWorkingFolder(CliContext& context);

// --member NAME on a command that reads FILE; --compression on one that writes OUT.
void AddMemberOption(CLI::App& command, CliContext& context);
void AddCompressionOption(CLI::App& command, CliContext& context);

// Loads FILE (the member chosen with --member of a compressed bundle) into the context's
// document; an unusable file ends the run with status 2.
void OpenInput(CliContext& context, const std::string& file);

// Writes the edited working copy to OUT (beside it first, then renamed over it); a member of a
// compressed bundle as a whole bundle, compressed as --compression says.
void SaveOutput(const CliContext& context, const std::string& out);

// --asset N or --path-id P, exactly one of them.
struct AssetChoice {
    std::optional<std::uint32_t> index;
    std::optional<std::int64_t> pathId;
};
void AddAssetOptions(CLI::App& command, AssetChoice& choice);
// The table index chosen; status 1 when neither option was given, 2 when the file has no
// such asset.
std::uint32_t PickAsset(const AssetFile& doc, const AssetChoice& choice);

// Bytes as lower-case hexadecimal digits, two per byte.
std::string HexBytes(std::span<const std::uint8_t> bytes);

// Parses the command line and runs the chosen command; returns the exit status.
int RunCli(CLI::App& app, int argc, char** argv);

}  // namespace kestrova::cli

// mod package and mod apply: "Package Mod" from the command line, and what the packaged
// installer does to a game folder, natively and with the same code.

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>

#include "common/platform.h"
#include "common/text.h"
#include "installer/core/mod_apply.h"
#include "plugins/ravelin/core/mod_file.h"
#include "plugins/ravelin/core/mod_package.h"
#include "tools/kestrova-cli/cli_commands.h"
#include "tools/kestrova-cli/terminal_progress.h"

namespace kestrova::cli {

namespace {

struct PackageOptions {
    std::string mod;
    std::string out;
    std::optional<std::string> installer;
    std::optional<std::string> icon;
    std::optional<std::string> installers;
};

struct ApplyOptions {
    std::string mod;
    std::string root;
    bool undo = false;
};

// Ravelin's installers folder beside this program: in the run folder, or in the installed
// layout (the program in bin/, the plug-ins under lib/kestrova/).
std::string DefaultInstallersFolder() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::canonical("/proc/self/exe", error);
    const std::filesystem::path here = error ? std::filesystem::path(".") : self.parent_path();
    const std::filesystem::path inData = "Plugins/ravelin/RavelinData/installers";
    for (const std::filesystem::path& candidate :
         {here / inData, here.parent_path() / "lib/kestrova" / inData}) {
        if (std::filesystem::is_directory(candidate, error)) {
            return candidate.string();
        }
    }
    return (here / inData).string();
}

// Exactly what "Package Mod" writes for the mod of a .umod file: its payload goes through a
// private data file, as the form's does.
void Package(CliContext& context, const PackageOptions& o) {
    EnsureWorkingFolder(context);
    ravelin::ModWorkFiles files;
    files.data = context.doc.workingFolder + platform::kSeparator + u"mod";
    files.scratch = context.doc.workingFolder + platform::kSeparator + u"mod2";
    struct Cleanup {
        const ravelin::ModWorkFiles& files;
        ~Cleanup() {
            platform::DeleteFile(files.data);
            platform::DeleteFile(files.scratch);
        }
    } cleanup{files};

    ravelin::ModRecord mod;
    ravelin::IconReplacement icons;
    {
        TerminalProgress line;
        if (Outcome opened = ravelin::OpenMod(Utf8ToUtf16(o.mod), mod, files, line.Callback());
            !opened) {
            Fail(kInputError, o.mod + ": " + Utf16ToUtf8(opened.message));
        }
        if (o.installer) {
            mod.installer = ravelin::FieldText(Utf8ToUtf16(*o.installer), ravelin::kNameCapacity);
        }
        if (o.icon) {
            mod.iconPath = ravelin::FieldText(Utf8ToUtf16(*o.icon), ravelin::kPathCapacity);
        }
        const std::string installers = o.installers.value_or(DefaultInstallersFolder());
        line.Update(u"Packaging " + Utf8ToUtf16(o.out));
        if (Outcome packaged = ravelin::PackageInstaller(
                mod, Utf8ToUtf16(installers), Utf8ToUtf16(o.out), files, &icons, line.Callback());
            !packaged) {
            Fail(kInputError, packaged);
        }
    }
    if (icons.replaced > 0) {
        std::cout << o.out << ": " << icons.replaced << " icon images replaced\n";
    } else {
        std::cout << o.out << ": the template's icons kept"
                  << (icons.why.empty() ? std::string() : " (" + Utf16ToUtf8(icons.why) + ")")
                  << "\n";
    }
}

// For tests only: with KESTROVA_STOP_AFTER_STEP=N in the environment, an installation ends
// this program with SIGKILL right after its Nth change on disk, as a crash or a power cut would,
// with nothing cleaned up.
installer::StepObserver StopAfterStepForTests() {
    const char* value = std::getenv("KESTROVA_STOP_AFTER_STEP");
    if (value == nullptr) {
        return {};
    }
    const long stopAt = std::strtol(value, nullptr, 10);
    auto count = std::make_shared<long>(0);
    return [stopAt, count](std::u16string_view what) {
        if (++*count == stopAt) {
            std::cerr << "kestrova-cli: stopped after step " << stopAt << " (" << Utf16ToUtf8(what)
                      << ")" << std::endl;
            ::kill(::getpid(), SIGKILL);
        }
    };
}

void Apply(const ApplyOptions& o) {
    installer::ModSource source;
    if (Outcome opened = source.Open(Utf8ToUtf16(o.mod)); !opened) {
        Fail(kInputError, o.mod + ": " + Utf16ToUtf8(opened.message));
    }
    const std::u16string root = Utf8ToUtf16(o.root);
    installer::ApplyReport report;
    Outcome done = Outcome::Success();
    {
        TerminalProgress line;
        done = o.undo ? installer::UninstallMod(source.mod(), root, &report, line.Callback())
                      : installer::InstallMod(source.mod(), source.payload(), root, &report,
                                              {line.Callback(), nullptr, StopAfterStepForTests()});
    }
    if (!report.recovery.empty()) {
        std::cout << Utf16ToUtf8(report.recovery) << std::endl;
    }
    if (!done) {
        Fail(kInputError, Utf16ToUtf8(installer::OnOneLine(done.message)));
    }
    for (const std::u16string& file : report.changedFiles) {
        std::cout << (o.undo ? "restored " : "changed ") << Utf16ToUtf8(file) << "\n";
    }
    for (const std::u16string& note : report.notes) {
        std::cout << Utf16ToUtf8(note) << "\n";
    }
}

}  // namespace

void AddModInstallerCommands(CLI::App& app, CliContext& context) {
    CLI::App* mod = app.get_subcommand("mod");

    auto package = std::make_shared<PackageOptions>();
    CLI::App* packageCommand = mod->add_subcommand(
        "package", "Write the installer program that \"Package Mod\" writes for a mod.");
    packageCommand->add_option("MOD", package->mod, "the .umod file (never written)")->required();
    packageCommand->add_option("-o", package->out, "the installer program to write")->required();
    packageCommand->add_option("--installer", package->installer, "the template (the mod's own)")
        ->type_name("NAME");
    packageCommand->add_option("--icon", package->icon, "the icon file (the mod's own)")
        ->type_name("FILE.ico");
    packageCommand
        ->add_option("--installers", package->installers,
                     "the folder of the templates (the run folder's installers)")
        ->type_name("DIR");
    packageCommand->callback([&context, package] { Package(context, *package); });

    auto apply = std::make_shared<ApplyOptions>();
    CLI::App* applyCommand = mod->add_subcommand(
        "apply", "Install a mod into a game folder as its installer does, or undo it.");
    applyCommand->add_option("MOD", apply->mod, "a .umod file or a packaged installer")->required();
    applyCommand->add_option("--root", apply->root, "the game's folder")->required();
    applyCommand->add_flag("--undo", apply->undo, "put back the backups (NAME.bak)");
    applyCommand->callback([apply] { Apply(*apply); });
}

}  // namespace kestrova::cli

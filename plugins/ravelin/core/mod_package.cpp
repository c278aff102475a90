#include "plugins/ravelin/core/mod_package.h"

#include <cstdio>
#include <vector>

#include "common/directory_scan.h"
#include "common/file_beside.h"
#include "common/mapped_file.h"
#include "common/platform.h"
#include "common/string_list.h"
#include "common/text.h"
#include "pe/ico_file.h"
#include "pe/pe_resources.h"
#include "plugins/ravelin/core/file_stream.h"
#include "plugins/ravelin/core/mod_templates.h"

namespace kestrova::ravelin {

namespace {

// Replaces the program's icons by those of the icon file, when there is one to read.
Outcome ReplaceIcons(std::vector<std::uint8_t>& program, const std::u16string& iconPath,
                     IconReplacement& report) {
    MappedFile icon;
    if (iconPath.empty() || !icon.Open(iconPath)) {
        report.result = IconReplacement::Result::Replaced;
        report.replaced = 0;
        return Outcome::Success();  // no icon file: the template's icons stay
    }
    std::vector<IconImage> images;
    if (Outcome o = ReadIconFile(icon.bytes(), images); !o) {
        return Outcome::Failure(iconPath + u": " + o.message);
    }
    return ReplaceInstallerIcons(program, images, report);
}

}  // namespace

std::optional<std::u16string> FindInstallerTemplate(const std::u16string& installersFolder,
                                                    const std::u16string& name) {
    if (!IsPlainFileName(name)) {
        return std::nullopt;
    }
    const std::u16string direct = installersFolder + platform::kSeparator + name;
    if (platform::FileExists(direct)) {
        return direct;
    }
    // The installer list shows templates in sub-folders by their bare names too.
    StringList found;
    ScanDirectory(found, installersFolder, u"");
    for (std::size_t i = 0; i < found.count(); ++i) {
        const std::u16string& path = found.at(i);
        if (std::u16string_view(path).substr(FileNameStart(path)) == name) {
            return path;
        }
    }
    return std::nullopt;
}

Outcome PackageInstaller(ModRecord& mod, const std::u16string& installersFolder,
                         const std::u16string& target, const ModWorkFiles& files,
                         IconReplacement* iconReport, const ProgressCallback& progress,
                         const std::stop_token& stop) {
    std::optional<std::u16string> templatePath =
        FindInstallerTemplate(installersFolder, mod.installer);
    MappedFile templateFile;
    if (!templatePath || !templateFile.Open(*templatePath)) {
        return Outcome::Failure(u"There is no installer template named \"" + mod.installer +
                                u"\" in " + installersFolder + u".");
    }
    std::vector<std::uint8_t> program(templateFile.bytes().begin(), templateFile.bytes().end());
    templateFile.Close();
    IconReplacement report;
    if (Outcome o = ReplaceIcons(program, mod.iconPath, report); !o) {
        return o;
    }
    if (iconReport != nullptr) {
        *iconReport = report;
    }

    FileBeside out;
    if (!out.Create(target) || out.stream() == nullptr) {
        return Outcome::Failure(u"Cannot create a file beside " + target + u": " + out.error() +
                                u".");
    }
    if (!WriteAll(out.stream(), program)) {
        return Outcome::Failure(u"The installer program could not be written.");
    }
    if (Outcome saved = SaveMod(out.stream(), mod, files, progress, stop); !saved) {
        return saved;
    }
    // The last moment a stop keeps `target` as it was.
    if (stop.stop_requested()) {
        return Cancelled();
    }
    if (!out.Commit()) {
        return Outcome::Failure(u"The installer could not be written completely to " + target +
                                u": " + out.error() + u".");
    }
    return Outcome::Success();
}

Outcome PackageMod(ModRecord& mod, const std::u16string& dataFolder, const std::u16string& target,
                   const ModWorkFiles& files, const ProgressCallback& progress,
                   const std::stop_token& stop) {
    return PackageInstaller(mod, InstallersFolder(dataFolder), target, files, nullptr, progress,
                            stop);
}

}  // namespace kestrova::ravelin

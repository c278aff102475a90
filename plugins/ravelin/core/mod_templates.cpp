#include "plugins/ravelin/core/mod_templates.h"

#include <memory>

#include "common/directory_scan.h"
#include "common/markup_reader.h"
#include "common/platform.h"
#include "common/text.h"
#include "plugins/ravelin/core/mod_record.h"

namespace kestrova::ravelin {

std::u16string DataFolderBeside(const std::u16string& libraryPath) {
    const std::size_t nameStart = FileNameStart(libraryPath);
    if (nameStart == 0) {
        return {};
    }
    return libraryPath.substr(0, nameStart) + u"RavelinData";
}

std::u16string InstallersFolder(const std::u16string& dataFolder) {
    return dataFolder + platform::kSeparator + u"installers";
}

std::u16string TemplatesFile(const std::u16string& dataFolder) {
    return dataFolder + platform::kSeparator + u"modtemplates.xml";
}

bool LoadTemplates(const std::u16string& path, std::vector<ModTemplate>& templates) {
    MarkupDocument document;
    if (std::FILE* file = platform::OpenFile(path, "rb")) {
        ParseDocument(file, document, kRavelinMarkupLimits);
        std::fclose(file);
    }
    if (const MarkupNode* root = FindRoot(document, u"modtemplate")) {
        for (std::uint32_t i = 0; const MarkupNode* node = FindChild(*root, u"template", i); ++i) {
            ModTemplate& t = templates.emplace_back();
            const struct {
                const char16_t* attribute;
                std::u16string* field;
                std::size_t capacity;
            } fields[] = {{u"name", &t.name, kNameCapacity},
                          {u"directory", &t.directory, kPathCapacity},
                          {u"verifyfile", &t.verifyFile, kNameCapacity},
                          {u"installer", &t.installer, kNameCapacity}};
            for (const auto& f : fields) {
                if (const MarkupAttribute* a = FindAttribute(*node, f.attribute)) {
                    *f.field = FieldText(a->value, f.capacity);
                }
            }
        }
    }
    FreeDocument(document);
    return true;
}

void ScanInstallers(const std::u16string& installersFolder, StringList& installers) {
    Reset(installers);
    ScanDirectory(installers, installersFolder, u"");
    for (std::size_t i = 0; i < installers.count(); ++i) {
        const std::u16string& path = installers.at(i);
        SetText(installers, i, path.substr(FileNameStart(path)));
    }
}

}  // namespace kestrova::ravelin

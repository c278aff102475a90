// The mod commands: info, build and extract, over Ravelin's core. Input files are only read;
// every output is written beside its name and renamed over it once complete.

#include <nlohmann/json.hpp>

#include <filesystem>
#include <iomanip>
#include <iostream>
#include <memory>
#include <sstream>

#include "common/file_beside.h"
#include "common/mapped_file.h"
#include "common/platform.h"
#include "common/text.h"
#include "editor/plugins/asset_context.h"
#include "plugins/ravelin/core/mod_contents.h"
#include "plugins/ravelin/core/mod_file.h"
#include "plugins/ravelin/core/mod_session.h"
#include "tools/kestrova-cli/cli_commands.h"

namespace kestrova::cli {

namespace {

using ravelin::ModEntry;
using ravelin::ModLayout;
using ravelin::ModRecord;

std::string U8(const std::u16string& text) {
    return Utf16ToUtf8(text);
}

// A mod file read whole: its record, its layout and its bytes (mapped, not copied).
struct OpenedMod {
    MappedFile file;
    ModRecord mod;
    ModLayout layout;
};

void ReadMod(const std::string& path, OpenedMod& opened) {
    if (!opened.file.Open(Utf8ToUtf16(path))) {
        Fail(kInputError, "cannot open " + path);
    }
    Outcome outcome = ravelin::ParseMod(opened.file.bytes(), 0, opened.mod, opened.layout);
    if (!outcome) {
        Fail(kInputError, path + ": " + U8(outcome.message));
    }
}

// The nine texts in file order, with the names the file format gives them.
std::vector<std::pair<const char*, const std::u16string*>> Texts(const ModRecord& mod) {
    return {{"name", &mod.name},
            {"author", &mod.author},
            {"date", &mod.date},
            {"version", &mod.version},
            {"directory", &mod.directory},
            {"verifyFile", &mod.verifyFile},
            {"description", &mod.description},
            {"installer", &mod.installer},
            {"iconPath", &mod.iconPath}};
}

// The form's name, as `mod info --json` gives it.
const char* FormName(ravelin::ModFormat format) {
    switch (format) {
        case ravelin::ModFormat::Older:
            return "older";
        case ravelin::ModFormat::Extended:
            return "extended";
        case ravelin::ModFormat::Current:
            break;
    }
    return "current";
}

// The fields in the order the file holds them: an entry of the extended form with its member,
// class id and 64-bit path id, one of the others with its 32-bit path id as "index".
nlohmann::ordered_json ModAsJson(const OpenedMod& opened) {
    const bool extended = opened.layout.format == ravelin::ModFormat::Extended;
    nlohmann::ordered_json out;
    out["format"] = FormName(opened.layout.format);
    for (const auto& [key, text] : Texts(opened.mod)) {
        out[key] = U8(*text);
    }
    nlohmann::ordered_json entries = nlohmann::ordered_json::array();
    for (const ModEntry& e : opened.mod.entries) {
        nlohmann::ordered_json entry{{"fileName", U8(e.fileName)}, {"assetName", U8(e.assetName)}};
        if (extended) {
            entry["member"] = U8(e.member);
            entry["type"] = e.type;
            entry["classId"] = e.classId;
            entry["pathId"] = e.pathId;
        } else {
            entry["type"] = e.type;
            entry["index"] = static_cast<std::uint32_t>(e.pathId);
        }
        entry["length"] = e.length;
        entry["offset"] = e.offset;
        entries.push_back(std::move(entry));
    }
    out["entries"] = std::move(entries);
    out["payloadSize"] = opened.layout.payloadLength;
    return out;
}

void PrintMod(const OpenedMod& opened) {
    const ravelin::ModFormat format = opened.layout.format;
    std::cout << "format: "
              << (format == ravelin::ModFormat::Older ? "older (no version word, no installer)"
                  : format == ravelin::ModFormat::Extended
                      ? "extended (class ids, 64-bit path ids, "
                        "bundle members)"
                      : "current")
              << "\n";
    for (const auto& [key, text] : Texts(opened.mod)) {
        std::cout << key << ": " << U8(*text) << "\n";
    }
    std::cout << "entries: " << opened.mod.entries.size() << "\n";
    for (const ModEntry& e : opened.mod.entries) {
        std::cout << "  " << U8(e.fileName);
        if (!e.member.empty()) {
            std::cout << "  member " << U8(e.member);
        }
        std::cout << "  " << U8(e.assetName) << "  type " << U8(HexWordText(e.type));
        if (format == ravelin::ModFormat::Extended) {
            std::cout << "  class " << e.classId << "  path id " << e.pathId;
        } else {
            std::cout << "  index " << U8(ravelin::PathIdText(e.pathId));
        }
        std::cout << "  length " << e.length << "  offset " << e.offset << "\n";
    }
    std::cout << "payload: " << opened.layout.payloadLength << " bytes\n";
}

// A part of a file name made from a stored text: letters, digits, '.', '-' and '_' stay.
std::string NamePart(const std::u16string& text) {
    std::string out;
    for (char16_t c : text) {
        const bool plain = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                           (c >= u'0' && c <= u'9') || c == u'-' || c == u'_' ||
                           (c == u'.' && !out.empty());
        out += plain ? static_cast<char>(c) : '_';
    }
    return out.substr(0, 80);
}

// The mod's working files in the run's private folder, deleted at the end of the command.
class WorkFiles {
public:
    explicit WorkFiles(CliContext& context) {
        EnsureWorkingFolder(context);
        files.data = context.doc.workingFolder + platform::kSeparator + u"mod";
        files.scratch = context.doc.workingFolder + platform::kSeparator + u"mod2";
    }
    ~WorkFiles() {
        platform::DeleteFile(files.data);
        platform::DeleteFile(files.scratch);
    }
    WorkFiles(const WorkFiles&) = delete;
    WorkFiles& operator=(const WorkFiles&) = delete;

    ravelin::ModWorkFiles files;
};

// "Add File"'s warning for a duplicate goes to standard error and the asset is skipped; any
// other refusal (the data could not be written) ends the run.
class AddWarnings : public ravelin::MessageSink {
public:
    void Warn(std::u16string_view caption, std::u16string_view text) override {
        if (text != ravelin::kDuplicateAssetText) {
            Fail(kInputError, current + ": " + U8(std::u16string(text)));
        }
        std::cerr << "kestrova-cli: " << current << ": " << U8(std::u16string(text)) << " ("
                  << U8(std::u16string(caption)) << ")\n";
    }
    std::string current;
};

struct BuildOptions {
    std::string out;
    std::optional<std::string> name, author, date, version, directory, verifyFile, description,
        installer, icon;
    std::vector<std::string> adds;
};

// "FILE:N" — an asset file and a table index; the file name may itself hold colons.
std::pair<std::string, std::uint32_t> SplitAdd(const std::string& add) {
    const std::size_t colon = add.rfind(':');
    const std::string number = colon == std::string::npos ? "" : add.substr(colon + 1);
    if (number.empty() || number.size() > 10 ||
        number.find_first_not_of("0123456789") != std::string::npos ||
        std::stoull(number) > 0xFFFFFFFFull) {
        Fail(kUsageError, "--add takes ASSETFILE:N with a table index N, not " + add);
    }
    return {add.substr(0, colon), static_cast<std::uint32_t>(std::stoull(number))};
}

void Build(CliContext& context, const BuildOptions& o) {
    WorkFiles work(context);
    ravelin::ModSession session(work.files);
    using ravelin::ModField;
    const std::pair<ModField, const std::optional<std::string>*> texts[] = {
        {ModField::Name, &o.name},
        {ModField::Author, &o.author},
        {ModField::Date, &o.date},
        {ModField::Version, &o.version},
        {ModField::Directory, &o.directory},
        {ModField::VerifyFile, &o.verifyFile},
        {ModField::Description, &o.description},
        {ModField::IconPath, &o.icon}};
    for (const auto& [field, value] : texts) {
        if (*value) {
            session.EditField(field, Utf8ToUtf16(**value));
        }
    }
    if (o.installer) {
        session.mod().installer =
            ravelin::FieldText(Utf8ToUtf16(*o.installer), ravelin::kNameCapacity);
    }
    AddWarnings warnings;
    std::string loaded;
    for (const std::string& add : o.adds) {
        auto [file, index] = SplitAdd(add);
        if (file != loaded) {
            OpenInput(context, file);
            loaded = file;
        }
        AssetChoice choice;
        choice.index = index;
        PickAsset(context.doc, choice);
        std::optional<std::vector<std::uint8_t>> body = ReadAssetBody(context.doc, index);
        if (!body || body->size() > 0x7FFFFFFFu) {
            Fail(kInputError, "cannot read asset " + std::to_string(index) + " of " + file);
        }
        // As the editor hands an asset over in the "Ravelin" mode, and "Add File" adds it.
        session.BeginForm(body->data(), static_cast<std::int32_t>(body->size()), false);
        body.reset();  // the session keeps its own copy, as the plug-in does
        for (const ModImportCall& call : ModImportCalls(context.doc, index)) {
            session.RecordImport(call.text.c_str(), &call.value, call.number.c_str());
        }
        warnings.current = add;
        session.AddFile(warnings);
    }
    Outcome saved = ravelin::SaveModAs(Utf8ToUtf16(o.out), session.mod(), work.files);
    if (!saved) {
        Fail(kInputError, U8(saved.message));
    }
}

void Extract(const std::string& path, const std::string& folder) {
    OpenedMod opened;
    ReadMod(path, opened);
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (!std::filesystem::is_directory(folder)) {
        Fail(kInputError, "cannot create the folder " + folder);
    }
    std::span<const std::uint8_t> payload = opened.file.bytes().subspan(opened.layout.payloadStart);
    for (std::size_t i = 0; i < opened.mod.entries.size(); ++i) {
        const ModEntry& e = opened.mod.entries[i];
        std::ostringstream name;
        name << std::setw(3) << std::setfill('0') << i << "-" << NamePart(e.fileName) << "-";
        if (!e.member.empty()) {
            name << NamePart(e.member) << "-";
        }
        name << NamePart(e.assetName) << "-" << U8(ravelin::PathIdText(e.pathId)) << ".data";
        const std::string target = (std::filesystem::path(folder) / name.str()).string();
        if (Outcome written =
                WriteFileBeside(Utf8ToUtf16(target), payload.subspan(e.offset, e.length));
            !written) {
            Fail(kInputError, written);
        }
        std::cout << name.str() << "\n";
    }
}

}  // namespace

void AddModCommands(CLI::App& app, CliContext& context) {
    CLI::App* mod =
        app.add_subcommand("mod", "Read, build and take apart Ravelin mod files (.umod).");
    mod->require_subcommand(1);

    struct InfoOptions {
        std::string file;
        bool json = false;
        std::string folder;
    };
    auto info = std::make_shared<InfoOptions>();
    CLI::App* infoCommand = mod->add_subcommand(
        "info", "Print a mod's form, texts, entries (file order) and payload size.");
    infoCommand->add_option("MOD", info->file, "the .umod file (never written)")->required();
    infoCommand->add_flag("--json", info->json, "one JSON object");
    infoCommand->callback([info] {
        OpenedMod opened;
        ReadMod(info->file, opened);
        if (info->json) {
            std::cout << ModAsJson(opened).dump(2) << "\n";
        } else {
            PrintMod(opened);
        }
    });

    auto build = std::make_shared<BuildOptions>();
    CLI::App* buildCommand = mod->add_subcommand(
        "build", "Write a new mod: the given texts, then each --add as \"Add File\" adds it.");
    buildCommand->add_option("-o", build->out, "the .umod file to write")->required();
    const std::pair<const char*, std::optional<std::string>*> texts[] = {
        {"--name", &build->name},
        {"--author", &build->author},
        {"--date", &build->date},
        {"--version", &build->version},
        {"--directory", &build->directory},
        {"--verify-file", &build->verifyFile},
        {"--description", &build->description},
        {"--installer", &build->installer}};
    for (const auto& [flag, value] : texts) {
        buildCommand->add_option(flag, *value)->type_name("T");
    }
    buildCommand->add_option("--icon", build->icon, "the installer icon's path")->type_name("PATH");
    buildCommand
        ->add_option("--add", build->adds, "table entry N (0-based) of an asset file; repeatable")
        ->type_name("ASSETFILE:N");
    buildCommand->callback([&context, build] { Build(context, *build); });

    CLI::App* extractCommand =
        mod->add_subcommand("extract", "Write each entry's data into a file of its own.");
    extractCommand->add_option("MOD", info->file, "the .umod file (never written)")->required();
    extractCommand->add_option("-d", info->folder, "the folder to write into")->required();
    extractCommand->callback([info] { Extract(info->file, info->folder); });
}

}  // namespace kestrova::cli

#pragma once
// Plug-in folders for tests: descriptors written into a "Plugins" tree with a copy of one of the
// test plug-ins beside them (a copy is a library of its own, with its own state), and the test
// plug-in's extra exports reached on the loaded library.

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/platform.h"
#include "editor/plugins/plugin_table.h"

namespace kestrova::testing {

// A descriptor with one "plugin" element; `data` is the content of its "plugindata" element
// (extensions), `type` and `typeName` its attributes.
inline std::string Descriptor(const std::string& name, const std::string& library,
                              const std::string& typeName, const std::string& type,
                              const std::string& data = "") {
    return "<?xml version=\"1.0\"?>\n<plugin name=\"" + name +
           "\" author=\"Tester\" version=\"1.0\" date=\"2026-12-08\" mainlibrary=\"" + library +
           "\">\n\t<description>About " + name + "</description>\n\t<instructions>Use " + name +
           "</instructions>\n\t<plugindata name=\"" + typeName + "\" type=\"" + type + "\">\n" +
           data + "\t</plugindata>\n</plugin>\n";
}

inline std::string Extension(const std::string& extension, const std::string& filter) {
    return "\t\t<extension extension=\"" + extension + "\" filter=\"" + filter + "\"/>\n";
}

// Writes `descriptor` as <root>/<relative> and copies `library` (a built test plug-in) into the
// same folder under `libraryName`.
inline void InstallPlugin(const std::filesystem::path& root, const std::string& relative,
                          const std::string& descriptor, const std::string& library,
                          const std::string& libraryName) {
    const std::filesystem::path file = root / relative;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << descriptor;
    if (!library.empty()) {
        std::filesystem::copy_file(library, file.parent_path() / libraryName,
                                   std::filesystem::copy_options::overwrite_existing);
    }
}

// The recording plug-in's controls on a loaded record.
struct RecordingControls {
    explicit RecordingControls(const PluginRecord& record)
        : log(reinterpret_cast<const char* (*)()>(platform::FindSymbol(record.library, "TestLog"))),
          reset(reinterpret_cast<void (*)()>(platform::FindSymbol(record.library, "TestReset"))),
          setChanged(reinterpret_cast<void (*)(std::uint8_t)>(
              platform::FindSymbol(record.library, "TestSetChanged"))),
          setData(reinterpret_cast<void (*)(const std::uint8_t*, std::int32_t, int)>(
              platform::FindSymbol(record.library, "TestSetData"))),
          setImport(reinterpret_cast<void (*)(int)>(
              platform::FindSymbol(record.library, "TestSetImport"))) {}

    std::string Log() const { return log(); }
    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        std::string text = log();
        std::size_t start = 0;
        for (std::size_t end; (end = text.find('\n', start)) != std::string::npos;
             start = end + 1) {
            lines.push_back(text.substr(start, end - start));
        }
        return lines;
    }
    void Data(const std::vector<std::uint8_t>& bytes, int how = 0) {
        setData(bytes.data(), static_cast<std::int32_t>(bytes.size()), how);
    }

    const char* (*log)();
    void (*reset)();
    void (*setChanged)(std::uint8_t);
    void (*setData)(const std::uint8_t*, std::int32_t, int);
    void (*setImport)(int);
};

// Collects warnings instead of showing them.
class CollectingSink : public MessageSink {
public:
    void Warning(std::u16string_view caption, std::u16string_view text) override {
        warnings.emplace_back(std::u16string(caption) + u": " + std::u16string(text));
    }
    std::vector<std::u16string> warnings;
};

}  // namespace kestrova::testing

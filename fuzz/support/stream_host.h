#pragma once
// The host's side of a plug-in context for the plug-ins' fuzz targets and tests: resource files
// in memory by name, readStream over them with the host's range rule, and the last report, which
// must say why.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "kestrova_plugin.h"

namespace kestrova::fuzz {

struct StreamHost {
    std::map<std::string, std::vector<std::uint8_t>> files;
    std::string report;

    static std::int32_t Read(void* host, const char* path, std::uint64_t offset, std::uint64_t size,
                             std::uint8_t* buffer) {
        const auto& files = static_cast<StreamHost*>(host)->files;
        const auto file = files.find(path);
        if (file == files.end()) {
            return KESTROVA_STREAM_NOT_FOUND;
        }
        if (offset > file->second.size() || size > file->second.size() - offset) {
            return KESTROVA_STREAM_OUT_OF_RANGE;
        }
        std::copy_n(file->second.begin() + static_cast<std::ptrdiff_t>(offset), size, buffer);
        return KESTROVA_STREAM_READ;
    }
    static void Report(void* host, const char* message) {
        if (message == nullptr || *message == 0) {
            std::fprintf(stderr, "invariant broken: a report says why\n");
            std::abort();
        }
        static_cast<StreamHost*>(host)->report = message;
    }

    // A context of a format-22 file of `engine` with this host, the name prefix `prefix` and
    // `tree` (or none); it points into its arguments, which must outlive it.
    KestrovaPluginContext Context(const char* engine, const std::vector<std::uint8_t>& prefix,
                                  const KestrovaTypeTree* tree = nullptr) {
        KestrovaPluginContext context{};
        context.size = sizeof context;
        context.version = KESTROVA_PLUGIN_CONTEXT_VERSION;
        context.formatVersion = 22;
        context.engineVersion = engine;
        context.namePrefixLength = static_cast<std::uint32_t>(prefix.size());
        context.namePrefix = prefix.data();
        context.typeTree = tree;
        context.host = this;
        context.readStream = &Read;
        context.report = &Report;
        return context;
    }
};

}  // namespace kestrova::fuzz

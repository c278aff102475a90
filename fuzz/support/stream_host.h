#pragma once
// The host's side of a plug-in context for the fuzz targets of the plug-ins: one resource file in
// memory under one name, readStream over it with the host's range rule, and reports that must
// say why.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "kestrova_plugin.h"

namespace kestrova::fuzz {

struct StreamHost {
    std::string name;
    std::span<const std::uint8_t> file;

    static std::int32_t Read(void* host, const char* path, std::uint64_t offset, std::uint64_t size,
                             std::uint8_t* buffer) {
        const StreamHost& self = *static_cast<StreamHost*>(host);
        if (self.name != path) {
            return KESTROVA_STREAM_NOT_FOUND;
        }
        if (offset > self.file.size() || size > self.file.size() - offset) {
            return KESTROVA_STREAM_OUT_OF_RANGE;
        }
        std::copy_n(self.file.begin() + static_cast<std::ptrdiff_t>(offset), size, buffer);
        return KESTROVA_STREAM_READ;
    }
    static void Report(void*, const char* message) {
        if (message == nullptr || *message == 0) {
            std::fprintf(stderr, "invariant broken: a report says why\n");
            std::abort();
        }
    }

    // A context of a format-22 file of `engine` with this host, the name prefix `prefix` and
    // `tree` (or none); it points into its arguments.
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

#pragma once
// A plug-in library loaded as the host loads it (with local symbols, through the platform layer),
// its five entry points resolved by name, and calls made with the host's conventions: lengths set
// to 0 before a call, returned blocks taken over and released with ::operator delete.
//
//   PluginLibrary plugin{KESTROVA_TEXT_PLUGIN};      // unloaded when `plugin` goes
//   ASSERT_TRUE(plugin.complete()) << plugin.error;
//   plugin.Open(nullptr, body);                       // no parent: data only, no panel
//   std::optional<Bytes> text = plugin.Export(u"txt");
//   const PluginLibrary& kept = KeptLoaded(path);    // loaded to the end of the program

#ifndef _WIN32
#include <dlfcn.h>
#endif

#include <cstdint>
#include <map>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/platform.h"
#include "common/text.h"
#include "kestrova_plugin.h"

class QWidget;

namespace kestrova::testing {

using Bytes = std::vector<std::uint8_t>;

class PluginLibrary {
public:
    // Whether the library is unloaded with this object, or stays loaded (with the objects it
    // made) until the program ends.
    enum class Unload { WithObject, Never };

    explicit PluginLibrary(const std::string& path, Unload unload = Unload::WithObject)
        : handle_(platform::LoadLibrary(Utf8ToUtf16(path))), unload_(unload) {
        if (handle_ == nullptr) {
            error = "cannot load " + path;
#ifndef _WIN32
            if (const char* reason = ::dlerror()) {
                error = reason;
            }
#endif
            return;
        }
        createPluginDialog = Resolve<CreatePluginDialogProc>(KESTROVA_CREATE_PLUGIN_DIALOG_NAME);
        assetChanged = Resolve<AssetChangedProc>(KESTROVA_ASSET_CHANGED_NAME);
        getData = Resolve<GetDataProc>(KESTROVA_GET_DATA_NAME);
        exportData = Resolve<ExportDataProc>(KESTROVA_EXPORT_DATA_NAME);
        importData = Resolve<ImportDataProc>(KESTROVA_IMPORT_DATA_NAME);
    }
    ~PluginLibrary() {
        if (unload_ == Unload::WithObject) {
            platform::FreeLibrary(handle_);
        }
    }
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    bool loaded() const {
        return handle_ != nullptr;
    }
    // Another export of the library (the optional SetPluginContext, a test plug-in's controls).
    void* Symbol(const char* name) const {
        return platform::FindSymbol(handle_, name);
    }
    // Whether all five entry points resolved.
    bool complete() const {
        return createPluginDialog && assetChanged && getData && exportData && importData;
    }

    // Hands `body` over; with a parent the plug-in's panel (a child of `parent`), without one null
    // from a plug-in that keeps to the contract.
    QWidget* Open(QWidget* parent, std::span<const std::uint8_t> body) const {
        return static_cast<QWidget*>(
            createPluginDialog(parent, body.data(), static_cast<std::int32_t>(body.size())));
    }
    // GetData's block as the host reads it: a null block with length 0 is empty data; nothing when
    // the plug-in refused (a null block with another length, or a negative length).
    std::optional<Bytes> Data() const {
        std::int32_t length = 0;
        std::uint8_t* block = getData(&length);
        if (block == nullptr && length == 0) {
            return Bytes{};
        }
        return TakeBlock(block, length);
    }
    // The converted block; nothing when the plug-in refused (returned null).
    std::optional<Bytes> Export(const char16_t* extension) const {
        std::int32_t length = 0;
        std::uint8_t* block = exportData(&length, extension);
        return TakeBlock(block, length);
    }
    std::optional<Bytes> Import(std::span<const std::uint8_t> input,
                                const char16_t* extension) const {
        std::int32_t length = static_cast<std::int32_t>(input.size());
        std::uint8_t* block = importData(input.data(), &length, extension);
        return TakeBlock(block, length);
    }

    // Takes over a block an entry point returned and releases it as the host does: its bytes, or
    // nothing for a null block (an empty block gives empty bytes) or a negative length.
    static std::optional<Bytes> TakeBlock(std::uint8_t* block, std::int32_t length) {
        if (block == nullptr) {
            return std::nullopt;
        }
        std::optional<Bytes> bytes;
        if (length >= 0) {
            bytes.emplace(block, block + length);
        }
        ::operator delete(block);
        return bytes;
    }

    std::string error;
    CreatePluginDialogProc createPluginDialog = nullptr;
    AssetChangedProc assetChanged = nullptr;
    GetDataProc getData = nullptr;
    ExportDataProc exportData = nullptr;
    ImportDataProc importData = nullptr;

private:
    template <class Proc>
    Proc Resolve(const char* name) {
        return reinterpret_cast<Proc>(platform::FindSymbol(handle_, name));
    }

    platform::LibraryHandle handle_ = nullptr;
    Unload unload_;
};

// The library at `path`, loaded at the first call and kept loaded to the end of the program, as
// the host keeps its plug-ins: for suites whose tests share the library's state or leave its
// panels behind.
inline const PluginLibrary& KeptLoaded(const std::string& path) {
    static std::map<std::string, PluginLibrary> libraries;
    return libraries.try_emplace(path, path, PluginLibrary::Unload::Never).first->second;
}

}  // namespace kestrova::testing

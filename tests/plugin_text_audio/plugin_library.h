#pragma once
// A plug-in library loaded as the host loads it (dlopen with local symbols), its five entry
// points, and calls made with the host's conventions: lengths set to 0 before a call, returned
// blocks taken over and released with ::operator delete.

#include <dlfcn.h>

#include <memory>
#include <new>
#include <optional>
#include <string>

#include "kestrova_plugin.h"
#include "tests/document/asset_file_builder.h"

class QWidget;

namespace kestrova::testing {

class PluginLibrary {
public:
    explicit PluginLibrary(const std::string& path)
        : handle_(::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
        if (handle_ == nullptr) {
            error = ::dlerror();
            return;
        }
        createPluginDialog = Resolve<CreatePluginDialogProc>(KESTROVA_CREATE_PLUGIN_DIALOG_NAME);
        assetChanged = Resolve<AssetChangedProc>(KESTROVA_ASSET_CHANGED_NAME);
        getData = Resolve<GetDataProc>(KESTROVA_GET_DATA_NAME);
        exportData = Resolve<ExportDataProc>(KESTROVA_EXPORT_DATA_NAME);
        importData = Resolve<ImportDataProc>(KESTROVA_IMPORT_DATA_NAME);
    }
    ~PluginLibrary() {
        if (handle_ != nullptr) {
            ::dlclose(handle_);
        }
    }
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    bool complete() const {
        return createPluginDialog && assetChanged && getData && exportData && importData;
    }

    QWidget* Open(QWidget* parent, const Bytes& body) const {
        return static_cast<QWidget*>(
            createPluginDialog(parent, body.data(), static_cast<std::int32_t>(body.size())));
    }
    // GetData's block; nullopt when the plug-in refused (a null block with a length other than 0).
    std::optional<Bytes> Data() const {
        std::int32_t length = 0;
        std::uint8_t* block = getData(&length);
        return TakeOver(block, length, /*emptyIsData=*/true);
    }
    std::optional<Bytes> Export(const char16_t* extension) const {
        std::int32_t length = 0;
        std::uint8_t* block = exportData(&length, extension);
        return TakeOver(block, length, false);
    }
    std::optional<Bytes> Import(const Bytes& input, const char16_t* extension) const {
        std::int32_t length = static_cast<std::int32_t>(input.size());
        std::uint8_t* block = importData(input.data(), &length, extension);
        return TakeOver(block, length, false);
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
        return reinterpret_cast<Proc>(::dlsym(handle_, name));
    }

    static std::optional<Bytes> TakeOver(std::uint8_t* block, std::int32_t length,
                                         bool emptyIsData) {
        if (block == nullptr) {
            if (emptyIsData && length == 0) {
                return Bytes{};
            }
            return std::nullopt;
        }
        Bytes bytes(block, block + length);
        ::operator delete(block);
        return bytes;
    }

    void* handle_ = nullptr;
};

}  // namespace kestrova::testing

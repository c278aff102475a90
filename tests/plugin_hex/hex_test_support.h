#pragma once
// The built hex plug-in library, loaded the way the editor loads it.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <new>
#include <vector>

#include "kestrova_plugin.h"

namespace kestrova::testing {

// hex.so from the run folder, loaded with local symbol binding and its five entry points
// resolved by name. The library stays loaded to the end of the program, as in the editor.
struct HexPluginLibrary {
    HexPluginLibrary() {
        handle = dlopen(HEX_PLUGIN_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            ADD_FAILURE() << dlerror();
            return;
        }
        create = Resolve<CreatePluginDialogProc>(KESTROVA_CREATE_PLUGIN_DIALOG_NAME);
        changed = Resolve<AssetChangedProc>(KESTROVA_ASSET_CHANGED_NAME);
        getData = Resolve<GetDataProc>(KESTROVA_GET_DATA_NAME);
        exportData = Resolve<ExportDataProc>(KESTROVA_EXPORT_DATA_NAME);
        importData = Resolve<ImportDataProc>(KESTROVA_IMPORT_DATA_NAME);
    }
    bool loaded() const {
        return create != nullptr && changed != nullptr && getData != nullptr &&
               exportData != nullptr && importData != nullptr;
    }

    template <typename Proc>
    Proc Resolve(const char* name) {
        return reinterpret_cast<Proc>(dlsym(handle, name));
    }

    void* handle = nullptr;
    CreatePluginDialogProc create = nullptr;
    AssetChangedProc changed = nullptr;
    GetDataProc getData = nullptr;
    ExportDataProc exportData = nullptr;
    ImportDataProc importData = nullptr;
};

inline HexPluginLibrary& HexPlugin() {
    static HexPluginLibrary library;
    return library;
}

// Takes over a block that the plug-in returned: its bytes, released as the editor releases it.
// A null block gives no bytes and `isNull` true.
inline std::vector<std::uint8_t> TakeBlock(std::uint8_t* block, std::int32_t length,
                                           bool* isNull = nullptr) {
    if (isNull != nullptr) {
        *isNull = block == nullptr;
    }
    std::vector<std::uint8_t> bytes;
    if (block != nullptr && length > 0) {
        bytes.assign(block, block + length);
    }
    ::operator delete(block);
    return bytes;
}

}  // namespace kestrova::testing

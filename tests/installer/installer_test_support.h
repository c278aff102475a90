#pragma once
// What the installer's tests share: a mod built as "Add File" builds it, in a fresh folder.

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "plugins/ravelin/core/mod_contents.h"
#include "plugins/ravelin/core/mod_record.h"
#include "tests/document/document_test_support.h"
#include "tests/ravelin/mod_test_support.h"

namespace kestrova::testing {

class ModTest : public RavelinTest {
protected:
    // Adds an asset with this body to the mod, as the editor hands it over.
    void Add(const std::u16string& fileName, const std::u16string& assetName, std::uint32_t index,
             const Bytes& body) {
        ravelin::PendingAsset pending;
        pending.payload = body;
        pending.fileName = fileName;
        pending.assetName = assetName;
        pending.pathId = index;
        pending.type = 49;
        ASSERT_TRUE(ravelin::AddPendingAsset(mod, pending, files).ok);
    }

    // The names in a folder of the test's folder, sorted.
    std::vector<std::string> Listing(const std::string& relative = "") const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(folder.File(relative))) {
            names.push_back(e.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    // Every file below a folder of the test's folder and its bytes, by relative path.
    std::map<std::string, Bytes> Snapshot(const std::string& relative) const {
        std::map<std::string, Bytes> files;
        const std::filesystem::path root = folder.File(relative);
        for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
            const std::string name = std::filesystem::relative(e.path(), root).string();
            files[name] = e.is_regular_file() ? ReadBytes(e.path().string()) : Bytes{'/'};
        }
        return files;
    }

    ravelin::ModRecord mod;
};

}  // namespace kestrova::testing

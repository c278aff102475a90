#pragma once
// A texture of a real file (or bundle member) as the host hands it to the plug-in: its body and
// the context the editor and kestrova-cli build for it, streamed data readable through it.

#include <optional>
#include <string>

#include "common/text.h"
#include "document/asset_file.h"
#include "document/bundle/bundle_document.h"
#include "editor/plugins/asset_context.h"
#include "editor/plugins/plugin_context.h"

namespace kestrova::testing {

// The Texture2D named `name` of `path` (its member `member` when not empty); `ok` tells whether
// it was found. Working copies go to `working`.
struct HandedOver {
    AssetFile doc;
    PluginContextHolder host;
    std::vector<std::uint8_t> body;
    bool ok = false;

    HandedOver(const std::string& path, const std::string& member, const std::string& name,
               const std::u16string& working) {
        doc.workingFolder = working;
        const std::optional<std::string> chosen =
            member.empty() ? std::nullopt : std::optional<std::string>(member);
        if (!bundle::LoadDocument(doc, Utf8ToUtf16(path), chosen)) {
            return;
        }
        for (std::uint32_t i = 0; i < doc.entries.size(); ++i) {
            if (doc.entries[i].typeId == 0x1C && Utf16ToUtf8(doc.entries[i].name) == name) {
                const std::u16string file = Utf8ToUtf16(path);
                host.Set(AssetContextOf(doc, i, file.substr(0, FileNameStart(file) - 1)));
                host.SetArchiveReader(ArchiveReaderOf(doc));
                body = ReadAssetBody(doc, i).value_or(std::vector<std::uint8_t>{});
                ok = true;
            }
        }
    }
    ~HandedOver() { CloseAssetFile(doc); }
};

}  // namespace kestrova::testing

// A plug-in for the host's tests, built only against the plug-in interface as any plug-in is. It
// records every call it receives in a log and answers as the test tells it, through a few extra
// exports that tests reach with dlsym on the loaded library:
//   TestLog()                  the calls so far, one line each
//   TestReset()                empties the log and restores the default answers
//   TestSetChanged(v)          what AssetChanged returns
//   TestSetData(data, n, how)  what GetData returns: how 0 = a copy of data, 1 = null with
//                              length n, 2 = a copy with length -1, 3 = throws
//   TestSetImport(how)         ImportData: 0 = "<ext>:" + input, 1 = null, 2 = the input is a
//                              text (the "Mod" panel mode): log it, return null, 3 = throws
// Built with RECORDING_PANEL_WIDGET the panel is a real widget (for the window tests); otherwise
// CreatePluginDialog returns a marker that is no window. Built with RECORDING_PARTIAL only
// CreatePluginDialog and GetData are exported. Built with RECORDING_CONTEXT it also exports
// SetPluginContext, checks every field of the context and logs it, reads the streamed data asked
// for with TestSetStream(path, offset, size), and reports TestSetReport's text when ImportData
// refuses.

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "kestrova_plugin.h"

#ifdef RECORDING_PANEL_WIDGET
#include <QLabel>
#include <QPointer>
#endif

namespace {

std::string callLog;
std::uint8_t changedAnswer = 0;
std::vector<std::uint8_t> dataAnswer;
std::int32_t dataLength = 0;
int dataHow = 0;
int importHow = 0;
std::vector<std::uint8_t> handedOver;
[[maybe_unused]] char panelMarker;

#ifdef RECORDING_PANEL_WIDGET
QPointer<QLabel> panel;
#endif

#ifdef RECORDING_CONTEXT
const KestrovaPluginContext* givenContext = nullptr;
std::string streamPath;
std::uint64_t streamOffset = 0;
std::uint64_t streamSize = 0;
std::string reportText;
#endif

std::string Hex(const std::uint8_t* bytes, std::size_t count) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

// Plain ASCII of a UTF-16 text (other characters as '?').
[[maybe_unused]] std::string Narrow(const char16_t* text) {
    std::string out;
    for (; text != nullptr && *text != 0; ++text) {
        out += *text < 128 ? static_cast<char>(*text) : '?';
    }
    return out;
}

std::uint8_t* Block(const std::vector<std::uint8_t>& bytes) {
    auto* block = static_cast<std::uint8_t*>(::operator new(bytes.size() + 1));
    if (!bytes.empty()) {
        std::memcpy(block, bytes.data(), bytes.size());
    }
    return block;
}

}  // namespace

KESTROVA_PLUGIN_EXPORT const char* TestLog() {
    return callLog.c_str();
}

KESTROVA_PLUGIN_EXPORT void TestReset() {
    callLog.clear();
    changedAnswer = 0;
    dataAnswer.clear();
    dataLength = 0;
    dataHow = 0;
    importHow = 0;
}

KESTROVA_PLUGIN_EXPORT void TestSetChanged(std::uint8_t value) {
    changedAnswer = value;
}

KESTROVA_PLUGIN_EXPORT void TestSetData(const std::uint8_t* data, std::int32_t length, int how) {
    dataAnswer.assign(data, data + (length > 0 ? length : 0));
    dataLength = length;
    dataHow = how;
}

KESTROVA_PLUGIN_EXPORT void TestSetImport(int how) {
    importHow = how;
}

#ifdef RECORDING_CONTEXT

KESTROVA_PLUGIN_EXPORT void TestSetStream(const char* path, std::uint64_t offset,
                                          std::uint64_t size) {
    streamPath = path;
    streamOffset = offset;
    streamSize = size;
}

KESTROVA_PLUGIN_EXPORT void TestSetReport(const char* text) {
    reportText = text;
}

namespace {

// A node's text when its offset lies inside the strings and the text ends before they do.
std::string TreeText(const KestrovaTypeTree& tree, std::uint32_t offset) {
    if (offset >= tree.stringsLength ||
        std::memchr(tree.strings + offset, 0, tree.stringsLength - offset) == nullptr) {
        return "<outside>";
    }
    return tree.strings + offset;
}

}  // namespace

KESTROVA_PLUGIN_EXPORT void SetPluginContext(const KestrovaPluginContext* context) {
    givenContext = context;
    if (context == nullptr || !KESTROVA_CONTEXT_HAS(context, report)) {
        callLog += "context missing\n";
        return;
    }
    callLog +=
        "context size " + std::to_string(context->size) + " version " +
        std::to_string(context->version) + " format " + std::to_string(context->formatVersion) +
        " order " + std::to_string(context->byteOrder) + " engine " + context->engineVersion +
        " class " + std::to_string(context->classId) + " path " + std::to_string(context->pathId) +
        " prefix " + Hex(context->namePrefix, context->namePrefixLength) + "\n";
    if (const KestrovaTypeTree* tree = context->typeTree) {
        for (std::uint32_t i = 0; i < tree->nodeCount; ++i) {
            const KestrovaTypeTreeNode& n = tree->nodes[i];
            callLog += "node " + std::to_string(n.level) + " " + TreeText(*tree, n.typeOffset) +
                       " " + TreeText(*tree, n.nameOffset) + " " + std::to_string(n.byteSize) +
                       " " + std::to_string(n.index) + " " + std::to_string(n.metaFlag) + " " +
                       std::to_string(n.typeFlags) + " " + std::to_string(n.version) + " " +
                       std::to_string(n.refTypeHash) + "\n";
        }
    }
    if (!streamPath.empty()) {
        std::vector<std::uint8_t> buffer(streamSize);
        const std::int32_t status = context->readStream(context->host, streamPath.c_str(),
                                                        streamOffset, streamSize, buffer.data());
        callLog += "stream " + std::to_string(status) + " " +
                   (status == KESTROVA_STREAM_READ ? Hex(buffer.data(), buffer.size()) : "") + "\n";
    }
}

#endif

KESTROVA_PLUGIN_EXPORT void* CreatePluginDialog(void* parent, const std::uint8_t* data,
                                                std::int32_t length) {
    handedOver.assign(data, data + length);
    callLog +=
        "create " + std::string(parent != nullptr ? "parent " : "null ") + Hex(data, length) + "\n";
    if (parent == nullptr) {
        return nullptr;
    }
#ifdef RECORDING_PANEL_WIDGET
    delete panel;
    panel = new QLabel(QStringLiteral("%1 bytes").arg(length), static_cast<QWidget*>(parent));
    panel->setObjectName(QStringLiteral("recordingPanel"));
    return panel.data();
#else
    return &panelMarker;
#endif
}

KESTROVA_PLUGIN_EXPORT std::uint8_t* GetData(std::int32_t* length) {
    callLog += "get " + std::to_string(*length) + "\n";
    switch (dataHow) {
        case 1:
            *length = dataLength;
            return nullptr;
        case 2:
            *length = -1;
            return Block(dataAnswer);
        case 3:
            throw std::runtime_error("GetData failed");
        default:
            *length = static_cast<std::int32_t>(dataAnswer.size());
            return Block(dataAnswer);
    }
}

#ifndef RECORDING_PARTIAL

KESTROVA_PLUGIN_EXPORT std::uint8_t AssetChanged() {
    callLog += "changed\n";
    return changedAnswer;
}

KESTROVA_PLUGIN_EXPORT std::uint8_t* ExportData(std::int32_t* length, const char16_t* extension) {
    callLog += "export " + Narrow(extension) + " " + std::to_string(*length) + "\n";
    std::string text = Narrow(extension) + ":";
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    bytes.insert(bytes.end(), handedOver.begin(), handedOver.end());
    *length = static_cast<std::int32_t>(bytes.size());
    return Block(bytes);
}

// In the "Mod" panel mode the input is a text and the length the asset's type id.
KESTROVA_PLUGIN_EXPORT std::uint8_t* ImportData(const void* input, std::int32_t* length,
                                                const char16_t* extension) {
    callLog += "import " + Narrow(extension) + " " + std::to_string(*length) + " ";
    if (importHow == 2) {
        callLog += Narrow(static_cast<const char16_t*>(input)) + "\n";
        return nullptr;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(input);
    callLog += Hex(bytes, static_cast<std::size_t>(*length)) + "\n";
    if (importHow == 1) {
#ifdef RECORDING_CONTEXT
        if (!reportText.empty() && givenContext != nullptr) {
            givenContext->report(givenContext->host, reportText.c_str());
        }
#endif
        return nullptr;
    }
    if (importHow == 3) {
        throw std::runtime_error("ImportData failed");
    }
    std::string text = Narrow(extension) + ":";
    std::vector<std::uint8_t> out(text.begin(), text.end());
    out.insert(out.end(), bytes, bytes + *length);
    *length = static_cast<std::int32_t>(out.size());
    return Block(out);
}

#endif

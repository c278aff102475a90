#pragma once
// Scripted host services for driving the editor shell without a window system.

#include <deque>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "editor/shell/editor_shell.h"
#include "editor/shell/file_dialog.h"

namespace kestrova {

// Answers each dialog with the next scripted choice (or a cancel when the script is empty) and
// keeps every request so that tests can check it.
class ScriptedChooser : public FileChooser {
public:
    void Next(std::u16string path, std::uint32_t filterIndex) {
        script.push_back(FileChoice{std::move(path), filterIndex});
    }
    std::optional<FileChoice> Choose(const FileChooserRequest& request) override {
        requests.push_back(request);
        if (script.empty()) {
            return std::nullopt;
        }
        FileChoice choice = script.front();
        script.pop_front();
        return choice;
    }

    std::deque<FileChoice> script;
    std::vector<FileChooserRequest> requests;
};

// Records what the shell asked the window to do; the status bar paints are read from the shell.
class RecordingView : public ShellView {
public:
    struct Paint {
        std::u16string text;
        float progress;
        bool operator==(const Paint&) const = default;
    };

    void RefreshStatusBar() override {
        if (shell != nullptr) {
            paints.push_back({shell->statusText, shell->statusProgress});
        }
    }
    void SetTitle(std::u16string_view title) override { titles.emplace_back(title); }
    void RowsChanged() override { ++rowsChanged; }
    void ClosePluginPanel() override { ++panelsClosed; }
    void ShowBusy(bool on) override {  // a plug-in converts data meanwhile
        busy += on ? 1 : -1;
        busySpans += on ? 1 : 0;
    }
    std::optional<std::size_t> ChooseBundleMember(std::u16string_view,
                                                  const std::vector<BundleNode>& members) override {
        memberLists.push_back(members);
        return memberChoice;
    }
    std::optional<bundle::ChosenCompression> ChooseBundleCompression() override {
        return compression;
    }

    const EditorShell* shell = nullptr;
    std::vector<Paint> paints;
    std::vector<std::u16string> titles;
    int rowsChanged = 0;
    int panelsClosed = 0;
    int busy = 0;                                      // shown busy now when above 0
    int busySpans = 0;                                 // how often the window was shown busy
    std::vector<std::vector<BundleNode>> memberLists;  // the members the window was asked about
    std::optional<std::size_t> memberChoice;           // its answer
    std::optional<bundle::ChosenCompression> compression = bundle::ChosenCompression::AsOriginal;
};

}  // namespace kestrova

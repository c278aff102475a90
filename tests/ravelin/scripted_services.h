#pragma once
// The form's dialogs as a script: each chooser hands out the answers queued for it (nothing, as
// a cancel, when the queue is empty) and records what it was asked; warnings are recorded.

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "plugins/ravelin/core/form_services.h"

namespace kestrova::testing {

class ScriptedServices : public ravelin::MessageSink,
                         public ravelin::FileChooser,
                         public ravelin::FolderChooser {
public:
    struct Warning {
        std::u16string caption;
        std::u16string text;
    };

    void Warn(std::u16string_view caption, std::u16string_view text) override {
        warnings.push_back({std::u16string(caption), std::u16string(text)});
    }
    std::optional<std::u16string> Choose(const ravelin::FileRequest& request) override {
        fileRequests.push_back(request);
        return Next(files);
    }
    std::optional<std::u16string> ChooseFolder(std::u16string_view title) override {
        folderTitles.emplace_back(title);
        return Next(folders);
    }

    std::deque<std::optional<std::u16string>> files;
    std::deque<std::optional<std::u16string>> folders;
    std::vector<Warning> warnings;
    std::vector<ravelin::FileRequest> fileRequests;
    std::vector<std::u16string> folderTitles;

private:
    static std::optional<std::u16string> Next(std::deque<std::optional<std::u16string>>& queue) {
        if (queue.empty()) {
            return std::nullopt;
        }
        std::optional<std::u16string> answer = queue.front();
        queue.pop_front();
        return answer;
    }
};

}  // namespace kestrova::testing

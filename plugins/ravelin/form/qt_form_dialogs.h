#pragma once
// The form's dialogs on Qt: a warning box without owner, file dialogs and a folder chooser.

#include "plugins/ravelin/core/form_services.h"

namespace kestrova::ravelin {

class QtFormDialogs : public MessageSink, public FileChooser, public FolderChooser {
public:
    void Warn(std::u16string_view caption, std::u16string_view text) override;
    std::optional<std::u16string> Choose(const FileRequest& request) override;
    std::optional<std::u16string> ChooseFolder(std::u16string_view title) override;
};

}  // namespace kestrova::ravelin

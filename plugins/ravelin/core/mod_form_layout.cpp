#include "plugins/ravelin/core/mod_form_layout.h"

namespace kestrova::ravelin {

std::array<ControlPlace, kFormControlCount> LayOutModForm(int w, int h) {
    const int half = w / 2;
    const int quarter = w / 4;
    const int third = w / 3;
    const int filesTop = (h - 224) / 2 + 176;
    return {{
        {kTemplateLabel, 8, 8, 100, 24},
        {kTemplateBox, 116, 8, w - 124, 100},
        {kNameLabel, 8, 32, half - 16, 24},
        {kNameEdit, 8, 56, half - 16, 24},
        {kVersionLabel, half + 8, 32, half - 16, 24},
        {kVersionEdit, half + 8, 56, half - 16, 24},
        {kAuthorLabel, 8, 80, half - 16, 24},
        {kAuthorEdit, 8, 104, half - 16, 24},
        {kDateLabel, half + 8, 80, half - 16, 24},
        {kDateEdit, half + 8, 104, half - 16, 24},
        {kDirectoryLabel, 8, 128, w - 16, 24},
        {kDirectoryEdit, 8, 152, w - 48, 24},
        {kDirectoryButton, w - 40, 152, 32, 24},
        {kVerifyLabel, 8, 176, 100, 24},
        {kVerifyEdit, 116, 176, w - 156, 24},
        {kVerifyButton, w - 40, 176, 32, 24},
        {kDescriptionLabel, 8, 200, w - 16, 24},
        {kDescriptionEdit, 8, 224, w - 16, (h - 272) / 2 - 24},
        {kFilesLabel, 8, filesTop, half - 16, 24},
        {kAddButton, half, filesTop, quarter - 8, 24},
        {kRemoveButton, half + quarter, filesTop, quarter - 8, 24},
        {kFilesList, 8, (h - 224) / 2 + 200, w - 16, (h - 256) / 2 - 48},
        {kInstallerLabel, 8, h - 88, 100, 24},
        {kInstallerBox, 116, h - 88, w - 124, 100},
        {kIconLabel, 8, h - 64, 100, 24},
        {kIconEdit, 116, h - 64, w - 156, 24},
        {kIconButton, w - 40, h - 64, 32, 24},
        {kOpenButton, 8, h - 32, third - 8, 24},
        {kSaveButton, third + 4, h - 32, third - 8, 24},
        {kPackageButton, 2 * third, h - 32, third - 8, 24},
    }};
}

}  // namespace kestrova::ravelin

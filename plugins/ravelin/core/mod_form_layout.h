#pragma once
// Where the mod form's controls go for a form of a given size, and their ids and texts.

#include <array>
#include <cstdint>

namespace kestrova::ravelin {

// The form's controls by their ids.
enum ControlId : int {
    kNameEdit = 1001,
    kVersionEdit = 1002,
    kDateEdit = 1003,
    kAuthorEdit = 1004,
    kDescriptionEdit = 1005,
    kNameLabel = 1006,
    kVersionLabel = 1007,
    kAuthorLabel = 1008,
    kDateLabel = 1009,
    kDescriptionLabel = 1010,
    kFilesList = 1011,
    kFilesLabel = 1012,
    kDirectoryEdit = 1013,
    kDirectoryLabel = 1014,
    kDirectoryButton = 1015,
    kAddButton = 1016,
    kRemoveButton = 1017,
    kSaveButton = 1018,
    kOpenButton = 1019,
    kPackageButton = 1020,
    kVerifyEdit = 1021,
    kVerifyButton = 1022,
    kVerifyLabel = 1023,
    kIconEdit = 1024,
    kIconButton = 1025,
    kIconLabel = 1026,
    kTemplateBox = 1027,
    kTemplateLabel = 1028,
    kInstallerBox = 1029,
    kInstallerLabel = 1031,
};

struct ControlPlace {
    int id = 0;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

inline constexpr std::size_t kFormControlCount = 30;

// The places of all controls for a client area of `w` × `h` pixels. Divisions truncate towards
// zero. A combo box's height is that of its drop-down list.
std::array<ControlPlace, kFormControlCount> LayOutModForm(int w, int h);

}  // namespace kestrova::ravelin

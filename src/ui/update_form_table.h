#pragma once
// The main update view's form: every control with its id, kind, caption and
// place in dialog units. The view builds its widgets from this table, so the
// table is the one place where the form's look is written down.

#include <QRect>
#include <QSize>

#include <array>

namespace orvane {

// Control ids of the main update view.
inline constexpr int IDC_GROUP_FILE_LIST = -1;  // the group box has no id of its own
inline constexpr int IDC_CHECK_MODEL = 1025;
inline constexpr int IDC_CHECK_SELECT_ALL = 1022;
inline constexpr int IDC_BUTTON_RELOAD_FIRMWARE = 1215;
inline constexpr int IDC_BUTTON_RELOAD_KERNEL = 1077;
inline constexpr int IDC_STATIC_PORT = 1083;
inline constexpr int IDC_EDIT_PORT = 1082;
inline constexpr int IDC_CHECK_TLS = 1020;
inline constexpr int IDC_LIST_FILES = 1072;
inline constexpr int IDC_STATIC_STATUS = 1075;
inline constexpr int IDC_BUTTON_UPDATE = 1071;
inline constexpr int IDC_STATIC_PICTURE = 1079;
inline constexpr int IDC_STATIC_DEVICE_LABEL = -2;  // the label has no id of its own
inline constexpr int IDC_STATIC_DEVICE_INFO = 1078;

enum class FormControlKind { GroupBox, CheckBox, PushButton, Label, Edit, List, Picture };

struct FormControl {
  int id;
  FormControlKind kind;
  const char* caption;
  int x, y, width, height;  // dialog units
  bool createdVisible;
  bool createdEnabled;
};

// The form itself, in dialog units of its dialog font (System, 10 points).
inline constexpr int kViewFormWidthDlu = 328;
inline constexpr int kViewFormHeightDlu = 232;

// In creation order, which is also the tab order and the stacking order
// (later controls lie above earlier ones, so the group box comes first).
inline constexpr std::array<FormControl, 14> kViewFormControls{{
    {IDC_GROUP_FILE_LIST, FormControlKind::GroupBox, "File List", 5, 0, 320, 149, true, true},
    {IDC_CHECK_MODEL, FormControlKind::CheckBox, "Q450", 10, 6, 28, 10, false, true},
    {IDC_CHECK_SELECT_ALL, FormControlKind::CheckBox, "Select All", 10, 19, 43, 9, true, true},
    {IDC_BUTTON_RELOAD_FIRMWARE, FormControlKind::PushButton, "Reload Firmware File Path", 110, 11, 100, 16, true, true},
    {IDC_BUTTON_RELOAD_KERNEL, FormControlKind::PushButton, "Reload Kernel File Path", 217, 11, 100, 16, false, true},
    {IDC_STATIC_PORT, FormControlKind::Label, "TLS Port:", 58, 6, 37, 8, false, true},
    {IDC_EDIT_PORT, FormControlKind::Edit, "", 59, 17, 31, 12, false, true},
    {IDC_CHECK_TLS, FormControlKind::CheckBox, "TLS", 91, 18, 48, 9, false, false},
    {IDC_LIST_FILES, FormControlKind::List, "", 7, 30, 315, 116, true, true},
    {IDC_STATIC_STATUS, FormControlKind::Label, "", 5, 148, 320, 26, true, true},
    {IDC_BUTTON_UPDATE, FormControlKind::PushButton, "Update", 73, 175, 172, 22, true, true},
    {IDC_STATIC_PICTURE, FormControlKind::Picture, "", 6, 186, 40, 40, true, true},
    {IDC_STATIC_DEVICE_LABEL, FormControlKind::Label, "Device Information", 67, 200, 75, 9, true, true},
    {IDC_STATIC_DEVICE_INFO, FormControlKind::Label, "", 67, 210, 256, 19, true, true},
}};

// The control's place in pixels.
QRect FormControlRect(const FormControl& control);
// The form's size in pixels.
QSize ViewFormSize();
// The entry for `id`, or nullptr.
const FormControl* FindFormControl(int id);

// The file list's columns: captions and widths in pixels.
struct ListColumn {
  const char* caption;
  int width;
};
inline constexpr std::array<ListColumn, 3> kFileListColumns{{
    {"Please select the module file to update", 280},
    {"Status", 150},
    {"Info", 160},
}};
inline constexpr int kProgressColumn = 1;
inline constexpr int kInfoColumn = 2;

}  // namespace orvane

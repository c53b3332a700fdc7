#pragma once
// Pictures and documents built into the program.

#include <QIcon>

namespace orvane {

inline constexpr const char* kStartupPicture = ":/images/startup.png";  // 1051 x 659
inline constexpr const char* kLogoPicture = ":/images/logo.png";        // 237 x 50
inline constexpr const char* kReadyPicture = ":/images/ready.png";      // 80 x 80
inline constexpr const char* kNotReadyPicture = ":/images/not_ready.png";
inline constexpr const char* kProgramIconPicture = ":/images/orvane_icon.png";
inline constexpr const char* kHelpDocument = ":/help/operator_guide.html";

QIcon ProgramIcon();

}  // namespace orvane

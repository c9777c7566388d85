// The user's own folders, by the desktop's conventions. Empty when the
// system names none.
#pragma once

#include <string>

namespace os {

// Where the user keeps pictures: the XDG pictures folder on Linux (the
// XDG_PICTURES_DIR variable, else its line in user-dirs.dirs), the Pictures
// folder on Windows.
std::string PicturesFolder();
// The user's home folder.
std::string HomeFolder();

}  // namespace os

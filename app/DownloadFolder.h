// The folder the file dialog starts in: where the user's downloads land.
#pragma once

#include <string>

// Where the user's downloads land, and so an update file: the folder the file dialog starts in.
// Linux: the XDG user folder DOWNLOAD as xdg-user-dir names it from user-dirs.dirs, else
// ~/Downloads, else the home folder, the first that is a folder; Windows: the known folder
// Downloads, wherever the user has moved it. Empty when the system names none.
std::string DownloadFolder();

// The user's folders: the one for MV2.ini, and entering it; the one downloads land in.
#pragma once

#include <optional>
#include <string>

// The per-user folder a program started from a menu works in (--user-folder), since neither
// the install folder (not writable by an ordinary user) nor the home folder is a place for
// MV2.ini: Linux $XDG_DATA_HOME/morvik2, by default ~/.local/share/morvik2; Windows
// %LOCALAPPDATA%\Morvik2. Empty when the system names no such place.
std::string UserFolder();
// Where that is, as a rule for the help text: the same on every machine.
std::string UserFolderRule();

// Makes UserFolder() the working directory, creating it where needed. On failure, for the
// user, what went wrong; the working directory is then as it was.
std::optional<std::string> EnterUserFolder();

// Where the user's downloads land, and so an update file: the folder the file dialog starts in.
// Linux: the XDG user folder DOWNLOAD as xdg-user-dir names it from user-dirs.dirs, else
// ~/Downloads, else the home folder, the first that is a folder; Windows: the known folder
// Downloads, wherever the user has moved it. Empty when the system names none.
std::string DownloadFolder();

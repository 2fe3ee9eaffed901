// A link's address as the label hands it on.
#pragma once

#include <string>

// An address as the link hands it on: without leading and trailing blanks and control
// characters (C0, DEL and C1; the text is UTF-8). Shared by the Qt and the Win32 label.
std::string TrimBlanksAndControls(const std::string& url);

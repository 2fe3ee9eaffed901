#pragma once

#include <string>

// Texts as the user reads them, shared by every front end.

// Messages write a line break as "\n\r"; shown, it is one line break.
std::string DisplayText(const std::string& message);

// The default exception display's rule: a full stop is appended when the text's last
// character sorts after "." (a letter or a digit, say; not "!" or ".").
std::string ExceptionText(const std::string& what);

// A link's address handed to the system.
#pragma once

#include <string>

// Hands `url` (UTF-8) to the system's default handler. Whether anything
// opened it is neither examined nor reported.
void OpenWithDefaultHandler(const std::string& url);

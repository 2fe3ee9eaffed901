#pragma once

#include <string>

// Hands `url` (the platform's 8-bit text) to the system's default handler. Whether anything
// opened it is neither examined nor reported.
void OpenWithDefaultHandler(const std::string& url);

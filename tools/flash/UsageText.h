// The command line in German, CLI11's own lines included.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

// Headings, value names and the help flag of `app` in German.
void GermanHelp(CLI::App& app);
// What was wrong with the command line, in German; the option named as the user wrote it.
std::string GermanUsageError(const CLI::ParseError& error);
// After every usage error.
inline const char* const UsageHint = "Alle Angaben: morvik2-flash --help";
// The end of --help: the exit statuses and, for several ports, their order.
extern const char* const ExitStatusHelp;

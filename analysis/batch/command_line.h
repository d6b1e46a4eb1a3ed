// Parsing of the commands of morvane-batch (CLI11): every command answers
// --help with its options and its usage lines; a bad argument is said on
// standard error with the usage and gives the exit status 2.
#pragma once

#include <CLI/CLI.hpp>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The parser of one command, "morvane-batch NAME": usage lines (as the
// program's help lists them) close its help. An option given twice keeps its
// last value, as the commands always did.
std::unique_ptr<CLI::App> NewCommand(const std::string& name, const std::string& description,
                                     const std::string& usage);

// Parses a command's arguments (those after its name). Nothing when the
// command may run; 0 after --help (printed on standard output); 2 after a
// bad argument (the reason and the usage printed on standard error).
std::optional<int> ParseCommand(CLI::App& command, const std::vector<std::string>& args);

// "morvane-batch: TEXT" on standard error; 2, the status of a bad argument.
int BadArgument(const std::string& text);

// A whole number in decimal digits (with an optional sign), without overflow.
std::optional<long> WholeNumber(const std::string& text);

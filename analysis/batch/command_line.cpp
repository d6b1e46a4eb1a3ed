#include "batch/command_line.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

std::unique_ptr<CLI::App> NewCommand(const std::string& name, const std::string& description,
                                     const std::string& usage) {
  auto command = std::make_unique<CLI::App>(description, "morvane-batch " + name);
  command->option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  command->footer("Usage:\n" + usage);
  return command;
}

std::optional<int> ParseCommand(CLI::App& command, const std::vector<std::string>& args) {
  // CLI11 takes the arguments last first.
  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    command.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    std::fputs(command.help().c_str(), stdout);
    return 0;
  } catch (const CLI::ParseError& e) {
    std::fprintf(stderr, "morvane-batch: %s\n", e.what());
    std::fputs(command.get_footer().c_str(), stderr);
    std::fputs("\n", stderr);
    return 2;
  }
  return std::nullopt;
}

int BadArgument(const std::string& text) {
  std::fprintf(stderr, "morvane-batch: %s\n", text.c_str());
  return 2;
}

std::optional<long> WholeNumber(const std::string& text) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || end == nullptr || *end != '\0') return std::nullopt;
  return v;
}

// The end of the program when memory runs out while a plant or a segment is
// recorded: the log gets its line, the user the message, and the program
// ends with a failure code so that scripts and the batch program see it.
#pragma once

#include <string_view>

class LogBuffer;

inline constexpr int kOutOfMemoryExitCode = 1;

// Flushes log (when given), appends logLine to the log logName, shows
// message and ends the program with kOutOfMemoryExitCode.
[[noreturn]] void EndOnMemoryExhaustion(LogBuffer* log, std::string_view logName, std::string_view logLine,
                                        std::string_view message);

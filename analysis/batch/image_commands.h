// The image commands of morvane-batch: writing a synthetic plate and
// applying image steps to a picture.
#pragma once

#include <string>
#include <vector>

namespace FRONTEND {
class Frontend;
}

// synth OUT.bmp [--dpi N] [--plants N] [--seed N] [--crossing] [--no-noise] [--grey]
// Writes a generated plate and its ground truth (OUT with ".txt" in place of
// ".bmp"). Returns the exit status.
int RunSynthCommand(const std::vector<std::string>& args);

// steps IN.bmp OUT.bmp STEP... [--depth N]
// Applies the steps in order and saves the result; prints one line per step.
// The steps' boxes go to frontend; without one, to standard error with the
// default answers.
int RunStepsCommand(const std::vector<std::string>& args, FRONTEND::Frontend& frontend);
int RunStepsCommand(const std::vector<std::string>& args);

// The usage lines of both commands.
extern const char* const kSynthUsage;
extern const char* const kStepsUsage;

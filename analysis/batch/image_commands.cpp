#include "batch/image_commands.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "base/batch_frontend.h"
#include "batch/batch_load.h"
#include "batch/batch_palette.h"
#include "batch/command_line.h"
#include "image/ima_ana.h"
#include "synth/synth_plate.h"

const char* const kSynthUsage =
    "       morvane-batch synth OUT.bmp [--dpi N] [--plants N] [--seed N] [--crossing] [--curvy] "
    "[--no-noise] "
    "[--grey]\n";
const char* const kStepsUsage =
    "       morvane-batch steps IN.bmp OUT.bmp STEP... [--depth N]\n"
    "         STEP: bw=T (40..120), fixedbw, removebox, noise=NAME, cutmargins, dilate, skeletonize\n";

namespace {

int fail(const char* format, const std::string& what) {
  std::fprintf(stderr, "morvane-batch: ");
  std::fprintf(stderr, format, what.c_str());
  std::fprintf(stderr, "\n");
  return 2;
}

struct Step {
  enum class Kind { Binarise, FixedBinarise, RemoveBox, Noise, CutMargins, Dilate, Skeletonize } kind;
  std::string text;  // as given on the command line
  int value = 0;     // threshold or vote method
};

std::optional<Step> parseStep(const std::string& arg) {
  using Kind = Step::Kind;
  if (arg.rfind("bw=", 0) == 0) {
    const auto t = WholeNumber(arg.substr(3));
    if (!t || *t < 40 || *t > 120) return std::nullopt;
    return Step{Kind::Binarise, arg, static_cast<int>(*t)};
  }
  if (arg.rfind("noise=", 0) == 0) {
    const int method = VoteMethodIndex(arg.substr(6));
    if (method < 0) return std::nullopt;
    return Step{Kind::Noise, arg, method};
  }
  if (arg == "fixedbw") return Step{Kind::FixedBinarise, arg, 90};
  if (arg == "removebox") return Step{Kind::RemoveBox, arg, 0};
  if (arg == "cutmargins") return Step{Kind::CutMargins, arg, 0};
  if (arg == "dilate") return Step{Kind::Dilate, arg, 0};
  if (arg == "skeletonize") return Step{Kind::Skeletonize, arg, 0};
  return std::nullopt;
}

bool isDepth(long d) { return d == 1 || d == 4 || d == 8 || d == 16 || d == 24 || d == 32; }

}  // namespace

int RunSynthCommand(const std::vector<std::string>& args) {
  synth::PlateOptions options;
  std::string out;
  std::optional<std::string> dpi, plants, seed;
  bool grey = false;
  const auto command =
      NewCommand("synth", "Draws a synthetic plate scan with its ground truth.", kSynthUsage);
  command->add_option("OUT.bmp", out, "the picture to write; its ground truth goes beside it as .txt");
  command->add_option("--dpi", dpi, "dots per inch, 150..1200")->type_name("N");
  command->add_option("--plants", plants, "seedlings on the plate, 1..12")->type_name("N");
  command->add_option("--seed", seed, "seed of the random drawing, 0..4294967295")->type_name("N");
  command->add_flag("--crossing", options.crossing, "two plants whose roots cross");
  command->add_flag("--curvy", options.curvy, "curvier main roots with laterals up to 3.5 cm");
  bool noNoise = false;
  command->add_flag("--no-noise", noNoise, "no specks of dirt");
  command->add_flag("--grey", grey, "an 8-bit grey picture instead of 24-bit colour");
  if (const auto status = ParseCommand(*command, args)) return *status;
  if (noNoise) options.noise = false;
  const int bitCount = grey ? 8 : 24;
  long dpiValue = options.dpi, plantCount = options.plants, seedValue = options.seed;
  struct Range {
    const std::optional<std::string>& text;
    const char* name;
    long low, high;
    long& value;
  };
  for (const Range& r :
       {Range{dpi, "--dpi", 150, 1200, dpiValue}, Range{plants, "--plants", 1, 12, plantCount},
        Range{seed, "--seed", 0, 0xFFFFFFFFL, seedValue}}) {
    if (!r.text) continue;
    const auto v = WholeNumber(*r.text);
    if (!v) return fail("%s needs a whole number", r.name);
    if (*v < r.low || *v > r.high)
      return BadArgument(std::string(r.name) + " must lie in " + std::to_string(r.low) + ".." +
                         std::to_string(r.high));
    r.value = *v;
  }
  options.dpi = static_cast<int>(dpiValue);
  options.plants = static_cast<int>(plantCount);
  options.seed = static_cast<std::uint32_t>(seedValue);
  if (out.empty()) return fail("%sthe synth command needs an output file", "");
  if (!HasBitmapExtension(out)) return fail("%s: the output must be a .bmp file", out);
  const std::string truth = out.substr(0, out.size() - 4) + ".txt";
  const synth::Plate plate = synth::MakePlate(options);
  std::string error;
  if (synth::WritePlate(plate, options, out, truth, error, bitCount) == 0) {
    std::fprintf(stderr, "morvane-batch: %s\n", error.c_str());
    return 1;
  }
  std::printf("%s: %d x %d, %d bits, %d dpi, %zu plants; ground truth in %s\n", out.c_str(), plate.width,
              plate.height, bitCount, plate.dpi, plate.plants.size(), truth.c_str());
  return 0;
}

int RunStepsCommand(const std::vector<std::string>& args) {
  FRONTEND::BatchFrontend frontend;
  return RunStepsCommand(args, frontend);
}

int RunStepsCommand(const std::vector<std::string>& args, FRONTEND::Frontend& frontend) {
  std::vector<std::string> words;
  std::optional<std::string> depthText;
  const auto command =
      NewCommand("steps", "Runs image steps on a bitmap and writes the result.", kStepsUsage);
  command->add_option("IN.bmp OUT.bmp STEP", words, "the picture, the output and the steps in their order");
  command->add_option("--depth", depthText, "bits per pixel of the output: 1, 4, 8, 16, 24 or 32")
      ->type_name("N");
  if (const auto status = ParseCommand(*command, args)) return *status;
  int depth = 0;
  if (depthText) {
    const auto d = WholeNumber(*depthText);
    if (!d || !isDepth(*d)) return fail("%sdepth must be 1, 4, 8, 16, 24 or 32", "");
    depth = static_cast<int>(*d);
  }
  std::vector<std::string> files;
  std::vector<Step> steps;
  for (const std::string& a : words) {
    if (files.size() < 2) {
      files.push_back(a);
    } else if (const auto step = parseStep(a)) {
      steps.push_back(*step);
    } else {
      return fail("unknown step %s", a);
    }
  }
  if (files.size() != 2 || steps.empty())
    return fail("%ssteps needs IN.bmp OUT.bmp and at least one step", "");

  KW_ImaAna doc;
  doc.setFrontend(&frontend);
  if (!LoadPicture(doc, files[0])) return 1;
  using Clock = std::chrono::steady_clock;
  for (const Step& step : steps) {
    const auto start = Clock::now();
    bool ok = true;
    switch (step.kind) {
      case Step::Kind::Binarise:
        Binarise(doc.pixels.data(), doc.pixels.data(), doc.width, doc.height, step.value);
        break;
      case Step::Kind::FixedBinarise:
        doc.FixedBinarise();
        break;
      case Step::Kind::RemoveBox:
        ok = doc.RemoveBox() == 1;
        break;
      case Step::Kind::Noise:
        doc.ApplyVoteFilter(step.value);
        doc.CutMargins();
        break;
      case Step::Kind::CutMargins:
        doc.CutMargins();
        break;
      case Step::Kind::Dilate:
        doc.Dilate();
        break;
      case Step::Kind::Skeletonize:
        doc.Skeletonize();
        break;
    }
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (step.kind == Step::Kind::RemoveBox) {
      if (ok) {
        std::printf("%-12s %9.1f ms  %d x %d, scale %g\n", step.text.c_str(), ms, doc.width, doc.height,
                    static_cast<double>(doc.scale));
      } else {
        std::printf("%-12s %9.1f ms  failed, picture kept (scale %g)\n", step.text.c_str(), ms,
                    static_cast<double>(doc.scale));
      }
    } else {
      std::printf("%-12s %9.1f ms\n", step.text.c_str(), ms);
    }
  }
  if (depth != 0) doc.bitCount = static_cast<std::uint16_t>(depth);
  // A true-colour scan has no colour table to write a paletted output with.
  PreparePaletteForDepth(doc, doc.bitCount);
  if (!doc.SaveBitmap(files[1])) {
    std::fprintf(stderr, "morvane-batch: cannot write %s\n", files[1].c_str());
    return 1;
  }
  std::printf("%s: %d x %d, %d bits\n", files[1].c_str(), doc.width, doc.height, doc.bitCount);
  return 0;
}

#include "batch/image_commands.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "batch/batch_load.h"
#include "batch/batch_palette.h"
#include "image/ima_ana.h"
#include "synth/synth_plate.h"

const char* const kImageCommandsUsage =
    "       morvane-batch synth OUT.bmp [--dpi N] [--plants N] [--seed N] [--crossing] [--no-noise] "
    "[--grey]\n"
    "       morvane-batch steps IN.bmp OUT.bmp STEP... [--depth N]\n"
    "         STEP: bw=T (40..120), fixedbw, removebox, noise=NAME, cutmargins, dilate, skeletonize\n";

namespace {

std::optional<long> parseInteger(const std::string& text) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || end == nullptr || *end != '\0') return std::nullopt;
  return v;
}

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
    const auto t = parseInteger(arg.substr(3));
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
  int bitCount = 24;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if ((a == "--dpi" || a == "--plants" || a == "--seed") && i + 1 < args.size()) {
      const auto v = parseInteger(args[++i]);
      if (!v) return fail("%s needs a whole number", a);
      if (a == "--dpi") {
        if (*v < 150 || *v > 1200) return fail("%s must lie in 150..1200", a);
        options.dpi = static_cast<int>(*v);
      } else if (a == "--plants") {
        if (*v < 1 || *v > 12) return fail("%s must lie in 1..12", a);
        options.plants = static_cast<int>(*v);
      } else {
        if (*v < 0 || *v > 0xFFFFFFFFL) return fail("%s must lie in 0..4294967295", a);
        options.seed = static_cast<std::uint32_t>(*v);
      }
    } else if (a == "--crossing") {
      options.crossing = true;
    } else if (a == "--no-noise") {
      options.noise = false;
    } else if (a == "--grey") {
      bitCount = 8;
    } else if (out.empty() && !a.empty() && a[0] != '-') {
      out = a;
    } else {
      return fail("unexpected argument %s", a);
    }
  }
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
  std::vector<std::string> files;
  std::vector<Step> steps;
  int depth = 0;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--depth" && i + 1 < args.size()) {
      const auto d = parseInteger(args[++i]);
      if (!d || !isDepth(*d)) return fail("%sdepth must be 1, 4, 8, 16, 24 or 32", "");
      depth = static_cast<int>(*d);
    } else if (files.size() < 2) {
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

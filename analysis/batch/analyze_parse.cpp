#include <cstdio>
#include <tuple>

#include "batch/analyze_command.h"
#include "batch/command_line.h"
#include "batch/detail/analyze_options.h"
#include "image/step_dialog_models.h"
#include "image/vote_filter.h"
#include "runs/folder_choices.h"

int AnalyzeFail(const std::string& text) {
  std::fprintf(stderr, "morvane-batch: %s\n", text.c_str());
  return 2;
}

namespace {

int fail(const std::string& text) { return AnalyzeFail(text); }

}  // namespace

std::optional<int> ParseAnalyzeOptions(const std::vector<std::string>& args, AnalyzeOptions& o) {
  std::vector<std::string> named;
  std::optional<std::string> age, resolution, threshold, jobs;
  MeasureOptionTexts measure;
  const auto command =
      NewCommand("analyze", "Takes plates from the bitmap to the saved result file.", kAnalyzeCommandUsage);
  command->add_option("PICTURE", named,
                      "pictures (BMP, PNG, JPEG, TIFF), or folders standing for every picture below them");
  command->add_option("--resolution", resolution, "dots per inch of the scans")->type_name("DPI");
  for (auto [name, target, what] :
       {std::tuple{"--user", &o.run.user, "user name"},
        std::tuple{"--experiment", &o.run.experiment, "experiment name"},
        std::tuple{"--box", &o.run.box, "box name"}, std::tuple{"--genotype", &o.run.genotype, "genotype"},
        std::tuple{"--media", &o.run.media, "medium"}})
    command->add_option(name, *target, std::string("the ") + what + " written into every result file");
  command->add_option("--age", age, "days after germination")->type_name("DAYS");
  command
      ->add_option("--results", o.run.results, "the folder of the result files (default: the remembered one)")
      ->type_name("DIR");
  command->add_option("--threshold", threshold, "Make B\\W at T (40..120) instead of Auto, with --method")
      ->type_name("T");
  command->add_option("--method", o.run.method, "the noise-removal method that goes with --threshold")
      ->type_name("NAME");
  command->add_flag("--overwrite", o.run.overwrite,
                    "replaces existing result files instead of skipping them");
  command->add_flag("--confirm", o.run.confirm, "asks on the terminal whether each plant is a root");
  command->add_option("--jobs", jobs, "pictures analysed at once (default: one per core)")->type_name("N");
  AddMeasureOptions(*command, measure);
  PipelineOptionTexts pipeline;
  AddPipelineOptions(*command, pipeline);
  command->add_option("--rsml", o.run.rsml, "writes the root architecture of every picture as RSML here")
      ->type_name("DIR");
  command->add_option("--overlay", o.run.overlay, "writes a PNG overlay of every picture here")
      ->type_name("DIR");
  if (const auto status = ParseCommand(*command, args)) return status;
  // After the parse, a bad value is said with the usage too.
  const auto refuse = [](const std::string& text) {
    fail(text);
    std::fputs(kAnalyzeCommandUsage, stderr);
    return std::optional<int>(2);
  };
  if (const auto bad = ApplyMeasureOptions(measure, o.measure)) return refuse(*bad);
  if (const auto bad = ApplyPipelineOptions(pipeline, o.measure.settings, measure.background.has_value()))
    return refuse(*bad);
  // Each number is read once; every one given must be whole before any is
  // checked against its range.
  std::optional<long> ageDays, dpi, thresholdValue, jobCount;
  for (auto [text, name, value] :
       {std::tuple{&age, "--age", &ageDays}, std::tuple{&resolution, "--resolution", &dpi},
        std::tuple{&threshold, "--threshold", &thresholdValue}, std::tuple{&jobs, "--jobs", &jobCount}}) {
    if (!*text) continue;
    *value = WholeNumber(**text);
    if (!*value) return refuse(std::string(name) + " needs a whole number");
  }
  if (ageDays) {
    if (*ageDays < 0) return refuse("--age must not be negative");
    o.run.age = *age;
  }
  // A resolution of 0 gives no scale.
  if (dpi) {
    if (*dpi <= 0 || *dpi > 100000) return refuse("--resolution needs a positive number of dots per inch");
    o.run.resolution = *resolution;
    o.measure.settings.resolutionDpi = static_cast<double>(*dpi);
  }
  if (thresholdValue) {
    if (*thresholdValue < ThresholdModel::kMinimum || *thresholdValue > ThresholdModel::kMaximum)
      return refuse("--threshold must lie in 40..120");
    o.run.threshold = static_cast<int>(*thresholdValue);
  }
  if (jobCount) {
    if (*jobCount < 1 || *jobCount > 256) return refuse("--jobs must lie in 1..256");
    o.run.jobs = static_cast<int>(*jobCount);
  }
  for (const std::string& picture : named) CollectPictures(picture, o.run.pictures);
  if (o.run.resolution.empty()) return refuse("analyze needs --resolution DPI");
  if (o.run.threshold.has_value() != !o.run.method.empty())
    return refuse("--threshold and --method go together");
  if (o.run.threshold && o.measure.settings.pipeline == Pipeline::Adaptive)
    return refuse("--threshold and --method go with the fixed pipeline");
  if (!o.run.method.empty() && VoteMethodIndex(o.run.method) < 0)
    return refuse("unknown noise-removal method " + o.run.method);
  if (o.run.pictures.empty()) return refuse("analyze needs at least one picture");
  if (o.measure.shard) o.run.pictures = ShardPictures(std::move(o.run.pictures), *o.measure.shard);
  return std::nullopt;
}

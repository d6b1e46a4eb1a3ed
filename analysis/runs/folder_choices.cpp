#include "runs/folder_choices.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <optional>
#include <system_error>

#include "image/picture_files.h"

namespace {

namespace fs = std::filesystem;

std::optional<long> WholeNumberOf(const std::string& text) {
  long value = 0;
  const char* end = text.data() + text.size();
  const auto [at, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || at != end) return std::nullopt;
  return value;
}

std::string Trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

void CollectPictures(const std::string& path, std::vector<std::string>& out) {
  std::error_code ec;
  if (fs::is_directory(path, ec)) {
    std::vector<std::string> found;
    for (auto it = fs::recursive_directory_iterator(path, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
      if (!it->is_regular_file(ec)) continue;
      if (HasPictureExtension(it->path().string())) found.push_back(it->path().string());
    }
    std::sort(found.begin(), found.end());
    out.insert(out.end(), found.begin(), found.end());
  } else {
    out.push_back(path);
  }
}

std::string RsmlFolderOf(const std::string& results) { return (fs::path(results) / "rsml").string(); }
std::string OverlayFolderOf(const std::string& results) { return (fs::path(results) / "overlay").string(); }
std::string TraitTableOf(const std::string& results) { return (fs::path(results) / "traits.csv").string(); }

std::variant<FolderAnalysisOptions, std::string> FolderAnalysisFromChoices(
    const FolderAnalysisChoices& choices, const AnalysisSettings& settings) {
  FolderAnalysisOptions o;
  std::error_code ec;
  if (choices.folder.empty() || !fs::is_directory(choices.folder, ec))
    return std::string("Choose the folder of the pictures.");
  if (choices.results.empty()) return std::string("Choose the folder of the result files.");
  const std::string resolution = Trimmed(choices.resolution);
  const auto dpi = WholeNumberOf(resolution);
  if (!dpi || *dpi <= 0 || *dpi > 100000)
    return std::string("The resolution must be a whole number of dots per inch, 1 to 100000.");
  const std::string age = Trimmed(choices.age);
  if (!age.empty()) {
    const auto days = WholeNumberOf(age);
    if (!days || *days < 0) return std::string("The age must be a whole number of days, 0 or more.");
  }
  if (choices.jobs < 0 || choices.jobs > 256)
    return std::string("Jobs must lie in 1..256, or 0 for one per core.");
  CollectPictures(choices.folder, o.pictures);
  if (o.pictures.empty()) return "There is no picture (BMP, PNG, JPEG, TIFF) in " + choices.folder + ".";
  o.results = choices.results;
  o.user = choices.user;
  o.experiment = choices.experiment;
  o.box = choices.box;
  o.genotype = choices.genotype;
  o.media = choices.media;
  o.age = age;
  o.resolution = resolution;
  if (choices.rsml) o.rsml = RsmlFolderOf(choices.results);
  if (choices.overlay) o.overlay = OverlayFolderOf(choices.results);
  if (choices.traits) o.traits = TraitTableOf(choices.results);
  o.overwrite = choices.overwrite;
  o.jobs = choices.jobs;
  // Only what the user chooses: what a picture settles (the background auto
  // chose) starts afresh, as on the command line.
  o.settings.lengths = settings.lengths;
  o.settings.minLateralCm = settings.minLateralCm;
  o.settings.background = settings.background;
  o.settings.pipeline = settings.pipeline;
  o.settings.plate = settings.plate;
  o.settings.plateHeightCm = settings.plateHeightCm;
  o.settings.pixelsPerCm = settings.pixelsPerCm;
  o.settings.resolutionDpi = static_cast<double>(*dpi);
  return o;
}

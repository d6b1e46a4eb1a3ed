// The choices of the desktop's Analyse folder, turned into the options of
// a run: the same run as "morvane-batch analyze FOLDER --results DIR ..."
// with the exports beside the result files.
#pragma once

#include <string>
#include <variant>
#include <vector>

#include "roots/analysis_settings.h"
#include "runs/folder_analysis.h"

// The pictures (BMP, PNG, JPEG, TIFF) below folder, sorted by path; a path
// that is no folder stands for itself.
void CollectPictures(const std::string& path, std::vector<std::string>& out);

struct FolderAnalysisChoices {
  std::string folder;   // the pictures: every one below it
  std::string results;  // the folder of the result files
  std::string user, experiment, box, genotype, media;
  std::string age;         // days, a whole number >= 0, or empty
  std::string resolution;  // dots per inch, a whole number in 1..100000
  bool rsml = false, overlay = false, traits = false;
  bool overwrite = false;
  int jobs = 0;  // 0: one per core
};

// Where the exports of a run into results go: results/rsml,
// results/overlay and results/traits.csv.
std::string RsmlFolderOf(const std::string& results);
std::string OverlayFolderOf(const std::string& results);
std::string TraitTableOf(const std::string& results);

// The run the choices ask for with settings (the analysis options; their
// resolution is the choices'), or why it cannot run, in a sentence.
std::variant<FolderAnalysisOptions, std::string> FolderAnalysisFromChoices(
    const FolderAnalysisChoices& choices, const AnalysisSettings& settings);

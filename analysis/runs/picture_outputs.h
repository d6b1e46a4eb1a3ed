// The files one picture of an analyze run leaves: its result file and the
// exports asked for beside it. A rerun that keeps a result file writes the
// exports it lacks, and clears the temporary files a killed or failed run
// left under their names.
#pragma once

#include <chrono>
#include <string>
#include <vector>

struct PictureOutputs {
  std::string result;   // the result file
  std::string rsml;     // empty: not asked for
  std::string overlay;  // empty: not asked for
};

// The outputs of the picture named title (its file name without extension).
PictureOutputs OutputsOf(const std::string& title, const std::string& resultFolder,
                         const std::string& rsmlFolder, const std::string& overlayFolder);

// The exports asked for that do not exist: "RSML file", "overlay picture".
std::vector<std::string> MissingExports(const PictureOutputs& outputs);

// Removes the temporary files of the outputs (the output's name, a dot and
// six letters or digits, as a whole-file write names them) last changed
// longer than olderThan ago; a younger one may be another run's write in
// progress. Returns how many were removed.
int RemoveStaleTemporaries(const PictureOutputs& outputs, std::chrono::seconds olderThan);

// Makes folder and its parents; false, with the reason in error, when it is
// not a folder afterwards.
bool MakeOutputFolder(const std::string& folder, std::string& error);

// words joined by " and ".
std::string JoinedWithAnd(const std::vector<std::string>& words);

// A fresh folder inside parent, removed with everything in it when the
// object goes; path() is empty when it could not be made or parent is.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& parent);
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::string& path() const { return m_path; }

 private:
  std::string m_path;
};

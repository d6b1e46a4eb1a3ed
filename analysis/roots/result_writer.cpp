#include "roots/result_writer.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "base/atomic_file.h"
#include "base/frontend.h"
#include "base/kw_log.h"
#include "base/text_format.h"
#include "roots/analysis_dialog_models.h"
#include "roots/calibration.h"
#include "roots/detail/lateral_walk.h"
#include "roots/sample_names.h"
#include "roots/sci_doc.h"

namespace {

void AppendLateralLine(std::string& out, const KW_Segment& x, const std::vector<std::int32_t>& label,
                       float scale) {
  const double cm = static_cast<double>(scale);
  out.append(label.size() - 1, '\t');
  out += FormatText("R%i", label.front());
  for (std::size_t k = 1; k < label.size(); ++k) out += FormatText("-LR%i", label[k]);
  out += FormatText(": Length: %f\tPosition: %f\tVector: %f\tAngle: %f\tNumber secondary root(s): %i\n",
                    x.length_longest * cm, static_cast<double>(x.position_branch) * cm, x.straightness * cm,
                    x.angle, x.Nbr_LR);
}

std::string ResultFolderOf(const KW_SciDoc& doc) {
  if (!doc.fixedResultFolder.empty()) return doc.fixedResultFolder;
  return KW_Log::Result_Folder_Path(doc.frontend()).value_or(std::string());
}

}  // namespace

void WriteLaterals(std::string& out, const KW_Segment& s, std::vector<std::int32_t> label,
                   const std::vector<std::int32_t>& path, int depth, float scale) {
  if (depth < 0) return;
  WalkLaterals(s, path, static_cast<std::size_t>(depth), std::move(label), 0,
               [&](const KW_Segment& x, const std::vector<std::int32_t>& xLabel, int,
                   const KW_Segment&) -> std::optional<int> {
                 AppendLateralLine(out, x, xLabel, scale);
                 if (x.Nbr_LR == 0) return std::nullopt;
                 return 0;
               });
}

std::string ResultFileBody(const KW_SciDoc& doc, const MyBoxInfoGeneral& info) {
  std::string out;
  out += "\nUser name: " + info.user + "\n";
  out += "Experiment name: " + info.experiment + "\n";
  out += "Box name: " + info.box + "\n";
  out += "Genotype: " + info.genotype + "\n";
  out += "Media: " + info.media + "\n";
  out += "Age of plants: " + info.age + " day(s) after germination\n";
  out += FormatText("Number of plant: %i\n", doc.nbr_root);
  out += FormatText("scale %f\n", static_cast<double>(doc.scale));
  const double cm = static_cast<double>(doc.scale);
  std::int32_t k = 0;
  for (const RootTree& tree : doc.root) {
    ++k;
    out += FormatText("\n\n\nRoot %i: \n", k);
    out += FormatText("Main root length: %f\n", tree.main_length * cm);
    out += FormatText("Main root vector: %f\n", tree.main_vector * cm);
    out += FormatText("Main root angle: %f\n", tree.main_angle);
    out += FormatText("Number lateral root(s): %i\n", tree.nbr_LR);
    if (tree.first_segment)
      WriteLaterals(out, *tree.first_segment, {k, 1}, tree.path_longest_total, 0, doc.scale);
  }
  return out;
}

bool WriteFileWhole(const std::string& path, const std::string& text, std::string& error) {
  FileError failure;
  if (writeFileAtomically(path, text, failure, 0644)) return true;
  error = FRONTEND::SystemErrorText(failure.code);
  return false;
}

int KW_SciDoc::ChooseResultName() {
  // The folder dialog may be shown again and again; a user who never gives
  // a writable folder ends the save after this many tries.
  constexpr int kMaxTries = 20;
  for (int attempt = 0; attempt < kMaxTries; ++attempt) {
    pictureName = FRONTEND::CutText(title, kMaxPathText - 1);
    resultPath = FRONTEND::CutText(resultFolder + "/" + pictureName + ".txt", kMaxPathText - 1);
    AppendLogF(logSink(), logname::kResultFile, "name_picture_file %s\n", resultPath.c_str());

    if (std::FILE* existing = std::fopen(resultPath.c_str(), "r")) {
      std::fclose(existing);
      ResultFileExistBox box(pictureName);
      const FRONTEND::Answer a = frontend().ask(&box);
      if (a == FRONTEND::Answer::Cancel) return -1;
      if (a == FRONTEND::Answer::Yes) {
        pictureName = box.resultName();
        resultPath = FRONTEND::CutText(resultFolder + "/" + pictureName + ".txt", kMaxPathText - 1);
      }
      return 1;
    }
    // Can a file be made here? One of a name of its own is made and removed
    // again to find out: made under the result's name, it would wipe the file
    // another run into the same folder has just written there, and pass for
    // that run's result file while it lasted.
    std::string probe = resultPath + ".XXXXXX";
    if (const int fd = ::mkstemp(probe.data()); fd >= 0) {
      ::close(fd);
      ::unlink(probe.c_str());
      return 1;
    }
    FRONTEND::ShowMessage(frontend(), kResultFolderMissing);
    ResultBox box;
    if (!FRONTEND::Accepted(frontend(), &box)) return -1;
    const std::string folder = ResultFolderOf(*this);
    if (folder.empty()) return -1;
    resultFolder = folder;
  }
  return -1;
}

void KW_SciDoc::WriteResultFile() {
  TruncateLog(logSink(), logname::kResultFile);
  AppendLog(logSink(), logname::kResultFile, "Result file\n");
  resultFolder = ResultFolderOf(*this);
  if (resultFolder.empty()) return;
  if (ChooseResultName() != 1) {
    FRONTEND::ShowMessage(frontend(), kSaveCancelled);
    return;
  }

  std::string text = pictureName;
  std::string error;
  MyBoxInfoGeneral info(sampleNames.get());
  const bool ok = FRONTEND::Accepted(frontend(), &info);
  if (!ok || !info.complete) {
    // Nothing is written: no result file, no calibration record, so that
    // "Re-use previous" never recalls a save that did not happen.
    FRONTEND::ShowMessage(frontend(), ok ? kResolutionNeeded : kSaveCancelled);
    return;
  }
  // The picture's dots per inch become centimetres per pixel; the adaptive
  // pipeline has settled its scale already (from the plate it found, the
  // scale given or the resolution).
  if (settings.pipeline != Pipeline::Adaptive) scale = static_cast<float>(2.54 / info.resolutionDpi());
  // The least lateral root is in centimetres: it applies once the scale is settled.
  AppendLog(logSink(), logname::kResultFile, settings.logLine());
  const int dropped = DropShortLaterals();
  if (dropped < 0) {
    FRONTEND::ShowMessage(frontend(), std::string(kStepOutOfMemory));
    return;
  }
  if (settings.minLateralCm > 0.0)
    AppendLogF(logSink(), logname::kResultFile, "lateral roots left out %i\n", dropped);
  if (recordNames && sampleNames != nullptr) {
    sampleNames->addGenotype(frontend(), info.genotype);
    sampleNames->addMedia(frontend(), info.media);
  }
  try {
    text += ResultFileBody(*this, info);
  } catch (const std::bad_alloc&) {
    FRONTEND::ShowMessage(frontend(), std::string(kStepOutOfMemory));
    return;
  }
  if (!WriteFileWhole(resultPath, text, error)) {
    FRONTEND::ShowMessage(frontend(), "The result file " + resultPath + " could not be written: " + error);
    return;
  }
  // The parameters are recorded for "Re-use previous" once the save is complete.
  WriteCalibration();
  FRONTEND::ShowMessage(frontend(), kExperimentSaved);
  saved = true;
}

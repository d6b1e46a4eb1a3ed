// The commands that tie the image steps and the root analysis together:
// Confirm roots, Save experiment, "Re-use previous" and "Auto".
#include <algorithm>
#include <cstdint>
#include <new>
#include <vector>

#include "base/frontend.h"
#include "image/binarise.h"
#include "image/pic_doc.h"
#include "image/step_dialog_models.h"
#include "image/vote_filter.h"
#include "roots/analysis_dialog_models.h"
#include "roots/calibration.h"
#include "roots/result_writer.h"
#include "roots/sci_doc.h"

namespace {

constexpr std::uint32_t kYellowPixel = 0xFFFF00U;
constexpr std::uint32_t kBlackPixel = 0x000000U;
constexpr int kAutoThreshold = 90;
constexpr const char* kOriginal = "Original";

// Paints every point of a plant's walk that lies inside the picture.
void PaintWalk(KW_SciDoc& doc, const Item& plant, std::uint32_t colour) {
  for (const ContourPoint& p : plant.tab)
    if (p.col >= 0 && p.row >= 0 && p.col < doc.width && p.row < doc.height) doc.At(p.col, p.row) = colour;
}

void PaintWalkInto(std::vector<std::uint32_t>& picture, int width, int height, const Item& plant,
                   std::uint32_t colour) {
  for (const ContourPoint& p : plant.tab)
    if (p.col >= 0 && p.row >= 0 && p.col < width && p.row < height)
      picture[static_cast<std::size_t>(p.row) * static_cast<std::size_t>(width) +
              static_cast<std::size_t>(p.col)] = colour;
}

// The bounding box of a plant's walk inside the picture, as MakeSubPicture
// takes it; empty for a plant without points.
struct PlantBox {
  int xmin = 0, ymin = 0, xdim = 0, ydim = 0;
};
PlantBox PlantBoxOf(const Item& plant) {
  PlantBox box;
  if (plant.tab.empty()) return box;
  int xmax = plant.tab.front().col, ymax = plant.tab.front().row;
  box.xmin = xmax;
  box.ymin = ymax;
  for (const ContourPoint& p : plant.tab) {
    box.xmin = std::min(box.xmin, p.col);
    box.ymin = std::min(box.ymin, p.row);
    xmax = std::max(xmax, p.col);
    ymax = std::max(ymax, p.row);
  }
  box.xdim = xmax - box.xmin + 1;
  box.ydim = ymax - box.ymin + 1;
  return box;
}

}  // namespace

bool KW_SciDoc::OpenPicture(const std::string& path) {
  openedPicture.clear();
  openedWidth = openedHeight = 0;
  cropLeft = cropTop = 0;
  if (!OnOpenDocument(path)) return false;
  if (keepOpenedPicture) {
    // Without the memory for the copy the overlays are drawn on black.
    try {
      openedPicture = pixels;
      openedWidth = width;
      openedHeight = height;
    } catch (const std::bad_alloc&) {
      openedPicture.clear();
    }
  }
  std::string name = path.substr(path.rfind('/') + 1);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  title = FRONTEND::CutText(name, kMaxPathText - 1);
  return true;
}

void KW_SciDoc::ApplyBackground() {
  Background used = settings.background;
  if (used == Background::Auto)
    used = hasValidPicture() && LooksLightBackground(pixels.data(), width, height) ? Background::Light
                                                                                   : Background::Dark;
  settings.backgroundUsed = used;
  if (used == Background::Light && hasValidPicture()) {
    InvertPicture(pixels.data(), width, height);
    refresh();
  }
}

void KW_SciDoc::ConfirmRoots() {
  marks.check(StepMark::ConfirmRoots);
  // Each plant's picture shows the plants before it already yellow: the
  // picture of the plants as found, kept once, gets the walks painted as
  // the questions go, and each plant's copy is cut from it only when the
  // dialog shows it. One copy at a time, where a copy per plant kept all
  // along took gigabytes on a noisy picture; none when nobody looks.
  std::vector<std::uint32_t> found;
  if (showPlantPictures) {
    try {
      found = pixels;
    } catch (const std::bad_alloc&) {
      // Without the memory the dialogs show the plants on black.
      found.clear();
    }
  }
  for (const Item& plant : item) PaintWalk(*this, plant, kYellowPixel);
  Whiten();
  refresh();
  MyBoxIsARoot::Rest rest = MyBoxIsARoot::Rest::AskNext;
  for (std::size_t i = 0; i < item.size() && rest != MyBoxIsARoot::Rest::Stop; ++i) {
    const Item& plant = item[i];
    PaintWalk(*this, plant, kYellowPixel);
    refresh();
    const PlantBox bounds = PlantBoxOf(plant);
    if (!found.empty()) PaintWalkInto(found, width, height, plant, kYellowPixel);
    FRONTEND::Answer answer = FRONTEND::Answer::Yes;
    if (rest == MyBoxIsARoot::Rest::AskNext) {
      answer = FRONTEND::Answer::Cancel;
      const auto cut = [&]() {
        std::vector<std::uint32_t> copy;
        if (found.empty()) return copy;
        copy.reserve(static_cast<std::size_t>(bounds.xdim) * static_cast<std::size_t>(bounds.ydim));
        for (int y = bounds.ymin; y < bounds.ymin + bounds.ydim; ++y)
          for (int x = bounds.xmin; x < bounds.xmin + bounds.xdim; ++x)
            copy.push_back(found[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                                 static_cast<std::size_t>(x)]);
        return copy;
      };
      // The plant is framed in the picture's window while the dialog shows its copy.
      if (view != nullptr)
        view->highlightArea(bounds.xmin, topRow(bounds.ymin + bounds.ydim - 1), bounds.xdim, bounds.ydim);
      try {
        MyBoxIsARoot box(cut, bounds.xdim, bounds.ydim);
        box.index = static_cast<int>(i) + 1;
        box.count = static_cast<int>(item.size());
        answer = frontend().ask(&box);
        rest = box.rest;
      } catch (const std::bad_alloc&) {
        // Without the dialog's copy the plant stays as it is, yellow.
        FRONTEND::ShowMessage(frontend(), kStepOutOfMemory);
      }
    }
    switch (answer) {
      case FRONTEND::Answer::Yes:
        PaintWalk(*this, plant, kWhitePixel);
        break;
      case FRONTEND::Answer::No:
        // Black takes the plant off the skeleton.
        PaintWalk(*this, plant, kBlackPixel);
        break;
      case FRONTEND::Answer::Cancel:
        break;
    }
  }
  if (view != nullptr) view->highlightArea(0, 0, 0, 0);
  FindRoots();
  refresh();
}

void KW_SciDoc::SaveExperiment() {
  marks.check(StepMark::SaveExperiment);
  const FRONTEND::WaitCursor wait(frontend());
  if (nbr_item == 0) {
    FRONTEND::ShowMessage(frontend(), kNoPlantDetected);
    return;
  }
  // The trees are built and measured anew on every save, saved or not. Out
  // of memory, either step has said so and nothing is written.
  if (CreateTrees() != 1) return;
  refresh();
  if (MeasureTrees() != 1) return;
  if (saved) {
    FRONTEND::ShowMessage(frontend(), kAlreadySaved);
    return;
  }
  WriteResultFile();
}

void KW_SciDoc::ReusePrevious() {
  const CalibrationParameters previous = ReadCalibration(frontend());
  const FRONTEND::WaitCursor wait(frontend());
  // The threshold dialog keeps its value within 40..120; so does the
  // recalled one, and the records then hold the threshold really applied.
  threshold = std::clamp(previous.threshold, ThresholdModel::kMinimum, ThresholdModel::kMaximum);
  erosionMethod = FRONTEND::CutText(previous.method, kMaxErosionMethod);
  if (hasValidPicture()) ::Binarise(pixels.data(), pixels.data(), width, height, threshold);
  refresh();
  RemoveBox();
  if (erosionMethod != kOriginal) {
    const int method = VoteMethodIndex(erosionMethod);
    if (method >= 0) ApplyVoteFilter(method);
  }
  CutMargins();
  refresh();
  Dilate();
}

int KW_SciDoc::AutoPrepare() {
  // What Auto applies, so that the records of the save describe it.
  threshold = kAutoThreshold;
  erosionMethod = kOriginal;
  FixedBinarise();
  refresh();
  const int framed = RemoveBox();
  CutMargins();
  refresh();
  Dilate();
  refresh();
  return framed;
}

void KW_SciDoc::AutoDetect() {
  Skeletonize();
  refresh();
  FindRoots();
  refresh();
  ConfirmRoots();
  SaveExperiment();
}

void KW_SciDoc::AutoRun() {
  if (settings.pipeline == Pipeline::Fixed) {
    AutoPrepare();
    AutoDetect();
    return;
  }
  // The adaptive pipeline finds the plants itself; the user still confirms
  // them and describes the plate before anything is saved.
  std::string problem;
  const bool found = AdaptivePrepare(problem) == 1 && FindRoots() == 1 && AdaptiveSelectPlants(problem) == 1;
  refresh();
  if (!found) {
    FRONTEND::ShowMessage(frontend(), "The picture could not be analysed: " +
                                          (problem.empty() ? std::string("not enough memory") : problem));
    return;
  }
  ConfirmRoots();
  SaveExperiment();
}

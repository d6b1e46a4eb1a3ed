#include "image/ima_ana.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include "base/frontend.h"
#include "base/kw_log.h"
#include "image/detail/pixels.h"
#include "image/margin_cut.h"
#include "image/plate_frame.h"
#include "image/step_dialog_models.h"

namespace {

// A step's log, created anew: its lines gather in memory and the log file
// is written whole when the step closes it, through the module log writers
// (so a batch that captures a picture's logs captures these too).
class StepLog {
 public:
  // Nothing is gathered (get() is null) when the log file cannot be written.
  StepLog(const LogSink& sink, std::string_view name) : m_sink(sink), m_name(name) {
    const auto path = KW_Log::Log_File_Path(sink.frontend(), name);
    std::FILE* probe = path ? std::fopen(path->c_str(), "ab") : nullptr;
    if (probe == nullptr) return;
    std::fclose(probe);
    m_file = open_memstream(&m_buffer, &m_size);
  }
  StepLog(const StepLog&) = delete;
  StepLog& operator=(const StepLog&) = delete;
  ~StepLog() { close(); }
  std::FILE* get() const { return m_file; }
  void close() {
    if (m_file == nullptr) return;
    std::fclose(m_file);
    m_file = nullptr;
    TruncateLog(m_sink, m_name);
    AppendLog(m_sink, m_name, std::string_view(m_buffer, m_size));
    std::free(m_buffer);
    m_buffer = nullptr;
  }

 private:
  LogSink m_sink;
  std::string_view m_name;
  std::FILE* m_file = nullptr;
  char* m_buffer = nullptr;
  std::size_t m_size = 0;
};
using FilePtr = std::unique_ptr<StepLog>;

// Opens a step's log anew (empty); null when it cannot be created.
FilePtr createLog(const LogSink& sink, std::string_view name) {
  auto log = std::make_unique<StepLog>(sink, name);
  if (log->get() == nullptr) return nullptr;
  return log;
}

// The plate is 12.5 cm high; the crop keeps 65 pixels clear of the rim.
constexpr double kPlateHeightCm = 12.5;
constexpr int kRimClearance = 65;
constexpr int kFixedThreshold = 90;

}  // namespace

bool KW_ImaAna::hasValidPicture() const {
  return width > 0 && height > 0 && pixels.size() == pix::count(width, height);
}

void KW_ImaAna::MakeBlackWhite() {
  marks.check(StepMark::MakeBlackWhite);
  try {
    ThresholdModel model(*this);
    if (FRONTEND::Accepted(frontend(), &model)) {
      threshold = model.accept();
    } else {
      model.cancel();
    }
  } catch (const std::bad_alloc&) {
    // The dialog keeps a copy of the picture; without it nothing was changed.
    FRONTEND::ShowMessage(frontend(), kStepOutOfMemory);
  }
  refreshView();
}

void KW_ImaAna::FixedBinarise() {
  if (!hasValidPicture()) return;
  ::Binarise(pixels.data(), pixels.data(), width, height, kFixedThreshold);
}

int KW_ImaAna::RemoveBox() {
  marks.check(StepMark::RemoveBox);
  int cropped = 0;
  FilePtr log = hasValidPicture() ? createLog(logSink(), logname::kDetectionBox) : nullptr;
  if (log) {
    std::FILE* f = log->get();
    std::fputs("\n********detection_box\n", f);
    try {
      const PlateFrame frame = FindPlateFrame(pixels.data(), width, height);
      std::fprintf(f, "x %i \n", frame.lowestBrightRow);
      std::fprintf(f, "y %i \n", frame.highestBrightRow);
      // A picture without any bright row has no plate to measure: the scale
      // would come out negative or infinite, so the old one stays.
      if (frame.hasBrightRow(height))
        scale = static_cast<float>(kPlateHeightCm /
                                   static_cast<double>(frame.highestBrightRow - frame.lowestBrightRow + 1));

      const int rowMin = frame.firstRimRow + kRimClearance, rowMax = frame.lastRimRow - kRimClearance;
      const int colMin = frame.firstRimColumn + kRimClearance, colMax = frame.lastRimColumn - kRimClearance;
      std::fprintf(f, "indx_row_min %i\n", rowMin);
      std::fprintf(f, "indx_row_max %i\n", rowMax);
      std::fprintf(f, "indy_col_min %i\n", colMin);
      std::fprintf(f, "indy_col_max %i\n", colMax);
      if (colMin < colMax && rowMin < rowMax) {
        const int newWidth = colMax - colMin + 1;
        const int newHeight = rowMax - rowMin + 1;
        std::vector<std::uint32_t> crop;
        crop.reserve(pix::count(newWidth, newHeight));
        // Row by row into the reserved array: no pass to zero it first.
        for (int r = 0; r < newHeight; ++r) {
          const std::uint32_t* from = pixels.data() + pix::indexOf(colMin, rowMin + r, width);
          crop.insert(crop.end(), from, from + newWidth);
        }
        pixels.swap(crop);
        cropLeft += colMin;
        cropTop += height - 1 - rowMax;
        width = newWidth;
        height = newHeight;
        std::fprintf(f, "new size xdim %i\n", width);
        std::fprintf(f, "new size ydim %i\n", height);
        cropped = 1;
      } else {
        FRONTEND::ShowMessage(frontend(), "Impossible to find the box!");
        std::fputs("Impossible to find the box!\n", f);
      }
    } catch (const std::bad_alloc&) {
      FRONTEND::ShowMessage(frontend(), kStepOutOfMemory);
    }
  }
  log.reset();
  refreshView();
  return cropped;
}

void KW_ImaAna::RemoveNoise() {
  marks.check(StepMark::RemoveNoise);
  try {
    ErosionMethodModel model(*this);
    if (FRONTEND::Accepted(frontend(), &model)) {
      erosionMethod = FRONTEND::CutText(model.accept(), kMaxErosionMethod);
    } else {
      model.cancel();
    }
  } catch (const std::bad_alloc&) {
    // The dialog keeps a copy of the picture; without it nothing was changed.
    FRONTEND::ShowMessage(frontend(), kStepOutOfMemory);
    refreshView();
    return;
  }
  AppendLogF(logSink(), logname::kCleaning, "\n********Cleaning\nErosion method %s\n", erosionMethod.c_str());
  CutMargins(false);
  refreshView();
}

int KW_ImaAna::ApplyVoteFilter(int method) {
  if (method < 0 || method >= kVoteMethodCount) return 0;
  if (!hasValidPicture()) return 1;
  try {
    return ::VoteFilter(pixels.data(), pixels.data(), width, height, method);
  } catch (const std::bad_alloc&) {
    // The filter allocates its rows before it writes a pixel.
    FRONTEND::ShowMessage(frontend(), kStepOutOfMemory);
    return 0;
  }
}

void KW_ImaAna::CutMargins(bool showBands) {
  if (!hasValidPicture()) return;
  CutMarginBands(pixels.data(), width, height, showBands);
}

void KW_ImaAna::Dilate() {
  marks.check(StepMark::Dilate);
  TruncateLog(logSink(), logname::kDilatation);
  AppendLog(logSink(), logname::kDilatation, "\n********Dilatation\n");
  if (hasValidPicture()) {
    try {
      std::vector<std::uint32_t> target(pix::count(width, height), pix::kBlack);
      DilatePicture(pixels.data(), target.data(), width, height);
      pixels.swap(target);
    } catch (const std::bad_alloc&) {
      FRONTEND::ShowMessage(frontend(), kStepOutOfMemory);
    }
  }
  refreshView();
}

void KW_ImaAna::Skeletonize() {
  marks.check(StepMark::Skeletonize);
  const FRONTEND::WaitCursor wait(frontend());
  FilePtr log = createLog(logSink(), logname::kSkeletonization);
  if (log) {
    std::fputs("\n********Skeletonization\n", log->get());
    log.reset();
  }
  thinnedShapes.clear();
  if (hasValidPicture() && keepsThinnedShapes()) {
    try {
      // Set bit by bit where a shape is (most of a picture is not), rather
      // than appended one by one.
      thinnedShapes.assign(pixels.size(), false);
      for (std::size_t i = 0; i < pixels.size(); ++i)
        if ((pixels[i] & 0xFFFFFFU) != 0U) thinnedShapes[i] = true;
    } catch (const std::bad_alloc&) {
      // Measures that would use the shapes do without them.
      thinnedShapes = {};
    }
  }
  // Thinning needs no memory it cannot do without: it always completes.
  if (hasValidPicture()) ThinPicture(pixels.data(), width, height);
  refreshView();
  AppendLog(logSink(), logname::kSkeletonization, "\n********Skeletonization end\n");
}

int KW_ImaAna::NeighbourCode(int col, int row) const {
  if (!hasValidPicture()) return 0;
  return ::NeighbourCode(pixels.data(), width, height, col, row);
}

int KW_ImaAna::CountNeighboursOfSum(int col, int row, int r, int g, int b) const {
  if (!hasValidPicture()) return 0;
  return ::CountNeighboursOfSum(pixels.data(), width, height, col, row, r, g, b);
}

void KW_ImaAna::Whiten() { ::Whiten(pixels.data(), pixels.size()); }

int KW_ImaAna::NextLinePixel(int col, int row, int previousDirection, int& nextCol, int& nextRow) const {
  if (!hasValidPicture()) {
    nextCol = col;
    nextRow = row;
    return -1;
  }
  return ::NextLinePixel(pixels.data(), width, height, col, row, previousDirection, nextCol, nextRow);
}

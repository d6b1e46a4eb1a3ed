// The analysis document: the picture with its image steps, and what the root
// analysis derives from it — the plants found on the skeleton, one segment
// tree per plant and its measures, the names of the result file.
//
// Detect commands expect white one-pixel lines on black (the output of
// Skeletonize) but run on whatever the picture holds. Every position stored
// in a walk or a segment is read back through bounds-checked accessors, so
// a picture cropped or replaced between two commands is never read or
// painted outside its buffer.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "image/ima_ana.h"
#include "image/root_segmentation.h"
#include "roots/analysis_settings.h"
#include "roots/root_records.h"

class LogBuffer;
class SampleNames;
class TreeIndex;

// Brightness sum R + G + B of a pixel 0x00RRGGBB.
inline int PixelSum(std::uint32_t px) {
  return static_cast<int>(((px >> 16) & 0xFFU) + ((px >> 8) & 0xFFU) + (px & 0xFFU));
}
inline constexpr int kWhiteSum = 765;
inline constexpr std::uint32_t kRedPixel = 0xFF0000U;
inline constexpr std::uint32_t kBluePixel = 0x0000FFU;
inline constexpr std::uint32_t kWhitePixel = 0xFFFFFFU;

class KW_SciDoc : public KW_ImaAna {
 public:
  KW_SciDoc();
  ~KW_SciDoc() override;

  // The plants of the last Find roots, left to right.
  std::vector<Item> item;
  std::int32_t nbr_item = 0;
  // Least walk length of a plant; set to 100 by every Find roots.
  std::int32_t minItemLength = 0;
  // One tree per plant, in the order of item, built by CreateTrees.
  std::vector<RootTree> root;
  std::int32_t nbr_root = 0;
  // The document title, the result folder and the result file "<folder>/<title>.txt".
  std::string pictureName;
  std::string resultFolder;
  std::string resultPath;
  static constexpr std::size_t kMaxPathText = 260;
  // Set once the result file has been written; never cleared.
  bool saved = false;

  // The plant a walk must reach to be kept: 100 points.
  static constexpr std::int32_t kMinItemLength = 100;

  // ---- plant detection (plant_detection.cpp)
  // Command " Find roots": whitens the picture, walks every skeleton
  // component, keeps those of at least minItemLength points, colours them
  // and sorts them left to right. In the fixed pipeline's true-length mode
  // a component grown from two seedlings or more is first cut apart where
  // their parts meet (TouchingPlantCuts). Returns 1, or 0 when memory ran
  // out: the document is then as it was before the command.
  int FindRoots();
  // Command " &Color Item": paints every plant's walk in a colour of its own.
  // Two plants never share a brightness sum (the walks tell plants apart by
  // it), and no plant is painted white.
  void ColorItems();
  // Finds every plant, in scan order (top row first, each row from the left),
  // erasing components whose walk is too short. Returns 1, or 0 when a plant
  // could not be recorded for want of memory.
  int ScanItems();
  // Walks the outline of the component at (c0, r0), painting walked pixels
  // red; walk receives the points. Returns the index of the last point.
  // The walk ends on every picture: reaching a pixel in a state it was in
  // before without closing stops it with a line in the detection log.
  int TraceContour(int c0, int r0, std::vector<ContourPoint>& walk);
  // Appends a plant holding a copy of the first count points. Returns 1, or
  // 0 when memory ran out (logged and shown; nothing appended).
  int AddItem(const ContourPoint* points, std::int32_t count);
  // Fills the bounding box and the copy of the picture inside it for plant
  // index (0-based). Pixels of the box outside the picture copy as black.
  void MakeSubPicture(int index);
  // Orders item by the column of each walk's first point; ties keep their
  // order and numero is not changed.
  void SortItems();

  // Tests and the benchmark fix the colour generator's seed; by default each
  // ColorItems seeds it with the time in seconds.
  void setColourSeed(std::optional<std::uint32_t> seed) { m_colourSeed = seed; }

  // ---- segment trees (tree_building.cpp)
  // Builds root from item: each plant's walk is cut into segments at
  // junctions and tips, and every recorded segment is painted white. Returns
  // 1, or 0 when memory ran out: the document is then as it was.
  int CreateTrees();
  // Cuts walk into segments of tree t.
  void SplitWalk(const std::vector<ContourPoint>& walk, int t);
  // Records walk[first..last] as a new segment of tree t and attaches it
  // under the segment whose end touches its start, or, when none does, beside
  // a segment whose start it touches (the walk came back to a junction and
  // leaves it again). Returns the segment, or nullptr when it touches
  // neither (it is then dropped) or memory ran out.
  KW_Segment* AddSegment(int t, const std::vector<ContourPoint>& walk, int first, int last);
  // The first segment below s, s included, depth first, whose last point
  // touches the first point of added; nullptr when none.
  KW_Segment* FindParent(KW_Segment* s, const KW_Segment& added) const;
  // How many of the eight neighbours of (c, r) inside the picture have the
  // brightness sum of colour.
  int SameColourNeighbours(int c, int r, std::uint32_t colour) const;

  // ---- measurements (measuring.cpp; the geometry in root_measures.cpp)
  // How this analysis measures (length mode, least lateral root, background);
  // the default is the fixed method. Read it back after the analysis.
  AnalysisSettings settings;
  // Measures every tree of root: lengths, main root, lateral roots; writes
  // the math log with each tree's dump. Returns 1, or 0 when memory ran out:
  // the trees then keep their earlier measures.
  int MeasureTrees();
  // A plate measured without dialogs: the fixed threshold, plate-frame
  // removal, margin cut, dilatation and thinning of "Auto", then Find roots,
  // the trees and the measures, every plant found taken as a root.
  enum PlateResult { kPlateMeasured = 1, kNoPlateFrame = 0, kPlateOutOfMemory = -1 };
  int MeasurePlate();
  // Measures the lateral roots below s; path leads s's root on from s at
  // depth; endDistance (b) is the distance from the plant's start to the
  // end of s, baseDistance (c) the distance to the base of the root s
  // belongs to.
  void MeasureLaterals(KW_Segment& s, const std::vector<std::int32_t>& path, int depth, double endDistance,
                       double baseDistance);
  // Leaves out every lateral root shorter than settings.minLateralCm at the
  // current scale, with everything below it, and measures the trees again
  // (the main root is never left out). Returns the number of lateral roots
  // left out, or -1 when memory ran out (the trees then keep their measures).
  int DropShortLaterals();
  // Takes the background of settings into account before binarising: a
  // light one (or one that auto finds light) is inverted, so the roots come
  // out bright; records what was used in settings.backgroundUsed.
  void ApplyBackground();
  // ---- the adaptive pipeline (adaptive_analysis.cpp)
  // What the adaptive pipeline found in the picture: the analysed area, the
  // seedlings, how far the roots stand out; its mask is let go once the
  // picture holds it. Empty for the fixed pipeline.
  RootSegmentation segmentation;
  // Where the adaptive pipeline's root systems start (the tops of their main
  // roots): Find roots walks the piece of each from there. Empty for the
  // fixed pipeline, whose walks start at each piece's topmost pixel.
  std::vector<ContourPoint> plantStarts;
  // Replaces the picture by the skeleton of its roots, found as settings
  // say (plate, background, scale), cropped to the analysed area. 1 when
  // done; 0 with the reason in problem (the picture is then as it was).
  int AdaptivePrepare(std::string& problem);
  // Measures the plants found and leaves out those that cannot be
  // seedlings' roots; 1 when at least one plausible plant is left, 0 with the
  // reason in problem.
  int AdaptiveSelectPlants(std::string& problem);
  // The quality flags of plant t (PlantFlag bits) from its walk, its tree
  // and what the segmentation found.
  std::uint32_t PlantFlags(std::size_t t) const;
  // The adaptive pipeline without dialogs: AdaptivePrepare, Find roots,
  // AdaptiveSelectPlants, the trees and their measures.
  int MeasurePlateAdaptive(std::string& problem);

  // Appends the dump of tree t to the math log.
  void AppendTreeDump(int t) const;

  // ---- complete analyses: calibration records, result file, confirmation,
  // saving and the automatic runs (calibration.cpp, result_writer.cpp,
  // analysis_commands.cpp)
  // The document title: the picture file's name without its extension
  // (plate1.bmp gives plate1, and so the result file plate1.txt).
  std::string title;
  // When not empty, the result folder of this document, used instead of the
  // program's result folder (the batch program's --results).
  std::string fixedResultFolder;
  // The genotype and media names of the database, set by whoever opens the
  // document (shared, as the picture buffer pool is, so that they outlive
  // every document that uses them): the image information dialog lists them
  // and a save records the names it was given. Null: no database, no names.
  std::shared_ptr<SampleNames> sampleNames;
  // When clear, a save does not record the genotype and media names in the
  // database: the caller does (the batch program once per run, before its
  // pictures are analysed on several threads).
  bool recordNames = true;
  // Reads the picture at path and takes its file name as the title; true
  // when a picture was read. Forgets earlier crops, and keeps a copy of the
  // picture as opened when keepOpenedPicture is set.
  bool OpenPicture(const std::string& path);
  // The picture as it was opened (row 0 at the bottom), under the overlay
  // pictures; empty unless keepOpenedPicture was set before OpenPicture.
  bool keepOpenedPicture = false;
  // False when nobody looks at the "Is this a root?" pictures (a batch run
  // that answers for the user): Confirm roots then keeps no picture copy.
  bool showPlantPictures = true;
  std::vector<std::uint32_t> openedPicture;
  std::int32_t openedWidth = 0;
  std::int32_t openedHeight = 0;
  // Appends the image parameters of this save to the history of saves and
  // rewrites the last-parameters file.
  void WriteCalibration() const;
  // Writes the result file of the measured trees, then the calibration
  // records; shows "Experiment saved." and sets saved when the whole file was
  // written. Cancelled or refused, it writes nothing and says so.
  void WriteResultFile();
  // Settles pictureName and resultPath; 1 to go on, -1 when cancelled.
  int ChooseResultName();
  // Command " Confirm roots": asks "Is this a root?" for every plant (framed
  // in the window) and erases those answered No, then finds the plants anew.
  // "Yes to all" keeps this plant and the rest unasked; "Stop" asks no more,
  // keeping the answers given and the rest as found.
  void ConfirmRoots();
  // Command " Save experiment": builds and measures the trees and writes the
  // result file once.
  void SaveExperiment();
  // Command "Re-use previous": the Prepare steps with the parameters of the
  // last saved experiment.
  void ReusePrevious();
  // Command "Auto": AutoPrepare, then AutoDetect; with the adaptive pipeline
  // of settings, AdaptivePrepare, Find roots and AdaptiveSelectPlants, then
  // Confirm roots and Save experiment (the reason shown when it fails).
  void AutoRun();
  // The preparation of "Auto": fixed threshold 90, Remove box, margin cut,
  // Dilate; threshold and erosionMethod record it (90, "Original"). Returns
  // what Remove box returned (1 when the plate frame was found).
  int AutoPrepare();
  // Skeletonize, Find roots, Confirm roots and Save experiment.
  void AutoDetect();

 private:
  // Pixel reads and writes that ignore positions outside the picture.
  bool inside(int c, int r) const { return c >= 0 && r >= 0 && c < width && r < height; }
  std::uint32_t pixelAt(int c, int r) const { return inside(c, r) ? At(c, r) : 0U; }
  void paint(int c, int r, std::uint32_t value) {
    if (inside(c, r)) At(c, r) = value;
  }
  // White: brightness sum 765, all three channels 255.
  bool isWhite(int c, int r) const { return inside(c, r) && (At(c, r) & kWhitePixel) == kWhitePixel; }
  int topRow(int r) const { return height - r - 1; }
  // The first pixel of row r (inside the picture).
  const std::uint32_t* rowPointer(int r) const {
    return pixels.data() + static_cast<std::size_t>(r) * static_cast<std::size_t>(width);
  }

  // The true-length mode measures roots past their skeletons' free ends
  // (root_ends.h), on the shapes Skeletonize keeps.
  bool keepsThinnedShapes() const override;
  // The vector (chord) length of a root from p to q in the length mode of settings.
  double vectorLength(const ContourPoint& p, const ContourPoint& q, LogBuffer& log) const;
  void appendPlantDump(LogBuffer& log, std::int32_t numero, std::int32_t plantThreshold,
                       const std::vector<ContourPoint>& points) const;
  KW_Segment* findSiblingParent(KW_Segment* s, const KW_Segment& added, LogBuffer& log) const;
  // Shared by the commands (sci_doc.cpp).
  // Shows the failure of a command that ran out of memory, after its log line.
  void reportOutOfMemory(LogBuffer& log, std::string_view logLine, std::string_view message);

  std::optional<std::uint32_t> m_colourSeed;
  // Per pixel, the follower states (a bit per class of previous direction)
  // the current walk has been in; cleared after each walk along its points.
  std::vector<std::uint8_t> m_walkStates;
  // The log of the command that runs, which its operations write to.
  LogBuffer* m_commandLog = nullptr;
  // Set when an operation of the running command could not get memory.
  bool m_outOfMemory = false;
  // The segment ends and starts of the trees being built, so that a new
  // segment finds its parent without a search through the whole tree.
  std::unique_ptr<TreeIndex> m_treeIndex;
};

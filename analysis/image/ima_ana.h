// The image steps of an analysis document: black-and-white conversion, the
// removal of the plate's frame, the vote filters against noise, the margin
// cut, the dilatation and the thinning to one-pixel skeleton lines, with the
// skeleton tools the root analysis walks the lines with. The computations
// are kernels of their own (binarise.h, plate_frame.h, vote_filter.h,
// margin_cut.h, dilation.h, thinning.h, skeleton_tools.h); the commands here
// mark the step, log it, ask the user and refresh the view.
//
// Every step works in place on the document's picture (row 0 at the bottom,
// pixels 0x00RRGGBB, classified by the brightness sum R + G + B).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "image/binarise.h"
#include "image/dilation.h"
#include "image/pic_doc.h"
#include "image/skeleton_tools.h"
#include "image/step_marks.h"
#include "image/thinning.h"
#include "image/vote_filter.h"

// Shown when a step cannot get the memory it needs; the picture is then as it was.
inline constexpr std::string_view kStepOutOfMemory =
    "Not enough memory for this step: the picture is unchanged.";

// Every step checks first that the document holds width x height pixels and
// otherwise leaves it alone (still marking the step and refreshing where the
// command does).
class KW_ImaAna : public KW_PicDoc {
 public:
  KW_ImaAna() = default;
  ~KW_ImaAna() override = default;

  // Threshold accepted in the last Make B\W dialog; 0 in a new document.
  std::int32_t threshold = 0;
  // Length per pixel in centimetres, set by Remove box from the plate's
  // 12.5 cm height.
  float scale = 0.0125F;
  // Where the picture's first column and top row lie in the picture as it
  // was opened: the columns cut off on the left and the rows cut off at the
  // top by Remove box, added up over every crop since the last open.
  std::int32_t cropLeft = 0;
  std::int32_t cropTop = 0;
  // Noise-removal method last confirmed; at most 50 characters.
  std::string erosionMethod;
  static constexpr std::size_t kMaxErosionMethod = 50;

  // The check marks of this document's Prepare and Detect commands.
  StepMarks marks;

  // Command " &Make B\W": the threshold dialog previews Binarise live; OK
  // keeps the picture and stores the threshold, Cancel restores the picture.
  void MakeBlackWhite();
  // Binarise at the fixed level 90, leaving threshold and the marks alone.
  void FixedBinarise();
  // Command " &Remove box": crops to 65 pixels inside the plate's white rim
  // and sets scale; shows "Impossible to find the box!" when the rim is not
  // found. A picture without any bright row keeps its scale. Returns 1 when
  // the picture was cropped, 0 otherwise.
  int RemoveBox();
  // Command " Remove noise": the erosion-method dialog previews VoteFilter
  // live; OK keeps the picture and stores the method; then CutMargins.
  void RemoveNoise();
  // Replaces the picture by its vote filter for method; 0 for an unknown
  // method (picture unchanged). No mark, no refresh.
  int ApplyVoteFilter(int method);
  // Clears the elliptic margin bands (bottom and lower sides up to 100
  // pixels, top and upper sides up to 50). showBands paints the cleared pixels
  // in colours instead.
  void CutMargins(bool showBands = false);
  // Command " D&ilate": joins every white pixel to the white pixels of its
  // 5 x 5 window by DrawSegment into a new, black picture. Only pixels at
  // least 2 from every edge start segments; nearer ones are white only where
  // a segment paints them.
  void Dilate();
  // Command " &Skeletonize": thins the white shapes to one-pixel lines.
  // When keepsThinnedShapes() holds, thinnedShapes keeps the white shapes as
  // they were (a bit per pixel, row 0 at the bottom, true for every pixel
  // thinning takes as white: any not black); it is emptied otherwise.
  void Skeletonize();
  std::vector<bool> thinnedShapes;

  // The skeleton tools on the document's picture.
  int NeighbourCode(int col, int row) const;
  int CountNeighboursOfSum(int col, int row, int r, int g, int b) const;
  void Whiten();
  int NextLinePixel(int col, int row, int previousDirection, int& nextCol, int& nextRow) const;

  // Redraws the first view (and counts the request).
  void refresh() { refreshView(); }

 protected:
  // A picture the steps may work on: some pixels, exactly width x height of them.
  bool hasValidPicture() const;
  // Whether Skeletonize keeps the shapes it thins (for measures that need a
  // root's width after thinning); no by default.
  virtual bool keepsThinnedShapes() const { return false; }
};

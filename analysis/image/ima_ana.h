// The image steps of an analysis document: black-and-white conversion, the
// removal of the plate's frame, the vote filters against noise, the margin
// cut, the dilatation and the thinning to one-pixel skeleton lines, with the
// skeleton tools the root analysis walks the lines with.
//
// Every step works in place on the document's picture (row 0 at the bottom,
// pixels 0x00RRGGBB, classified by the brightness sum R + G + B).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "image/pic_doc.h"

// ---------------------------------------------------------------------------
// Step check marks: one flag per Prepare/Detect command, shared by every open
// document. Starting a step sets its flag and clears the other eight, so the
// menu's check mark sits at the last step started.
enum class StepMark : int {
  MakeBlackWhite = 0,
  RemoveBox,
  RemoveNoise,
  Dilate,
  Skeletonize,
  Retouch,
  FindRoots,
  ConfirmRoots,
  SaveExperiment,
};
inline constexpr int kStepMarkCount = 9;

// The menu entries the flags belong to, in StepMark order.
inline constexpr std::array<std::string_view, kStepMarkCount> kStepMenuEntries = {
    " &Make B\\W", " &Remove box", " Remove noise",  " D&ilate",        " &Skeletonize",
    " &Re-touch",  " Find roots",  " Confirm roots", " Save experiment"};

// Sets the flag of step and clears the other eight.
void CheckStep(StepMark step);
// True when the flag of step is set.
bool IsStepChecked(StepMark step);
// Sets or clears one flag alone (Find roots keeps the flag of Confirm roots).
void SetStepChecked(StepMark step, bool on);
// Clears all nine flags.
void ClearStepMarks();

// ---------------------------------------------------------------------------
// The vote filters of noise removal, one row per entry of the erosion-method
// list, in list order. Weights are given per ring of the 5 x 5 window: the
// centre, the four edge neighbours at distance 1, the four diagonal
// neighbours, the four pixels at distance 2 in the row or column, the eight
// knight positions and the four corners at (+-2, +-2). A pixel stays white
// when its vote exceeds the limit.
struct VoteFilterRow {
  std::string_view name;
  int centre;
  int edge1;
  int corner1;
  int edge2;
  int knight;
  int corner2;
  int limit;
};

inline constexpr int kVoteMethodCount = 7;
// Index of "Original" in kVoteFilters: no filter, the picture as it is.
inline constexpr int kOriginalMethod = 6;
// Index of "Gaussian2", the entry selected when the list opens.
inline constexpr int kDefaultVoteMethod = 3;

inline constexpr std::array<VoteFilterRow, kVoteMethodCount> kVoteFilters = {{
    {"Gaussian", 10, 8, 6, 3, 2, 1, 40},
    {"Conical", 5, 2, 2, 1, 0, 0, 13},
    {"Pyramide Shaped", 9, 6, 4, 3, 2, 1, 35},
    {"Gaussian2", 16, 7, 3, 3, 1, 1, 25},
    {"Exponential", 80, 62, 48, 29, 23, 11, 275},
    {"Average", 1, 1, 1, 1, 1, 1, 4},
    {"Original", 0, 0, 0, 0, 0, 0, 0},
}};

// Index of the row whose name is exactly name, or -1.
int VoteMethodIndex(std::string_view name);

// ---------------------------------------------------------------------------
// Skeleton tools over a bare buffer of width x height pixels (row 0 at the
// bottom), shared by the document and the dialogs that work on a copy.
//
// Neighbour weights: N 1, NE 2, E 4, SE 8, S 16, SW 32, W 64, NW 128, with
// row + 1 the row above. Neighbours outside the picture count as black.

// The 120 neighbour codes for which a border pixel may be removed, ascending.
extern const std::array<std::uint8_t, 120> kRemovableCodes;
// kRemovableCodes as a lookup table: kIsRemovable[code] is true for those.
extern const std::array<bool, 256> kIsRemovable;

// Sum of the weights of the non-black neighbours of (col, row): 0..255.
int NeighbourCode(const std::uint32_t* pixels, int width, int height, int col, int row);
// How many of the eight neighbours have the brightness sum r + g + b: 0..8.
// Positions outside the picture are not counted.
int CountNeighboursOfSum(const std::uint32_t* pixels, int width, int height, int col, int row, int r, int g,
                         int b);
// Every non-black pixel gets 255 OR-ed into all three channels.
void Whiten(std::uint32_t* pixels, std::size_t count);

// Direction codes of the line follower, as (dcol, drow): 1 (0, -1), 2 (+1, -1),
// 3 (+1, 0), 4 (+1, +1), 5 (0, +1), 6 (-1, +1), 7 (-1, 0), 8 (-1, -1).
inline constexpr std::array<int, 9> kDirectionCol = {0, 0, 1, 1, 1, 0, -1, -1, -1};
inline constexpr std::array<int, 9> kDirectionRow = {0, -1, -1, 0, 1, 1, 1, 0, -1};

// The next skeleton-line pixel (pure red 255, 0, 0 or white) next to
// (col, row), tried in the order that puts the directions ahead of
// previousDirection first (-1 for the first step of a line). Returns its
// direction 1..8 and stores its position in nextCol, nextRow; returns -1 and
// stores (col, row) when there is none. Positions outside the picture are
// never line pixels.
int NextLinePixel(const std::uint32_t* pixels, int width, int height, int col, int row, int previousDirection,
                  int& nextCol, int& nextRow);

// ---------------------------------------------------------------------------
// Pixel kernels over bare buffers.

// target = black and white version of source: grey = 0.3 R + 0.59 G + 0.11 B
// above t (strictly) gives white, anything else black. source and target may
// be the same buffer.
void Binarise(const std::uint32_t* source, std::uint32_t* target, int width, int height, int t);

// target = the vote filter of row method (an index into kVoteFilters) over
// source. Pixels closer than 2 to an edge come out black; pictures under
// 5 x 5 all black. "Original" copies source unchanged. source and target may
// be the same buffer but must not overlap otherwise. Returns 1, or 0 for an
// unknown method (target untouched).
int VoteFilter(const std::uint32_t* source, std::uint32_t* target, int width, int height, int method);
// The same, with the method named as in the list; 0 for an unknown name.
int VoteFilter(const std::uint32_t* source, std::uint32_t* target, int width, int height,
               std::string_view method);

// Paints the segment from (col, row) to (col2, row2) into picture by OR-ing
// 255 into each channel. Same pixel: nothing. Same row or column: both ends
// included. Otherwise a diagonal phase then a straight phase, without the two
// end pixels. Pixels outside the width x height picture are not painted.
void DrawSegment(int col, int row, int col2, int row2, std::uint32_t* picture, int width, int height);

// Thins the white shapes of width x height pixels in place to one-pixel lines
// (after whitening every non-black pixel): iterations of border marking,
// inner-corner protection, convex-corner removal and removal by neighbour
// code until one removes nothing, then whitens. Row 0, the top row and the
// two outer columns are never examined or removed. maxIterations < 0 runs to
// the end. Returns the number of iterations that removed a pixel.
int ThinPicture(std::uint32_t* pixels, int width, int height, int maxIterations = -1);

// ---------------------------------------------------------------------------
// Every step checks first that the document holds width x height pixels and
// otherwise leaves it alone (still marking the step and refreshing where the
// command does).
class KW_ImaAna : public KW_PicDoc {
 public:
  KW_ImaAna() = default;
  // Destroying any analysis document clears the nine step flags.
  ~KW_ImaAna() override;

  // Threshold accepted in the last Make B\W dialog; 0 in a new document.
  std::int32_t threshold = 0;
  // Length per pixel in centimetres, set by Remove box from the plate's
  // 12.5 cm height.
  float scale = 0.0125F;
  // Noise-removal method last confirmed; at most 50 characters.
  std::string erosionMethod;
  static constexpr std::size_t kMaxErosionMethod = 50;

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
  // pixels, top and upper sides up to 50). marks paints the cleared pixels
  // in colours instead.
  void CutMargins(bool marks = false);
  // Command " D&ilate": joins every white pixel to the white pixels of its
  // 5 x 5 window by DrawSegment into a new, black picture. Only pixels at
  // least 2 from every edge start segments; nearer ones are white only where
  // a segment paints them.
  void Dilate();
  // Command " &Skeletonize": thins the white shapes to one-pixel lines.
  void Skeletonize();

  // The skeleton tools on the document's picture.
  int NeighbourCode(int col, int row) const;
  int CountNeighboursOfSum(int col, int row, int r, int g, int b) const;
  void Whiten();
  int NextLinePixel(int col, int row, int previousDirection, int& nextCol, int& nextRow) const;

  // Redraws the first view (and counts the request).
  void refresh() { refreshView(); }
};

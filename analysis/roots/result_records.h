// The records of one picture's results (INFO_PICTURE with its plants INFO_MR
// and their lateral roots INFO_LR): the result-file reader fills them and the
// database insertion carries them into the tables.
//
// Numbers start at 0 and texts empty. A picture owns its plants and a plant
// or a lateral root owns its branches, so copying a record copies its tree.
// The counts (nbr, nbr_secondary_root, nbr_child) are the numbers written to
// the tables; the insertion walks no more branches than are really present.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One lateral root of any order, with the three values that place it in the
// Secondary Root table (set by the insertion). Copying and destroying walk
// the branches with a stack of their own, not one call per level, so a tree
// of any depth (an imported result file may hold one) fits in the stack.
class INFO_LR {
 public:
  INFO_LR() = default;
  INFO_LR(const INFO_LR& other);
  INFO_LR(INFO_LR&&) noexcept = default;
  INFO_LR& operator=(const INFO_LR& other);
  INFO_LR& operator=(INFO_LR&&) noexcept = default;
  virtual ~INFO_LR();

  float length = 0;        // path length
  float straightness = 0;  // vector length
  float position = 0;      // distance from the parent's start to the branching point
  float angle = 0;         // degrees
  std::int32_t nbr_child = 0;
  std::vector<INFO_LR> children;

  std::int32_t parent_id = 0;
  std::int32_t level = 0;  // order: 1 on the main root
  std::int32_t lr_id = 0;  // number among the branches of its parent, from 1

 private:
  // Every value but the branches.
  void copyOwnValues(const INFO_LR& other);
};

// One plant: its main root and the lateral roots of order 1.
class INFO_MR {
 public:
  INFO_MR() = default;
  INFO_MR(const INFO_MR&) = default;
  INFO_MR(INFO_MR&&) noexcept = default;
  INFO_MR& operator=(const INFO_MR&) = default;
  INFO_MR& operator=(INFO_MR&&) noexcept = default;
  virtual ~INFO_MR() = default;

  float main_length = 0;
  float main_straightness = 0;  // vector length
  float main_angle = 0;
  std::int32_t nbr_secondary_root = 0;
  std::string genotype;  // the plant heading's text, usually empty
  std::vector<INFO_LR> children;
};

// One analysed picture with all its plants.
class INFO_PICTURE {
 public:
  INFO_PICTURE() = default;
  INFO_PICTURE(const INFO_PICTURE&) = default;
  INFO_PICTURE(INFO_PICTURE&&) noexcept = default;
  INFO_PICTURE& operator=(const INFO_PICTURE&) = default;
  INFO_PICTURE& operator=(INFO_PICTURE&&) noexcept = default;
  virtual ~INFO_PICTURE() = default;

  std::string user;
  std::string experiment;
  std::string name;  // picture name
  std::string media;
  std::string genotype;
  std::string plate;
  std::int32_t nbr = 0;  // number of plants
  std::int32_t age = 0;  // days after germination
  std::vector<INFO_MR> arbre;
};

// The records that carry one picture's results into the database
// (INFO_PICTURE with its plants INFO_MR and their lateral roots INFO_LR) and
// the rows read back out of it (SQL_PICTURE, SQL_MR, SQL_LR).
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

// A Picture row.
class SQL_PICTURE {
 public:
  SQL_PICTURE() = default;
  SQL_PICTURE(const SQL_PICTURE&) = default;
  SQL_PICTURE(SQL_PICTURE&&) noexcept = default;
  SQL_PICTURE& operator=(const SQL_PICTURE&) = default;
  SQL_PICTURE& operator=(SQL_PICTURE&&) noexcept = default;
  virtual ~SQL_PICTURE() = default;

  std::int32_t pictureid = 0;
  std::string user;
  std::string experiment;
  std::string name;
  std::string media;
  std::string genotype;
  std::string plate;
  std::int32_t nbr = 0;
  std::int32_t age = 0;
};

// A Main Root row and the values derived from it by the query.
class SQL_MR {
 public:
  SQL_MR() = default;
  SQL_MR(const SQL_MR&) = default;
  SQL_MR(SQL_MR&&) noexcept = default;
  SQL_MR& operator=(const SQL_MR&) = default;
  SQL_MR& operator=(SQL_MR&&) noexcept = default;
  virtual ~SQL_MR() = default;

  std::int32_t main_root_id = 0;
  std::int32_t plant_id = 0;
  float main_length = 0;        // MR path length
  float main_straightness = 0;  // MR vector length
  float main_angle = 0;         // MR vector angle
  std::int32_t nbr_secondary_root = 0;
  std::string genotype;
  std::int32_t picture_id = 0;

  float lr_density_mr = 0;
  float basal_length = 0;
  float bz_length = 0;
  float apical_length = 0;
  float total_r_length = 0;
  float lr_density_bz = 0;
  float straightnes = 0;
  float depth = 0;
};

// A Secondary Root row.
class SQL_LR {
 public:
  SQL_LR() = default;
  SQL_LR(const SQL_LR&) = default;
  SQL_LR(SQL_LR&&) noexcept = default;
  SQL_LR& operator=(const SQL_LR&) = default;
  SQL_LR& operator=(SQL_LR&&) noexcept = default;
  virtual ~SQL_LR() = default;

  std::int32_t secondary_root_id = 0;
  std::int32_t lr_id = 0;
  float lr_length = 0;        // LR path length
  float lr_straightness = 0;  // LR vector length
  float lr_angle = 0;         // LR vector angle
  float position = 0;
  std::int32_t nbr_secondary_root = 0;  // Number LR/LR
  std::int32_t level = 0;               // LR order
  std::int32_t parent_id = 0;
};

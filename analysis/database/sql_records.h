// The rows read back out of the database (SQL_PICTURE, SQL_MR, SQL_LR); the
// records written into it are those of roots/result_records.h.
//
// Numbers start at 0 and texts empty.
#pragma once

#include <cstdint>
#include <string>

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

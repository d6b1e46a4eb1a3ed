// The genotype and media names of the plant database: each read and each
// addition over a connection of its own, as KW_SQL::Add_Genotype and
// KW_SQL::Add_Media make theirs; a read shows no error.
#pragma once

#include "roots/sample_names.h"

class SampleNamesSql : public SampleNames {
 public:
  std::vector<std::string> genotypeNames(FRONTEND::Frontend& frontend) override;
  std::vector<std::string> mediaNames(FRONTEND::Frontend& frontend) override;
  void addGenotype(FRONTEND::Frontend& frontend, std::string_view name) override;
  void addMedia(FRONTEND::Frontend& frontend, std::string_view name) override;
};

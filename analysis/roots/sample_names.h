// The genotype and media names the database keeps, as the analysis asks for
// them: the image information dialog lists them and a saved experiment adds
// the names it was given. The database library implements it; a document
// without one (a null pointer) has no database: it lists no names and
// records none.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace FRONTEND {
class Frontend;
}

// Each operation logs and shows through the frontend it is given: the one of
// the caller's thread.
class SampleNames {
 public:
  SampleNames() = default;
  SampleNames(const SampleNames&) = delete;
  SampleNames& operator=(const SampleNames&) = delete;
  virtual ~SampleNames() = default;

  // Every genotype name, in the order the database gives them; empty when
  // the database is out of reach.
  virtual std::vector<std::string> genotypeNames(FRONTEND::Frontend& frontend) = 0;
  // Every media name, likewise.
  virtual std::vector<std::string> mediaNames(FRONTEND::Frontend& frontend) = 0;
  // Adds name to the genotype names unless it is there already.
  virtual void addGenotype(FRONTEND::Frontend& frontend, std::string_view name) = 0;
  // Adds name to the media names unless it is there already.
  virtual void addMedia(FRONTEND::Frontend& frontend, std::string_view name) = 0;
};

// The files a saved analysis can leave beside its result file: the RSML
// file of its root architectures and its overlay picture.
#pragma once

#include <string>

#include "roots/rsml_writer.h"

class KW_SciDoc;

struct PlateExports {
  std::string rsmlFolder;     // empty: no RSML file
  std::string overlayFolder;  // empty: no overlay picture
  RsmlMetadata metadata;
};

// Writes "<rsmlFolder>/<picture name>.rsml" and "<overlayFolder>/<picture
// name>.png" for a document whose trees are measured. True when every file
// asked for was written; otherwise problem says which failed and why (the
// other is written all the same).
bool WritePlateExports(const KW_SciDoc& doc, const PlateExports& exports, std::string& problem);

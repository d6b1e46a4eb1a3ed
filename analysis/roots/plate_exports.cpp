#include "roots/plate_exports.h"

#include "roots/overlay_picture.h"
#include "roots/sci_doc.h"

bool WritePlateExports(const KW_SciDoc& doc, const PlateExports& exports, std::string& problem) {
  const std::string name = doc.pictureName.empty() ? doc.title : doc.pictureName;
  bool ok = true;
  auto failed = [&](const std::string& what, const std::string& error) {
    if (!problem.empty()) problem += "; ";
    problem += what + " not written: " + error;
    ok = false;
  };
  std::string error;
  if (!exports.rsmlFolder.empty() &&
      !WriteRsmlFile(exports.rsmlFolder + "/" + name + ".rsml", doc, exports.metadata, error))
    failed("RSML file", error);
  if (!exports.overlayFolder.empty()) {
    const OverlayPicture picture = RenderOverlay(doc);
    if (!WriteOverlayPng(exports.overlayFolder + "/" + name + ".png", picture, error))
      failed("overlay picture", error);
  }
  return ok;
}

#include "roots/trait_table.h"

#include <cstdint>

#include "base/csv_field.h"
#include "base/text_format.h"
#include "roots/sci_doc.h"

namespace {

constexpr const char* kEnd = "\r\n";

// The first-order lateral roots of a tree: every child that the main root's
// path does not step into, along that path.
void AddLaterals(const RootTree& tree, int& count, double& totalPixels) {
  const KW_Segment* at = tree.first_segment.get();
  std::size_t depth = 0;
  while (at != nullptr) {
    const std::int32_t next = depth < tree.path_longest_total.size() ? tree.path_longest_total[depth] : -1;
    const KW_Segment* onPath = nullptr;
    for (std::size_t i = 0; i < at->segment_children.size(); ++i) {
      if (static_cast<std::int32_t>(i) == next) {
        onPath = at->segment_children[i].get();
        continue;
      }
      ++count;
      totalPixels += at->segment_children[i]->length_longest;
    }
    at = onPath;
    ++depth;
  }
}

}  // namespace

std::string TraitTableHeader() {
  return std::string(
             "picture,plant,main_root_length_cm,main_root_vector_cm,main_root_angle_deg,lateral_roots,"
             "total_lateral_length_cm,mean_lateral_length_cm,lateral_density_per_cm,lengths,min_lateral_cm,"
             "background") +
         kEnd;
}

std::string TraitTableRows(const KW_SciDoc& doc) {
  const double cm = static_cast<double>(doc.scale);
  std::string picture;
  appendCsvField(picture, doc.pictureName);
  std::string settings =
      std::string(LengthModeName(doc.settings.lengths)) + "," + doc.settings.minLateralText() + ",";
  appendCsvField(settings, doc.settings.backgroundText());
  std::string out;
  int plant = 0;
  for (const RootTree& tree : doc.root) {
    ++plant;
    int laterals = 0;
    double lateralPixels = 0.0;
    AddLaterals(tree, laterals, lateralPixels);
    const double mainCm = tree.main_length * cm;
    const double lateralCm = lateralPixels * cm;
    out += picture + FormatText(",%i,%f,%f,%f,%i,%f,", plant, mainCm, tree.main_vector * cm, tree.main_angle,
                                tree.nbr_LR, lateralCm);
    if (laterals > 0) out += FormatText("%f", lateralCm / laterals);
    out += ',';
    if (mainCm > 0.0) out += FormatText("%f", tree.nbr_LR / mainCm);
    out += "," + settings + kEnd;
  }
  return out;
}

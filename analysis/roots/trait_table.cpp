#include "roots/trait_table.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "base/csv_field.h"
#include "base/text_format.h"
#include "roots/root_lines.h"
#include "roots/sci_doc.h"

namespace {

constexpr const char* kEnd = "\r\n";

// Twice the signed area of the triangle o, a, b: positive for a left turn.
long long Cross(const ContourPoint& o, const ContourPoint& a, const ContourPoint& b) {
  return static_cast<long long>(a.col - o.col) * (b.row - o.row) -
         static_cast<long long>(a.row - o.row) * (b.col - o.col);
}

}  // namespace

double ConvexHullArea(std::vector<ContourPoint> points) {
  // Andrew's monotone chain over the distinct pixel centres.
  std::sort(points.begin(), points.end(), [](const ContourPoint& a, const ContourPoint& b) {
    return a.col != b.col ? a.col < b.col : a.row < b.row;
  });
  points.erase(std::unique(points.begin(), points.end(), SamePosition), points.end());
  if (points.size() < 3) return 0.0;
  std::vector<ContourPoint> hull(2 * points.size());
  std::size_t k = 0;
  for (const ContourPoint& p : points) {
    while (k >= 2 && Cross(hull[k - 2], hull[k - 1], p) <= 0) --k;
    hull[k++] = p;
  }
  for (std::size_t i = points.size() - 1, lower = k + 1; i-- > 0;) {
    while (k >= lower && Cross(hull[k - 2], hull[k - 1], points[i]) <= 0) --k;
    hull[k++] = points[i];
  }
  hull.resize(k - 1);
  long long twice = 0;
  for (std::size_t i = 0; i < hull.size(); ++i) {
    const ContourPoint& a = hull[i];
    const ContourPoint& b = hull[(i + 1) % hull.size()];
    twice += static_cast<long long>(a.col) * b.row - static_cast<long long>(b.col) * a.row;
  }
  return static_cast<double>(twice < 0 ? -twice : twice) / 2.0;
}

PlantTraits MeasurePlantTraits(const RootTree& tree) {
  PlantTraits traits;
  const std::vector<RootLine> lines = RootLines(tree);
  std::vector<ContourPoint> all;
  for (const RootLine& line : lines) {
    traits.totalLength += line.length;
    if (line.order == 1) {
      ++traits.firstOrder;
      traits.firstOrderLength += line.length;
    } else if (line.order >= 2) {
      ++traits.higherOrder;
      traits.higherOrderLength += line.length;
    }
    all.insert(all.end(), line.points.begin(), line.points.end());
  }
  if (!all.empty()) {
    const auto [left, right] = std::minmax_element(
        all.begin(), all.end(), [](const ContourPoint& a, const ContourPoint& b) { return a.col < b.col; });
    const auto [low, high] = std::minmax_element(
        all.begin(), all.end(), [](const ContourPoint& a, const ContourPoint& b) { return a.row < b.row; });
    traits.width = right->col - left->col;
    traits.depth = high->row - low->row;
  }
  traits.hullArea = ConvexHullArea(std::move(all));
  return traits;
}

std::string TraitTableHeader() {
  return std::string(
             "picture,plant,main_root_length_cm,main_root_vector_cm,main_root_angle_deg,lateral_roots,"
             "total_lateral_length_cm,mean_lateral_length_cm,lateral_density_per_cm,lengths,min_lateral_cm,"
             "background,total_root_length_cm,convex_hull_area_cm2,depth_cm,width_cm,lateral_roots_2nd_order,"
             "lateral_length_2nd_order_cm,experiment,box,genotype,medium,age_days,flags") +
         kEnd;
}

std::string TraitTableRows(const KW_SciDoc& doc, const RsmlMetadata& sample) {
  const double cm = static_cast<double>(doc.scale);
  std::string picture;
  appendCsvField(picture, doc.pictureName);
  std::string settings =
      std::string(LengthModeName(doc.settings.lengths)) + "," + doc.settings.minLateralText() + ",";
  appendCsvField(settings, doc.settings.backgroundText());
  std::string fields;
  for (const std::string* field :
       {&sample.experiment, &sample.box, &sample.genotype, &sample.media, &sample.age}) {
    fields += ',';
    appendCsvField(fields, *field);
  }
  std::string out;
  int plant = 0;
  for (const RootTree& tree : doc.root) {
    ++plant;
    const PlantTraits t = MeasurePlantTraits(tree);
    const double mainCm = tree.main_length * cm;
    const double lateralCm = t.firstOrderLength * cm;
    out += picture + FormatText(",%i,%f,%f,%f,%i,%f,", plant, mainCm, tree.main_vector * cm, tree.main_angle,
                                tree.nbr_LR, lateralCm);
    if (t.firstOrder > 0) out += FormatText("%f", lateralCm / t.firstOrder);
    out += ',';
    if (mainCm > 0.0) out += FormatText("%f", tree.nbr_LR / mainCm);
    out += "," + settings;
    out += FormatText(",%f,%f,%f,%f,%i,%f", t.totalLength * cm, t.hullArea * cm * cm, t.depth * cm,
                      t.width * cm, t.higherOrder, t.higherOrderLength * cm);
    out += fields + ",";
    appendCsvField(out, PlantFlagsText(tree.flags));
    out += kEnd;
  }
  return out;
}

#include "roots/rsml_writer.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <new>
#include <string_view>
#include <system_error>
#include <vector>

#include "base/text_format.h"
#include "roots/result_writer.h"
#include "roots/root_lines.h"
#include "roots/root_measures.h"
#include "roots/sci_doc.h"

namespace {

// The length of the UTF-8 sequence at text[i], or 0 when it is not one.
std::size_t Utf8Length(const std::string& text, std::size_t i) {
  auto byte = [&](std::size_t k) { return k < text.size() ? static_cast<unsigned char>(text[k]) : 0U; };
  auto follows = [&](std::size_t k, unsigned lo, unsigned hi) { return byte(k) >= lo && byte(k) <= hi; };
  const unsigned c = byte(i);
  if (c >= 0xC2 && c <= 0xDF) return follows(i + 1, 0x80, 0xBF) ? 2 : 0;
  if (c >= 0xE0 && c <= 0xEF) {
    const unsigned lo = c == 0xE0 ? 0xA0 : 0x80;
    const unsigned hi = c == 0xED ? 0x9F : 0xBF;  // no surrogate halves
    if (!follows(i + 1, lo, hi) || !follows(i + 2, 0x80, 0xBF)) return 0;
    // U+FFFE and U+FFFF are not characters in XML.
    if (c == 0xEF && byte(i + 1) == 0xBF && byte(i + 2) >= 0xBE) return 0;
    return 3;
  }
  if (c >= 0xF0 && c <= 0xF4) {
    const unsigned lo = c == 0xF0 ? 0x90 : 0x80;
    const unsigned hi = c == 0xF4 ? 0x8F : 0xBF;
    return follows(i + 1, lo, hi) && follows(i + 2, 0x80, 0xBF) && follows(i + 3, 0x80, 0xBF) ? 4 : 0;
  }
  return 0;
}

// Appends a number as xs:decimal: fixed notation, never "nan" or "inf".
void AppendDecimal(std::string& out, double value, int decimals) {
  if (!std::isfinite(value)) value = 0.0;
  std::array<char, 64> buffer{};
  const auto [end, ec] =
      std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::fixed, decimals);
  if (ec == std::errc()) {
    out.append(buffer.data(), end);
  } else {
    out += FormatText("%.*f", decimals, value);
  }
}

std::string Decimal(double value, int decimals) {
  std::string out;
  AppendDecimal(out, value, decimals);
  return out;
}

// Appends text on a line of its own, indented by indent steps.
void Line(std::string& out, int indent, std::string_view text) {
  out.append(static_cast<std::size_t>(indent) * 2, ' ');
  out += text;
  out += '\n';
}

bool WholeNumber(const std::string& text) {
  if (text.empty() || text.size() > 9) return false;
  for (const char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

std::string Now() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%S", &local);
  return buffer;
}

std::string Label(std::int32_t plant, const std::vector<std::int32_t>& numbers) {
  std::string label = FormatText("R%i", plant);
  for (const std::int32_t n : numbers) label += FormatText("-LR%i", n);
  return label;
}

// Appends <name>value</name> on a line of its own.
void Element(std::string& out, int indent, const char* name, const std::string& value) {
  out.append(static_cast<std::size_t>(indent) * 2, ' ');
  out += FormatText("<%s>", name) + XmlEscaped(value) + FormatText("</%s>\n", name);
}

// Polyline points are written to a hundredth of a pixel.
constexpr int kPointDecimals = 2;

struct PropertyDefinition {
  const char* label;
  const char* type;
  const char* unit;  // may be null
};

// The points a root's polyline is drawn through, in pixels of the picture
// as it was opened (x to the right and y down from its top-left corner):
// the smoothed points whose path length is the root's length in the
// true-length mode, the skeleton pixels in the fixed mode.
// The point at distance beyond `from`, away from `towards`.
SmoothedPoint Beyond(const SmoothedPoint& from, const SmoothedPoint& towards, double distance) {
  const double dc = from.col - towards.col, dr = from.row - towards.row;
  const double norm = std::hypot(dc, dr);
  if (!(norm > 0.0)) return from;
  return {from.col + dc / norm * distance, from.row + dr / norm * distance};
}

std::vector<SmoothedPoint> PolylineOf(const KW_SciDoc& doc, const RootLine& root, bool trueLengths) {
  const std::vector<ContourPoint>& points = root.points;
  std::vector<SmoothedPoint> line;
  if (trueLengths) {
    line = SmoothedPoints(points);
    // The root starts and ends past its skeleton, straight on along its way
    // there (from a few points back), as its length does.
    constexpr std::size_t kWay = 5;
    if (line.size() >= 2) {
      const std::size_t back = std::min(kWay, line.size() - 1);
      if (root.tipExtension > 0.0)
        line.push_back(Beyond(line.back(), line[line.size() - 1 - back], root.tipExtension));
      if (root.baseExtension > 0.0)
        line.insert(line.begin(), Beyond(line.front(), line[back], root.baseExtension));
    }
  } else {
    line.reserve(points.size());
    for (const ContourPoint& p : points)
      line.push_back({static_cast<double>(p.col), static_cast<double>(p.row)});
  }
  for (SmoothedPoint& p : line) {
    p.col += doc.cropLeft;
    p.row = static_cast<double>(doc.height - 1 + doc.cropTop) - p.row;
  }
  return line;
}

// Appends the <point> elements of line, each as written different from the
// one before: a point that rounds to its predecessor adds nothing. Only a
// root of no length (a plant without segments: a lateral always has its
// branching point too) gives its one point twice, as a polyline holds two.
void AppendPolyline(std::string& out, int indent, const std::vector<SmoothedPoint>& line) {
  std::string previous;
  std::size_t written = 0;
  for (const SmoothedPoint& p : line) {
    std::string point = "<point x=\"";
    AppendDecimal(point, p.col, kPointDecimals);
    point += "\" y=\"";
    AppendDecimal(point, p.row, kPointDecimals);
    point += "\"/>";
    if (point == previous) continue;
    Line(out, indent, point);
    previous = std::move(point);
    ++written;
  }
  if (written == 1) Line(out, indent, previous);
}

}  // namespace

std::string XmlEscaped(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      switch (c) {
        case '&':
          out += "&amp;";
          break;
        case '<':
          out += "&lt;";
          break;
        case '>':
          out += "&gt;";
          break;
        case '"':
          out += "&quot;";
          break;
        case '\'':
          out += "&apos;";
          break;
        default:
          if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') {
            out += "\xEF\xBF\xBD";  // U+FFFD: XML has no way to write the others
          } else {
            out += static_cast<char>(c);
          }
      }
      ++i;
      continue;
    }
    const std::size_t n = Utf8Length(text, i);
    if (n > 0) {
      out.append(text, i, n);
      i += n;
    } else {
      // A byte of another encoding (a Latin-1 file name) is taken as Latin-1.
      out += static_cast<char>(0xC0U | (c >> 6));
      out += static_cast<char>(0x80U | (c & 0x3FU));
      ++i;
    }
  }
  return out;
}

bool RsmlText(const KW_SciDoc& doc, const RsmlMetadata& metadata, std::string& text, std::string& error) {
  if (doc.root.empty()) {
    error = "no plant to write";
    return false;
  }
  // Coordinates in pixels of the picture as it was opened, lengths in
  // centimetres when the scale is usable (the resolution says how many
  // pixels make one), pixels otherwise.
  const double scale = static_cast<double>(doc.scale);
  const bool cm = std::isfinite(scale) && scale > 0.0;
  const double perPixel = cm ? scale : 1.0;
  const char* unit = cm ? "cm" : "pixel";
  const bool trueLengths = doc.settings.lengths == LengthMode::True;

  std::string out;
  out.reserve(4096);
  out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rsml>\n  <metadata>\n";
  Element(out, 2, "version", "1");
  Element(out, 2, "unit", unit);
  Element(out, 2, "resolution", cm ? Decimal(1.0 / scale, 6) : std::string("1"));
  Element(out, 2, "last-modified", metadata.lastModified.empty() ? Now() : metadata.lastModified);
  Element(out, 2, "software", "morvane");
  Element(out, 2, "user", metadata.user);
  const std::string picture = doc.pictureName.empty() ? doc.title : doc.pictureName;
  Element(out, 2, "file-key", picture);

  const PropertyDefinition definitions[] = {
      {"length", "real", unit},
      {"vector", "real", unit},
      {"angle", "real", "degree"},
      {"parent-position", "real", unit},
      {"branch-count", "integer", nullptr},
      {"length-mode", "string", nullptr},
      {"min-lateral-length", "real", "cm"},
      {"background", "string", nullptr},
      {"image-resolution", "real", "dpi"},
      {"picture", "string", nullptr},
      {"experiment", "string", nullptr},
      {"box", "string", nullptr},
      {"genotype", "string", nullptr},
      {"medium", "string", nullptr},
      {"age_of_plant", "integer", "day"},
      {"flags", "string", nullptr},
  };
  out += "    <property-definitions>\n";
  for (const PropertyDefinition& d : definitions) {
    out += "      <property-definition>\n";
    Element(out, 4, "label", d.label);
    Element(out, 4, "type", d.type);
    if (d.unit != nullptr) Element(out, 4, "unit", d.unit);
    out += "      </property-definition>\n";
  }
  out += "    </property-definitions>\n  </metadata>\n  <scene>\n    <properties>\n";
  // How the analysis measured, as the document ran it.
  Element(out, 3, "length-mode", std::string(LengthModeName(doc.settings.lengths)));
  Element(out, 3, "min-lateral-length", doc.settings.minLateralText());
  Element(out, 3, "background", doc.settings.backgroundText());
  if (!metadata.resolutionDpi.empty()) Element(out, 3, "image-resolution", metadata.resolutionDpi);
  out += "    </properties>\n";

  for (std::size_t t = 0; t < doc.root.size(); ++t) {
    const auto plant = static_cast<std::int32_t>(t + 1);
    out += FormatText("    <plant id=\"%i\" label=\"plant %i\">\n", plant, plant);
    // The sample the plant belongs to and what the checks found on it.
    out += "      <properties>\n";
    Element(out, 4, "picture", picture);
    Element(out, 4, "experiment", metadata.experiment);
    Element(out, 4, "box", metadata.box);
    Element(out, 4, "genotype", metadata.genotype);
    Element(out, 4, "medium", metadata.media);
    if (WholeNumber(metadata.age)) Element(out, 4, "age_of_plant", metadata.age);
    Element(out, 4, "flags", PlantFlagsText(doc.root[t].flags));
    out += "      </properties>\n";
    std::vector<RootLine> lines = RootLines(doc.root[t]);
    if (lines.empty()) {
      // A plant without segments still has its place: a root of no length
      // at the start of its walk.
      RootLine empty;
      if (t < doc.item.size() && !doc.item[t].tab.empty()) empty.points.push_back(doc.item[t].tab.front());
      lines.push_back(std::move(empty));
    }
    std::vector<int> open;  // the roots whose element is open, innermost last
    for (std::size_t k = 0; k < lines.size(); ++k) {
      const RootLine& line = lines[k];
      while (!open.empty() && open.back() != line.parent) {
        Line(out, static_cast<int>(open.size()) + 2, "</root>");
        open.pop_back();
      }
      const int indent = static_cast<int>(open.size()) + 3;
      Line(out, indent,
           FormatText("<root id=\"%i.%zu\" label=\"", plant, k + 1) + XmlEscaped(Label(plant, line.label)) +
               "\">");
      Line(out, indent + 1, "<properties>");
      Element(out, indent + 2, "length", Decimal(line.length * perPixel, 6));
      Element(out, indent + 2, "vector", Decimal(line.vector * perPixel, 6));
      Element(out, indent + 2, "angle", Decimal(line.angle, 6));
      if (line.parent >= 0) Element(out, indent + 2, "parent-position", Decimal(line.position * perPixel, 6));
      Element(out, indent + 2, "branch-count", std::to_string(line.laterals));
      Line(out, indent + 1, "</properties>");
      Line(out, indent + 1, "<geometry>");
      Line(out, indent + 2, "<polyline>");
      AppendPolyline(out, indent + 3, PolylineOf(doc, line, trueLengths));
      Line(out, indent + 2, "</polyline>");
      Line(out, indent + 1, "</geometry>");
      open.push_back(static_cast<int>(k));
    }
    while (!open.empty()) {
      Line(out, static_cast<int>(open.size()) + 2, "</root>");
      open.pop_back();
    }
    out += "    </plant>\n";
  }
  out += "  </scene>\n</rsml>\n";
  text.swap(out);
  return true;
}

bool WriteRsmlFile(const std::string& path, const KW_SciDoc& doc, const RsmlMetadata& metadata,
                   std::string& error) {
  std::string text;
  try {
    if (!RsmlText(doc, metadata, text, error)) return false;
  } catch (const std::bad_alloc&) {
    error = "not enough memory";
    return false;
  }
  return WriteFileWhole(path, text, error);
}

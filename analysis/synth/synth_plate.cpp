#include "synth/synth_plate.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

#include "image/pic_doc.h"

namespace synth {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kCmPerInch = 2.54;
constexpr double kPlateCm = 12.5;
constexpr double kScanCm = 13.5;  // the plate and 0.5 cm of background around it
// What the image steps take away inside the rim: the 65-pixel crop, then up
// to 100 pixels of margin along the bottom and sides and 50 along the top.
constexpr int kCropPx = 65;
constexpr int kMarginSidePx = 100;
constexpr int kMarginTopPx = 50;

struct Point {
  double x;  // column
  double y;  // row, upwards
};

std::uint32_t rgb(int r, int g, int b) {
  auto c = [](int v) { return static_cast<std::uint32_t>(std::clamp(v, 0, 255)); };
  return (c(r) << 16) | (c(g) << 8) | c(b);
}

// A cheap per-pixel hash for the grain of the agar: -range..range.
int grain(std::uint32_t x, std::uint32_t y, std::uint32_t seed, int range) {
  std::uint32_t h = x * 0x9E3779B1U ^ (y + 0x7F4A7C15U) * 0x85EBCA77U ^ seed * 0xC2B2AE3DU;
  h ^= h >> 15;
  h *= 0x2C1B3C6DU;
  h ^= h >> 12;
  return static_cast<int>(h % static_cast<std::uint32_t>(2 * range + 1)) - range;
}

// The angle of the analysis from p to q: 0 straight down, positive to the right.
double directionAngle(Point p, Point q) {
  const double dc = p.x - q.x;
  const double dr = p.y - q.y;
  const double d = std::sqrt(dc * dc + dr * dr);
  if (d == 0) return 0;
  double t = std::acos(std::fabs(dr) / d) * 180.0 / kPi;
  if (p.y < q.y) t = 180.0 - t;
  if (p.x > q.x) t = -t;
  return t;
}

class Painter {
 public:
  Painter(Plate& plate) : m_plate(plate) {}

  // Paints a round-ended stroke from a to b of the given radius, blending
  // colour over what is there by the covered fraction of each pixel.
  void stroke(Point a, Point b, double radius, int r, int g, int bl) {
    const int c0 = std::max(0, static_cast<int>(std::floor(std::min(a.x, b.x) - radius - 2)));
    const int c1 = std::min(m_plate.width - 1, static_cast<int>(std::ceil(std::max(a.x, b.x) + radius + 2)));
    const int r0 = std::max(0, static_cast<int>(std::floor(std::min(a.y, b.y) - radius - 2)));
    const int r1 = std::min(m_plate.height - 1, static_cast<int>(std::ceil(std::max(a.y, b.y) + radius + 2)));
    const double vx = b.x - a.x, vy = b.y - a.y;
    const double len2 = vx * vx + vy * vy;
    for (int y = r0; y <= r1; ++y)
      for (int x = c0; x <= c1; ++x) {
        double t = len2 > 0 ? ((x - a.x) * vx + (y - a.y) * vy) / len2 : 0;
        t = std::clamp(t, 0.0, 1.0);
        const double dx = x - (a.x + t * vx), dy = y - (a.y + t * vy);
        const double cover = std::clamp(radius + 0.5 - std::sqrt(dx * dx + dy * dy), 0.0, 1.0);
        if (cover > 0) blend(x, y, cover, r, g, bl);
      }
  }

  void ellipse(Point c, double rx, double ry, int r, int g, int b) {
    const int c0 = std::max(0, static_cast<int>(c.x - rx - 2)),
              c1 = std::min(m_plate.width - 1, static_cast<int>(c.x + rx + 2));
    const int r0 = std::max(0, static_cast<int>(c.y - ry - 2)),
              r1 = std::min(m_plate.height - 1, static_cast<int>(c.y + ry + 2));
    for (int y = r0; y <= r1; ++y)
      for (int x = c0; x <= c1; ++x) {
        const double u = (x - c.x) / rx, v = (y - c.y) / ry;
        const double d = std::sqrt(u * u + v * v);
        const double cover = std::clamp((1.0 - d) * std::min(rx, ry) + 0.5, 0.0, 1.0);
        if (cover > 0) blend(x, y, cover, r, g, b);
      }
  }

 private:
  void blend(int x, int y, double cover, int r, int g, int b) {
    std::uint32_t& p = m_plate.pixels[static_cast<std::size_t>(x) +
                                      static_cast<std::size_t>(y) * static_cast<std::size_t>(m_plate.width)];
    const int pr = static_cast<int>((p >> 16) & 0xFFU), pg = static_cast<int>((p >> 8) & 0xFFU),
              pb = static_cast<int>(p & 0xFFU);
    auto mix = [cover](int from, int to) {
      return std::max(from, static_cast<int>(std::lround(from + (to - from) * cover)));
    };
    p = rgb(mix(pr, r), mix(pg, g), mix(pb, b));
  }

  Plate& m_plate;
};

double pathLength(const std::vector<Point>& path) {
  double s = 0;
  for (std::size_t i = 1; i < path.size(); ++i)
    s += std::hypot(path[i].x - path[i - 1].x, path[i].y - path[i - 1].y);
  return s;
}

double segmentDistance(Point q, Point a, Point b) {
  const double vx = b.x - a.x, vy = b.y - a.y;
  const double len2 = vx * vx + vy * vy;
  const double t = len2 > 0 ? std::clamp(((q.x - a.x) * vx + (q.y - a.y) * vy) / len2, 0.0, 1.0) : 0.0;
  return std::hypot(q.x - (a.x + t * vx), q.y - (a.y + t * vy));
}

// Where the curvy plates' laterals may go: the main root's path, the slot
// and the clearance every lateral keeps from the other roots of its plant.
struct LateralRoom {
  const std::vector<Point>& path;
  double left, right, bottom;  // the tips stay inside
  double clearance;            // centre line to centre line, pixels
  double pxPerCm, cmPerPixel;
};

// The laterals of a curvy plate: alternating sides, 0.3..0.75 cm apart,
// from 0.8..1.2 cm below the base to 0.8 cm above the tip, 0.5..3.5 cm
// long, each leaving at 40..75 degrees to the main root's local heading
// and cut short before it comes within the clearance of its main root or
// an earlier lateral; a lateral left shorter than 0.25 cm is not drawn.
std::vector<LateralTruth> curvyLaterals(const LateralRoom& room, std::mt19937& rng) {
  auto uniform = [&rng](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
  const std::vector<Point>& path = room.path;
  std::vector<LateralTruth> laterals;
  const int steps = static_cast<int>(path.size()) - 1;
  double position = uniform(0.8, 1.2) * room.pxPerCm;
  int side = uniform(0, 1) < 0.5 ? -1 : 1;
  while (position < steps - 0.8 * room.pxPerCm) {
    const auto at = static_cast<std::size_t>(position);
    const Point from = path[at];
    const Point behind = path[at >= 5 ? at - 5 : 0];
    const Point ahead = path[std::min(at + 5, path.size() - 1)];
    const double heading = std::atan2(ahead.x - behind.x, behind.y - ahead.y) * 180.0 / kPi;
    const double angle = std::clamp(heading + side * uniform(40.0, 75.0), -82.0, 82.0);
    const double rad = angle * kPi / 180.0;
    const double dx = std::sin(rad), dy = -std::cos(rad);
    double length = uniform(0.5, 3.5) * room.pxPerCm;
    if (dx > 0) length = std::min(length, (room.right - from.x) / dx);
    if (dx < 0) length = std::min(length, (room.left - from.x) / dx);
    length = std::min(length, (from.y - room.bottom) / -dy);
    // Cut before the first point that comes too near another root.
    for (double t = 2 * room.clearance; t < length; t += 1.0) {
      const Point q{from.x + dx * t, from.y + dy * t};
      bool near = false;
      for (std::size_t i = 0; i < path.size() && !near; i += 2)
        near = std::hypot(q.x - path[i].x, q.y - path[i].y) < room.clearance;
      for (const LateralTruth& l : laterals)
        near = near || segmentDistance(q, {l.baseCol, l.baseRow}, {l.tipCol, l.tipRow}) < room.clearance;
      if (near) {
        length = t - room.clearance;
        break;
      }
    }
    if (std::fabs(angle - heading) >= 35.0 && length >= 0.25 * room.pxPerCm) {
      const Point tip{from.x + dx * length, from.y + dy * length};
      LateralTruth lt;
      lt.lengthCm = length * room.cmPerPixel;
      lt.positionCm = position * room.cmPerPixel;
      lt.angleDeg = directionAngle(from, tip);
      lt.baseCol = from.x;
      lt.baseRow = from.y;
      lt.tipCol = tip.x;
      lt.tipRow = tip.y;
      laterals.push_back(lt);
    }
    side = -side;
    position += uniform(0.3, 0.75) * room.pxPerCm;
  }
  return laterals;
}

}  // namespace

Plate MakePlate(const PlateOptions& optionsIn) {
  PlateOptions options = optionsIn;
  options.dpi = std::clamp(options.dpi, 150, 1200);
  options.plants = std::clamp(options.plants, 1, 12);
  std::mt19937 rng(options.seed);
  auto uniform = [&rng](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };

  Plate plate;
  plate.dpi = options.dpi;
  plate.cmPerPixel = kCmPerInch / options.dpi;
  const double pxPerCm = options.dpi / kCmPerInch;
  plate.width = plate.height = static_cast<int>(std::lround(kScanCm * pxPerCm));
  const int platePx = static_cast<int>(std::lround(kPlateCm * pxPerCm));
  const int offset = (plate.width - platePx) / 2;
  plate.plateFirstCol = plate.plateFirstRow = offset;
  plate.plateLastCol = plate.plateLastRow = offset + platePx - 1;
  const int rimPx = std::clamp(static_cast<int>(std::lround(0.08 * pxPerCm)), 3, 50);
  plate.pixels.assign(static_cast<std::size_t>(plate.width) * static_cast<std::size_t>(plate.height), 0);

  // Background, rim and agar.
  const std::uint32_t grainSeed = options.seed * 2654435761U;
  for (int y = 0; y < plate.height; ++y)
    for (int x = 0; x < plate.width; ++x) {
      const bool inside = x >= plate.plateFirstCol && x <= plate.plateLastCol && y >= plate.plateFirstRow &&
                          y <= plate.plateLastRow;
      const int edge = std::min(
          {x - plate.plateFirstCol, plate.plateLastCol - x, y - plate.plateFirstRow, plate.plateLastRow - y});
      const int n = options.noise
                        ? grain(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y), grainSeed, 6)
                        : 0;
      std::uint32_t v;
      if (!inside) {
        v = rgb(16 + n, 17 + n, 20 + n);
      } else if (edge < rimPx) {
        v = rgb(222 + n, 224 + n, 226 + n);
      } else {
        // Agar: a slow shading across the plate and a fine grain.
        const int shade =
            static_cast<int>(6.0 * std::sin(x * 2.0 / platePx + 0.7) * std::cos(y * 1.5 / platePx));
        v = rgb(38 + shade + n, 42 + shade + n, 48 + shade + n);
      }
      plate.pixels[static_cast<std::size_t>(x) +
                   static_cast<std::size_t>(y) * static_cast<std::size_t>(plate.width)] = v;
    }

  // Where roots may grow: inside the rim, the crop and the margin cut, with
  // a little room to spare.
  const int spare = static_cast<int>(std::lround(0.3 * pxPerCm));
  const double safeLeft = plate.plateFirstCol + rimPx + kCropPx + kMarginSidePx + spare;
  const double safeRight = plate.plateLastCol - rimPx - kCropPx - kMarginSidePx - spare;
  const double safeBottom = plate.plateFirstRow + rimPx + kCropPx + kMarginSidePx + spare;
  const double safeTop = plate.plateLastRow - rimPx - kCropPx - kMarginTopPx - spare;
  const double slot = (safeRight - safeLeft) / options.plants;
  const double mainRadius = std::max(1.3, 0.014 * pxPerCm);     // about 0.28 mm wide
  const double lateralRadius = std::max(1.0, 0.009 * pxPerCm);  // about 0.18 mm wide
  const double seedRx = std::max(4.0, 0.06 * pxPerCm), seedRy = std::max(3.0, 0.045 * pxPerCm);

  Painter painter(plate);
  struct Box {
    double x0, x1, y0, y1;
  };
  std::vector<Box> plantBoxes;

  for (int k = 0; k < options.plants; ++k) {
    PlantTruth truth;
    const double centre = safeLeft + slot * (k + 0.5);
    const double halfRoom = slot / 2 - std::max(6.0, 0.12 * pxPerCm);  // keeps neighbours apart
    const Point base{centre + uniform(-0.1, 0.1) * halfRoom, safeTop - seedRy - uniform(0.0, 0.3) * pxPerCm};
    const double available = base.y - safeBottom;
    const double mainLength = available * uniform(0.6, 0.95);

    // The main root: a heading that sways gently about the vertical, the
    // sway halved until the root stays well inside its slot.
    double a = uniform(0.08, 0.22), tilt = uniform(-0.08, 0.08);
    const double wave = uniform(2.0, 5.0) * pxPerCm, phase = uniform(0.0, 2 * kPi);
    if (options.curvy) {
      // Headings up to 35 degrees off the vertical: sway and tilt together.
      tilt = uniform(-0.1, 0.1);
      a = uniform(0.35, 0.61 - std::fabs(tilt));
    }
    const double swayRoom = (options.curvy ? 0.6 : 0.35) * halfRoom;
    std::vector<Point> path;
    for (int attempt = 0; attempt < 8; ++attempt) {
      path.clear();
      Point p = base;
      path.push_back(p);
      double s = 0;
      bool fits = true;
      while (s < mainLength) {
        const double theta = tilt + a * std::sin(2 * kPi * s / wave + phase);
        p.x += std::sin(theta);
        p.y -= std::cos(theta);
        s += 1.0;
        path.push_back(p);
        if (std::fabs(p.x - base.x) > swayRoom || p.y < safeBottom) fits = false;
      }
      if (fits) break;
      a /= 2;
      tilt /= 2;
    }
    truth.baseCol = base.x;
    truth.baseRow = base.y;
    truth.tipCol = path.back().x;
    truth.tipRow = path.back().y;
    truth.mainLengthCm = pathLength(path) * plate.cmPerPixel;
    truth.mainVectorCm = std::hypot(path.back().x - base.x, path.back().y - base.y) * plate.cmPerPixel;
    truth.mainAngleDeg = directionAngle(base, path.back());

    // Laterals: straight, alternating sides, from 0.8 cm below the base to
    // 0.8 cm above the tip, at least 0.4 cm apart on each side. On each side
    // lower laterals are never flatter than upper ones, so they never cross.
    const int pathSteps = static_cast<int>(path.size()) - 1;
    double position = uniform(0.8, 1.2) * pxPerCm;
    int side = uniform(0, 1) < 0.5 ? -1 : 1;
    std::array<double, 2> lastAngle = {80.0, 80.0};
    bool crossingDone = false;
    Box box{base.x - seedRx, base.x + seedRx, path.back().y, base.y + seedRy};
    for (const Point& q : path) {
      box.x0 = std::min(box.x0, q.x);
      box.x1 = std::max(box.x1, q.x);
    }
    if (options.curvy) {
      const double gap = std::max(4.0, 0.06 * pxPerCm);
      const double edge = lateralRadius + 2;
      truth.laterals = curvyLaterals({path, centre - halfRoom + edge, centre + halfRoom - edge, safeBottom,
                                      mainRadius + lateralRadius + gap, pxPerCm, plate.cmPerPixel},
                                     rng);
      for (const LateralTruth& lt : truth.laterals) {
        box.x0 = std::min(box.x0, lt.tipCol);
        box.x1 = std::max(box.x1, lt.tipCol);
        box.y0 = std::min(box.y0, lt.tipRow);
      }
    }
    while (!options.curvy && position < pathSteps - 0.8 * pxPerCm) {
      const Point from = path[static_cast<std::size_t>(position)];
      double& limitAngle = lastAngle[side > 0 ? 1 : 0];
      const double angle = uniform(std::max(45.0, limitAngle - 12.0), limitAngle);
      limitAngle = angle;
      const double rad = angle * kPi / 180.0;
      // Room to the side of the slot and down to the safe bottom.
      const double sideRoom = halfRoom - std::fabs(from.x - centre) - lateralRadius - 2;
      const double downRoom = from.y - safeBottom;
      double length =
          std::min({uniform(0.3, 1.6) * pxPerCm, sideRoom / std::sin(rad), downRoom / std::cos(rad)});
      const bool crosses = options.crossing && !crossingDone && side > 0 && k + 1 < options.plants;
      if (crosses) {
        // Far enough to pass the neighbour's main root by a quarter slot.
        length = std::min((slot * 1.25) / std::sin(rad), downRoom / std::cos(rad));
        crossingDone = true;
      }
      if (length >= 0.25 * pxPerCm) {
        const Point tip{from.x + side * std::sin(rad) * length, from.y - std::cos(rad) * length};
        LateralTruth lt;
        lt.lengthCm = length * plate.cmPerPixel;
        lt.positionCm = position * plate.cmPerPixel;  // one-pixel steps along the path
        lt.angleDeg = directionAngle(from, tip);
        lt.baseCol = from.x;
        lt.baseRow = from.y;
        lt.tipCol = tip.x;
        lt.tipRow = tip.y;
        truth.laterals.push_back(lt);
        box.x0 = std::min(box.x0, tip.x);
        box.x1 = std::max(box.x1, tip.x);
        box.y0 = std::min(box.y0, tip.y);
      }
      side = -side;
      position += uniform(0.3, 0.75) * pxPerCm;
    }
    plantBoxes.push_back(box);

    const int grey = static_cast<int>(uniform(175, 215));
    for (std::size_t i = 1; i < path.size(); ++i)
      painter.stroke(path[i - 1], path[i], mainRadius, grey + 8, grey, grey - 12);
    for (const LateralTruth& lt : truth.laterals) {
      const int lg = grey - static_cast<int>(uniform(5, 25));
      painter.stroke({lt.baseCol, lt.baseRow}, {lt.tipCol, lt.tipRow}, lateralRadius, lg + 8, lg, lg - 12);
    }
    painter.ellipse(base, seedRx, seedRy, grey + 25, grey + 20, grey);
    plate.plants.push_back(std::move(truth));
  }

  // Speckles on the agar, away from the plants.
  if (options.noise) {
    const double inner0 = plate.plateFirstCol + rimPx + 2, inner1 = plate.plateLastCol - rimPx - 2;
    const double area = (inner1 - inner0) * (inner1 - inner0) / (pxPerCm * pxPerCm);
    const int count = static_cast<int>(area * 3.0);
    const double keep = 0.15 * pxPerCm;
    for (int i = 0; i < count; ++i) {
      const Point c{uniform(inner0, inner1), uniform(inner0, inner1)};
      bool nearPlant = false;
      for (const Box& b : plantBoxes)
        if (c.x > b.x0 - keep && c.x < b.x1 + keep && c.y > b.y0 - keep && c.y < b.y1 + keep)
          nearPlant = true;
      if (nearPlant) continue;
      const double r = uniform(0.4, 1.4);
      const int g = static_cast<int>(uniform(100, 230));
      painter.ellipse(c, r, r, g, g, g);
    }
  }
  return plate;
}

std::string TruthText(const Plate& plate, const PlateOptions& options) {
  std::string out;
  char line[512];
  std::snprintf(line, sizeof line,
                "synthetic plate: dpi %d, %d x %d pixels, %.6f cm per pixel, %zu plants, seed %u%s%s\n",
                plate.dpi, plate.width, plate.height, plate.cmPerPixel, plate.plants.size(), options.seed,
                options.crossing ? ", crossing" : "", options.curvy ? ", curvy" : "");
  out += line;
  out += "angles in degrees: 0 straight down, positive to the right; lengths in cm\n";
  int k = 0;
  for (const PlantTruth& p : plate.plants) {
    std::snprintf(line, sizeof line,
                  "plant %d main_length %.4f main_vector %.4f main_angle %.3f laterals %zu base %.1f %.1f "
                  "tip %.1f %.1f\n",
                  ++k, p.mainLengthCm, p.mainVectorCm, p.mainAngleDeg, p.laterals.size(), p.baseCol,
                  p.baseRow, p.tipCol, p.tipRow);
    out += line;
    int j = 0;
    for (const LateralTruth& l : p.laterals) {
      std::snprintf(line, sizeof line, "  lateral %d length %.4f position %.4f angle %.3f\n", ++j, l.lengthCm,
                    l.positionCm, l.angleDeg);
      out += line;
    }
  }
  return out;
}

int WritePlate(const Plate& plate, const PlateOptions& options, const std::string& bitmapPath,
               const std::string& truthPath, std::string& error, int bitCount) {
  if (bitCount != 24 && bitCount != 8) {
    error = "a plate is written with 24 or 8 bits";
    return 0;
  }
  KW_PicDoc doc;
  doc.pixels = plate.pixels;
  doc.width = plate.width;
  doc.height = plate.height;
  doc.bitCount = static_cast<std::uint16_t>(bitCount);
  if (bitCount == 8) {
    for (std::uint32_t v = 0; v < 256; ++v) doc.palette[v] = v << 16 | v << 8 | v;
    doc.paletteCount = 256;
  }
  doc.xPelsPerMeter = doc.yPelsPerMeter = static_cast<std::int32_t>(std::lround(plate.dpi / 0.0254));
  if (!doc.SaveBitmap(bitmapPath)) {
    error = "cannot write " + bitmapPath;
    return 0;
  }
  std::FILE* f = std::fopen(truthPath.c_str(), "w");
  if (f == nullptr) {
    error = "cannot write " + truthPath;
    return 0;
  }
  const std::string text = TruthText(plate, options);
  const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  if (std::fclose(f) != 0 || !ok) {
    error = "cannot write " + truthPath;
    return 0;
  }
  return 1;
}

}  // namespace synth

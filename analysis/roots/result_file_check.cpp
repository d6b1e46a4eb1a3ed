// The strict reading of a result file that the import trusts: every line is
// where the format puts it and every number is one the tables can hold.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "roots/result_file.h"

namespace {

// The reader of the files has always taken 249 characters per line, its line
// feed included: a longer line was never one line of a result file.
constexpr std::size_t kMaxLineText = 248;

bool isBlank(std::string_view s) { return s.find_first_not_of(" \t\r") == std::string_view::npos; }

std::string_view trimmed(std::string_view s) {
  const auto b = s.find_first_not_of(" \t\r");
  if (b == std::string_view::npos) return {};
  const auto e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

class Checker {
 public:
  Checker(std::string_view content, ResultFileFault& fault) : m_fault(fault) {
    std::size_t pos = 0;
    while (pos < content.size()) {
      const std::size_t end = std::min(content.find('\n', pos), content.size());
      std::string_view line = content.substr(pos, end - pos);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      m_lines.push_back(line);
      pos = end + 1;
    }
  }

  bool fail(std::size_t number, std::string what) {
    m_fault.line = static_cast<int>(number);
    m_fault.what = std::move(what);
    return false;
  }

  // Every line: no zero byte, no line longer than the format's.
  bool linesReadable() {
    if (m_lines.empty()) return fail(1, "the file is empty");
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
      if (m_lines[i].find('\0') != std::string_view::npos) return fail(i + 1, "the line holds a zero byte");
      if (m_lines[i].size() > kMaxLineText)
        return fail(i + 1, "the line is longer than " + std::to_string(kMaxLineText) + " characters");
    }
    return true;
  }

  // The next line, which must begin with key; its text after key (and one
  // space) goes to text.
  bool keyed(std::string_view key, std::string& text) {
    const std::size_t number = m_next + 1;
    if (m_next >= m_lines.size())
      return fail(number, "the file ends before the line \"" + std::string(key) + "\"");
    const std::string_view line = m_lines[m_next++];
    if (line.substr(0, key.size()) != key)
      return fail(number,
                  "\"" + std::string(key) + "\" expected, found \"" + std::string(line.substr(0, 40)) + "\"");
    std::string_view rest = line.substr(key.size());
    if (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
    text = std::string(rest);
    return true;
  }

  // A number in the "C" conventions that fills field whole (spaces around
  // it aside), finite and within a FLOAT column.
  bool real(std::string_view field, std::size_t number, std::string_view what, float& out) {
    const std::string_view t = trimmed(field);
    double v = 0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    if (t.empty() || end != t.data() + t.size() ||
        (ec != std::errc() && ec != std::errc::result_out_of_range))
      return fail(number, std::string(what) + " is not a number: \"" + std::string(t.substr(0, 40)) + "\"");
    if (ec == std::errc::result_out_of_range || !std::isfinite(v) ||
        std::fabs(v) > static_cast<double>(std::numeric_limits<float>::max()))
      return fail(number, std::string(what) + " is not a finite number a table can hold: " + std::string(t));
    out = static_cast<float>(v);
    return true;
  }

  // A whole count, 0 or more.
  bool count(std::string_view field, std::size_t number, std::string_view what, std::int32_t& out) {
    const std::string_view t = trimmed(field);
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), out);
    if (t.empty() || ec != std::errc() || end != t.data() + t.size() || out < 0)
      return fail(number, std::string(what) + " is not a count: \"" + std::string(t.substr(0, 40)) + "\"");
    return true;
  }

  bool header(INFO_PICTURE& picture) {
    picture = INFO_PICTURE();
    const std::string_view first = m_lines[0];
    picture.name = std::string(first.substr(0, first.find(',')));
    m_next = 1;
    std::string age;
    std::string plants;
    if (!keyed("User name:", picture.user) || !keyed("Experiment name:", picture.experiment) ||
        !keyed("Box name:", picture.plate) || !keyed("Genotype:", picture.genotype) ||
        !keyed("Media:", picture.media) || !keyed("Age of plants:", age) ||
        !keyed("Number of plant:", plants))
      return false;
    float days = 0;
    if (!real(std::string_view(age).substr(0, age.find(' ')), 7, "the age", days)) return false;
    if (std::fabs(days) >= 2147483647.0F) return fail(7, "the age is out of range: " + age);
    picture.age = static_cast<std::int32_t>(std::floor(days));
    if (!count(plants, 8, "the number of plants", picture.nbr)) return false;
    // The scale line the analysis writes after the header.
    if (m_next < m_lines.size() && m_lines[m_next].substr(0, 6) == "scale ") ++m_next;
    return true;
  }

  // Blank lines may stand before a plant's heading.
  bool plant(INFO_MR& plant, std::int32_t k) {
    while (m_next < m_lines.size() && isBlank(m_lines[m_next])) ++m_next;
    const std::string heading = "Root " + std::to_string(k);
    if (m_next >= m_lines.size())
      return fail(m_next + 1, "the file ends before \"" + heading + "\" of the plants announced");
    std::string text;
    if (!keyed(heading + ":", text)) return false;
    plant.genotype = text;
    std::string length, vector, angle, laterals;
    if (!keyed("Main root length:", length) ||
        !real(length, m_next, "the main root length", plant.main_length))
      return false;
    if (!keyed("Main root vector:", vector) ||
        !real(vector, m_next, "the main root vector", plant.main_straightness))
      return false;
    if (!keyed("Main root angle:", angle) || !real(angle, m_next, "the main root angle", plant.main_angle))
      return false;
    if (!keyed("Number lateral root(s):", laterals) ||
        !count(laterals, m_next, "the number of lateral roots", plant.nbr_secondary_root))
      return false;
    return branches(plant.children, plant.nbr_secondary_root);
  }

  // One lateral-root line: "<tabs>R1-LR1: Length: f\tPosition: f\tVector: f\tAngle: f\tNumber
  // secondary root(s): n".
  bool lateral(INFO_LR& b) {
    const std::size_t number = m_next + 1;
    if (m_next >= m_lines.size()) return fail(number, "the file ends before all announced lateral roots");
    std::string_view line = m_lines[m_next++];
    line.remove_prefix(std::min(line.find_first_not_of('\t'), line.size()));
    if (line.empty() || line[0] != 'R' || line.find(": Length:") == std::string_view::npos)
      return fail(number, "a lateral root line expected, found \"" + std::string(line.substr(0, 40)) + "\"");
    std::vector<std::string_view> fields;
    std::size_t p = line.find(": Length:") + 2;
    while (p <= line.size()) {
      const std::size_t tab = std::min(line.find('\t', p), line.size());
      fields.push_back(line.substr(p, tab - p));
      p = tab + 1;
    }
    static constexpr std::string_view kKeys[] = {
        "Length:", "Position:", "Vector:", "Angle:", "Number secondary root(s):"};
    if (fields.size() != std::size(kKeys))
      return fail(number, "a lateral root line has five values, this one " + std::to_string(fields.size()));
    for (std::size_t i = 0; i < fields.size(); ++i) {
      if (fields[i].substr(0, kKeys[i].size()) != kKeys[i])
        return fail(number, "\"" + std::string(kKeys[i]) + "\" expected in the lateral root line");
      fields[i].remove_prefix(kKeys[i].size());
    }
    return real(fields[0], number, "the lateral root length", b.length) &&
           real(fields[1], number, "the lateral root position", b.position) &&
           real(fields[2], number, "the lateral root vector", b.straightness) &&
           real(fields[3], number, "the lateral root angle", b.angle) &&
           count(fields[4], number, "the number of its lateral roots", b.nbr_child);
  }

  // The announced laterals below a root, each followed by its own, with a
  // stack of our own (any depth); a count larger than the lines left is
  // refused before anything is allocated for it.
  bool branches(std::vector<INFO_LR>& children, std::int32_t announced) {
    struct Frame {
      std::vector<INFO_LR>* list;
      std::int32_t announced;
    };
    if (!fits(announced)) return false;
    std::vector<Frame> open{{&children, announced}};
    while (!open.empty()) {
      Frame& top = open.back();
      if (static_cast<std::int32_t>(top.list->size()) == top.announced) {
        open.pop_back();
        continue;
      }
      INFO_LR& b = top.list->emplace_back();
      if (!lateral(b)) return false;
      if (open.size() >= static_cast<std::size_t>(kMaxBranchDepth) && b.nbr_child > 0)
        return fail(m_next, "lateral roots nest deeper than " + std::to_string(kMaxBranchDepth) + " orders");
      if (b.nbr_child > 0) {
        if (!fits(b.nbr_child)) return false;
        open.push_back({&b.children, b.nbr_child});
      }
    }
    return true;
  }

  bool fits(std::int32_t announced) {
    if (static_cast<std::size_t>(announced) > m_lines.size() - m_next)
      return fail(m_next, std::to_string(announced) + " lateral roots announced, " +
                              std::to_string(m_lines.size() - m_next) + " lines follow");
    return true;
  }

  // After the last plant only blank lines may follow.
  bool end() {
    for (; m_next < m_lines.size(); ++m_next)
      if (!isBlank(m_lines[m_next]))
        return fail(m_next + 1, "more lines than the counts announce: \"" +
                                    std::string(m_lines[m_next].substr(0, 40)) + "\"");
    return true;
  }

 private:
  ResultFileFault& m_fault;
  std::vector<std::string_view> m_lines;
  std::size_t m_next = 0;
};

}  // namespace

std::string ResultFileFault::text() const { return "line " + std::to_string(line) + ": " + what; }

bool CheckResultFile(std::string_view content, INFO_PICTURE& picture, ResultFileFault& fault) {
  Checker c(content, fault);
  if (!c.linesReadable() || !c.header(picture)) return false;
  // Five lines per plant at least: a count the file cannot hold allocates nothing.
  for (std::int32_t k = 1; k <= picture.nbr; ++k) {
    INFO_MR& plant = picture.arbre.emplace_back();
    if (!c.plant(plant, k)) return false;
  }
  return c.end();
}

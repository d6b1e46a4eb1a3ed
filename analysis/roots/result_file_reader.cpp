// The reader of result text files. Every field is found by its colons, as
// the files have always been read; what is new is that the reader trusts no
// count: it never reads past the end, never allocates for entries that are
// not there and never recurses, whatever the file holds.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "base/kw_log.h"
#include "base/text_format.h"
#include "roots/result_file.h"

namespace {

// The line buffer of the reader: 249 characters and the terminating zero.
constexpr int kLineBuffer = 250;
// A plant takes at least five lines (heading and four main-root lines), a
// lateral root one line; each line at least its line feed.
constexpr long kMinPlantBytes = 5;
constexpr long kMinBranchBytes = 1;
// The read log of one file stops here, with one line saying so.
constexpr std::size_t kMaxReadLog = std::size_t{1} << 20;
// Bytes left when the file cannot tell its size.
constexpr long kUnknownSize = std::numeric_limits<long>::max();

std::int32_t FloorToInt(double v) {
  if (std::isnan(v)) return 0;
  v = std::floor(v);
  if (v <= static_cast<double>(std::numeric_limits<std::int32_t>::min()))
    return std::numeric_limits<std::int32_t>::min();
  if (v >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
    return std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(v);
}

// atoi without its undefined overflow.
std::int32_t ToInt(const std::string& text) {
  const long long v = std::strtoll(text.c_str(), nullptr, 10);
  if (v < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
  if (v > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(v);
}

// The number at the start of text in the "C" conventions, whatever the
// process's locale (atof would stop at the point under a decimal-comma one).
float ToFloat(const std::string& text) {
  std::size_t from = text.find_first_not_of(" \t");
  if (from != std::string::npos && text[from] == '+') ++from;
  double v = 0;
  if (from != std::string::npos) {
    const auto [end, ec] = std::from_chars(text.data() + from, text.data() + text.size(), v);
    // Too large reads as infinite, too small as 0, as atof gives them.
    if (ec == std::errc::result_out_of_range) {
      const std::string_view number(text.data() + from, static_cast<std::size_t>(end - (text.data() + from)));
      const bool tiny =
          number.find("e-") != std::string_view::npos || number.find("E-") != std::string_view::npos;
      v = tiny ? 0.0 : (text[from] == '-' ? -HUGE_VAL : HUGE_VAL);
    }
  }
  if (std::isnan(v)) return 0.0F;
  if (v > static_cast<double>(std::numeric_limits<float>::max()))
    return std::numeric_limits<float>::infinity();
  if (v < -static_cast<double>(std::numeric_limits<float>::max()))
    return -std::numeric_limits<float>::infinity();
  return static_cast<float>(v);
}

// The characters from the second position after the first ':' up to the
// line end; empty without a colon.
std::string TextAfterColon(const std::string& line) {
  const std::size_t colon = line.find(':');
  if (colon == std::string::npos || colon + 2 > line.size()) return {};
  std::string text = line.substr(colon + 2);
  const std::size_t end = text.find_first_of("\r\n");
  if (end != std::string::npos) text.resize(end);
  return text;
}

// The text of line from position from up to (not including) the first of stops.
std::string Field(const std::string& line, std::size_t from, const char* stops) {
  if (from >= line.size()) return {};
  const std::size_t end = line.find_first_of(stops, from);
  return line.substr(from, end == std::string::npos ? std::string::npos : end - from);
}

class Reader {
 public:
  Reader(const LogSink& sink, std::FILE* file) : m_sink(sink), m_file(file), m_left(bytesLeft(file)) {}
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;
  ~Reader() { AppendLog(m_sink, logname::kRead, m_log); }

  // The next line, with its line feed; false at the end of the file (line
  // is then empty).
  bool readLine(std::string& line) {
    char buffer[kLineBuffer] = {};
    if (std::fgets(buffer, kLineBuffer, m_file) == nullptr) {
      line.clear();
      return false;
    }
    line.assign(buffer);
    // A line holding a zero byte still took at least one byte of the file.
    const long taken = std::max<long>(1, static_cast<long>(line.size()));
    if (m_left != kUnknownSize) m_left = std::max<long>(0, m_left - taken);
    return true;
  }

  // count if the rest of the file can hold that many entries of at least
  // minBytes each, else 0 with a line in the read log.
  std::int32_t accept(std::int32_t count, long minBytes, const char* what) {
    if (count < 0 || (m_left != kUnknownSize && count > m_left / minBytes)) {
      logF("refused %s %i: the rest of the file cannot hold them\n", what, count);
      m_complete = false;
      return 0;
    }
    return count;
  }

  void log(std::string_view text) {
    if (m_logFull) return;
    if (m_log.size() + text.size() > kMaxReadLog) {
      m_log += "log_read.txt: the trace of this file is cut here\n";
      m_logFull = true;
      return;
    }
    m_log.append(text);
  }
  void logF(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    if (m_logFull) return;
    va_list args;
    va_start(args, format);
    const std::string text = FormatTextV(format, args);
    va_end(args);
    log(text);
  }

  void endedEarly() {
    if (m_complete) log("the file ends before all announced roots were read\n");
    m_complete = false;
  }
  bool complete() const { return m_complete; }
  void refuse() { m_complete = false; }

 private:
  static long bytesLeft(std::FILE* f) {
    const long here = std::ftell(f);
    if (here < 0 || std::fseek(f, 0, SEEK_END) != 0) return kUnknownSize;
    const long end = std::ftell(f);
    if (std::fseek(f, here, SEEK_SET) != 0 || end < here) return kUnknownSize;
    return end - here;
  }

  LogSink m_sink;
  std::FILE* m_file;
  long m_left;
  std::string m_log;
  bool m_logFull = false;
  bool m_complete = true;
};

// Parses one lateral-root line into b (its children are left alone).
void ParseBranchLine(const std::string& line, INFO_LR& b, Reader& reader) {
  b.length = 0;
  b.position = 0;
  b.straightness = 0;
  b.angle = 0;
  b.nbr_child = 0;
  // The label's colon, then the colon after "Length".
  std::size_t colon = line.find(':');
  if (colon != std::string::npos) colon = line.find(':', colon + 1);
  if (colon != std::string::npos) {
    b.length = ToFloat(Field(line, colon + 2, "\t "));
    float* values[] = {&b.position, &b.straightness, &b.angle};
    for (float* v : values) {
      colon = line.find(':', colon + 1);
      if (colon == std::string::npos) break;
      *v = ToFloat(Field(line, colon + 2, "\t"));
    }
  }
  if (colon != std::string::npos) colon = line.find(':', colon + 1);
  if (colon != std::string::npos && colon + 2 < line.size() && line[colon + 2] != '\t')
    b.nbr_child = ToInt(line.substr(colon + 2));
  reader.logF("size %i\n", static_cast<int>(line.size()));
  reader.logF("branche->length %f\n", static_cast<double>(b.length));
  reader.logF("branche->position %f\n", static_cast<double>(b.position));
  reader.logF("branche->straightness %f\n", static_cast<double>(b.straightness));
  reader.logF("branche->angle %f\n", static_cast<double>(b.angle));
  reader.logF("branche->nbr_child %i\n", b.nbr_child);
}

// Reads branch and, depth first, every branch below it; depth is the level
// of branch (1 on a main root). False when the file ended before.
bool ReadBranchTree(Reader& reader, INFO_LR& branch, int depth) {
  std::string line;
  branch.children.clear();
  if (!reader.readLine(line)) {
    branch.nbr_child = 0;
    reader.endedEarly();
    return false;
  }
  ParseBranchLine(line, branch, reader);

  struct Frame {
    INFO_LR* node;
    std::int32_t announced;
    int depth;
  };
  auto acceptChildren = [&reader](INFO_LR& b, int level) {
    if (b.nbr_child > 0 && level >= kMaxBranchDepth) {
      reader.logF("refused %i lateral roots below level %i\n", b.nbr_child, level);
      reader.refuse();
      b.nbr_child = 0;
    }
    b.nbr_child = reader.accept(b.nbr_child, kMinBranchBytes, "lateral roots");
    return b.nbr_child;
  };
  std::vector<Frame> pending;
  if (acceptChildren(branch, depth) > 0) pending.push_back({&branch, branch.nbr_child, depth});

  while (!pending.empty()) {
    const Frame top = pending.back();
    if (static_cast<std::int32_t>(top.node->children.size()) >= top.announced) {
      pending.pop_back();
      continue;
    }
    if (!reader.readLine(line)) {
      // The counts then say what was really read.
      for (const Frame& f : pending) f.node->nbr_child = static_cast<std::int32_t>(f.node->children.size());
      reader.endedEarly();
      return false;
    }
    // Siblings read earlier are complete, so growing the vector moves no
    // branch that is still being filled.
    INFO_LR& child = top.node->children.emplace_back();
    ParseBranchLine(line, child, reader);
    if (acceptChildren(child, top.depth + 1) > 0) pending.push_back({&child, child.nbr_child, top.depth + 1});
  }
  return true;
}

// Reads the announced branches below a main root into children; the count
// becomes the number read.
bool ReadBranches(Reader& reader, std::vector<INFO_LR>& children, std::int32_t& count) {
  children.clear();
  for (std::int32_t k = 0; k < count; ++k) {
    INFO_LR& b = children.emplace_back();
    if (!ReadBranchTree(reader, b, 1)) {
      children.pop_back();
      count = static_cast<std::int32_t>(children.size());
      return false;
    }
  }
  return true;
}

}  // namespace

int ReadBranch(const LogSink& sink, std::FILE* file, INFO_LR& branch) {
  if (file == nullptr) return 0;
  Reader reader(sink, file);
  const bool whole = ReadBranchTree(reader, branch, 1);
  return whole && reader.complete() ? 1 : 0;
}

int ReadResultFile(const LogSink& sink, std::FILE* file, INFO_PICTURE& picture) {
  if (file == nullptr) return 0;
  Reader reader(sink, file);
  std::string line;

  reader.readLine(line);
  reader.logF("main2 %s", line.c_str());
  picture.name = line.substr(0, line.find_first_of(",\r\n"));

  std::string* texts[] = {&picture.user, &picture.experiment, &picture.plate, &picture.genotype,
                          &picture.media};
  for (std::string* text : texts) {
    reader.readLine(line);
    // The media line has never been traced.
    if (text != &picture.media) reader.logF("main2 %s", line.c_str());
    *text = TextAfterColon(line);
  }
  reader.readLine(line);
  reader.logF("main2 %s", line.c_str());
  picture.age = FloorToInt(static_cast<double>(ToFloat(TextAfterColon(line))));
  reader.readLine(line);
  reader.logF("main1 %s", line.c_str());
  picture.nbr =
      reader.accept(FloorToInt(static_cast<double>(ToFloat(TextAfterColon(line)))), kMinPlantBytes, "plants");

  picture.arbre.clear();
  const std::int32_t announced = picture.nbr;
  for (std::int32_t k = 1; k <= announced; ++k) {
    const std::string heading = "Root " + std::to_string(k);
    bool found = false;
    while (reader.readLine(line)) {
      if (line.compare(0, heading.size(), heading) == 0) {
        found = true;
        break;
      }
    }
    if (!found) {
      reader.endedEarly();
      break;
    }
    reader.logF("avant init %s\n", line.c_str());
    INFO_MR& plant = picture.arbre.emplace_back();
    plant.genotype = TextAfterColon(line);
    reader.logF("apres init %s\n", line.c_str());

    reader.readLine(line);
    reader.logF("fgets  %s\n", line.c_str());
    plant.main_length = ToFloat(TextAfterColon(line));
    reader.readLine(line);
    plant.main_straightness = ToFloat(TextAfterColon(line));
    reader.readLine(line);
    plant.main_angle = ToFloat(TextAfterColon(line));
    reader.readLine(line);
    plant.nbr_secondary_root = FloorToInt(static_cast<double>(ToFloat(TextAfterColon(line))));
    reader.logF("fichier->arbre->main_length %f\n", static_cast<double>(plant.main_length));
    reader.logF("fichier->arbre->main_straightness %f\n", static_cast<double>(plant.main_straightness));
    reader.logF("fichier->arbre->main_angle %f\n", static_cast<double>(plant.main_angle));
    reader.logF("fichier->arbre->nbr_secondary_root %i\n", plant.nbr_secondary_root);
    plant.nbr_secondary_root = reader.accept(plant.nbr_secondary_root, kMinBranchBytes, "lateral roots");
    if (!ReadBranches(reader, plant.children, plant.nbr_secondary_root)) break;
  }
  picture.nbr = static_cast<std::int32_t>(picture.arbre.size());
  if (announced > 0) reader.log("fin fichier\n");
  return reader.complete() ? 1 : 0;
}

int ReadResultFile(const LogSink& sink, const std::string& path, INFO_PICTURE& picture) {
  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  const std::unique_ptr<std::FILE, Closer> file(std::fopen(path.c_str(), "rb"));
  if (!file) return 0;
  return ReadResultFile(sink, file.get(), picture);
}

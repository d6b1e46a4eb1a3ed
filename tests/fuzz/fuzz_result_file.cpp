// Feeds arbitrary bytes to the result-file reader: it must end, keep its
// counts equal to what it read, and nest branches no deeper than its bound.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "base/frontend.h"
#include "base/kw_log.h"
#include "roots/result_file.h"

namespace {

void Check(const INFO_LR& b, int depth) {
  if (depth > kMaxBranchDepth || static_cast<std::size_t>(b.nbr_child) != b.children.size()) std::abort();
  for (const INFO_LR& c : b.children) Check(c, depth + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> copy(data, data + size);
  std::FILE* f = ::fmemopen(copy.empty() ? nullptr : copy.data(), copy.size(), "rb");
  if (f == nullptr) return 0;
  INFO_PICTURE p;
  {
    // The trace is gathered and dropped: a long run writes no log file.
    LogCapture trace;
    ReadResultFile(LogSink(FRONTEND::DefaultFrontend(), &trace), f, p);
  }
  std::fclose(f);
  if (static_cast<std::size_t>(p.nbr) != p.arbre.size()) std::abort();
  for (const INFO_MR& m : p.arbre) {
    if (static_cast<std::size_t>(m.nbr_secondary_root) != m.children.size()) std::abort();
    for (const INFO_LR& b : m.children) Check(b, 1);
  }
  return 0;
}

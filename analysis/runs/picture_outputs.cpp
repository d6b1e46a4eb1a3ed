#include "runs/picture_outputs.h"

#include <stdlib.h>

#include <filesystem>
#include <system_error>
#include <utility>

namespace {

namespace fs = std::filesystem;

bool TemporaryOf(const std::string& name, const std::string& target) {
  if (name.size() != target.size() + 7 || name.compare(0, target.size(), target) != 0 ||
      name[target.size()] != '.')
    return false;
  for (std::size_t i = target.size() + 1; i < name.size(); ++i) {
    const char c = name[i];
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
  }
  return true;
}

}  // namespace

PictureOutputs OutputsOf(const std::string& title, const std::string& resultFolder,
                         const std::string& rsmlFolder, const std::string& overlayFolder) {
  PictureOutputs o;
  o.result = resultFolder + "/" + title + ".txt";
  if (!rsmlFolder.empty()) o.rsml = rsmlFolder + "/" + title + ".rsml";
  if (!overlayFolder.empty()) o.overlay = overlayFolder + "/" + title + ".png";
  return o;
}

std::vector<std::string> MissingExports(const PictureOutputs& outputs) {
  std::vector<std::string> missing;
  std::error_code ec;
  if (!outputs.rsml.empty() && !fs::is_regular_file(outputs.rsml, ec)) missing.emplace_back("RSML file");
  if (!outputs.overlay.empty() && !fs::is_regular_file(outputs.overlay, ec))
    missing.emplace_back("overlay picture");
  return missing;
}

int RemoveStaleTemporaries(const PictureOutputs& outputs, std::chrono::seconds olderThan) {
  int removed = 0;
  const auto now = fs::file_time_type::clock::now();
  for (const std::string* target : {&outputs.result, &outputs.rsml, &outputs.overlay}) {
    if (target->empty()) continue;
    const fs::path path(*target);
    const std::string name = path.filename().string();
    std::error_code ec;
    for (fs::directory_iterator it(path.parent_path(), ec), end; !ec && it != end; it.increment(ec)) {
      std::error_code entryError;
      if (!TemporaryOf(it->path().filename().string(), name) || !it->is_regular_file(entryError)) continue;
      const auto changed = fs::last_write_time(it->path(), entryError);
      if (entryError || now - changed < olderThan) continue;
      if (fs::remove(it->path(), entryError)) ++removed;
    }
  }
  return removed;
}

bool MakeOutputFolder(const std::string& folder, std::string& error) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (fs::is_directory(folder, ec)) return true;
  error = "cannot make the folder " + folder + (ec ? ": " + ec.message() : std::string());
  return false;
}

std::string JoinedWithAnd(const std::vector<std::string>& words) {
  std::string text;
  for (std::size_t i = 0; i < words.size(); ++i) text += (i == 0 ? "" : " and ") + words[i];
  return text;
}

ScratchFolder::ScratchFolder(const std::string& parent) {
  if (parent.empty()) return;
  std::string name = parent + "/.exports-XXXXXX";
  if (::mkdtemp(name.data()) != nullptr) m_path = std::move(name);
}

ScratchFolder::~ScratchFolder() {
  if (m_path.empty()) return;
  std::error_code ec;
  fs::remove_all(m_path, ec);
}

#include "manager/upgrade/file_version.h"

#include <openssl/evp.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

#include "manager/platform/system.h"

#ifndef TESSARY_VERSION_PARTS
#define TESSARY_VERSION_PARTS 0, 0, 0, 0
#endif

namespace tessary {
namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
struct DigestDeleter {
  void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};

}  // namespace

FileVersion ProgramVersion() {
  FileVersion v{TESSARY_VERSION_PARTS};
  // A version resource holds 16-bit parts; only their low 8 bits are shown.
  for (int& part : v) part &= 0xFF;
  return v;
}

bool GetFileVersion(const std::string& path, FileVersion& version) {
  version = {0, 0, 0, 0};
  std::error_code ec;
  const std::string self = ProgramPath();
  if (path.empty() || self.empty() || !std::filesystem::equivalent(path, self, ec) || ec) return false;
  version = ProgramVersion();
  return true;
}

std::string VersionText(const FileVersion& v) {
  return std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]) + "." +
         std::to_string(v[3]);
}

bool FileSha1Text(const std::string& path, std::string& text) {
  text.clear();
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rbe"));
  if (!file) return false;
  std::unique_ptr<EVP_MD_CTX, DigestDeleter> ctx(EVP_MD_CTX_new());
  if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha1(), nullptr) != 1) return false;
  unsigned char block[1024];
  for (;;) {
    const std::size_t n = std::fread(block, 1, sizeof block, file.get());
    if (n > 0 && EVP_DigestUpdate(ctx.get(), block, n) != 1) return false;
    if (n < sizeof block) break;
  }
  if (std::ferror(file.get()) != 0) return false;
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(ctx.get(), digest, &length) != 1) return false;
  static constexpr char kHex[] = "0123456789abcdef";
  for (unsigned int i = 0; i < length; ++i) {
    text += kHex[digest[i] >> 4];
    text += kHex[digest[i] & 15];
  }
  return true;
}

}  // namespace tessary

#include "manager/conf_files.h"

#include "manager/server_base.h"

namespace tessary {

std::string RegenerateSubstitution(const std::string& installRoot) {
  std::string s = installRoot;
  for (char& c : s)
    if (c == '\\') c = '/';
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

std::string TimerSubstitution(const std::string& installRoot) {
  std::string s = installRoot.empty() ? installRoot : installRoot.substr(0, installRoot.size() - 1);
  for (char& c : s)
    if (c == '\\') c = '/';
  return s;
}

std::string PhpTemplateSubstitution(const std::string& installRoot) { return installRoot; }

int RegenerateConfFiles(const std::string& installRoot) {
  const std::string folder = RegenerateSubstitution(installRoot);
  for (const ConfPair& pair : kConfPairs)
    GenerateConfFile(folder, folder + "/" + pair.templatePath, folder + "/" + pair.livePath,
                     pair.commentChar);
  return 0;
}

}  // namespace tessary

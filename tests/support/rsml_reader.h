// Reading RSML files back with libxml2, and checking them against the
// format's schema with xmllint, for the tests of the RSML export.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace testenv {

struct RsmlPoint {
  double x = 0;
  double y = 0;
};

struct RsmlRoot {
  std::string id;
  std::string label;
  std::map<std::string, std::string> properties;
  std::vector<RsmlPoint> polyline;
  std::vector<RsmlRoot> children;
};

struct RsmlPlant {
  std::string id;
  std::string label;
  std::map<std::string, std::string> properties;
  std::vector<RsmlRoot> roots;
};

struct RsmlFile {
  std::map<std::string, std::string> metadata;  // the text of each simple metadata element
  std::vector<std::string> definitions;         // labels of the property definitions
  std::map<std::string, std::string> sceneProperties;
  std::vector<RsmlPlant> plants;
};

// Parses the file; nothing when it is not well-formed XML with an rsml root.
std::optional<RsmlFile> ReadRsml(const std::filesystem::path& path);

// Runs "xmllint --noout --schema schema file"; true when it validates.
// output receives what xmllint said.
bool ValidatesAgainst(const std::filesystem::path& file, const std::filesystem::path& schema,
                      std::string& output);

// The roots of a plant in document order (each root before its children).
std::vector<const RsmlRoot*> PreOrder(const RsmlPlant& plant);

}  // namespace testenv

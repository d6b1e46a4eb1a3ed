#include "support/rsml_reader.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <sys/wait.h>

#include <cstdlib>
#include <memory>

#include "support/test_env.h"

namespace testenv {

namespace {

struct DocFree {
  void operator()(xmlDoc* d) const { xmlFreeDoc(d); }
};

bool Is(const xmlNode* n, const char* name) {
  return n->type == XML_ELEMENT_NODE && xmlStrcmp(n->name, reinterpret_cast<const xmlChar*>(name)) == 0;
}

std::string Text(const xmlNode* n) {
  xmlChar* t = xmlNodeGetContent(n);
  std::string s = t != nullptr ? reinterpret_cast<const char*>(t) : "";
  xmlFree(t);
  return s;
}

std::string Attribute(const xmlNode* n, const char* name) {
  xmlChar* t = xmlGetProp(n, reinterpret_cast<const xmlChar*>(name));
  std::string s = t != nullptr ? reinterpret_cast<const char*>(t) : "";
  xmlFree(t);
  return s;
}

std::map<std::string, std::string> Properties(const xmlNode* n) {
  std::map<std::string, std::string> out;
  for (const xmlNode* p = n->children; p != nullptr; p = p->next)
    if (p->type == XML_ELEMENT_NODE) out[reinterpret_cast<const char*>(p->name)] = Text(p);
  return out;
}

RsmlRoot ReadRoot(const xmlNode* n) {
  RsmlRoot root;
  root.id = Attribute(n, "id");
  root.label = Attribute(n, "label");
  for (const xmlNode* c = n->children; c != nullptr; c = c->next) {
    if (Is(c, "properties")) {
      root.properties = Properties(c);
    } else if (Is(c, "geometry")) {
      for (const xmlNode* g = c->children; g != nullptr; g = g->next)
        if (Is(g, "polyline"))
          for (const xmlNode* p = g->children; p != nullptr; p = p->next)
            if (Is(p, "point"))
              root.polyline.push_back({std::strtod(Attribute(p, "x").c_str(), nullptr),
                                       std::strtod(Attribute(p, "y").c_str(), nullptr)});
    } else if (Is(c, "root")) {
      root.children.push_back(ReadRoot(c));
    }
  }
  return root;
}

}  // namespace

std::optional<RsmlFile> ReadRsml(const std::filesystem::path& path) {
  const std::unique_ptr<xmlDoc, DocFree> doc(
      xmlReadFile(path.c_str(), nullptr, XML_PARSE_NONET | XML_PARSE_HUGE));
  if (!doc) return std::nullopt;
  const xmlNode* top = xmlDocGetRootElement(doc.get());
  if (top == nullptr || !Is(top, "rsml")) return std::nullopt;
  RsmlFile file;
  for (const xmlNode* s = top->children; s != nullptr; s = s->next) {
    if (Is(s, "metadata")) {
      for (const xmlNode* m = s->children; m != nullptr; m = m->next) {
        if (Is(m, "property-definitions")) {
          for (const xmlNode* d = m->children; d != nullptr; d = d->next)
            if (Is(d, "property-definition")) file.definitions.push_back(Properties(d)["label"]);
        } else if (m->type == XML_ELEMENT_NODE) {
          file.metadata[reinterpret_cast<const char*>(m->name)] = Text(m);
        }
      }
    } else if (Is(s, "scene")) {
      for (const xmlNode* p = s->children; p != nullptr; p = p->next) {
        if (Is(p, "properties")) file.sceneProperties = Properties(p);
        if (!Is(p, "plant")) continue;
        RsmlPlant plant;
        plant.id = Attribute(p, "id");
        plant.label = Attribute(p, "label");
        for (const xmlNode* r = p->children; r != nullptr; r = r->next) {
          if (Is(r, "root")) plant.roots.push_back(ReadRoot(r));
          if (Is(r, "properties")) plant.properties = Properties(r);
        }
        file.plants.push_back(std::move(plant));
      }
    }
  }
  return file;
}

bool ValidatesAgainst(const std::filesystem::path& file, const std::filesystem::path& schema,
                      std::string& output) {
  const std::filesystem::path said = file.string() + ".xmllint.txt";
  const std::string command = "xmllint --noout --schema '" + schema.string() + "' '" + file.string() +
                              "' >'" + said.string() + "' 2>&1";
  const int raw = std::system(command.c_str());
  output = ReadFile(said);
  std::error_code ec;
  std::filesystem::remove(said, ec);
  return WIFEXITED(raw) && WEXITSTATUS(raw) == 0;
}

std::vector<const RsmlRoot*> PreOrder(const RsmlPlant& plant) {
  std::vector<const RsmlRoot*> out;
  std::vector<const RsmlRoot*> stack;
  for (auto it = plant.roots.rbegin(); it != plant.roots.rend(); ++it) stack.push_back(&*it);
  while (!stack.empty()) {
    const RsmlRoot* r = stack.back();
    stack.pop_back();
    out.push_back(r);
    for (auto it = r->children.rbegin(); it != r->children.rend(); ++it) stack.push_back(&*it);
  }
  return out;
}

}  // namespace testenv

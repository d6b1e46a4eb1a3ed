// The layout of a new stack below an install root, made by install mode:
// the links to the system's server programs, the folders, the templates,
// the pages, the language file, the licence and the database's data folder.
#pragma once

#include <string>
#include <vector>

namespace tessary {

// Where this system keeps what a stack links to.
struct StackTools {
  std::string apache;          // the web server program (apache2)
  std::string databaseServer;  // mariadbd
  std::string databaseAdmin;   // mariadb-admin
  std::string installDb;       // mariadb-install-db
  std::string apacheModules;   // folder of the web server's modules
  std::string phpModule;       // the PHP module of the web server
  std::string phpExtensions;   // folder of PHP's extension modules
};

// Looks for each tool in the usual places of Debian; a tool not found is "".
StackTools FindStackTools();

// The language file of a new stack: the built-in English and French texts.
std::string LanguageFileText();

// The templates filled in for this system: the tools' paths, the user the
// web server's children run as when started by root, the extensions block.
std::string FilledTemplate(std::string_view name, const StackTools& tools, bool asRoot);

// Lays out the stack below root (ending with "/"). What exists already is
// kept: a second run only adds what is missing. 0 when everything is in
// place, else the first error; each problem is added to messages.
int LayOutStack(const std::string& root, const StackTools& tools, std::vector<std::string>& messages);

}  // namespace tessary

// The configuration files the servers read: each is generated from a
// template the user edits, with "${path}" replaced by the installation
// folder, so one set of templates works wherever the stack lies.
#pragma once

#include <array>
#include <string>

namespace tessary {

// One template and the live file generated from it, relative to the
// installation root, with the comment character of its header.
struct ConfPair {
  const char* templatePath;
  const char* livePath;
  char commentChar;
};

inline constexpr std::array<ConfPair, 3> kConfPairs = {{
    {"conf_files/httpd.conf", "Apache/conf/httpd.conf", '#'},
    {"conf_files/my.ini", "MySql/my.ini", '#'},
    {"conf_files/php.ini", "Apache/php.ini", ';'},
}};

// Why an installation folder cannot be named in the servers' files, or ""
// when it can. The templates put the folder between double quotes, which
// the web server, the database server and PHP each read their own way: a
// blank is fine in all three, but a double quote, a backslash, a "$" (the
// start of a variable for the web server and PHP) or a control character
// has no spelling all three read back as the same path.
std::string InstallFolderProblem(const std::string& folder);

// Writes a live configuration file from its template: the generated-file
// header with the comment character, then the template with the first
// "${path}" of each piece replaced by substitution, written beside the
// live file and renamed over it. Returns 0, 2 (the template or the file
// beside the live one cannot be opened), EINVAL (substitution is a folder
// the servers' files cannot name, InstallFolderProblem) or the error of the
// write (errno; EIO when the template cannot be read to its end). On
// failure the live file is as it was.
int GenerateConfFile(const std::string& substitution, const std::string& templatePath,
                     const std::string& livePath, char commentChar);

// Substitution of the regenerate command: the installation folder without a
// trailing separator, with slashes.
std::string RegenerateSubstitution(const std::string& installRoot);
// Substitution of the supervision tick when a server's template changes:
// the root without its last character, backslashes turned into slashes.
std::string TimerSubstitution(const std::string& installRoot);
// Substitution of the main window when the PHP template changes: the root
// unchanged (with its trailing separator).
std::string PhpTemplateSubstitution(const std::string& installRoot);

// Generates the three live files from their templates, in table order.
// Returns 0 (the three results are not reported).
int RegenerateConfFiles(const std::string& installRoot);

// Generates again each live file that is missing or older than its template
// (the template was edited while the manager was closed), so the servers
// never start on what the template no longer says. The number written.
int RegenerateStaleConfFiles(const std::string& installRoot);

// The safe copies of install mode are WriteSafeCopies (app/engine.h).

}  // namespace tessary

#include "manager/config/stack_layout.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <system_error>
#include <thread>

#include "manager/config/builtin_texts.h"
#include "manager/config/conf_files.h"
#include "manager/config/manager_log.h"
#include "manager/config/php_extensions.h"
#include "manager/config/stack_files.h"
#include "manager/platform/process.h"
#include "manager/platform/system.h"

extern char** environ;

namespace tessary {
namespace fs = std::filesystem;
namespace {

// mariadb-install-db takes a few seconds; a minute means it hangs.
constexpr auto kInstallDbTimeout = std::chrono::seconds(120);

std::string FirstExisting(std::initializer_list<const char*> candidates) {
  for (const char* c : candidates)
    if (::access(c, X_OK) == 0) return c;
  return {};
}

// The highest-numbered entry of folder whose name starts with prefix and
// ends with suffix (libphp8.2.so before libphp7.4.so).
std::string Highest(const fs::path& folder, std::string_view prefix, std::string_view suffix) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(folder, ec)) {
    const std::string n = e.path().filename().string();
    if (n.size() >= prefix.size() + suffix.size() && n.compare(0, prefix.size(), prefix) == 0 &&
        n.compare(n.size() - suffix.size(), suffix.size(), suffix) == 0)
      names.push_back(n);
  }
  if (names.empty()) return {};
  std::sort(names.begin(), names.end());
  return (folder / names.back()).string();
}

void Replace(std::string& text, std::string_view token, std::string_view by) {
  for (std::size_t at = text.find(token); at != std::string::npos; at = text.find(token, at + by.size()))
    text.replace(at, token.size(), by);
}

int MakeFolder(const fs::path& folder, std::vector<std::string>& messages) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) {
    messages.push_back("Cannot create " + folder.string() + ": " + ec.message());
    return ec.value();
  }
  return 0;
}

// Writes a new file; an existing one is kept (the user may have edited it).
int WriteNew(const fs::path& file, std::string_view bytes, std::vector<std::string>& messages) {
  std::error_code ec;
  if (fs::exists(fs::symlink_status(file, ec))) return 0;
  std::ofstream out(file, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    const int err = errno != 0 ? errno : EIO;
    messages.push_back("Cannot write " + file.string() + ": " + std::strerror(err));
    std::error_code ignored;
    fs::remove(file, ignored);
    return err;
  }
  return 0;
}

int Link(const fs::path& link, const std::string& target, std::vector<std::string>& messages) {
  std::error_code ec;
  if (fs::exists(fs::symlink_status(link, ec))) return 0;
  if (target.empty()) {
    messages.push_back("No program to link " + link.string() + " to: is the server package installed?");
    return ENOENT;
  }
  fs::create_symlink(target, link, ec);
  if (ec) {
    messages.push_back("Cannot link " + link.string() + " to " + target + ": " + ec.message());
    return ec.value();
  }
  return 0;
}

bool EmptyOrMissing(const fs::path& folder) {
  std::error_code ec;
  if (!fs::exists(folder, ec)) return true;
  return fs::is_directory(folder, ec) && fs::is_empty(folder, ec);
}

// Runs a program in folder with its output in logFile and waits at most
// timeout. The exit status, or -1 when it could not be run or was ended.
int RunProgram(const std::vector<std::string>& args, const fs::path& folder, const fs::path& logFile,
               std::chrono::seconds timeout, std::string& why) {
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  platform::SpawnActions fa;
  posix_spawn_file_actions_addchdir_np(&fa.actions, folder.c_str());
  posix_spawn_file_actions_addopen(&fa.actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&fa.actions, 1, logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&fa.actions, 1, 2);
  pid_t pid = 0;
  if (const int err = posix_spawn(&pid, argv[0], &fa.actions, nullptr, argv.data(), environ); err != 0) {
    why = args[0] + ": " + std::strerror(err);
    return -1;
  }
  const auto end = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    int status = 0;
    const pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid) {
      if (WIFEXITED(status)) return WEXITSTATUS(status);
      why = args[0] + " ended by signal " + std::to_string(WTERMSIG(status));
      return -1;
    }
    if (r < 0 && errno != EINTR) {
      why = args[0] + ": " + std::strerror(errno);
      return -1;
    }
    if (std::chrono::steady_clock::now() >= end) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      why = args[0] + " did not finish within " + std::to_string(timeout.count()) + " s";
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

std::string Tail(const fs::path& file, std::size_t bytes) {
  std::ifstream in(file, std::ios::binary);
  std::string s((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return s.size() > bytes ? s.substr(s.size() - bytes) : s;
}

int MakeDataFolder(const std::string& root, const StackTools& tools, std::vector<std::string>& messages) {
  const fs::path data = fs::path(root) / "MySql" / "data";
  if (!EmptyOrMissing(data)) return 0;
  if (tools.installDb.empty()) {
    messages.push_back("mariadb-install-db not found: the database's data folder is not made");
    return ENOENT;
  }
  const fs::path log = fs::path(root) / "MySql" / "install-db.log";
  // Named from the database folder: the install script hands the data
  // folder unquoted to chown, which a root with a blank would break.
  std::vector<std::string> args = {tools.installDb,
                                   "--no-defaults",
                                   "--datadir=./data",
                                   "--auth-root-authentication-method=normal",
                                   "--lower-case-table-names=1",
                                   "--skip-test-db",
                                   "--skip-name-resolve"};
  // Only root may name the user; the server then runs as root too, so no
  // file of the stack needs another owner.
  if (IsAdmin()) args.push_back("--user=" + UserName());
  std::string why;
  const int status = RunProgram(args, data.parent_path(), log, kInstallDbTimeout, why);
  if (status != 0) {
    messages.push_back("The database's data folder could not be made (" +
                       (why.empty() ? "exit " + std::to_string(status) : why) + "): " + Tail(log, 600));
    return status > 0 ? status : EIO;
  }
  return 0;
}

// The computer's name with blanks as "-", as the log menu forms it.
std::string ComputerName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
  std::string s(name);
  std::replace(s.begin(), s.end(), ' ', '-');
  return s;
}

}  // namespace

std::string_view ShippedFileBytes(std::string_view name) {
  for (const ShippedFile& f : ShippedFiles())
    if (f.name == name) return f.bytes;
  return {};
}

StackTools FindStackTools() {
  StackTools t;
  t.apache = FirstExisting({"/usr/sbin/apache2", "/usr/sbin/httpd", "/usr/local/sbin/apache2"});
  t.databaseServer = FirstExisting({"/usr/sbin/mariadbd", "/usr/sbin/mysqld", "/usr/local/sbin/mariadbd"});
  t.databaseAdmin =
      FirstExisting({"/usr/bin/mariadb-admin", "/usr/bin/mysqladmin", "/usr/local/bin/mariadb-admin"});
  t.installDb = FirstExisting(
      {"/usr/bin/mariadb-install-db", "/usr/bin/mysql_install_db", "/usr/local/bin/mariadb-install-db"});
  for (const char* d : {"/usr/lib/apache2/modules", "/usr/lib64/httpd/modules", "/usr/lib/httpd/modules"}) {
    std::error_code ec;
    if (fs::is_directory(d, ec)) {
      t.apacheModules = d;
      break;
    }
  }
  if (!t.apacheModules.empty()) t.phpModule = Highest(t.apacheModules, "libphp", ".so");
  // PHP's extension folders are named after its module API date (20220829).
  t.phpExtensions = Highest("/usr/lib/php", "20", "");
  return t;
}

std::string LanguageFileText() {
  std::string out =
      "; Tessary: the language file. Section Liste names the languages, section IDs gives\n"
      "; the text key of each string id, and each language's section its texts.\n"
      "; In a text, \\n, \\r and \\t stand for line breaks and tabs.\n\n"
      "[Liste]\nLangue0=English\nLangue1=Français\n\n[IDs]\n";
  for (const TextEntry& e : EnglishTexts()) out += std::to_string(e.id) + "=S" + std::to_string(e.id) + "\n";
  auto section = [&out](std::string_view name, std::span<const TextEntry> table) {
    out += "\n[";
    out += name;
    out += "]\n";
    for (const TextEntry& e : table) {
      std::string text;
      for (const char c : e.text) text += c == '\n' ? std::string("\\n") : std::string(1, c);
      out += "S" + std::to_string(e.id) + "=" + text + "\n";
    }
  };
  section("English", EnglishTexts());
  section("Français", FrenchTexts());
  return out;
}

std::string FilledTemplate(std::string_view name, const StackTools& tools, bool asRoot) {
  std::string text(ShippedFileBytes(name));
  Replace(text, "@APACHE_MODULES@", tools.apacheModules);
  Replace(text, "@PHP_MODULE@", tools.phpModule);
  Replace(text, "@HOSTNAME@", ComputerName());
  // The web server refuses to serve as root: started by root, its children
  // take Debian's web server account; started by a user they stay that user.
  Replace(text, "@RUN_AS@",
          asRoot ? "User www-data\nGroup www-data"
                 : "# Started by an ordinary user, the server's children run as that user.");
  std::string block;
  for (const std::string& x : OrderedExtensions(tools.phpExtensions))
    block += (IsOnByDefault(x) ? "extension=" : ";extension=") + x + ".so\n";
  if (!block.empty()) block.pop_back();
  Replace(text, "@PHP_EXTENSIONS@", block);
  return text;
}

int LayOutStack(const std::string& root, const StackTools& tools, std::vector<std::string>& messages) {
  if (std::string why = InstallFolderProblem(root); !why.empty()) {
    messages.push_back(std::move(why));
    Trace("LayOutStack: %s", messages.back().c_str());
    return EINVAL;
  }
  const fs::path r(root);
  int first = 0;
  auto keep = [&first](int err) {
    if (first == 0) first = err;
  };
  for (const char* folder : {"Apache/conf", "Apache/logs", "MySql/bin", "PHP/conf.d", "PHP/extensions",
                             "PHP/includes", "conf_files", "www", "home", "safe", "tmp"})
    keep(MakeFolder(r / folder, messages));
  if (first != 0) return first;

  keep(Link(r / "Apache" / "apache", tools.apache, messages));
  keep(Link(r / "MySql" / "bin" / "mysqld", tools.databaseServer, messages));
  keep(Link(r / "MySql" / "bin" / "mysqladmin", tools.databaseAdmin, messages));
  std::error_code ec;
  if (!tools.phpExtensions.empty())
    for (const auto& e : fs::directory_iterator(tools.phpExtensions, ec))
      if (e.path().extension() == ".so")
        keep(Link(r / "PHP" / "extensions" / e.path().filename(), e.path().string(), messages));

  const bool asRoot = IsAdmin();
  if (tools.phpModule.empty()) {
    messages.push_back("The web server's PHP module was not found: is libapache2-mod-php installed?");
    keep(ENOENT);
  }
  for (const char* name : {"httpd.conf", "my.ini", "php.ini"})
    keep(WriteNew(r / "conf_files" / name, FilledTemplate(name, tools, asRoot), messages));
  keep(WriteNew(r / "www" / "index.html", ShippedFileBytes("index.html"), messages));
  keep(WriteNew(r / "www" / "index.php", ShippedFileBytes("index.php"), messages));
  keep(WriteNew(r / "www" / "info.php", ShippedFileBytes("info.php"), messages));
  keep(WriteNew(r / "home" / "accueil.html", ShippedFileBytes("accueil.html"), messages));
  keep(WriteNew(r / "home" / "index.php", ShippedFileBytes("admin.php"), messages));
  keep(WriteNew(r / "langues.txt", LanguageFileText(), messages));
  keep(WriteNew(r / "gpl.txt", ShippedFileBytes("gpl.txt"), messages));

  if (asRoot) {
    // The web server's children (www-data) must reach the pages and write
    // PHP's sessions and uploads.
    struct stat st {};
    if (::stat(root.c_str(), &st) == 0 && (st.st_mode & S_IXOTH) == 0)
      ::chmod(root.c_str(), (st.st_mode & 07777) | S_IXOTH);
    ::chmod((r / "tmp").c_str(), 01777);
    // A folder above the root that others may not pass keeps them out too;
    // that is the owner's choice to change, so it is only told.
    std::error_code abs;
    for (fs::path p = fs::absolute(r, abs).parent_path(); !p.empty() && p != p.root_path();
         p = p.parent_path()) {
      if (::stat(p.c_str(), &st) == 0 && (st.st_mode & S_IXOTH) == 0) {
        messages.push_back("The web server's pages cannot be served to others while " + p.string() +
                           " is closed to them (chmod o+x)");
        break;
      }
    }
  }

  keep(MakeDataFolder(root, tools, messages));
  for (const std::string& m : messages) Trace("LayOutStack: %s", m.c_str());
  return first;
}

}  // namespace tessary

// The local database server (MariaDB), run as a child process with our
// option file or as the service "MySQL".
#pragma once

#include <string>

#include "manager/servers/server_base.h"

namespace tessary {

class CMySql : public ServerBase {
 public:
  // installRoot ends with a "/". Chooses the server program and adopts a
  // database server of this installation that already runs.
  CMySql(ServerRegistry& registry, const std::string& installRoot);

  // Chooses the first server program present in the database folder's bin/.
  void FindProgram();

  int Restart() override;
  int InstallService() override;
  int RemoveService() override;
  int StartExe() override;
  int StopExe() override;
  // Reads the port and the data folder of the live option file (the port
  // stays 3306 when it names none).
  int ReadConf() override;

  // The database arguments of the settings (kept, not passed on).
  void SetArguments(const std::string& arguments) { m_arguments = arguments.substr(0, 255); }
  const std::string& Arguments() const { return m_arguments; }
  // The message-language word passed to the server (text 32851, "english"
  // by default).
  void SetLanguageWord(const std::string& word) { m_language = word; }
  // The database folder, ending with a "/".
  const std::string& MySqlDir() const { return mysqlDir; }
  // The command line that runs the server on the live option file.
  std::string CommandLine() const;
  // The administration client's shutdown command for this server.
  std::string AdminShutdownCommand() const;
  // The data folder named by the live option file ("datadir"), or empty.
  const std::string& DataFolder() const { return m_dataFolder; }
  // The server's own error log: "log-error" of the live option file (below
  // the data folder when relative), else "<data folder>/<host>.err".
  std::string ErrorLogPath() const;
  // Where the server's standard output and error go (one start's worth).
  std::string OutputPath() const { return mysqlDir + "mysqld-output.txt"; }
  // A start that did not come up, or a crash: the server's output and the
  // tail of its error log go to the owner's log.
  void OnEnded(bool failed) override;

 protected:
  // A server started from our program, or any database server working on
  // our data folder, is this server: it is adopted, never doubled.
  bool FindRunning() override;

 private:
  std::string mysqlDir;
  std::string m_arguments;
  std::string m_dataFolder;
  std::string m_errorLog;  // "log-error" as the option file gives it
  std::string m_language = "english";
};

}  // namespace tessary

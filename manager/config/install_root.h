// The install root: the folder below which the manager finds its servers,
// templates, language file and settings. Every path of the manager is this
// root followed by a relative part ("Apache/", "conf_files/httpd.conf").
#pragma once

#include <string>

namespace tessary {

// The install root, absolute and ending with "/". In order of precedence:
// the environment variable TESSARY_ROOT (tests and portable set-ups), the
// text value "path" of the key store's key "Software\Tessary", the folder of
// the running program (RootBesideProgram). Read afresh on each call, so a
// test may point it elsewhere.
std::string InstallRoot();

// The root of a program in programFolder: that folder itself, unless it is
// a system folder (/usr/..., /bin/, /sbin/: an installed package), where
// every user gets a stack of their own in $XDG_DATA_HOME/tessary/ (else
// ~/.local/share/tessary/).
std::string RootBesideProgram(const std::string& programFolder);

// The running program's path and folder are ProgramPath and ProgramFolder
// (platform/system.h).

}  // namespace tessary

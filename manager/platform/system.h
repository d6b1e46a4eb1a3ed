// Questions the manager asks about the machine it runs on.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace tessary {

// True: this platform offers everything the service-capable family of the
// manager's platforms offered (services, user rights).
bool IsWindowsNT();

// The effective user is root.
bool IsAdmin();

// The running program lies on a fixed drive, not on removable media.
bool IsOnFixedDrive();

// A path is on removable media when it lies below /media or /run/media,
// or when the block device of the file system holding it is marked
// removable in sysfs. mountInfo is the text of /proc/self/mountinfo and
// sysRoot the folder that holds "dev/block" (normally "/sys"); both are
// parameters so that tests can give their own.
bool IsOnRemovableMedia(const std::filesystem::path& path, std::string_view mountInfo,
                        const std::filesystem::path& sysRoot);

// The language code of the user's messages from LC_ALL, LC_MESSAGES or LANG
// ("fr" for "fr_FR.UTF-8"); "en" when none is set or it is "C" or "POSIX".
std::string UserLanguageCode();

// Full path of the running program (/proc/self/exe), and its folder ending
// with "/".
std::string ProgramPath();
std::string ProgramFolder();

// The user's login name (from the effective user id), or the user id in
// decimal when the account has no name.
std::string UserName();

}  // namespace tessary

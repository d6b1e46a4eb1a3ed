// The first-time set-up of the database, run before the first import on a
// machine with the MySQL administrator's password: the program's account,
// the database "plant" and its five tables, then the marker log_pass.txt.
#pragma once

#include <string_view>

#include "base/frontend.h"

// The marker's content.
inline constexpr std::string_view kSetUpMarkerText = "user created\n";

// 1 when the account could be set up (the database and tables are then
// created unless they exist, and the marker is written), 0 when the server
// refused the administrator (the failure has been shown; nothing created,
// no marker).
int FirstTimeSetUp(FRONTEND::Frontend& frontend, std::string_view adminPassword);

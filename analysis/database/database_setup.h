// The first-time set-up of the database, run before the first import on a
// machine with the MySQL administrator's password: the program's account,
// the database "plant" and its tables with the record of imported files,
// then the marker log_pass.txt. It runs again when the marker is there but
// the server lacks the account, the database or a table.
#pragma once

#include <string_view>

#include "base/frontend.h"

// The marker's content.
inline constexpr std::string_view kSetUpMarkerText = "user created\n";

// 1 when every step succeeded: the account exists (created for
// accountHost, by default the hosts AccountHostFor the server gives), the
// database and every table exist (created unless they were there), and the
// marker is written. 0 when a step failed: the failure has been shown and no
// marker is written, so the set-up runs again next time.
int FirstTimeSetUp(FRONTEND::Frontend& frontend, std::string_view adminPassword,
                   std::string_view accountHost = {});

// What the server holds for the program, seen with the program's account.
enum class PlantState {
  Ready,        // account, database and every table there
  Unreachable,  // no connection (the reason has been shown)
  NeedsSetUp    // the account, the database or a table is missing
};
PlantState CheckPlant(FRONTEND::Frontend& frontend);

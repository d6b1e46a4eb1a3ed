// Connections opened, used and closed on two threads at once, against the
// private MariaDB server: the client library is initialised and shut down
// by whichever thread needs it, and each picture keeps its own tree. Run
// again under ThreadSanitizer (label threads).
#include <gtest/gtest.h>

#include <latch>
#include <string>
#include <thread>

#include "database/detail/client_library.h"
#include "database/kw_sql.h"
#include "db_test_server.h"

using dbtest::ServerTest;

namespace {

constexpr int kThreads = 2;
constexpr int kPicturesPerThread = 12;
constexpr int kPlants = 3;
constexpr int kLaterals = 2;

// Every length of a picture's roots is its number, so a row linked to the
// wrong parent shows.
INFO_PICTURE numberedPicture(int number) {
  const auto n = static_cast<float>(number);
  INFO_PICTURE p;
  p.user = "ana";
  p.experiment = "threads";
  p.name = "p" + std::to_string(number) + ".bmp";
  for (int i = 0; i < kPlants; ++i) {
    INFO_MR& m = p.arbre.emplace_back();
    m.main_length = n;
    for (int j = 0; j < kLaterals; ++j) {
      INFO_LR& r = m.children.emplace_back();
      r.length = n;
      INFO_LR& c = r.children.emplace_back();
      c.length = n;
      r.nbr_child = 1;
    }
    m.nbr_secondary_root = kLaterals;
  }
  p.nbr = kPlants;
  return p;
}

// Opens a connection of its own for every picture, as the import does.
void importPictures(int thread, std::latch& start, int& failures) {
  start.arrive_and_wait();
  for (int i = 0; i < kPicturesPerThread; ++i) {
    // Shows nothing (no errors asked for); logs to the files.
    KW_SQL c(FRONTEND::DefaultFrontend());
    if (c.Connect("localhost", "Morvane", "Ostravel", 3306, 0) != 1 || c.Select_Base("plant") != 1) {
      ++failures;
      continue;
    }
    c.Insert_Picture_Data(numberedPicture(thread * 1000 + i));
    c.Disconnect();
  }
}

}  // namespace

TEST_F(ServerTest, TwoThreadsConnectAndInsertAtTheSameTime) {
  setUpPlant();
  std::latch start(kThreads);
  int failures[kThreads] = {};
  {
    std::jthread first(importPictures, 0, std::ref(start), std::ref(failures[0]));
    std::jthread second(importPictures, 1, std::ref(start), std::ref(failures[1]));
  }
  EXPECT_EQ(failures[0], 0);
  EXPECT_EQ(failures[1], 0);
  // The last connection closed has shut the library down.
  EXPECT_EQ(ClientLibraryLease::holders(), 0);

  const std::string pictures = std::to_string(kThreads * kPicturesPerThread);
  EXPECT_EQ(root().value("SELECT COUNT(*) FROM plant.Picture"), pictures);
  EXPECT_EQ(root().value("SELECT COUNT(*) FROM plant.`Main Root` m JOIN plant.Picture p USING (`Picture id`) "
                         "WHERE m.`MR path length` = REGEXP_SUBSTR(p.`Picture name`, '[0-9]+')"),
            std::to_string(kThreads * kPicturesPerThread * kPlants));
  EXPECT_EQ(root().value("SELECT COUNT(*) FROM plant.`Secondary Root` s JOIN plant.`Main Root` m "
                         "ON s.`Parent id` = m.`Main root id` "
                         "WHERE s.`LR order` = 1 AND s.`LR path length` = m.`MR path length`"),
            std::to_string(kThreads * kPicturesPerThread * kPlants * kLaterals));
  EXPECT_EQ(root().value("SELECT COUNT(*) FROM plant.`Secondary Root` s JOIN plant.`Secondary Root` r "
                         "ON s.`Parent id` = r.`Secondary root id` "
                         "WHERE s.`LR order` = 2 AND r.`LR order` = 1 "
                         "AND s.`LR path length` = r.`LR path length`"),
            std::to_string(kThreads * kPicturesPerThread * kPlants * kLaterals));
  EXPECT_TRUE(script.shown.empty());
}

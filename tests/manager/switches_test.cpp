#include "manager/config/switches.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using tessary::Switches;

TEST(Switches, AnyFirstCharacterThenTheNameInAnyCaseSetsTheSwitch) {
  for (const char* arg : {"-start", "/START", "xStArT", "+start", "\xC3start"}) {
    Switches s;
    s.Parse({arg});
    EXPECT_TRUE(s.IsPresent("start")) << arg;
    EXPECT_EQ(s.Commands(), std::vector<int>{32771}) << arg;
  }
  for (const char* arg : {"start", "--start", "-starts", "-", ""}) {
    Switches s;
    s.Parse({arg});
    EXPECT_FALSE(s.Any()) << arg;
  }
}

TEST(Switches, CommandsComeInTableOrderWhateverTheArgumentOrder) {
  Switches s;
  const char* argv[] = {"tessary", "-install", "/?", "-quit", "file.txt", "-Browse", "-stop", "-help"};
  s.Parse(8, argv);
  EXPECT_EQ(s.Commands(), (std::vector<int>{32772, 32785, 32776, 32775, 32775, 101}));
  EXPECT_EQ(s.Names(), (std::vector<std::string>{"stop", "browse", "quit", "?", "help", "install"}));
  EXPECT_TRUE(s.IsPresent("INSTALL"));
  EXPECT_FALSE(s.IsPresent("file.txt"));
}

TEST(Switches, TheListHasOneLinePerEntryAndStaysWithin1023Bytes) {
  const std::string list = tessary::SwitchListText([](int id) { return std::to_string(id); });
  EXPECT_EQ(list.rfind("start\t\t32771\nstop\t\t32772\nrestart\t\t32794\n", 0), 0u);
  EXPECT_NE(list.find("about\t\t1008\ninstall\t\t101\n"), std::string::npos);
  const std::string cut = tessary::SwitchListText([](int) { return std::string(200, 'x'); });
  EXPECT_LE(cut.size(), 1023u);
  EXPECT_EQ(cut.back(), '\n');  // whole lines only
}

}  // namespace

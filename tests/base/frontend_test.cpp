#include "base/frontend.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>

#include "base/batch_frontend.h"
#include "support/scripted_frontend.h"

using namespace FRONTEND;

TEST(Frontend, ScriptedFrontendRecordsBoxesAndAnswersInOrder) {
  ScriptedFrontend script;
  ScopedFrontend scope(script);
  script.answers = {Answer::No, Answer::Yes, Answer::Cancel};
  script.folders.push_back({1, "/data/plates"});

  ShowMessage("Experiment saved.");
  EXPECT_FALSE(AskYesNo("Overwrite?"));
  EXPECT_TRUE(AskOkCancel("Continue?"));
  EXPECT_EQ(AskYesNoCancel("Save?"), Answer::Cancel);
  const FolderChoice chosen = ChooseFolder("Select Folder", "/start");
  EXPECT_EQ(chosen.status, 1);
  EXPECT_EQ(chosen.path, "/data/plates");
  // Queues empty: defaults, and a cancelled chooser.
  EXPECT_TRUE(AskYesNo("again"));
  EXPECT_EQ(ChooseFolder("Select Folder", "/start").status, -1);

  ASSERT_EQ(script.shown.size(), 7U);
  EXPECT_EQ(script.shown[0].kind, ScriptedFrontend::Kind::Message);
  EXPECT_EQ(script.shown[0].title, "Morvane");
  EXPECT_EQ(script.shown[4].kind, ScriptedFrontend::Kind::Folder);
  EXPECT_EQ(script.shown[4].title, "Select Folder");
  EXPECT_EQ(script.messages(), std::vector<std::string>{"Experiment saved."});
}

TEST(Frontend, LongTextsAreCutWithoutSplittingCharacters) {
  ScriptedFrontend script;
  ScopedFrontend scope(script);
  ShowMessage(std::string(2000, 'x'));
  EXPECT_EQ(script.shown.back().text.size(), kMaxMessage);
  // 511 two-byte letters fill 1022 bytes; one more would cross the limit.
  std::string accents;
  for (int i = 0; i < 600; ++i) accents += "\xC3\xA9";
  ShowMessage(accents);
  EXPECT_EQ(script.shown.back().text.size(), 1022U);
}

TEST(Frontend, ScopedFrontendRestoresThePreviousOne) {
  ScriptedFrontend outer;
  ScopedFrontend a(outer);
  {
    ScriptedFrontend inner;
    ScopedFrontend b(inner);
    ShowMessage("inner");
    EXPECT_EQ(inner.shown.size(), 1U);
  }
  ShowMessage("outer");
  EXPECT_EQ(outer.messages(), std::vector<std::string>{"outer"});
}

TEST(Frontend, SystemErrorTextIsShortAndHasNoLineBreak) {
  const std::string text = SystemErrorText(ENOENT);
  EXPECT_EQ(text, "No such file or directory");
  EXPECT_LE(SystemErrorText(123456).size(), kMaxSystemError);
}

TEST(Frontend, BatchFrontendPrintsAndAnswersFromOptions) {
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  BatchAnswers answers;
  answers.yesNo = Answer::No;
  answers.okCancel = false;
  answers.yesNoCancel = Answer::Cancel;
  BatchFrontend batch(answers, out);
  ScopedFrontend scope(batch);
  ShowMessage("Impossible to find the box!");
  EXPECT_FALSE(AskYesNo("Overwrite?"));
  EXPECT_FALSE(AskOkCancel("Go on?"));
  EXPECT_EQ(AskYesNoCancel("Save?"), Answer::Cancel);
  EXPECT_EQ(ChooseFolder("Select Folder", "/").status, -1);
  batch.answers().folder = "/tmp/x";
  EXPECT_EQ(ChooseFolder("Select Folder", "/").path, "/tmp/x");

  std::rewind(out);
  char line[256];
  std::string all;
  while (std::fgets(line, sizeof line, out) != nullptr) all += line;
  std::fclose(out);
  EXPECT_NE(all.find("Morvane: Impossible to find the box!\n"), std::string::npos);
  EXPECT_NE(all.find("Overwrite? [no]"), std::string::npos);
  EXPECT_NE(all.find("Save? [cancel]"), std::string::npos);
}

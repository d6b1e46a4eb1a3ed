#include "base/frontend.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>

#include "base/batch_frontend.h"
#include "support/scripted_frontend.h"

using namespace FRONTEND;

TEST(Frontend, ScriptedFrontendRecordsBoxesAndAnswersInOrder) {
  ScriptedFrontend script;
  script.answers = {Answer::No, Answer::Yes, Answer::Cancel};
  script.folders.push_back({1, "/data/plates"});

  ShowMessage(script, "Experiment saved.");
  EXPECT_FALSE(AskYesNo(script, "Overwrite?"));
  EXPECT_TRUE(AskOkCancel(script, "Continue?"));
  EXPECT_EQ(AskYesNoCancel(script, "Save?"), Answer::Cancel);
  const FolderChoice chosen = ChooseFolder(script, "Select Folder", "/start");
  EXPECT_EQ(chosen.status, 1);
  EXPECT_EQ(chosen.path, "/data/plates");
  // Queues empty: defaults, and a cancelled chooser.
  EXPECT_TRUE(AskYesNo(script, "again"));
  EXPECT_EQ(ChooseFolder(script, "Select Folder", "/start").status, -1);

  ASSERT_EQ(script.shown.size(), 7U);
  EXPECT_EQ(script.shown[0].kind, ScriptedFrontend::Kind::Message);
  EXPECT_EQ(script.shown[0].title, "Morvane");
  EXPECT_EQ(script.shown[4].kind, ScriptedFrontend::Kind::Folder);
  EXPECT_EQ(script.shown[4].title, "Select Folder");
  EXPECT_EQ(script.messages(), std::vector<std::string>{"Experiment saved."});
}

TEST(Frontend, LongTextsAreCutWithoutSplittingCharacters) {
  ScriptedFrontend script;
  ShowMessage(script, std::string(2000, 'x'));
  EXPECT_EQ(script.shown.back().text.size(), kMaxMessage);
  // 511 two-byte letters fill 1022 bytes; one more would cross the limit.
  std::string accents;
  for (int i = 0; i < 600; ++i) accents += "\xC3\xA9";
  ShowMessage(script, accents);
  EXPECT_EQ(script.shown.back().text.size(), 1022U);
}

TEST(Frontend, EachCallGoesToTheFrontendItIsGiven) {
  ScriptedFrontend one;
  ScriptedFrontend other;
  ShowMessage(one, "first");
  ShowMessage(other, "second");
  EXPECT_EQ(one.messages(), std::vector<std::string>{"first"});
  EXPECT_EQ(other.messages(), std::vector<std::string>{"second"});
}

TEST(Frontend, RequestsWithoutADialogGetTheDefaultAnswers) {
  // The default answers only look at the request's type.
  EXPECT_EQ(DefaultAnswer(static_cast<ThresholdModel*>(nullptr)), Answer::Yes);
  EXPECT_EQ(DefaultAnswer(static_cast<ErosionMethodModel*>(nullptr)), Answer::Yes);
  EXPECT_EQ(DefaultAnswer(static_cast<RetouchModel*>(nullptr)), Answer::Cancel);
  EXPECT_EQ(DefaultAnswer(static_cast<PasswordSQL*>(nullptr)), Answer::Cancel);
  EXPECT_EQ(DefaultAnswer(static_cast<SaveFileRequest*>(nullptr)), Answer::Cancel);
  EXPECT_EQ(DefaultAnswer(static_cast<BoxQueryPRS*>(nullptr)), Answer::Cancel);
  EXPECT_EQ(DefaultAnswer(static_cast<MyBoxIsARoot*>(nullptr)), Answer::Yes);
  EXPECT_EQ(DefaultAnswer(static_cast<MyBoxInfoGeneral*>(nullptr)), Answer::Cancel);
  EXPECT_EQ(DefaultAnswer(static_cast<ResultFileExistBox*>(nullptr)), Answer::Cancel);
  EXPECT_EQ(DefaultAnswer(static_cast<ResultBox*>(nullptr)), Answer::Cancel);

  // A frontend that shows only the four boxes answers every dialog so.
  class BoxesOnly : public Frontend {
   public:
    void showMessage(const std::string&, const std::string&) override {}
    bool askYesNo(const std::string&, const std::string&) override { return false; }
    bool askOkCancel(const std::string&, const std::string&) override { return false; }
    Answer askYesNoCancel(const std::string&, const std::string&) override { return Answer::No; }
    FolderChoice chooseFolder(const std::string&, const std::string&) override { return {}; }
  } boxes;
  EXPECT_EQ(boxes.ask(static_cast<MyBoxIsARoot*>(nullptr)), Answer::Yes);
  EXPECT_EQ(boxes.ask(static_cast<ResultFileExistBox*>(nullptr)), Answer::Cancel);
  SaveFileRequest save{{{"Csv file", "*.csv"}}, 0, 255, {}};
  EXPECT_FALSE(Accepted(boxes, &save));
  EXPECT_EQ(save.choice.status, -1);
}

TEST(Frontend, BatchFrontendAnswersTheSaveDialogOnce) {
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  BatchAnswers answers;
  answers.saveFile = "/tmp/query.csv";
  answers.saveFilter = 1;
  BatchFrontend batch(answers, out);
  SaveFileRequest save{{{"Csv file", "*.csv"}, {"Text", "*.txt"}}, 0, 255, {}};
  EXPECT_EQ(batch.ask(&save), Answer::Yes);
  EXPECT_EQ(save.choice.status, 1);
  EXPECT_EQ(save.choice.path, "/tmp/query.csv");
  EXPECT_EQ(save.choice.filter, 1);
  // A second dialog, shown after a refused name, is cancelled.
  SaveFileRequest again{{{"Csv file", "*.csv"}}, 0, 255, {}};
  EXPECT_EQ(batch.ask(&again), Answer::Cancel);
  EXPECT_EQ(again.choice.status, -1);
  // A dialog it has no option for takes its default.
  EXPECT_EQ(batch.ask(static_cast<MyBoxIsARoot*>(nullptr)), Answer::Yes);
  std::fclose(out);
}

TEST(Frontend, DefaultFrontendWritesToStandardErrorAndTakesTheDefaults) {
  testing::internal::CaptureStderr();
  ShowMessage(DefaultFrontend(), "Impossible to find the box!");
  EXPECT_TRUE(AskYesNo(DefaultFrontend(), "Overwrite?"));
  EXPECT_EQ(ChooseFolder(DefaultFrontend(), "Select Folder", "/").status, -1);
  SaveFileRequest save{{{"Csv file", "*.csv"}}, 0, 255, {}};
  EXPECT_EQ(DefaultFrontend().ask(&save), Answer::Cancel);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err,
            "Morvane: Impossible to find the box!\nMorvane: Overwrite? [yes]\nSelect Folder: no folder given "
            "[cancel]\nSave As: no file given [cancel]\n");
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
  ShowMessage(batch, "Impossible to find the box!");
  EXPECT_FALSE(AskYesNo(batch, "Overwrite?"));
  EXPECT_FALSE(AskOkCancel(batch, "Go on?"));
  EXPECT_EQ(AskYesNoCancel(batch, "Save?"), Answer::Cancel);
  EXPECT_EQ(ChooseFolder(batch, "Select Folder", "/").status, -1);
  batch.answers().folder = "/tmp/x";
  EXPECT_EQ(ChooseFolder(batch, "Select Folder", "/").path, "/tmp/x");

  std::rewind(out);
  char line[256];
  std::string all;
  while (std::fgets(line, sizeof line, out) != nullptr) all += line;
  std::fclose(out);
  EXPECT_NE(all.find("Morvane: Impossible to find the box!\n"), std::string::npos);
  EXPECT_NE(all.find("Overwrite? [no]"), std::string::npos);
  EXPECT_NE(all.find("Save? [cancel]"), std::string::npos);
}

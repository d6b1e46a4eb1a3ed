#include "manager/config/language.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "manager/config/stack_layout.h"
#include "manager_env.h"
#include "support/test_env.h"

namespace {

using tessary::LanguageList;
using tessary::TextVariant;

class LanguageTest : public managertest::ManagerTest {
 protected:
  std::string file() const { return (root / "langues.txt").string(); }
  void write(const std::string& text) { testenv::WriteFile(root / "langues.txt", text); }
};

TEST_F(LanguageTest, WithoutALanguageFileEveryTextIsBuiltIn) {
  LanguageList l(TextVariant::English);
  l.Read(file());
  EXPECT_EQ(l.path(), file());
  EXPECT_EQ(l.Count(), 0);
  EXPECT_FALSE(l.SelectByName("English"));
  EXPECT_STREQ(l.LoadText(32795), "Unexpected end of MySql !");
  EXPECT_STREQ(l.LoadText(32851), "english");
  EXPECT_STREQ(l.LoadText(4), "");  // no built-in text
  EXPECT_EQ(l.loadMessage, "");
}

TEST_F(LanguageTest, MissingIdsOrKeysFallBackAndEscapesBecomeABlankAndAControlCharacter) {
  write(
      "[Liste]\nLangue0=Deutch\n[IDs]\n32851=LangWord\n32796=Started\n32797=Stopped\n"
      "[Deutch]\nLangWord=german\nStarted=Gestartet\\nund\\rlaeuft\\tgut\\x\\\n");
  LanguageList l(TextVariant::English);
  l.Read(file());
  EXPECT_STREQ(l.LoadText(32851), "english");  // nothing selected yet
  ASSERT_TRUE(l.SelectByName("Deutch"));
  EXPECT_STREQ(l.LoadText(32851), "german");
  EXPECT_STREQ(l.LoadText(32796), "Gestartet \rund \nlaeuft \tgut\\x\\");
  EXPECT_STREQ(l.LoadText(32797), "Stopped");                    // the section lacks the key
  EXPECT_STREQ(l.LoadText(32795), "Unexpected end of MySql !");  // IDs lacks the id
}

TEST_F(LanguageTest, TheListStopsAtTheFirstEmptySlotAndSelectionFollowsIt) {
  write("[Liste]\nLangue0=English\nLangue2=Magyar\nLangue29=Last\nLangue30=Beyond\n");
  LanguageList l(TextVariant::English);
  l.Read(file());
  EXPECT_EQ(l.Count(), 1);
  EXPECT_EQ(l.Name(2), "Magyar");
  EXPECT_EQ(l.Name(29), "Last");
  EXPECT_EQ(l.Name(30), "");
  EXPECT_EQ(l.Name(-1), "");
  EXPECT_FALSE(l.SelectByName("Magyar"));   // beyond the first empty slot
  EXPECT_FALSE(l.SelectByName("english"));  // case counts
  EXPECT_FALSE(l.Select(1));
  EXPECT_FALSE(l.Select(30));
  EXPECT_EQ(l.CurrentName(), "");
  EXPECT_TRUE(l.Select(2));  // a non-empty slot may still be chosen by index
  EXPECT_EQ(l.CurrentIndex(), 2);
  EXPECT_EQ(l.CurrentName(), "Magyar");
  EXPECT_TRUE(l.SelectByName("English"));
  EXPECT_EQ(l.CurrentIndex(), 0);
}

TEST_F(LanguageTest, TheNinthResultOverwritesTheFirst) {
  LanguageList l(TextVariant::English);
  const char* first = l.LoadText(32796);
  for (int i = 0; i < 7; ++i) l.LoadText(32833);
  EXPECT_STREQ(first, "Started");  // eight results may be held at once
  l.LoadText(32797);
  EXPECT_STREQ(first, "Stopped");
}

TEST_F(LanguageTest, LongAndBrokenTranslationsAreCutOrIgnored) {
  std::string text = "[Liste]\nLangue0=X\n[IDs]\n32796=K\n32797=" + std::string(100, 'k') +
                     "\n[X]\nK=" + std::string(500, 'a') + "\n" + std::string(100, 'k') + "=long key\n";
  text += std::string("\0\xff[Liste\n", 9);
  write(text);
  LanguageList l(TextVariant::English);
  l.Read(file());
  ASSERT_TRUE(l.Select(0));
  EXPECT_EQ(std::string(l.LoadText(32796)), std::string(340, 'a'));
  EXPECT_STREQ(l.LoadText(32797), "Stopped");  // the text key is cut to 48 and then not found
}

TEST_F(LanguageTest, TheBuiltInTablesCoverTheSameIdsAndTheFrenchVariantHasItsOwnTexts) {
  std::set<int> en, fr;
  for (const auto& e : tessary::EnglishTexts()) en.insert(e.id);
  for (const auto& e : tessary::FrenchTexts()) fr.insert(e.id);
  EXPECT_EQ(en, fr);
  EXPECT_EQ(en.size(), tessary::EnglishTexts().size());  // no id twice
  EXPECT_TRUE(std::is_sorted(tessary::EnglishTexts().begin(), tessary::EnglishTexts().end(),
                             [](const auto& a, const auto& b) { return a.id < b.id; }));
  EXPECT_TRUE(std::is_sorted(tessary::FrenchTexts().begin(), tessary::FrenchTexts().end(),
                             [](const auto& a, const auto& b) { return a.id < b.id; }));
  for (const auto& e : tessary::EnglishTexts()) EXPECT_LE(e.text.size(), 340u) << e.id;
  LanguageList fl(TextVariant::French);
  EXPECT_STREQ(fl.LoadText(32819), "&Redémarrer");
  EXPECT_STREQ(fl.LoadText(32820), "&Tuer");
  EXPECT_STREQ(fl.LoadText(32851), "french");
  EXPECT_EQ(tessary::VariantForLanguage("fr"), TextVariant::French);
  EXPECT_EQ(tessary::VariantForLanguage("de"), TextVariant::English);
}

TEST_F(LanguageTest, TheShippedLanguageFileGivesTheBuiltInTextsOfEachLanguage) {
  write(tessary::LanguageFileText());
  LanguageList l(TextVariant::English);
  l.Read(file());
  ASSERT_EQ(l.Count(), 2);
  ASSERT_TRUE(l.SelectByName("Français"));
  for (const auto& e : tessary::FrenchTexts()) {
    std::string expected(e.text);
    if (expected == " ") continue;  // a lone blank is no value in the file: the built-in one serves
    std::string turned;
    for (const char c : expected) turned += c == '\n' ? std::string(" \r") : std::string(1, c);
    EXPECT_EQ(std::string(l.LoadText(e.id)), turned) << e.id;
  }
}

}  // namespace

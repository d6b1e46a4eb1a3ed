// Parts of the database layer that need no server: the administrator
// password dialog, where a connection goes, escaping without a connection,
// the name lists and the records.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#include "base/batch_frontend.h"
#include "database/kw_sql.h"
#include "database/password_sql.h"
#include "small_stack.h"
#include "support/scripted_frontend.h"
#include "support/test_env.h"

using FRONTEND::ScriptedFrontend;

namespace {

// Sets or clears one environment variable for the lifetime of the guard.
class EnvGuard {
 public:
  EnvGuard(const char* name, const char* value) : m_name(name) {
    if (const char* old = std::getenv(name)) m_old = old;
    if (value != nullptr)
      ::setenv(name, value, 1);
    else
      ::unsetenv(name);
  }
  EnvGuard(const EnvGuard&) = delete;
  EnvGuard& operator=(const EnvGuard&) = delete;
  ~EnvGuard() {
    if (m_old)
      ::setenv(m_name, m_old->c_str(), 1);
    else
      ::unsetenv(m_name);
  }

 private:
  const char* m_name;
  std::optional<std::string> m_old;
};

}  // namespace

TEST(PasswordSqlTest, OkKeepsTheTypedTextCutTo149AndCancelKeepsNothing) {
  ScriptedFrontend script;

  PasswordSQL dialog;
  EXPECT_EQ(dialog.password(), "");
  const std::string typed(200, 'p');
  script.passwordScripts.push_back([&](PasswordSQL& d) {
    EXPECT_EQ(d.field(), "");  // the field starts empty
    d.type(typed);
    return true;
  });
  EXPECT_EQ(dialog.DoModal(script), PasswordSQL::Result::Ok);
  EXPECT_EQ(dialog.password(), std::string(149, 'p'));

  // Cancel after typing: the earlier OK's text stays, the new one is dropped.
  script.passwordScripts.push_back([](PasswordSQL& d) {
    d.type("other");
    return false;
  });
  EXPECT_EQ(dialog.DoModal(script), PasswordSQL::Result::Cancel);
  EXPECT_EQ(dialog.result(), PasswordSQL::Result::Cancel);
  EXPECT_EQ(dialog.password(), std::string(149, 'p'));

  // No script: the scripted user cancels; the dialog was still shown.
  PasswordSQL fresh;
  EXPECT_EQ(fresh.DoModal(script), PasswordSQL::Result::Cancel);
  ASSERT_EQ(script.shown.size(), 3u);
  for (const auto& s : script.shown) {
    EXPECT_EQ(s.kind, ScriptedFrontend::Kind::PasswordDialog);
    EXPECT_EQ(s.title, PasswordSQL::kTitle);
  }

  // An empty password is a valid answer ("leave blank for default").
  script.passwordScripts.push_back([](PasswordSQL&) { return true; });
  EXPECT_EQ(fresh.DoModal(script), PasswordSQL::Result::Ok);
  EXPECT_EQ(fresh.password(), "");
}

TEST(PasswordSqlTest, TheBatchProgramAnswersFromItsOptionsAndNeverPrintsThePassword) {
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  FRONTEND::BatchAnswers answers;
  answers.adminPassword = [](PasswordSQL& d) {
    d.type("s3cret");
    return true;
  };
  FRONTEND::BatchFrontend batch(answers, out);
  {
    PasswordSQL dialog;
    EXPECT_EQ(dialog.DoModal(batch), PasswordSQL::Result::Ok);
    EXPECT_EQ(dialog.password(), "s3cret");
    batch.answers().adminPassword = nullptr;  // no password given: cancel
    PasswordSQL other;
    EXPECT_EQ(other.DoModal(batch), PasswordSQL::Result::Cancel);
  }
  std::rewind(out);
  std::string printed;
  for (int c = std::fgetc(out); c != EOF; c = std::fgetc(out)) printed += static_cast<char>(c);
  std::fclose(out);
  EXPECT_EQ(printed,
            "Mysql Administrator Permission: MySQL administrator Password: [ok]\n"
            "Mysql Administrator Permission: MySQL administrator Password: [cancel]\n");
}

TEST(PasswordSqlTest, CutNeverSplitsAUtf8Character) {
  PasswordSQL dialog;
  // 148 ASCII bytes and a two-byte letter: 150 bytes, the letter must go whole.
  dialog.type(std::string(148, 'a') + "\xC3\xA9");
  EXPECT_EQ(dialog.field(), std::string(148, 'a'));
  dialog.type("short");
  EXPECT_EQ(dialog.pressOk(), PasswordSQL::Result::Ok);
  EXPECT_EQ(dialog.password(), "short");
}

TEST(ConnectionTargetTest, EnvironmentOverridesHostPortAndSocket) {
  {
    EnvGuard h(dbparam::kHostVariable, nullptr), p(dbparam::kPortVariable, nullptr),
        s(dbparam::kSocketVariable, nullptr);
    const ConnectionTarget t = ResolveConnectionTarget("localhost", 3306);
    EXPECT_EQ(t.host, "localhost");
    EXPECT_EQ(t.port, 3306u);
    EXPECT_EQ(t.socket, "");
    EXPECT_EQ(t.problem, "");
  }
  {
    EnvGuard h(dbparam::kHostVariable, "db.example"), p(dbparam::kPortVariable, "3307"),
        s(dbparam::kSocketVariable, "/run/x.sock");
    const ConnectionTarget t = ResolveConnectionTarget("127.0.0.1", 3306);
    EXPECT_EQ(t.host, "db.example");
    EXPECT_EQ(t.port, 3307u);
    EXPECT_EQ(t.socket, "/run/x.sock");
    EXPECT_EQ(t.problem, "");
  }
  // Empty values count as unset.
  {
    EnvGuard h(dbparam::kHostVariable, ""), p(dbparam::kPortVariable, ""), s(dbparam::kSocketVariable, "");
    const ConnectionTarget t = ResolveConnectionTarget("127.0.0.1", 3306);
    EXPECT_EQ(t.host, "127.0.0.1");
    EXPECT_EQ(t.port, 3306u);
    EXPECT_EQ(t.problem, "");
  }
  // A port that cannot be read must stop the connection, not send it to the
  // default server.
  for (const char* bad : {"abc", "0", "65536", "33o6", "-1", " 3306", "99999999999"}) {
    EnvGuard p(dbparam::kPortVariable, bad);
    EXPECT_NE(ResolveConnectionTarget("localhost", 3306).problem, "") << bad;
  }
  EXPECT_NE(ResolveConnectionTarget("localhost", -5).problem, "");
}

class ConnectionFailureTest : public testenv::HomeTest {
 protected:
  ScriptedFrontend script;
};

TEST_F(ConnectionFailureTest, UnusablePortFailsTheConnectionWithTheUsualMessageAndItsReason) {
  EnvGuard p(dbparam::kPortVariable, "not-a-port");
  KW_MYSQL c(script);
  EXPECT_EQ(c.Connect("localhost", "root", "secret", 3306, 1), 0);
  EXPECT_FALSE(c.isConnected());
  EXPECT_EQ(script.messages(),
            std::vector<std::string>{"Failure of the attempted connection to the MySQL "
                                     "server: MORVANE_DB_PORT is not a port number: not-a-port"});
  const std::string log = readLog("log_sql.txt");
  EXPECT_NE(log.find("MORVANE_DB_PORT is not a port number: not-a-port"), std::string::npos) << log;
  EXPECT_NE(log.find("password ******,port 3306\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("secret"), std::string::npos) << log;
  EXPECT_EQ(c.Disconnect(), 1);
}

TEST(EscapeTest, WithoutAConnectionQuotesBackslashesAndControlsAreEscaped) {
  KW_MYSQL c(FRONTEND::DefaultFrontend());
  EXPECT_EQ(c.escape("plain é"), "plain é");
  EXPECT_EQ(c.escape(std::string("a'b\"c\\d\ne\rf\x1ag\0h", 15)), "a\\'b\\\"c\\\\d\\ne\\rf\\Zg\\0h");
}

TEST(NameListsTest, TablesAndColumnsAsTheStatementsUseThem) {
  // Each list: a table name, then distinct column names, the key first.
  const auto check = [](const auto& list, std::string_view table, std::string_view key) {
    EXPECT_EQ(list[0], table);
    EXPECT_EQ(list[1], key);
    std::set<std::string_view> columns(list.begin() + 1, list.end());
    EXPECT_EQ(columns.size(), list.size() - 1) << table;
    for (const auto name : list) EXPECT_LT(name.size(), 50u);
  };
  check(KW_SQL::kPictureNames, "Picture", "Picture id");
  check(KW_SQL::kMainRootNames, "Main Root", "Main root id");
  check(KW_SQL::kSecondaryRootNames, "Secondary Root", "Secondary root id");
  check(KW_SQL::kGenotypeNames, "Genotype", "Genotype id");
  check(KW_SQL::kMediaNames, "Media", "Media id");
  // The links between the tables go through these columns.
  EXPECT_EQ(KW_SQL::kMainRootNames[8], "Picture id");
  EXPECT_EQ(KW_SQL::kSecondaryRootNames[9], "Parent id");
  EXPECT_EQ(KW_SQL::kSecondaryRootNames[8], "LR order");
  EXPECT_EQ(KW_SQL::Column_Name("Main Root", "MR path length"), "`Main Root`.`MR path length`");
}

TEST(RecordsTest, StartEmptyAndCopyTheirWholeTree) {
  INFO_PICTURE p;
  EXPECT_EQ(p.nbr, 0);
  EXPECT_EQ(p.age, 0);
  EXPECT_TRUE(p.user.empty() && p.experiment.empty() && p.name.empty() && p.plate.empty());
  EXPECT_TRUE(p.arbre.empty());
  SQL_MR m;
  EXPECT_EQ(m.depth, 0.0f);
  EXPECT_EQ(m.picture_id, 0);

  p.nbr = 1;
  p.arbre.resize(1);
  p.arbre[0].nbr_secondary_root = 1;
  p.arbre[0].children.resize(1);
  p.arbre[0].children[0].length = 2.5f;
  INFO_PICTURE copy = p;
  p.arbre[0].children[0].length = 9.0f;
  EXPECT_EQ(copy.arbre[0].children[0].length, 2.5f);
}

namespace {

// A chain of lateral roots depth levels deep, each the only branch of the
// one before; lengths count the levels from 1.
INFO_LR chain(int depth) {
  INFO_LR root;
  root.length = 1;
  INFO_LR* tip = &root;
  for (int level = 2; level <= depth; ++level) {
    tip->nbr_child = 1;
    tip = &tip->children.emplace_back();
    tip->length = static_cast<float>(level);
  }
  return root;
}

// Levels of a chain whose lengths count them from 1, or -1 at the first
// level that does not.
int chainDepth(const INFO_LR& root) {
  int depth = 0;
  for (const INFO_LR* r = &root;; r = &r->children[0]) {
    if (r->length != static_cast<float>(++depth)) return -1;
    if (r->children.empty()) return depth;
  }
}

}  // namespace

TEST(RecordsTest, ADeepTreeIsCopiedAndDestroyedOnASmallStack) {
  // One call per level would need megabytes of stack here.
  constexpr int kDepth = 50000;
  bool done = false;
  ASSERT_TRUE(dbtest::RunOnSmallStack(dbtest::kSmallStackBytes, [&] {
    INFO_LR original = chain(kDepth);
    {
      INFO_LR copy = original;
      INFO_MR plant;
      plant.children.push_back(copy);
      const INFO_MR plantCopy = plant;
      EXPECT_EQ(chainDepth(plantCopy.children[0]), kDepth);
      copy.children[0].length = -1;
      EXPECT_EQ(chainDepth(original), kDepth);  // the copy owns its own tree
      // A root takes the value of its own branch.
      copy = copy.children[0].children[0];
      EXPECT_EQ(copy.length, 3.0f);
      EXPECT_EQ(copy.children[0].length, 4.0f);
    }
    original = INFO_LR();
    EXPECT_TRUE(original.children.empty());
    done = true;
  }));
  EXPECT_TRUE(done);
}

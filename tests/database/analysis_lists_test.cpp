// The image information dialog against the private server: its lists come
// from the genotype and media tables, sorted, and a name typed when an
// experiment is saved is in the list of the next picture's dialog.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "database/sample_names_sql.h"
#include "db_test_server.h"
#include "roots/analysis_dialog_models.h"
#include "roots/sci_doc.h"

namespace {

class InfoGeneralListsTest : public dbtest::ServerTest {};

TEST_F(InfoGeneralListsTest, ATypedGenotypeIsListedAfterTheSave) {
  setUpPlant();
  root().exec("insert into plant.`Genotype` values (NULL, 'Ler'), (NULL, 'Col-0')");
  const auto names = std::make_shared<SampleNamesSql>();
  MyBoxInfoGeneral first(names.get());
  first.open(script);
  EXPECT_EQ(first.genotypeList(), (std::vector<std::string>{"Col-0", "Ler"}));
  EXPECT_TRUE(first.mediaList().empty());
  EXPECT_NE(readLog("log_sql.txt").find("Ler\n"), std::string::npos);

  KW_SciDoc doc;
  doc.setFrontend(&script);
  doc.sampleNames = names;
  doc.title = "plate1";
  doc.fixedResultFolder = home.string();
  doc.nbr_item = doc.nbr_root = 1;
  doc.item.resize(1);
  doc.root.resize(1);
  script.infoGeneralScripts.push_back([](MyBoxInfoGeneral& box) {
    box.genotype = "Ws-4";
    box.media = "MS";
    box.resolution = "300";
    box.ok();
    return true;
  });
  doc.WriteResultFile();
  ASSERT_TRUE(doc.saved);

  MyBoxInfoGeneral next(names.get());
  next.open(script);
  EXPECT_EQ(next.genotypeList(), (std::vector<std::string>{"Col-0", "Ler", "Ws-4"}));
  EXPECT_EQ(next.mediaList(), std::vector<std::string>{"MS"});
}

}  // namespace

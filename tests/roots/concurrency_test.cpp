// Two documents analysed at the same time on two threads give what they give
// one after the other: every piece of state of an analysis belongs to its
// document or its thread. Run under ThreadSanitizer in CI.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "roots/sci_doc.h"
#include "support/scripted_frontend.h"
#include "support/test_env.h"
#include "synth/synth_plate.h"

namespace {

// What an analysis leaves: the picture, the marks and every plant's measures.
struct Outcome {
  int status = 0;
  std::vector<std::uint32_t> pixels;
  std::vector<double> measures;
  std::vector<std::string> messages;
  bool skeletonMarked = false;
};

Outcome analyse(const synth::Plate& plate) {
  FRONTEND::ScriptedFrontend script;
  KW_SciDoc doc;
  doc.setFrontend(&script);
  doc.width = plate.width;
  doc.height = plate.height;
  doc.pixels = plate.pixels;
  doc.setColourSeed(17U);
  Outcome out;
  out.status = doc.MeasurePlate();
  out.pixels = doc.pixels;
  for (const RootTree& t : doc.root)
    out.measures.insert(out.measures.end(),
                        {t.main_length, t.main_vector, t.main_angle, static_cast<double>(t.nbr_LR)});
  out.messages = script.messages();
  out.skeletonMarked = doc.marks.isChecked(StepMark::FindRoots);
  return out;
}

class Concurrency : public testenv::HomeTest {};

TEST_F(Concurrency, TwoPlatesOnTwoThreadsGiveWhatTheyGiveOneAfterTheOther) {
  synth::PlateOptions first;
  first.dpi = 300;
  first.plants = 5;
  first.seed = 3;
  synth::PlateOptions second = first;
  second.seed = 8;
  const synth::Plate plateA = synth::MakePlate(first);
  const synth::Plate plateB = synth::MakePlate(second);

  const Outcome aAlone = analyse(plateA);
  const Outcome bAlone = analyse(plateB);
  ASSERT_EQ(aAlone.status, KW_SciDoc::kPlateMeasured);
  ASSERT_EQ(bAlone.status, KW_SciDoc::kPlateMeasured);
  ASSERT_FALSE(aAlone.measures.empty());
  ASSERT_NE(aAlone.measures, bAlone.measures);

  Outcome a, b;
  std::thread one([&] { a = analyse(plateA); });
  std::thread two([&] { b = analyse(plateB); });
  one.join();
  two.join();
  EXPECT_EQ(a.status, aAlone.status);
  EXPECT_EQ(b.status, bAlone.status);
  EXPECT_EQ(a.measures, aAlone.measures);
  EXPECT_EQ(b.measures, bAlone.measures);
  EXPECT_EQ(a.pixels, aAlone.pixels);
  EXPECT_EQ(b.pixels, bAlone.pixels);
  EXPECT_TRUE(a.skeletonMarked && b.skeletonMarked);
  // Each thread's messages reached its own frontend.
  EXPECT_EQ(a.messages, aAlone.messages);
  EXPECT_EQ(b.messages, bAlone.messages);
}

}  // namespace

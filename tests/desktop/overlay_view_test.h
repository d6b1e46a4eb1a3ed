// The overlay of the plants in the analysis view after Find roots. The test
// class lives in a header, so moc's code for it is compiled on its own.
#pragma once

#include <QObject>
#include <memory>

#include "support/scripted_frontend.h"

class OverlayViewTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void findRootsShowsTheOverlayOfThePlants();

 private:
  std::unique_ptr<FRONTEND::ScriptedFrontend> script;
};

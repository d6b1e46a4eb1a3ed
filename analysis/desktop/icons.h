// The program's icons, drawn in code: the application icon (a seedling on a
// square plate) and one icon per toolbar button.
#pragma once

#include <QIcon>

enum class ToolIcon {
  Open,
  Close,
  Save,
  SaveAll,
  Print,
  Cascade,
  TileHorizontally,
  TileVertically,
  HelpContents,
  HelpIndex,
  HelpSearch,
  About,
  MakeBlackWhite,
  RemoveBox,
  RemoveNoise,
  Dilate,
  Skeletonize,
  Retouch,
  FindRoots,
  ConfirmRoots,
  SaveExperiment,
  AddData,
  Inquire,
};

QIcon MorvaneIcon();
// A 24 x 24 icon for a 30 x 30 toolbar button.
QIcon MakeToolIcon(ToolIcon which);
// The application icon as a picture of size x size pixels.
QImage MorvaneIconImage(int size);

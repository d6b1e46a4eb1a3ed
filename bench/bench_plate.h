// The plate every image and root benchmark works on: a generated 600-dpi scan
// (about 3200 x 3200 pixels) of six seedlings, made once per program.
#pragma once

#include "synth/synth_plate.h"

inline const synth::Plate& BenchPlate() {
  static const synth::Plate plate = [] {
    synth::PlateOptions options;
    options.dpi = 600;
    options.plants = 6;
    options.seed = 7;
    return synth::MakePlate(options);
  }();
  return plate;
}

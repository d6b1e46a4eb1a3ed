# morvane_synth: synthetic plate scans with their ground truth. It needs no
# GoogleTest, so morvane-batch and the benchmarks link it as well; whichever
# folder includes this file first defines the library.
if(NOT TARGET morvane_synth)
  add_library(morvane_synth STATIC ${CMAKE_CURRENT_LIST_DIR}/synth_plate.cpp)
  target_include_directories(morvane_synth PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(morvane_synth PUBLIC morvane_image PRIVATE project_warnings project_options)
  target_link_libraries(morvane_synth INTERFACE project_options)
endif()

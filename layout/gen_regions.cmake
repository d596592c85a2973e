# SPDX-License-Identifier: MIT
# Turns regions.tsv into the compiled-in region table and map-label places.
#   cmake -DIN=regions.tsv -DOUT=regions.cpp -P gen_regions.cmake
file(STRINGS "${IN}" rows ENCODING UTF-8)
set(regions "")
set(labels "")
set(nregions 0)
set(nlabels 0)
foreach(row IN LISTS rows)
  if(row MATCHES "^#" OR row STREQUAL "")
    continue()
  endif()
  if(NOT row MATCHES "^(region|maplabel)\t([0-9]+)\t(-?[0-9]+)\t(-?[0-9]+)\t([0-9]+)\t([0-9]+)\t([^\t\"\\\\]+)$")
    message(FATAL_ERROR "${IN}: malformed row: ${row}")
  endif()
  set(entry "    {${CMAKE_MATCH_3}, ${CMAKE_MATCH_4}, ${CMAKE_MATCH_5}, ${CMAKE_MATCH_6}, \"${CMAKE_MATCH_7}\"},  // ${CMAKE_MATCH_2}\n")
  if(CMAKE_MATCH_1 STREQUAL "region")
    if(NOT CMAKE_MATCH_2 EQUAL nregions)
      message(FATAL_ERROR "${IN}: region ${CMAKE_MATCH_2} out of order")
    endif()
    string(APPEND regions "${entry}")
    math(EXPR nregions "${nregions} + 1")
  else()
    if(NOT CMAKE_MATCH_2 EQUAL nlabels)
      message(FATAL_ERROR "${IN}: map label ${CMAKE_MATCH_2} out of order")
    endif()
    string(APPEND labels "${entry}")
    math(EXPR nlabels "${nlabels} + 1")
  endif()
endforeach()
if(NOT nregions EQUAL 103 OR NOT nlabels EQUAL 41)
  message(FATAL_ERROR "${IN}: expected 103 regions and 41 map labels, found ${nregions} and ${nlabels}")
endif()
file(CONFIGURE OUTPUT "${OUT}" CONTENT "// Generated from layout/regions.tsv; edit that file instead.
#include \"regions.h\"

namespace layout {

const std::array<RegionRect, kRegionCount> kRegions = {{
${regions}}};

const std::array<MapLabelPlace, kItemCount> kMapLabels = {{
${labels}}};

}  // namespace layout
" @ONLY)

// SPDX-License-Identifier: MIT
#pragma once
// The region table (where each country lies on the map) and the places of the
// 41 map labels, as compiled-in data. All values are window twips.
#include <array>

namespace layout {

constexpr int kRegionCount = 103;
constexpr int kItemCount = 41;

struct RegionRect {
    int left, top, width, height;
    const char *tag;
};

struct MapLabelPlace {
    int left, top, width, height;
    const char *country;  // the region tag of the country it labels
};

extern const std::array<RegionRect, kRegionCount> kRegions;
extern const std::array<MapLabelPlace, kItemCount> kMapLabels;

}  // namespace layout

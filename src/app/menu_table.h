// The menu bar, in the order it shows, and its radio groups.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "app/app.h"
#include "platform/platform.h"

extern const MenuEntry kMenuTable[];
extern const size_t kMenuTableSize;

// Width menu: its ids and their widths in pixels.
extern const std::array<int32_t, 7> kWidthIds;
extern const std::array<int32_t, 7> kWidthValues;
// Add interval menu: its ids and their intervals in ms ("停止" -1000).
extern const std::array<int32_t, 13> kIntervalIds;
extern const std::array<int32_t, 13> kIntervalValues;
// Add order menu.
extern const std::array<int32_t, 2> kOrderIds;

// Sets every id of the group to plain, in table order, then checks chosen.
void SelectRadioItem(std::span<const int32_t> group, int32_t chosen);

// Position of id in group, or -1.
int32_t IndexInGroup(std::span<const int32_t> group, int32_t id);

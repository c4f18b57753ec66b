// The menu bar, in the order it shows, and its radio groups.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

extern const MenuEntry kMenuTable[];
extern const size_t kMenuTableSize;

// Width menu: ids 200..206 and their widths in pixels.
extern const int32_t kWidthIds[7];
extern const int32_t kWidthValues[7];
// Add interval menu: ids 300..312 and their intervals in ms ("停止" -1000).
extern const int32_t kIntervalIds[13];
extern const int32_t kIntervalValues[13];
// Add order menu.
extern const int32_t kOrderIds[2];

// Sets every id of the group to plain, in table order, then checks chosen.
void SelectRadioItem(const int32_t* group, size_t count, int32_t chosen);

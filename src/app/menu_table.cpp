#include "app/menu_table.h"

namespace {
constexpr MenuEntryKind P = MenuEntryKind::Popup;
constexpr MenuEntryKind E = MenuEntryKind::EndPopup;
constexpr MenuEntryKind I = MenuEntryKind::Item;
constexpr MenuEntryKind S = MenuEntryKind::Separator;
}  // namespace

const MenuEntry kMenuTable[] = {
    {P, 0, "ファイル"},
        {I, 100, "開く"},
        {I, 103, "閉じる"},
        {S, 0, nullptr},
        {P, 0, "読込設定"},
            {P, 0, "横幅"},
                {I, 200, "100px"}, {I, 201, "150px"}, {I, 202, "200px"}, {I, 203, "250px"},
                {I, 204, "300px"}, {I, 205, "350px"}, {I, 206, "400px"},
            {E, 0, nullptr},
            {P, 0, "追加順序"},
                {I, 400, "ファイル名順"}, {I, 401, "ランダム"},
            {E, 0, nullptr},
        {E, 0, nullptr},
        {S, 0, nullptr},
        {I, 101, "終了"},
    {E, 0, nullptr},
    {P, 0, "表示"},
        {I, 102, "常に最前面に表示"},
        {P, 0, "追加頻度"},
            {I, 300, "停止"}, {I, 301, "1秒"}, {I, 302, "2秒"}, {I, 303, "3秒"},
            {I, 304, "4秒"}, {I, 305, "5秒"}, {I, 306, "6秒"}, {I, 307, "7秒"},
            {I, 308, "10秒"}, {I, 309, "15秒"}, {I, 310, "20秒"}, {I, 311, "30秒"},
            {I, 312, "60秒"},
        {E, 0, nullptr},
    {E, 0, nullptr},
    {P, 0, "ヘルプ"},
        {I, 501, "リールスタックについて"},
        {I, 500, "バージョン情報"},
    {E, 0, nullptr},
};
const size_t kMenuTableSize = sizeof kMenuTable / sizeof kMenuTable[0];

const int32_t kWidthIds[7] = {200, 201, 202, 203, 204, 205, 206};
const int32_t kWidthValues[7] = {100, 150, 200, 250, 300, 350, 400};
const int32_t kIntervalIds[13] = {300, 301, 302, 303, 304, 305, 306,
                                  307, 308, 309, 310, 311, 312};
const int32_t kIntervalValues[13] = {-1000, 1000, 2000,  3000,  4000,  5000, 6000,
                                     7000,  10000, 15000, 20000, 30000, 60000};
const int32_t kOrderIds[2] = {400, 401};

void SelectRadioItem(const int32_t* group, size_t count, int32_t chosen) {
    for (size_t i = 0; i < count; ++i) SetMenuItemState(group[i], kMenuPlain);
    SetMenuItemState(chosen, kMenuChecked);
}

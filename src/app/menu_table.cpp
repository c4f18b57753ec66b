#include "app/menu_table.h"

namespace {
constexpr MenuEntryKind P = MenuEntryKind::Popup;
constexpr MenuEntryKind E = MenuEntryKind::EndPopup;
constexpr MenuEntryKind I = MenuEntryKind::Item;
constexpr MenuEntryKind S = MenuEntryKind::Separator;
}  // namespace

const MenuEntry kMenuTable[] = {
    {P, 0, "ファイル"},
        {I, IdOpen, "開く"},
        {I, IdClose, "閉じる"},
        {S, 0, nullptr},
        {P, 0, "読込設定"},
            {P, 0, "横幅"},
                {I, IdWidth100, "100px"}, {I, IdWidth150, "150px"}, {I, IdWidth200, "200px"},
                {I, IdWidth250, "250px"}, {I, IdWidth300, "300px"}, {I, IdWidth350, "350px"},
                {I, IdWidth400, "400px"},
            {E, 0, nullptr},
            {P, 0, "追加順序"},
                {I, IdOrderName, "ファイル名順"}, {I, IdOrderRandom, "ランダム"},
            {E, 0, nullptr},
        {E, 0, nullptr},
        {S, 0, nullptr},
        {I, IdExit, "終了"},
    {E, 0, nullptr},
    {P, 0, "表示"},
        {I, IdTopmost, "常に最前面に表示"},
        {P, 0, "追加頻度"},
            {I, IdIntervalStop, "停止"}, {I, IdInterval1s, "1秒"}, {I, IdInterval2s, "2秒"},
            {I, IdInterval3s, "3秒"}, {I, IdInterval4s, "4秒"}, {I, IdInterval5s, "5秒"},
            {I, IdInterval6s, "6秒"}, {I, IdInterval7s, "7秒"}, {I, IdInterval10s, "10秒"},
            {I, IdInterval15s, "15秒"}, {I, IdInterval20s, "20秒"}, {I, IdInterval30s, "30秒"},
            {I, IdInterval60s, "60秒"},
        {E, 0, nullptr},
    {E, 0, nullptr},
    {P, 0, "ヘルプ"},
        {I, IdAbout, "リールスタックについて"},
        {I, IdVersion, "バージョン情報"},
    {E, 0, nullptr},
};
const size_t kMenuTableSize = sizeof kMenuTable / sizeof kMenuTable[0];

const std::array<int32_t, 7> kWidthIds = {IdWidth100, IdWidth150, IdWidth200, IdWidth250,
                                          IdWidth300, IdWidth350, IdWidth400};
const std::array<int32_t, 7> kWidthValues = {100, 150, 200, 250, 300, 350, 400};
const std::array<int32_t, 13> kIntervalIds = {
    IdIntervalStop, IdInterval1s,  IdInterval2s,  IdInterval3s,  IdInterval4s,
    IdInterval5s,   IdInterval6s,  IdInterval7s,  IdInterval10s, IdInterval15s,
    IdInterval20s,  IdInterval30s, IdInterval60s};
const std::array<int32_t, 13> kIntervalValues = {-1000, 1000,  2000,  3000,  4000,  5000, 6000,
                                                 7000,  10000, 15000, 20000, 30000, 60000};
const std::array<int32_t, 2> kOrderIds = {IdOrderName, IdOrderRandom};

void SelectRadioItem(std::span<const int32_t> group, int32_t chosen) {
    for (int32_t id : group) SetMenuItemState(id, kMenuPlain);
    SetMenuItemState(chosen, kMenuChecked);
}

int32_t IndexInGroup(std::span<const int32_t> group, int32_t id) {
    for (size_t i = 0; i < group.size(); ++i) {
        if (group[i] == id) return static_cast<int32_t>(i);
    }
    return -1;
}

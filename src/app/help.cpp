// The help commands: the readme in the desktop's text viewer and the
// version dialog.
#include <filesystem>
#include <vector>

#include "app/app.h"
#include "app/icon_art.h"
#include "platform/platform.h"

int32_t OpenReadme(std::string startDirectory) {
    // Nothing is reported when no viewer starts or the file is missing.
    OpenTextFile((std::filesystem::path(startDirectory) / "readme.txt").string());
    return 1;
}

void ShowVersionInformation(PlatformWindow* owner) {
    std::vector<uint8_t> icon = DrawReelIcon(32);
    ShowVersionDialog(owner, "バージョン情報", "リールスタック 1.0.1\n\n公開日付: 2019.6", "閉じる",
                      icon.data());
}

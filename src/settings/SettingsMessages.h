// The fixed texts of the settings' message boxes.
#pragma once

namespace zeblo {

inline constexpr char kSettingsRecreatedMessage[] =
    "There is no setting file, or since the version is old, it creates newly.\r\n"
    "A setup becomes a thing at the time of shipment.";

// Our own words: offered at every start until the user answers Cancel.
inline constexpr char kWelcomeMessage[] =
    "Welcome to ZEBLO.\r\n"
    "Drop a Standard MIDI File (.mid) on the window to play it; double-click the logo to switch "
    "between the wavetable and the FM sound module.\r\n"
    "Press Cancel if this message should not appear at the next start.";

// Saving after the Preferences dialog closed with OK.
inline constexpr char kPreferencesSaveFailedMessage[] =
    "Setting file(ZEBLOPreferences.bin) write failed.\r\n"
    "May be write protect on file,folder or media.";

// Saving when the main window is destroyed.
inline constexpr char kExitSaveFailedMessage[] =
    "設定ファイル(ZEBLOPreferences.bin)を書き込めませんでした。\r\n"
    "ファイルまたはフォルダが書込み禁止か、メディアが書込み禁止になっている可能性があります。";

}  // namespace zeblo

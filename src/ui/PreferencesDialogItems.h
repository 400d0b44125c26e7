// The Preferences dialog's controls: ids, captions and the item lists of its combo boxes, item 0
// first, each with the record value it stands for.
#pragma once

#include <array>
#include <cstdint>

namespace zeblo::prefs {

struct Item {
    const char* caption;
    int32_t value;
};

inline constexpr int kDialogId = 130;
inline constexpr int kOk = 1;
inline constexpr int kCancel = 2;
inline constexpr int kOutputDevice = 1090;
inline constexpr int kOutputFrequency = 1000;
inline constexpr int kAutoDetune = 1001;
inline constexpr int kRedrawTiming = 1002;
inline constexpr int kInstrumentSet = 1006;
inline constexpr int kDrumSet = 1003;
inline constexpr int kMonaural = 1085;
inline constexpr int kBlockSize = 1004;
inline constexpr int kBlockCount = 1007;
inline constexpr int kKeepRunning = 1036;
inline constexpr int kLowPass = 1084;
inline constexpr int kCutoff = 1086;
inline constexpr int kCutoffUpDown = 1087;
inline constexpr int kHiddenOption = 1005;
inline constexpr int kAbout = 1088;
inline constexpr int kLinkMid = 1091;
inline constexpr int kLinkRcp = 1092;

inline constexpr int32_t kCutoffLow = 100;  // Hz, the up-down control's range
inline constexpr int32_t kCutoffHigh = 24000;
inline constexpr int32_t kCutoffStep = 100;

inline constexpr std::array<Item, 3> kFrequencyItems{
    {{"48000Hz", 48000}, {"44100Hz", 44100}, {"22050Hz", 22050}}};
inline constexpr std::array<Item, 2> kDetuneItems{{{"none", 0}, {"Max 14cent", 1}}};
inline constexpr std::array<Item, 4> kRedrawItems{{{"1 frame/ sec.", 1},
                                                   {"10 frame/ sec.", 10},
                                                   {"25 frame/ sec.(*)", 25},
                                                   {"50 frame/ sec.(*)", 50}}};
inline constexpr std::array<Item, 8> kInstrumentSetItems{{{"SCC like Full-Set", 0},
                                                          {"Famicom like Set", 1},
                                                          {"All Square Set", 2},
                                                          {"All Triangle Set", 3},
                                                          {"All Steal Set", 4},
                                                          {"All HyperSin Set", 5},
                                                          {"All Sin Set", 6},
                                                          {"All PulsedSquare Set", 7}}};
inline constexpr std::array<Item, 1> kDrumSetItems{{{"KESTRALIN PSG Drum", 0}}};
inline constexpr std::array<Item, 6> kBlockSizeItems{{{"6 sec.", 60},
                                                      {"3 sec.", 30},
                                                      {"2 sec.", 20},
                                                      {"1 sec.", 10},
                                                      {"0.5 sec.(*)", 5},
                                                      {"0.2 sec.(*)", 2}}};
// A block length of 1 is understood; it has an index (6) but no item.
inline constexpr int32_t kUnlistedBlockLength = 1;
inline constexpr int32_t kUnlistedBlockLengthIndex = 6;
inline constexpr std::array<Item, 6> kBlockCountItems{
    {{"30", 30}, {"25", 25}, {"20", 20}, {"15", 15}, {"10", 10}, {"5(*)", 5}}};
inline constexpr std::array<Item, 1> kHiddenOptionItems{{{"none", 0}}};

}  // namespace zeblo::prefs

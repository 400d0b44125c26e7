// Where every picture lies in the skin image, where the view draws it, and the display colours.
// The skin generator (tools/skin) places its pictures by these same numbers.
//
// Threads: constants only.
#pragma once

#include <cstdint>

#include "ui/ZBDIBSection.h"

namespace zeblo::skin {

struct Rect {
    int32_t x, y, w, h;
};

inline constexpr int32_t kSkinWidth = 640;
inline constexpr int32_t kSkinHeight = 2095;

// Frame and view sizes.
inline constexpr int32_t kFrameWidth = 640;
inline constexpr int32_t kFrameHeight = 470;
inline constexpr int32_t kTitleHeight = 22;
inline constexpr int32_t kViewWidth = 640;
inline constexpr int32_t kViewHeight = 448;

// Source rectangles in the skin image.
inline constexpr Rect kWindowOutline{0, 1104, 640, 470};
inline constexpr Rect kTitleActive{0, 1104, 640, 22};
inline constexpr Rect kTitleInactive{0, 1082, 640, 22};
inline constexpr Rect kViewBackground{0, 1126, 640, 448};
inline constexpr Rect kFmLogo{150, 530, 115, 48};
inline constexpr int32_t kLargeGlyphY = 510;  // x = 7 * (code - 32), 7 x 7
inline constexpr int32_t kLargeGlyphSize = 7;
inline constexpr int32_t kFirstGlyphCode = 32;
inline constexpr int32_t kLastGlyphCode = 32 + 640 / 7 - 1;
inline constexpr int32_t kSmallDigitY = 520;  // x = 6 * (digit + 16), 6 x 6
inline constexpr int32_t kSmallDigitSize = 6;
inline constexpr int32_t kButtonOffY =
    0;  // Play 0, Fast 35, Stop 70, Pause 105, Author 140, Config 175
inline constexpr int32_t kButtonLitY = 32;
inline constexpr int32_t kButtonStep = 35;
inline constexpr int32_t kButtonW = 35;
inline constexpr int32_t kButtonH = 22;
inline constexpr Rect kFastHighest{35, 64, 35, 22};
inline constexpr Rect kPanelEmpty{0, 688, 304, 80};
inline constexpr Rect kPanelBuffering{0, 768, 304, 80};
inline constexpr Rect kPanelUnderrun{0, 848, 304, 80};
inline constexpr Rect kPanelAuthoring{0, 928, 304, 80};
inline constexpr int32_t kMeterY = 1008;
inline constexpr int32_t kMeterH = 48;
inline constexpr int32_t kMeterLevels = 16;
inline constexpr int32_t kNarrowMeterX = 300;  // + 7 k
inline constexpr int32_t kNarrowMeterStep = 7;
inline constexpr int32_t kNarrowMeterW = 4;
inline constexpr int32_t kWideMeterStep = 15;  // x = 15 k
inline constexpr int32_t kWideMeterW = 14;
inline constexpr int32_t kGaugeY = 500;  // x = 34 n, n = 0 ... 16
inline constexpr int32_t kGaugeStep = 34;
inline constexpr int32_t kGaugeW = 33;
inline constexpr int32_t kGaugeH = 9;
inline constexpr int32_t kGaugePositions = 17;
inline constexpr Rect kMuteOn{0, 630, 11, 14};
inline constexpr Rect kMuteOff{13, 630, 11, 14};
inline constexpr Rect kHoldOn{0, 650, 16, 10};
inline constexpr Rect kHoldOff{18, 650, 16, 10};
inline constexpr int32_t kVoiceLampX = 36;  // + 18 n, n = 0 ... 6
inline constexpr int32_t kVoiceLampStep = 18;
inline constexpr int32_t kVoiceLampY = 650;
inline constexpr int32_t kVoiceLampW = 16;
inline constexpr int32_t kVoiceLampH = 10;
inline constexpr int32_t kIconY = 610;  // drum set 0 at x 0, other sets at 32, FM i at 32 (i + 2)
inline constexpr int32_t kIconW = 32;
inline constexpr int32_t kIconH = 16;
inline constexpr int32_t kFmIcons = 16;
inline constexpr int32_t kLampLitY = 530;
inline constexpr int32_t kLampUnlitY = 557;
inline constexpr int32_t kLampH = 27;
inline constexpr int32_t kLampX[3] = {0, 46, 92};
inline constexpr int32_t kLampW[3] = {39, 36, 48};
inline constexpr Rect kDotOff{0, 585, 4, 2};
inline constexpr Rect kDotOn{4, 585, 4, 2};
inline constexpr Rect kDotsNoData{316, 1535, 64, 32};

// Destinations in the view.
inline constexpr Rect kLogoDest{0, 0, 115, 48};
inline constexpr int32_t kVersionDigitX[3] = {95, 102, 109};
inline constexpr int32_t kVersionDigitY = 39;
inline constexpr char kVersionDigits[3] = {'2', '3', '6'};
inline constexpr int32_t kButtonDestX[6] = {132, 172, 212, 252, 292, 332};
inline constexpr int32_t kButtonDestY = 20;
inline constexpr int32_t kBufferMeterLeft = 416;
inline constexpr int32_t kBufferMeterRight = 634;
inline constexpr int32_t kBufferMeterTop = 34;
inline constexpr int32_t kBufferMeterBottom = 42;
inline constexpr double kBufferMeterSpan = 218.0;
inline constexpr Rect kPanelDest{168, 130, 304, 80};
inline constexpr int32_t kStripLeft = 61;
inline constexpr int32_t kStripPitch = 36;
inline constexpr int32_t kStripBaseY[2] = {74, 242};
inline constexpr SurfaceRect kSongLine{63, 385, 584, 399};
inline constexpr int32_t kPositionLeft = 62;
inline constexpr int32_t kPositionRight = 298;
inline constexpr int32_t kPositionTop = 404;
inline constexpr int32_t kPositionBottom = 419;
inline constexpr int32_t kPositionSpan = 236;
inline constexpr int32_t kDotsX = 316;
inline constexpr int32_t kDotsY = 409;
inline constexpr int32_t kLampDestX[3] = {399, 445, 539};
inline constexpr int32_t kLampDestY = 413;
// The song clock's numbers: small digits inside the wells of TICK, BPM and TB at the bottom left.
struct NumberField {
    int32_t x, y, digits;
};
inline constexpr NumberField kTickField{43, 430, 8};
inline constexpr NumberField kTempoField{135, 430, 5};
inline constexpr NumberField kDivisionField{213, 430, 5};
inline constexpr int32_t kAuthoringTextX = 204;
inline constexpr int32_t kAuthoringTextY = 194;
inline constexpr SurfaceRect kMessageText{90, 10, 290, 80};  // inside the message panel

// Element offsets inside a channel strip, from (36 col, base line y).
inline constexpr int32_t kMuteDx = 61, kMuteDy = -24;
inline constexpr int32_t kVoiceDx = 77, kVoiceDy = -22;
inline constexpr int32_t kVolumeDx = 63, kExpressionDx = 68, kEnvelopeDx = 73, kOutputDx = 78;
inline constexpr int32_t kBendDx = 61, kBendDy = 51;
inline constexpr int32_t kPanDx = 61, kPanDy = 62;
inline constexpr int32_t kProgramDx = 76, kProgramDy = 75;
inline constexpr int32_t kBankDx = 76, kBankDy = 86;
inline constexpr int32_t kPictureDx = 62, kPictureDy = 96;
inline constexpr int32_t kFrequencyDx = 64, kFrequencyDy = 116;
inline constexpr int32_t kHoldDx = 61, kHoldDy = 125;

// Display colours, 0x00BBGGRR.
inline constexpr uint32_t kTextPeach = 0xA2D2FF;  // song line, filled buffer meter, inactive title
inline constexpr uint32_t kBarOrange = 0x5F82DF;  // empty bars, waveform icon background
inline constexpr uint32_t kProgressRust = 0x3F59B2;  // played position, authoring progress
inline constexpr uint32_t kMessageBrown = 0x091F5C;  // message text
inline constexpr uint32_t kTitleWhite = 0xFFFFFF;
inline constexpr uint32_t kKeyMagenta = 0xFF00FF;

// Transition animation.
inline constexpr int32_t kTransitionTickMs = 50;

}  // namespace zeblo::skin

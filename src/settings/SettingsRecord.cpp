#include "settings/SettingsRecord.h"

#include <cstring>

namespace zeblo {

SettingsRecord DefaultSettings() {
    SettingsRecord r;
    std::memset(&r, 0, sizeof r);
    std::memcpy(r.magic, kSettingsMagic, sizeof kSettingsMagic);
    r.outputDevice = -1;
    r.outputFrequency = 44100;
    r.autoDetune = 1;
    r.redrawRate = 10;
    r.blockLength = 20;
    r.drumSet = 0;
    r.displayOffsetMode = 0;
    r.instrumentSet = 0;
    r.blockCount = 10;
    r.keepRunningOnUnderrun = 0;
    r.monauralOutput = 0;
    r.lowPassEnabled = 0;
    r.lowPassCutoff = 10050;
    r.windowLeft = 0;
    r.windowTop = 0;
    r.startCounter = 0;
    return r;
}

}  // namespace zeblo

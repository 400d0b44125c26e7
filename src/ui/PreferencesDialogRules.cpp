#include "ui/PreferencesDialogRules.h"

#include <array>
#include <string>

#include "settings/Settings.h"
#include "settings/SettingsLimits.h"
#include "ui/PreferencesDialogItems.h"

namespace zeblo {
namespace {

template <std::size_t N>
int32_t IndexOf(const std::array<prefs::Item, N>& items, int32_t value) {
    for (std::size_t i = 0; i < N; ++i)
        if (items[i].value == value) return static_cast<int32_t>(i);
    return -1;
}

template <std::size_t N>
void StoreIndex(const std::array<prefs::Item, N>& items, int32_t index, int32_t& field) {
    if (index >= 0 && static_cast<std::size_t>(index) < N) field = items[index].value;
}

}  // namespace

PreferencesMembers MembersFromRecord(const SettingsRecord& r) {
    PreferencesMembers m;
    m.device = r.outputDevice + 1;
    m.frequency = IndexOf(prefs::kFrequencyItems, r.outputFrequency);
    m.detune = IndexOf(prefs::kDetuneItems, r.autoDetune);
    m.redraw = IndexOf(prefs::kRedrawItems, r.redrawRate);
    m.instrumentSet = IndexOf(prefs::kInstrumentSetItems, r.instrumentSet);
    m.drumSet = IndexOf(prefs::kDrumSetItems, r.drumSet);
    m.blockLength = r.blockLength == prefs::kUnlistedBlockLength
                        ? prefs::kUnlistedBlockLengthIndex
                        : IndexOf(prefs::kBlockSizeItems, r.blockLength);
    m.blockCount = IndexOf(prefs::kBlockCountItems, r.blockCount);
    m.hiddenOption = IndexOf(prefs::kHiddenOptionItems, r.displayOffsetMode);
    m.monaural = r.monauralOutput;
    m.keepRunning = r.keepRunningOnUnderrun;
    m.lowPass = r.lowPassEnabled;
    m.cutoff = r.lowPassCutoff;
    return m;
}

void StoreMembers(const PreferencesMembers& m, SettingsRecord& r) {
    StoreIndex(prefs::kDetuneItems, m.detune, r.autoDetune);
    StoreIndex(prefs::kInstrumentSetItems, m.instrumentSet, r.instrumentSet);
    StoreIndex(prefs::kDrumSetItems, m.drumSet, r.drumSet);
    StoreIndex(prefs::kHiddenOptionItems, m.hiddenOption, r.displayOffsetMode);
    StoreIndex(prefs::kFrequencyItems, m.frequency, r.outputFrequency);
    StoreIndex(prefs::kRedrawItems, m.redraw, r.redrawRate);
    StoreIndex(prefs::kBlockSizeItems, m.blockLength, r.blockLength);
    StoreIndex(prefs::kBlockCountItems, m.blockCount, r.blockCount);
    WriteShared(r.monauralOutput, m.monaural);
    WriteShared(r.keepRunningOnUnderrun, m.keepRunning);
    WriteShared(r.lowPassEnabled, m.lowPass);
    WriteShared(r.lowPassCutoff, m.cutoff);
    if (m.device >= 0) r.outputDevice = m.device - 1;
    ResetOutOfRangeFields(r);
}

void CorrectLowPass(SettingsRecord& r, UserPrompt& prompt) {
    if (!ReadShared(r.lowPassEnabled)) return;
    const int32_t half = r.outputFrequency / 2;
    std::string message = kLowPassRangeMessage;
    message.replace(message.find("%d"), 2, std::to_string(half));
    if (ReadShared(r.lowPassCutoff) > half) {
        WriteShared(r.lowPassCutoff, half);
        prompt.Ask(message, PromptButtons::Ok, PromptIcon::Information);
    }
    if (ReadShared(r.lowPassCutoff) < kMinLowPassCutoff) {
        WriteShared(r.lowPassCutoff, kMinLowPassCutoff);
        prompt.Ask(message, PromptButtons::Ok, PromptIcon::Information);
    }
}

PreferencesChange ClassifyChanges(const SettingsRecord& a, const SettingsRecord& b) {
    PreferencesChange c;
    c.restart = a.outputFrequency != b.outputFrequency || a.redrawRate != b.redrawRate ||
                a.blockLength != b.blockLength || a.blockCount != b.blockCount;
    c.deviceChanged = a.outputDevice != b.outputDevice;
    c.nextPlay = a.autoDetune != b.autoDetune || c.deviceChanged;
    if (a.outputFrequency != b.outputFrequency || a.autoDetune != b.autoDetune ||
        a.redrawRate != b.redrawRate || a.blockLength != b.blockLength ||
        a.blockCount != b.blockCount || a.drumSet != b.drumSet ||
        a.displayOffsetMode != b.displayOffsetMode || a.instrumentSet != b.instrumentSet ||
        a.monauralOutput != b.monauralOutput || a.lowPassEnabled != b.lowPassEnabled ||
        a.lowPassCutoff != b.lowPassCutoff) {
        c.quiet = false;
    }
    if (a.keepRunningOnUnderrun != b.keepRunningOnUnderrun) c.quiet = true;
    return c;
}

const char* ChangeNotice(const PreferencesChange& c) {
    if (c.restart || !(c.deviceChanged || !c.quiet)) return nullptr;
    return c.nextPlay ? kNextPlayNotice : kAfterBufferNotice;
}

}  // namespace zeblo

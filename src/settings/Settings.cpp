#include "settings/Settings.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <limits>
#include <system_error>
#include <utility>

#include "settings/SettingsLimits.h"
#include "settings/SettingsMessages.h"

namespace zeblo {
namespace {

template <typename Values>
bool IsOneOf(const Values& values, int32_t value) {
    return std::find(values.begin(), values.end(), value) != values.end();
}

template <typename Values>
void KeepIfOneOf(int32_t& field, const Values& values, int32_t fallback) {
    if (!IsOneOf(values, field)) field = fallback;
}

void KeepIfWithin(int32_t& field, int32_t low, int32_t high, int32_t fallback) {
    if (field < low || field > high) field = fallback;
}

}  // namespace

std::string ExecutablePath() {
    std::error_code error;
    std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return {};
    return path.string();
}

std::string PreferencesPath(std::string_view executablePath) {
    // The folder is everything up to the last '/'. Unlike a Windows backslash (0x5C), '/' (0x2F)
    // can never be the trail byte of a Shift-JIS character (those are 0x40 and up), so the last
    // '/' byte is always a real separator and the folder always ends with one.
    const std::size_t slash = executablePath.rfind('/');
    std::string path;
    if (slash != std::string_view::npos) path.assign(executablePath.substr(0, slash + 1));
    path += kPreferencesFileName;
    return path;
}

bool HasCurrentMagic(const SettingsRecord& record) {
    return std::memcmp(record.magic, kSettingsMagic, sizeof kSettingsMagic) == 0;
}

// The program itself checks only the cut-off; a hand-edited file could hold anything else, and a
// zero block length or block count would leave playback without a buffer. So each field outside
// the values the Preferences dialog offers falls back to its own default, alone: blockBytes and
// the block count can never be 0. displayOffsetMode means something for every value, the window
// position may be anywhere, and the cut-off has its own rule (CheckLowPass).
void ResetOutOfRangeFields(SettingsRecord& record) {
    const SettingsRecord defaults = DefaultSettings();
    if (record.outputDevice < kMinOutputDevice) record.outputDevice = defaults.outputDevice;
    KeepIfOneOf(record.outputFrequency, kOutputFrequencies, defaults.outputFrequency);
    KeepIfOneOf(record.autoDetune, kAutoDetuneValues, defaults.autoDetune);
    KeepIfOneOf(record.redrawRate, kRedrawRates, defaults.redrawRate);
    KeepIfOneOf(record.blockLength, kBlockLengths, defaults.blockLength);
    KeepIfWithin(record.drumSet, 0, kDrumSetCount - 1, defaults.drumSet);
    KeepIfWithin(record.instrumentSet, 0, kInstrumentSetCount - 1, defaults.instrumentSet);
    KeepIfOneOf(record.blockCount, kBlockCounts, defaults.blockCount);
    KeepIfOneOf(record.keepRunningOnUnderrun, kSwitchValues, defaults.keepRunningOnUnderrun);
    KeepIfOneOf(record.monauralOutput, kSwitchValues, defaults.monauralOutput);
    KeepIfOneOf(record.lowPassEnabled, kSwitchValues, defaults.lowPassEnabled);
    if (record.startCounter < 0) record.startCounter = defaults.startCounter;
}

void CheckLowPass(SettingsRecord& record) {
    if (record.lowPassCutoff > record.outputFrequency / 2 ||
        record.lowPassCutoff < kMinLowPassCutoff) {
        record.lowPassEnabled = 0;
    }
}

int32_t BlockBytes(int32_t blockLength, int32_t outputFrequency) {
    // Whole tenths of a second of 4-byte frames; exact for every offered length and rate.
    const int64_t bytes = int64_t{blockLength} * outputFrequency * 4 / 10;
    return static_cast<int32_t>(std::clamp<int64_t>(bytes, 0, std::numeric_limits<int32_t>::max()));
}

void ComputeEngineParameters(const SettingsRecord& record, EngineParameters& parameters) {
    parameters.sampleRate = record.outputFrequency;
    parameters.blockBytes = BlockBytes(record.blockLength, record.outputFrequency);
    parameters.redrawRate = record.redrawRate;
    parameters.blockCount = record.blockCount;
    RefreshLiveParameters(record, parameters);
}

void RefreshLiveParameters(const SettingsRecord& record, EngineParameters& parameters) {
    parameters.activeDrumSet.store(record.drumSet);
    parameters.activeInstrumentSet.store(record.instrumentSet);
    parameters.autoDetune.store(record.autoDetune != 0);
    parameters.monauralOutput.store(record.monauralOutput != 0);
    parameters.lowPassEnabled.store(record.lowPassEnabled != 0);
    parameters.lowPassCutoff.store(record.lowPassCutoff);
}

Settings::Settings(UserPrompt& prompt) : prompt_(prompt) {}

void Settings::LoadSettings() {
    const std::string executable = ExecutablePath();
    LoadSettingsFrom(LocatePreferencesFile(PreferencesPath(executable),
                                           PreferencesSearch::FromProcess(executable)));
}

void Settings::LoadSettings(std::string_view executablePath) {
    LoadSettingsFrom({PreferencesPath(executablePath), false});
}

void Settings::LoadSettingsFrom(PreferencesLocation location) {
    preferences.SetLocation(std::move(location));

    SettingsRecord loaded;
    std::memset(&loaded, 0, sizeof loaded);
    const bool valid = preferences.Load(&loaded, sizeof loaded) && HasCurrentMagic(loaded);

    bool welcome = true;
    if (valid) {
        record = loaded;
        ResetOutOfRangeFields(record);
        if (record.startCounter != 0) {
            welcome = false;
            // Counting stops at the top rather than wrapping to a negative count.
            if (record.startCounter < std::numeric_limits<int32_t>::max()) ++record.startCounter;
        }
    } else {
        prompt_.Ask(kSettingsRecreatedMessage, PromptButtons::Ok, PromptIcon::Information);
        // Built whole from the defaults, so nothing of a short or foreign file survives.
        record = DefaultSettings();
    }
    if (welcome &&
        prompt_.Ask(kWelcomeMessage, PromptButtons::OkCancel, PromptIcon::Information) ==
            PromptAnswer::Cancel &&
        !prompt_.Withdrawn()) {
        record.startCounter = 1;
    }

    CheckLowPass(record);
    ComputeEngineParameters(record, parameters);
}

bool Settings::SaveAfterPreferences() {
    return Save(kPreferencesSaveFailedMessage);
}

bool Settings::SaveOnExit(int32_t windowLeft, int32_t windowTop) {
    record.windowLeft = windowLeft;
    record.windowTop = windowTop;
    return Save(kExitSaveFailedMessage);
}

void Settings::RefreshActiveSets() {
    RefreshLiveParameters(record, parameters);
}

bool Settings::Save(const char* failureMessage) {
    if (preferences.Save(&record, sizeof record)) return true;
    prompt_.Ask(failureMessage, PromptButtons::Ok, PromptIcon::Error);
    return false;
}

}  // namespace zeblo

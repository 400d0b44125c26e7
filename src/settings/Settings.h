// The settings of one process: the record, the working values derived from it, the preferences
// file, and the start-up load and the two saves with their messages.
//
// Threads: the user-interface thread calls every operation here (LoadSettings once at start-up,
// the saves after the Preferences dialog and at window destruction). The render thread reads only
// `parameters`.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "settings/EngineParameters.h"
#include "settings/PreferencesFile.h"
#include "settings/SettingsRecord.h"
#include "settings/UserPrompt.h"

namespace zeblo {

// The running executable's full path, from /proc/self/exe; empty if it cannot be read.
std::string ExecutablePath();

// The preferences file's path in the folder of `executablePath`.
std::string PreferencesPath(std::string_view executablePath);

// The record carries the current magic, NUL included.
bool HasCurrentMagic(const SettingsRecord& record);

// Puts every field the user interface could not have produced back to its default.
void ResetOutOfRangeFields(SettingsRecord& record);

// Switches the filter off when its cut-off lies outside 100 ... outputFrequency / 2; the cut-off
// itself is kept.
void CheckLowPass(SettingsRecord& record);

// One output block in bytes: blockLength tenths of a second of 16-bit stereo.
int32_t BlockBytes(int32_t blockLength, int32_t outputFrequency);

void ComputeEngineParameters(const SettingsRecord& record, EngineParameters& parameters);
// The parameters' atomics from the record: what may change while the render thread runs.
void RefreshLiveParameters(const SettingsRecord& record, EngineParameters& parameters);

class Settings {
public:
    explicit Settings(UserPrompt& prompt);

    // Start-up: finds the file (LocatePreferencesFile), reads or recreates the record, asks the
    // welcome question and derives `parameters`. Nothing is written.
    void LoadSettings();
    // The same with the file beside `executablePath`, wherever that is.
    void LoadSettings(std::string_view executablePath);
    void LoadSettingsFrom(PreferencesLocation location);

    // After the Preferences dialog closed with OK. Tells the user when the file cannot be written.
    bool SaveAfterPreferences();
    // At main-window destruction: keeps the window's restored position, then saves.
    bool SaveOnExit(int32_t windowLeft, int32_t windowTop);

    // After the Preferences dialog closed with OK: the sets act from the next notes on, the
    // output switches from the next render call, the detune switch from the next reset.
    void RefreshActiveSets();

    SettingsRecord record = DefaultSettings();
    EngineParameters parameters;
    PreferencesFile preferences;

private:
    bool Save(const char* failureMessage);

    UserPrompt& prompt_;
};

}  // namespace zeblo

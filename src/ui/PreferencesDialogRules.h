// What the Preferences dialog does with the record, apart from its window: the members it holds,
// their transfer to and from the record, the low-pass correction, and the classification of the
// changes after OK.
//
// Threads: user-interface thread only.
#pragma once

#include <cstdint>

#include "settings/SettingsRecord.h"
#include "settings/UserPrompt.h"

namespace zeblo {

// One member per control: combo selections as indexes (-1: none), check boxes 0/1, the cut-off.
struct PreferencesMembers {
    int32_t device = -1;
    int32_t frequency = -1;
    int32_t detune = -1;
    int32_t redraw = -1;
    int32_t instrumentSet = -1;
    int32_t drumSet = -1;
    int32_t blockLength = -1;
    int32_t blockCount = -1;
    int32_t hiddenOption = -1;
    int32_t monaural = 0;
    int32_t keepRunning = 0;
    int32_t lowPass = 0;
    int32_t cutoff = 0;
};

// A value without an item gives index -1 (a block length of 1 gives its item-less index 6).
PreferencesMembers MembersFromRecord(const SettingsRecord& record);

// A combo without a selection (or with an index that stands for no value) leaves its field as it
// was: an edited file's value is kept rather than replaced by -1, which the sound modules would
// use as a table index, and a device missing from today's list stays chosen for when it returns.
// Fields that even so hold nothing the program can use fall back to their defaults.
void StoreMembers(const PreferencesMembers& members, SettingsRecord& record);

inline constexpr char kLowPassRangeMessage[] =
    "Low-pass filter range is from 100 to the half of specified Output Frequency (%d).\r\n"
    "Your setting was modifyed.";

// With the filter on, pulls the cut-off into 100 ... outputFrequency / 2, telling the user
// (with outputFrequency / 2) for each bound it was pulled to.
void CorrectLowPass(SettingsRecord& record, UserPrompt& prompt);

struct PreferencesChange {
    bool restart = false;   // takes effect after the program starts again
    bool nextPlay = false;  // takes effect at the next play
    bool quiet = true;      // nothing to tell about
    bool deviceChanged = false;
};

PreferencesChange ClassifyChanges(const SettingsRecord& before, const SettingsRecord& after);

inline constexpr char kNextPlayNotice[] = "\r\nEnable to setting on the next play.";
inline constexpr char kAfterBufferNotice[] =
    "\r\nThis settings becomes effective after,\r\n all data in buffer was play.";
inline constexpr int32_t kNoticeMs = 3000;

// The panel message for a change that needs no restart; nullptr when nothing is to be said.
const char* ChangeNotice(const PreferencesChange& change);

}  // namespace zeblo

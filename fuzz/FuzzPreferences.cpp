// Loads arbitrary bytes as the preferences file. Whatever the file holds, the record that results
// must already be one the user interface could have produced, and saving it then loading it back
// must give the same record.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "settings/RecordingPrompt.h"
#include "settings/Settings.h"

namespace {

using namespace zeblo;

const std::string& FilePath() {
    static const std::string path = "/tmp/zeblo-fuzz-preferences-" + std::to_string(getpid());
    return path;
}

bool WriteBytes(const uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(FilePath().c_str(), "wb");
    if (!file) return false;
    const bool written = std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!WriteBytes(data, size)) return 0;
    RecordingPrompt prompt(PromptAnswer::Cancel);
    Settings settings(prompt);
    settings.LoadSettingsFrom({FilePath(), false});
    SettingsRecord checked = settings.record;
    ResetOutOfRangeFields(checked);
    CheckLowPass(checked);
    if (std::memcmp(&checked, &settings.record, sizeof checked) != 0) __builtin_trap();
    if (BlockBytes(settings.record.blockLength, settings.record.outputFrequency) <= 0)
        __builtin_trap();

    if (!settings.preferences.Save(&settings.record, sizeof settings.record)) return 0;
    Settings again(prompt);
    again.LoadSettingsFrom({FilePath(), false});
    again.record.startCounter = settings.record.startCounter;  // each load counts one start more
    if (std::memcmp(&again.record, &settings.record, sizeof checked) != 0) __builtin_trap();
    return 0;
}

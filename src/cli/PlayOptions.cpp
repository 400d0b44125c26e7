#include <algorithm>
#include <array>
#include <charconv>

#include "cli/PlayCommand.h"
#include "settings/Settings.h"
#include "settings/SettingsLimits.h"

namespace zeblo {

namespace {

constexpr std::array<CliOption, 11> kOptions = {{
    {"--engine", "NAME", "sound module: wavetable (default) or fm"},
    {"--rate", "HZ", "output sample rate: 48000, 44100 (default), 22050", "-r"},
    {"--instrument-set", "N", "wavetable instrument set 0..7 (0)"},
    {"--no-detune", "", "no automatic detune"},
    {"--mono", "", "fold the wavetable mix down to mono"},
    {"--lowpass", "HZ", "low-pass cut-off, 100 .. rate / 2 (off by default)"},
    {"--blocks", "N", "output blocks in the ring: 5, 10, 15, 20, 25 or 30 (10)"},
    {"--block-length", "TENTHS", "one block in tenths of a second: 1, 2, 5, 10, 20, 30, 60 (20)"},
    {"--device", "N", "output device: 0 the default (default), N the N-th named device"},
    {"--once", "", "play the song once and end, instead of looping"},
    {"--quiet", "", "no status line", "-q"},
}};

bool ParseInt(const std::string& text, int32_t& value) {
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

template <std::size_t N>
bool OneOf(int32_t value, const std::array<int32_t, N>& allowed) {
    return std::find(allowed.begin(), allowed.end(), value) != allowed.end();
}

}  // namespace

std::span<const CliOption> PlayOptions() {
    return kOptions;
}

bool PlaySettingsFromArgs(const CliArgs& args, SettingsRecord& record, bool& fmEngine,
                          std::string& error) {
    record = DefaultSettings();
    if (!ParseSampleRate(args, record.outputFrequency, error)) return false;
    const std::string engineName = args.Get("--engine", "wavetable");
    if (engineName != "wavetable" && engineName != "fm") {
        error = "--engine must be wavetable or fm, not '" + engineName + "'";
        return false;
    }
    fmEngine = engineName == "fm";

    struct Numeric {
        const char* name;
        int32_t* field;
        bool (*valid)(int32_t);
        const char* rule;
    };
    int32_t device = 0;
    const std::array<Numeric, 5> numbers = {{
        {"--instrument-set", &record.instrumentSet,
         [](int32_t v) { return v >= 0 && v < kInstrumentSetCount; }, "0 .. 7"},
        {"--lowpass", &record.lowPassCutoff, [](int32_t v) { return v > 0; }, "a frequency in Hz"},
        {"--blocks", &record.blockCount, [](int32_t v) { return OneOf(v, kBlockCounts); },
         "5, 10, 15, 20, 25 or 30"},
        {"--block-length", &record.blockLength, [](int32_t v) { return OneOf(v, kBlockLengths); },
         "1, 2, 5, 10, 20, 30 or 60"},
        {"--device", &device, [](int32_t v) { return v >= 0; }, "0 or more"},
    }};
    for (const Numeric& n : numbers) {
        if (!args.Has(n.name)) continue;
        int32_t value = 0;
        if (!ParseInt(args.Get(n.name), value) || !n.valid(value)) {
            error = std::string(n.name) + " must be " + n.rule + ", not '" + args.Get(n.name) + "'";
            return false;
        }
        *n.field = value;
    }
    record.outputDevice = device - 1;  // entry 0 of the device list is the system's default
    record.autoDetune = args.Has("--no-detune") ? 0 : 1;
    record.monauralOutput = args.Has("--mono") ? 1 : 0;
    record.lowPassEnabled = args.Has("--lowpass") ? 1 : 0;
    CheckLowPass(record);
    return true;
}

}  // namespace zeblo

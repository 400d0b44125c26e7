#include "cli/PlayCommand.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>

#include "cli/PlayStatus.h"
#include "engine/EngineContext.h"
#include "engine/Player.h"
#include "engine/PlayerRenderer.h"
#include "engine/Renderer.h"
#include "engine/WaveOutDevice.h"
#include "midi/RcpConverter.h"
#include "settings/Settings.h"
#include "settings/SettingsLimits.h"

namespace zeblo {

namespace {

constexpr std::array<CliOption, 11> kOptions = {{
    {"--engine", "NAME", "sound module: wavetable (default) or fm"},
    {"--rate", "HZ", "output sample rate: 48000, 44100 (default), 22050"},
    {"--instrument-set", "N", "wavetable instrument set 0..7 (0)"},
    {"--no-detune", "", "no automatic detune"},
    {"--mono", "", "fold the wavetable mix down to mono"},
    {"--lowpass", "HZ", "low-pass cut-off, 100 .. rate / 2 (off by default)"},
    {"--blocks", "N", "output blocks in the ring: 5, 10, 15, 20, 25 or 30 (10)"},
    {"--block-length", "TENTHS", "one block in tenths of a second: 1, 2, 5, 10, 20, 30, 60 (20)"},
    {"--device", "N", "output device: 0 the default (default), N the N-th named device"},
    {"--once", "", "play the song once and end, instead of looping"},
    {"--quiet", "", "no status line"},
}};

// How often the status line is redrawn, and how long one wait for the device lasts.
constexpr std::chrono::milliseconds kStatusInterval{250};
constexpr std::chrono::milliseconds kNotificationWait{20};
constexpr std::size_t kStatusWidth = 79;  // columns

bool ParseInt(const std::string& text, int32_t& value) {
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

template <std::size_t N>
bool OneOf(int32_t value, const std::array<int32_t, N>& allowed) {
    return std::find(allowed.begin(), allowed.end(), value) != allowed.end();
}

// The program's texts break lines with "\r\n"; a terminal wants "\n", and no empty first line.
std::string TerminalText(std::string_view text) {
    std::string s;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        s += text[i];
    }
    s.erase(0, s.find_first_not_of('\n'));
    return s;
}

class TerminalPrompt final : public UserPrompt {
public:
    explicit TerminalPrompt(std::ostream& err) : err_(err) {}
    virtual ~TerminalPrompt() = default;
    PromptAnswer Ask(std::string_view text, PromptButtons, PromptIcon) override {
        err_ << "zeblo-cli: " << TerminalText(text) << "\n";
        return PromptAnswer::Ok;
    }

private:
    std::ostream& err_;
};

// The terminal has no display: messages go to the error stream, a Ctrl-C while the stream is
// prebuffering ends the start.
class TerminalView final : public PlayerView {
public:
    explicit TerminalView(std::ostream& err) : err_(err) {}
    virtual ~TerminalView() = default;

    void DropMessage() override {}
    void Invalidate(bool) override {}
    void Update() override {}
    void ShowMessage(std::string_view text, int32_t) override {
        err_ << "zeblo-cli: " << TerminalText(text) << "\n";
    }
    void ResetDisplayRecords() override {
        if (renderer) renderer->Snapshots().Clear();
    }
    void ProcessPendingEvent() override {
        if (InterruptRequested() && player) player->StopPlayback();
    }
    void PostPlayCurrent() override {}
    void PostAuthoringEnded() override {}

    Player* player = nullptr;
    Renderer* renderer = nullptr;

private:
    std::ostream& err_;
};

}  // namespace

std::span<const CliOption> PlayOptions() {
    return kOptions;
}

bool PlaySettingsFromArgs(const CliArgs& args, SettingsRecord& record, int32_t& engine,
                          std::string& error) {
    record = DefaultSettings();
    if (!ParseSampleRate(args, record.outputFrequency, error)) return false;
    const std::string engineName = args.Get("--engine", "wavetable");
    if (engineName != "wavetable" && engineName != "fm") {
        error = "--engine must be wavetable or fm, not '" + engineName + "'";
        return false;
    }
    engine = engineName == "fm" ? kEngineOpll : kEngineWavetable;

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

int RunPlay(const CliArgs& args, std::ostream& out, std::ostream& err) {
    (void)out;
    if (args.positional.size() != 1) {
        err << "zeblo-cli: play needs exactly one SONG\n";
        return kExitUsage;
    }
    TerminalPrompt prompt(err);
    OutputSlots slots;
    Settings settings(prompt, slots);
    int32_t engineFlag = kEngineWavetable;
    std::string error;
    if (!PlaySettingsFromArgs(args, settings.record, engineFlag, error)) {
        err << "zeblo-cli: " << error << "\n";
        return kExitUsage;
    }
    ComputeEngineParameters(settings.record, settings.parameters);

    EngineContext engine(settings.record, settings.parameters);
    engine.engineFlag.store(engineFlag);
    Renderer renderer(engine);
    PlayerRenderer renderLoop(renderer);
    PlaybackState playback;
    BufferDoneQueue notifications;
    WaveOutDevice device(prompt, notifications);
    TerminalView view(err);
    RcpConverter converter(prompt);
    converter.Load();

    Player player(PlayerParts{
        engine, settings, playback, device, slots, prompt, renderLoop, view,
        [&converter](const std::string& path, UserPrompt&) {
            return converter.ConvertRcpFile(path);
        },
        {}});
    view.player = &player;
    view.renderer = &renderer;
    player.loopSongs = !args.Has("--once");

    InstallInterruptHandler();
    ClearInterrupt();
    playback.currentPath = args.positional[0];
    player.PlayFile();
    if (playback.playState.load() == 0 || !device.IsOpen()) {
        player.StopPlayback();
        return kExitFailed;
    }

    const bool status = !args.Has("--quiet") && isatty(STDERR_FILENO) != 0;
    PlayStatus line;
    line.title = engine.sequencer.SongTitleSet() ? engine.sequencer.SongTitle() : args.positional[0];
    line.lengthFrames = playback.totalSamples.load();
    line.sampleRate = settings.parameters.sampleRate;
    auto nextStatus = std::chrono::steady_clock::now();
    while (!InterruptRequested() && !player.Finished() && playback.playState.load() != 0) {
        player.HandleNotification(kNotificationWait);
        if (!status || std::chrono::steady_clock::now() < nextStatus) continue;
        nextStatus += kStatusInterval;
        uint64_t position = 0;
        device.GetPosition(position);
        position -= std::min<uint64_t>(position, playback.silenceFrames.load());
        line.positionFrames = line.lengthFrames ? position % line.lengthFrames : position;
        line.filledSlots = player.streaming().FilledSlots();
        line.ringSize = player.streaming().ringSize();
        line.underruns = player.streaming().underruns();
        err << "\r" << FormatPlayStatus(line, kStatusWidth) << std::flush;
    }
    if (status) err << "\n";
    player.StopPlayback();
    return kExitOk;
}

}  // namespace zeblo

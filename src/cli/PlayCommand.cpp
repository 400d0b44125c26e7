#include "cli/PlayCommand.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "audio/PlayerStack.h"
#include "audio/WaveOutDevice.h"
#include "cli/PlayStatus.h"
#include "engine/BufferDoneQueue.h"
#include "settings/Settings.h"

namespace zeblo {

namespace {

// How often the status line is redrawn, and how long one wait for the device lasts.
constexpr std::chrono::milliseconds kStatusInterval{250};
constexpr std::chrono::milliseconds kNotificationWait{20};
constexpr std::size_t kStatusWidth = 79;  // columns

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
class TerminalListener final : public PlayerListener {
public:
    explicit TerminalListener(std::ostream& err) : err_(err) {}

    void ShowMessage(std::string_view text, int32_t) override {
        err_ << "zeblo-cli: " << TerminalText(text) << "\n";
    }
    bool AbandonWait() override { return InterruptRequested(); }

private:
    std::ostream& err_;
};

}  // namespace

int ListDevices(std::ostream& out, std::ostream& err) {
    TerminalPrompt prompt(err);
    BufferDoneQueue queue;
    WaveOutDevice device(prompt, queue);
    const std::vector<std::string> names = device.DeviceNames();
    for (std::size_t i = 0; i < names.size(); ++i)
        out << i << "  " << names[i] << (i == 0 ? "  (the system's default)" : "") << "\n";
    return kExitOk;
}

int RunPlay(const CliArgs& args, std::ostream& out, std::ostream& err) {
    if (args.Has("--list-devices")) return ListDevices(out, err);
    if (args.positional.size() != 1) {
        err << "zeblo-cli: play needs exactly one SONG\n";
        return kExitUsage;
    }
    TerminalPrompt prompt(err);
    Settings settings(prompt);
    bool fmEngine = false;
    std::string error;
    if (!PlaySettingsFromArgs(args, settings.record, fmEngine, error)) {
        err << "zeblo-cli: " << error << "\n";
        return kExitUsage;
    }
    ComputeEngineParameters(settings.record, settings.parameters);
    if (args.Has("--smf-tempo")) settings.parameters.initialTempoBpm = kSmfTempoBpm;

    const std::unique_ptr<PlayerStack> stack = MakePlayerStack(settings, prompt);
    stack->engine.engineFlag.store(fmEngine ? kEngineOpll : kEngineWavetable);
    TerminalListener listener(err);
    Player& player = stack->player;
    PlaybackState& playback = stack->playback;
    player.SetListener(listener);
    player.loopSongs = !args.Has("--once");

    InstallInterruptHandler();
    ClearInterrupt();
    playback.currentPath = args.positional[0];
    player.PlayFile();
    if (!playback.playing.load() || !stack->device.IsOpen()) {
        player.StopPlayback();
        return kExitFailed;
    }

    const bool status = !args.Has("--quiet") && isatty(STDERR_FILENO) != 0;
    PlayStatus line;
    const Sequencer& sequencer = stack->engine.sequencer;
    line.title = sequencer.SongTitleSet() ? sequencer.SongTitle() : args.positional[0];
    line.lengthFrames = playback.totalSamples.load();
    line.sampleRate = settings.parameters.sampleRate;
    auto nextStatus = std::chrono::steady_clock::now();
    while (!InterruptRequested() && !player.Finished() && playback.playing.load()) {
        player.HandleNotification(kNotificationWait);
        if (!status || std::chrono::steady_clock::now() < nextStatus) continue;
        nextStatus += kStatusInterval;
        uint64_t position = 0;
        stack->device.GetPosition(position);
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

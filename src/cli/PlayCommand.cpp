#include "cli/PlayCommand.h"

#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <numeric>
#include <random>

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

namespace {

enum class Key { kNone, kPause, kBack, kForward, kNext, kPrevious, kSpeed, kQuit };

// Standard input as single key presses while it is a terminal; the old mode comes back when
// this goes, which every exit path (signals only raise the interrupt flag) passes through.
class KeyReader {
public:
    KeyReader() {
        if (isatty(STDIN_FILENO) == 0 || tcgetattr(STDIN_FILENO, &saved_) != 0) return;
        termios raw = saved_;
        raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
        raw.c_cc[VMIN] = 0;
        raw.c_cc[VTIME] = 0;
        active_ = tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
    }
    ~KeyReader() {
        if (active_) tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
    }
    Key Read() const {
        if (!active_) return Key::kNone;
        char bytes[8];
        const ssize_t count = read(STDIN_FILENO, bytes, sizeof bytes);
        if (count <= 0) return Key::kNone;
        const std::string_view keys(bytes, static_cast<std::size_t>(count));
        if (keys == "\x1b[D") return Key::kBack;
        if (keys == "\x1b[C") return Key::kForward;
        switch (keys[0]) {
            case ' ':
                return Key::kPause;
            case 'n':
                return Key::kNext;
            case 'p':
                return Key::kPrevious;
            case 'f':
                return Key::kSpeed;
            case 'q':
                return Key::kQuit;
            default:
                return Key::kNone;
        }
    }

private:
    termios saved_{};
    bool active_ = false;
};

std::size_t TerminalWidth() {
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1) return size.ws_col - 1;
    return kStatusWidth;
}

struct Song {
    std::unique_ptr<PlayerStack>& stack;
    const Settings& settings;
    uint64_t offsetFrames = 0;  // where the last seek put the song, in frames

    uint64_t Position() const {
        uint64_t position = 0;
        stack->device.GetPosition(position);
        position -= std::min<uint64_t>(position, stack->playback.silenceFrames.load());
        return position;
    }
    // The tick for a time in frames, in proportion to the song's measured length.
    void SeekFrames(int64_t frames) {
        const uint64_t length = stack->playback.totalSamples.load();
        if (length == 0) return;
        const uint64_t now = (offsetFrames + Position()) % length;
        const int64_t target = std::clamp<int64_t>(static_cast<int64_t>(now) + frames, 0,
                                                   static_cast<int64_t>(length) - 1);
        stack->player.SeekToTick(static_cast<uint64_t>(target) * stack->playback.totalTicks.load() /
                                 length);
        offsetFrames = static_cast<uint64_t>(target) - std::min<uint64_t>(target, Position());
    }
};

}  // namespace

int RunPlay(const CliArgs& args, std::ostream& out, std::ostream& err) {
    if (args.Has("--list-devices")) return ListDevices(out, err);
    TerminalPrompt prompt(err);
    Settings settings(prompt);
    bool fmEngine = false;
    std::string error;
    if (!PlaySettingsFromArgs(args, settings.record, fmEngine, error)) {
        err << "zeblo-cli: " << error << "\n";
        return kExitUsage;
    }
    const double start = args.settings.startSeconds;
    ComputeEngineParameters(settings.record, settings.parameters);
    if (args.Has("--smf-tempo")) settings.parameters.initialTempoBpm = kSmfTempoBpm;

    std::unique_ptr<PlayerStack> stack = MakePlayerStack(settings, prompt);
    stack->engine.engineFlag.store(fmEngine ? kEngineOpll : kEngineWavetable);
    TerminalListener listener(err);
    Player& player = stack->player;
    PlaybackState& playback = stack->playback;
    player.SetListener(listener);
    // One song loops as the window's do; a list plays each song once.
    player.loopSongs = !args.Has("--once") && args.positional.size() == 1;

    std::vector<std::size_t> order(args.positional.size());
    std::iota(order.begin(), order.end(), 0);
    std::mt19937 random(std::random_device{}());
    if (args.Has("--shuffle")) std::shuffle(order.begin(), order.end(), random);
    InstallInterruptHandler();
    ClearInterrupt();
    const KeyReader keys;
    const bool status = !args.Has("--quiet") && isatty(STDERR_FILENO) != 0;
    int exitStatus = kExitOk;
    bool quit = false;
    for (std::size_t index = 0; index < order.size() && !quit && !InterruptRequested();) {
        const std::string& path = args.positional[order[index]];
        playback.currentPath = path;
        player.PlayFile();
        if (!playback.playing.load() || !stack->device.IsOpen()) {
            player.StopPlayback();
            exitStatus = kExitFailed;
            ++index;
            continue;
        }
        Song song{stack, settings};
        const int32_t rate = settings.parameters.sampleRate;
        if (start > 0) song.SeekFrames(static_cast<int64_t>(start * rate));
        PlayStatus line;
        const Sequencer& sequencer = stack->engine.sequencer;
        line.title = sequencer.SongTitleSet() ? sequencer.SongTitle() : path;
        line.lengthFrames = playback.totalSamples.load();
        line.sampleRate = rate;
        auto nextStatus = std::chrono::steady_clock::now();
        Key key = Key::kNone;
        while (!InterruptRequested() && !player.Finished() && playback.playing.load()) {
            player.HandleNotification(kNotificationWait);
            key = keys.Read();
            if (key == Key::kPause) player.Pause();
            if (key == Key::kSpeed) player.Speed();
            if (key == Key::kBack || key == Key::kForward)
                song.SeekFrames((key == Key::kBack ? -10 : 10) * static_cast<int64_t>(rate));
            if (key == Key::kNext || key == Key::kPrevious || key == Key::kQuit) break;
            if (!status || std::chrono::steady_clock::now() < nextStatus) continue;
            nextStatus += kStatusInterval;
            const uint64_t position = song.offsetFrames + song.Position();
            line.positionFrames = line.lengthFrames ? position % line.lengthFrames : position;
            line.filledSlots = player.streaming().FilledSlots();
            line.ringSize = player.streaming().ringSize();
            line.underruns = player.streaming().underruns();
            err << "\r" << FormatPlayStatus(line, TerminalWidth()) << "\x1b[K" << std::flush;
        }
        if (status) err << "\n";
        player.StopPlayback();
        quit = key == Key::kQuit;
        index = key == Key::kPrevious ? (index > 0 ? index - 1 : 0) : index + 1;
        if (index == order.size() && args.Has("--repeat")) {
            index = 0;
            if (args.Has("--shuffle")) std::shuffle(order.begin(), order.end(), random);
        }
    }
    return exitStatus;
}

}  // namespace zeblo

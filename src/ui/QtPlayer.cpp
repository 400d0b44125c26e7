#include "ui/QtPlayer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <algorithm>
#include <cmath>

#include "ipc/SharedBlock.h"
#include "modules/wavetable/WavetableTables.h"
#include "ui/CPlayerView.h"
#include "ui/TerminationSignals.h"

namespace zeblo {

const int8_t* EngineWaveforms::Samples(uint32_t wave) const {
    const uint32_t index = wave & 0xFF;
    if (index >= kWaveformRecordCount) return nullptr;
    if ((wave & kWaveFromRecord) != 0) return kWaveformRecords[index].samples;
    if ((wave & kWaveFromUploaded) == 0) return nullptr;
    return module_.UploadedWaveBytes(static_cast<int>(index));
}

namespace {

// 1/236 as the single-precision constant the bar has always used; the product is taken in
// double, so x = 180 with 96000 ticks lands exactly on tick 48000.
constexpr float kPerBarPixel = 0.0042372881f;

}  // namespace

SeekTarget ComputeSeek(int x, uint32_t samplesPerDisplayFrame, uint32_t displayFrame,
                       uint64_t totalSamples, uint64_t totalTicks, int32_t seekBarOffset) {
    const int p = x - skin::kPositionLeft;
    const double shown = totalSamples == 0
                             ? 0.0
                             : static_cast<double>(samplesPerDisplayFrame) * displayFrame /
                                       static_cast<double>(totalSamples) * skin::kPositionSpan +
                                   seekBarOffset;
    const int64_t a = static_cast<int64_t>(shown);
    SeekTarget target;
    target.seekBarOffset = seekBarOffset + p - static_cast<int32_t>(a % skin::kPositionSpan);
    target.tick = static_cast<uint64_t>(static_cast<double>(p) * static_cast<double>(kPerBarPixel) *
                                        static_cast<double>(totalTicks));
    return target;
}

QtPlayer::QtPlayer(PlayerStack& stack, UserPrompt& prompt, const SharedPathSource* sharedPath)
    : stack_(stack),
      player_(stack.player),
      playback_(stack.playback),
      prompt_(prompt),
      sharedPath_(sharedPath) {
    player_.SetListener(*this);
    // The audio thread only posts; the refill runs here, on the user-interface thread.
    stack_.notifications.SetWake([this] {
        QMetaObject::invokeMethod(
            this, [this] { player_.DrainNotifications(); }, Qt::QueuedConnection);
    });
}

QtPlayer::~QtPlayer() {
    player_.ShutDown();
    stack_.notifications.SetWake({});
}

void QtPlayer::AttachView(CPlayerView* view) {
    view_ = view;
    if (!view) return;
    // After the view's own destructor stopped playback: the authoring thread goes as well.
    connect(view, &QObject::destroyed, this, [this] { player_.ShutDown(); });
}

// Facade: plain reads of what the other threads publish.
int32_t QtPlayer::PlayState() const {
    return playback_.playing.load() ? 1 : 0;
}
int32_t QtPlayer::PauseState() const {
    return playback_.paused.load() ? 1 : 0;
}
int32_t QtPlayer::LoadingState() const {
    return playback_.loading.load() ? 1 : 0;
}
int32_t QtPlayer::AuthoringState() const {
    return playback_.authoring.load() ? 1 : 0;
}
int32_t QtPlayer::SpeedMode() const {
    return playback_.speedMode.load();
}
uint64_t QtPlayer::TotalSamples() const {
    return playback_.totalSamples.load();
}
uint64_t QtPlayer::TotalTicks() const {
    return playback_.totalTicks.load();
}
int32_t QtPlayer::DisplayFrame() const {
    return static_cast<int32_t>(playback_.displayFrame.load());
}
uint32_t QtPlayer::BytesAuthored() const {
    return player_.BytesAuthored();
}
uint32_t QtPlayer::WriteCount() const {
    return stack_.outputSlots.writeCount.load();
}
uint32_t QtPlayer::ReadCount() const {
    return stack_.outputSlots.readCount.load();
}
int32_t QtPlayer::UnderrunShown() const {
    return playback_.underrunShown.load() ? 1 : 0;
}
void QtPlayer::ClearUnderrunShown() {
    playback_.underrunShown.store(false);
}
int32_t QtPlayer::TakeUnderrunDisplayFrame() {
    return playback_.underrunDisplayFrames.fetch_sub(1);
}
int32_t QtPlayer::SeekBarOffset() const {
    return seekBarOffset_;
}
std::string QtPlayer::SongTitle() const {
    return stack_.engine.sequencer.SongTitleSet() ? std::string(stack_.engine.sequencer.SongTitle())
                                                  : std::string();
}
int32_t QtPlayer::SongTitleSet() const {
    return stack_.engine.sequencer.SongTitleSet() ? 1 : 0;
}
std::string QtPlayer::CurrentPath() const {
    return playback_.currentPath;
}
int32_t QtPlayer::EngineFlag() const {
    return stack_.engine.engineFlag.load();
}
int32_t QtPlayer::KeepRunningOnUnderrun() const {
    return ReadShared(stack_.settings.record.keepRunningOnUnderrun);
}
int32_t QtPlayer::IsDrumChannel(int c) const {
    return c >= 0 && c < kChannelCount && stack_.engine.wavetable.IsDrumChannel(c) ? 1 : 0;
}
int32_t QtPlayer::ActiveDrumSet() const {
    return stack_.settings.parameters.activeDrumSet.load();
}
const ModuleSharedState& QtPlayer::SharedState() const {
    return stack_.engine.shared;
}
int32_t QtPlayer::SampleRate() const {
    return stack_.settings.parameters.sampleRate;
}
int32_t QtPlayer::RedrawRate() const {
    return stack_.settings.parameters.redrawRate;
}
int32_t QtPlayer::BlockCount() const {
    return stack_.settings.parameters.blockCount;
}
SnapshotRing& QtPlayer::Snapshots() {
    return stack_.renderer.Snapshots();
}

// Control: the view has already refused clicks while loading or authoring.
void QtPlayer::Play() {
    player_.Play();
}
void QtPlayer::Speed() {
    player_.Speed();
}
void QtPlayer::Stop() {
    player_.Stop();
}
void QtPlayer::Pause() {
    player_.Pause();
}
void QtPlayer::Author() {
    player_.Author();
}
void QtPlayer::Preferences() {
    if (preferences) preferences();
}
void QtPlayer::Seek(int x) {
    if (!playback_.playing.load()) return;
    const SeekTarget target =
        ComputeSeek(x, player_.SamplesPerDisplayFrame(), playback_.displayFrame.load(),
                    playback_.totalSamples.load(), playback_.totalTicks.load(), seekBarOffset_);
    seekBarOffset_ = target.seekBarOffset;
    player_.SeekToTick(target.tick);
}
uint64_t QtPlayer::SongPosition() const {
    const uint64_t total = playback_.totalSamples.load();
    if (total == 0) return 0;
    const double shown =
        static_cast<double>(player_.SamplesPerDisplayFrame()) * playback_.displayFrame.load() +
        static_cast<double>(seekBarOffset_) * total / skin::kPositionSpan;
    const double wrapped = std::fmod(shown, static_cast<double>(total));
    return static_cast<uint64_t>(wrapped < 0 ? wrapped + total : wrapped);
}
void QtPlayer::SeekToSample(uint64_t sample) {
    const uint64_t total = playback_.totalSamples.load();
    if (!playback_.playing.load() || total == 0) return;
    const double f = static_cast<double>(std::min(sample, total - 1)) / static_cast<double>(total);
    const SeekTarget target =
        ComputeSeek(skin::kPositionLeft + static_cast<int>(f * skin::kPositionSpan),
                    player_.SamplesPerDisplayFrame(), playback_.displayFrame.load(), total,
                    playback_.totalTicks.load(), seekBarOffset_);
    seekBarOffset_ = target.seekBarOffset;
    player_.SeekToTick(static_cast<uint64_t>(f * static_cast<double>(playback_.totalTicks.load())));
}
void QtPlayer::ToggleMute(int channel) {
    player_.ToggleMute(channel);
}
void QtPlayer::StopPlayback() {
    player_.StopPlayback();
}
void QtPlayer::InvertEngine() {
    player_.SwitchEngine();
}
void QtPlayer::DropFile(const std::string& path) {
    player_.Open(path);
}

void QtPlayer::PlayShared() {
    const std::optional<std::string> path =
        sharedPath_ ? sharedPath_->ReadSharedPath() : std::optional<std::string>();
    if (!path) {
        prompt_.Ask(kSharedMemoryErrorMessage, PromptButtons::Ok, PromptIcon::Error);
        return;
    }
    player_.PlayPath(*path);
}

void QtPlayer::PlayCurrent() {
    player_.PlayCurrent();
}

void QtPlayer::DisplayTick() {
    player_.DisplayTick();
    if (!view_) return;
    view_->ClearFullRedraw();
    view_->InvalidateAll(false);
}

// What the player reports, as the view shows it.
void QtPlayer::StateChanged() {
    Repaint(true);
    if (changed) changed();
}

void QtPlayer::Repaint(bool erase) {
    if (!view_) return;
    view_->InvalidateAll(erase);
    view_->PaintPending();
    view_->update();
}

void QtPlayer::FullRedrawNeeded() {
    if (view_) view_->InvalidateAll(true);
}

void QtPlayer::PlayStarting() {
    if (!view_) return;
    view_->DropMessage();
    view_->InvalidateAll(true);
}

void QtPlayer::SongLoading() {
    if (view_)
        view_->ResetDisplayRecords();
    else
        stack_.renderer.Snapshots().Clear();
    seekBarOffset_ = 0;
}

void QtPlayer::UnderrunNoticed() {
    if (view_) view_->InvalidateAll(false);
}

void QtPlayer::ShowMessage(std::string_view text, int32_t ms) {
    if (view_)
        view_->ShowMessage(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), ms);
}

bool QtPlayer::AbandonWait() {
    // Input waits until the start is done; posted calls (a handed-over file) may run, and a play
    // start among them makes this one give way. A termination signal ends the wait.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    return EndRequested();
}

void QtPlayer::PlayRequested() {
    if (view_)
        QCoreApplication::postEvent(view_, new QEvent(static_cast<QEvent::Type>(kWmPlayCurrent)));
}

void QtPlayer::AuthoringEnded() {
    QMetaObject::invokeMethod(
        this, [this] { player_.FinishAuthoring(); }, Qt::QueuedConnection);
}

}  // namespace zeblo

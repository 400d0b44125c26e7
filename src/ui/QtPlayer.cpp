#include "ui/QtPlayer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>

#include "ipc/SharedBlock.h"
#include "modules/wavetable/WavetableTables.h"
#include "ui/CPlayerView.h"

namespace zeblo {

const int8_t* EngineWaveforms::Samples(uint32_t wave) const {
    const uint32_t index = wave & 0xFF;
    if (index >= kWaveformRecordCount) return nullptr;
    if ((wave & kWaveFromRecord) != 0) return kWaveformRecords[index].samples;
    if ((wave & kWaveFromUploaded) == 0) return nullptr;
    return module_.UploadedWaveBytes(static_cast<int>(index));
}

QtPlayer::QtPlayer(QtPlayerParts parts)
    : engine_(parts.engine),
      settings_(parts.settings),
      playback_(parts.playback),
      slots_(parts.outputSlots),
      snapshots_(parts.snapshots),
      prompt_(parts.prompt),
      sharedPath_(parts.sharedPath) {
    player_ = std::make_unique<Player>(
        PlayerParts{parts.engine, parts.settings, parts.playback, parts.device, parts.outputSlots,
                    parts.prompt, parts.renderLoop, *this, std::move(parts.convertRcp),
                    std::move(parts.author), parts.timings});
    // The audio thread only posts; the refill runs here, on the user-interface thread.
    parts.device.notifications().SetWake([this] {
        QMetaObject::invokeMethod(
            this, [this] { player_->DrainNotifications(); }, Qt::QueuedConnection);
    });
    device_ = &parts.device;
}

QtPlayer::~QtPlayer() {
    player_->ShutDown();
    device_->notifications().SetWake({});
}

void QtPlayer::AttachView(CPlayerView* view) {
    view_ = view;
    if (!view) return;
    // After the view's own destructor stopped playback: the authoring thread goes as well.
    connect(view, &QObject::destroyed, this, [this] { player_->ShutDown(); });
}

// Facade: plain reads of what the other threads publish.
int32_t QtPlayer::PlayState() const {
    return playback_.playState.load();
}
int32_t QtPlayer::PauseState() const {
    return playback_.pauseState.load();
}
int32_t QtPlayer::LoadingState() const {
    return playback_.loadingState.load();
}
int32_t QtPlayer::AuthoringState() const {
    return playback_.authoringState.load();
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
    return player_->BytesAuthored();
}
uint32_t QtPlayer::WriteCount() const {
    return slots_.writeCount.load();
}
uint32_t QtPlayer::ReadCount() const {
    return slots_.readCount.load();
}
int32_t QtPlayer::UnderrunShown() const {
    return playback_.underrunShown.load();
}
void QtPlayer::ClearUnderrunShown() {
    playback_.underrunShown.store(0);
}
int32_t QtPlayer::TakeUnderrunDisplayFrame() {
    return playback_.underrunDisplayFrames.fetch_sub(1);
}
int32_t QtPlayer::SeekBarOffset() const {
    return playback_.seekBarOffset.load();
}
std::string QtPlayer::SongTitle() const {
    return engine_.sequencer.SongTitleSet() ? std::string(engine_.sequencer.SongTitle())
                                            : std::string();
}
int32_t QtPlayer::SongTitleSet() const {
    return engine_.sequencer.SongTitleSet() ? 1 : 0;
}
std::string QtPlayer::CurrentPath() const {
    return playback_.currentPath;
}
int32_t QtPlayer::EngineFlag() const {
    return engine_.engineFlag.load();
}
int32_t QtPlayer::KeepRunningOnUnderrun() const {
    return ReadShared(settings_.record.keepRunningOnUnderrun);
}
int32_t QtPlayer::IsDrumChannel(int c) const {
    return c >= 0 && c < kChannelCount && engine_.wavetable.IsDrumChannel(c) ? 1 : 0;
}
int32_t QtPlayer::ActiveDrumSet() const {
    return settings_.parameters.activeDrumSet.load();
}
const ModuleSharedState& QtPlayer::SharedState() const {
    return engine_.shared;
}
int32_t QtPlayer::SampleRate() const {
    return settings_.parameters.sampleRate;
}
int32_t QtPlayer::RedrawRate() const {
    return settings_.parameters.redrawRate;
}
int32_t QtPlayer::BlockCount() const {
    return settings_.parameters.blockCount;
}
SnapshotRing& QtPlayer::Snapshots() {
    return snapshots_;
}

// Control: the view has already refused clicks while loading or authoring.
void QtPlayer::Play() {
    player_->PressPlay();
}
void QtPlayer::Speed() {
    player_->PressSpeed();
}
void QtPlayer::Stop() {
    player_->StopPlayback();
}
void QtPlayer::Pause() {
    player_->PressPause();
}
void QtPlayer::Author() {
    player_->StartAuthoring();
}
void QtPlayer::Preferences() {
    if (preferences) preferences();
}
void QtPlayer::Seek(int x) {
    player_->Seek(x);
}
void QtPlayer::ToggleMute(int channel) {
    player_->ToggleMute(channel);
}
void QtPlayer::StopPlayback() {
    player_->StopPlayback();
}
void QtPlayer::InvertEngine() {
    player_->InvertEngine();
}
void QtPlayer::DropFile(const std::string& path) {
    player_->DropFile(path);
}

void QtPlayer::PlayShared() {
    const std::optional<std::string> path =
        sharedPath_ ? sharedPath_->ReadSharedPath() : std::optional<std::string>();
    if (!path) {
        prompt_.Ask(kSharedMemoryErrorMessage, PromptButtons::Ok, PromptIcon::Error);
        return;
    }
    player_->PlayShared(*path);
}

void QtPlayer::PlayCurrent() {
    player_->PlayCurrent();
}

void QtPlayer::DisplayTick() {
    player_->DisplayTick();
    if (!view_) return;
    view_->ClearFullRedraw();
    view_->InvalidateAll(false);
}

// The view's side of the core.
void QtPlayer::DropMessage() {
    if (view_) view_->DropMessage();
}

void QtPlayer::Invalidate(bool erase) {
    if (view_) view_->InvalidateAll(erase);
}

void QtPlayer::Update() {
    if (!view_) return;
    view_->PaintPending();
    view_->update();
}

void QtPlayer::ShowMessage(std::string_view text, int32_t ms) {
    if (view_)
        view_->ShowMessage(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), ms);
}

void QtPlayer::ResetDisplayRecords() {
    if (view_)
        view_->ResetDisplayRecords();
    else
        snapshots_.Clear();
}

void QtPlayer::ProcessPendingEvent() {
    // Input waits until the start is done; posted calls (a handed-over file) may run, and a play
    // start among them makes this one give way.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void QtPlayer::PostPlayCurrent() {
    if (view_)
        QCoreApplication::postEvent(view_, new QEvent(static_cast<QEvent::Type>(kWmPlayCurrent)));
}

void QtPlayer::PostAuthoringEnded() {
    QMetaObject::invokeMethod(
        this, [this] { player_->FinishAuthoring(); }, Qt::QueuedConnection);
}

}  // namespace zeblo

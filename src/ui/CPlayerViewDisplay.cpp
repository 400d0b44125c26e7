// The player view's drawing: background, message panel, states, channel strips, lamps.
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cstring>

#include "ui/CPlayerView.h"
#include "ui/DisplayText.h"
#include "ui/TransitionWindow.h"

namespace zeblo {

namespace sk = skin;

namespace {

constexpr double kGaugeScale = 0.13281976358082082;  // 17 gauge positions over 0 ... 127
constexpr double kBendToPan = 0.0078125;             // 16384 bend steps onto 0 ... 128

int32_t Clamp(int32_t v, int32_t lo, int32_t hi) {
    return std::clamp(v, lo, hi);
}

int32_t MeterLevel(int32_t v) {
    return Clamp(v >> 3, 0, sk::kMeterLevels - 1);
}

int32_t GaugeOfPan(int32_t pan) {
    return Clamp(static_cast<int32_t>(pan * kGaugeScale), 0, sk::kGaugePositions - 1);
}

int32_t GaugeOfBend(int32_t bend) {
    return Clamp(static_cast<int32_t>((bend + 8192) * kBendToPan * kGaugeScale), 0,
                 sk::kGaugePositions - 1);
}

QColor QtColour(uint32_t c) {
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

QRect ToQRect(const SurfaceRect& r) {
    return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

}  // namespace

void CPlayerView::ComposeBackgroundFor(int32_t engine, ZBDIBSection& out) const {
    out.Create(sk::kViewWidth, -sk::kViewHeight, skin_.BitsPerPixel());
    out.CopyColorsFrom(skin_);
    skin_.CopyTo(out, 0, 0, sk::kViewBackground.w, sk::kViewBackground.h, sk::kViewBackground.x,
                 sk::kViewBackground.y);
    for (int i = 0; i < 3; ++i) {
        const int code = sk::kVersionDigits[i];
        skin_.CopyTo(out, sk::kVersionDigitX[i], sk::kVersionDigitY, sk::kLargeGlyphSize,
                     sk::kLargeGlyphSize, sk::kLargeGlyphSize * (code - 32), sk::kLargeGlyphY);
    }
    if (engine == 1)
        skin_.CopyTo(out, sk::kLogoDest.x, sk::kLogoDest.y, sk::kFmLogo.w, sk::kFmLogo.h,
                     sk::kFmLogo.x, sk::kFmLogo.y);
}

void CPlayerView::ComposeBackground() {
    ComposeBackgroundFor(player_.EngineFlag(), backgroundSurface_);
}

void CPlayerView::ShowMessage(const QString& text, int32_t ms) {
    skin_.CopyTo(messageSurface_, 0, 0, sk::kPanelEmpty.w, sk::kPanelEmpty.h, sk::kPanelEmpty.x,
                 sk::kPanelEmpty.y);
    messageCountdown_ = static_cast<int32_t>(ms * 0.001 * player_.RedrawRate());
    if (text.isNull()) return;
    QImage target = messageSurface_.PaintTarget();
    QPainter p(&target);
    p.setFont(displayFont_);
    p.setPen(QtColour(sk::kMessageBrown));
    DrawWrappedText(p, ToQRect(sk::kMessageText), text);
}

void CPlayerView::ResetDisplayRecords() {
    player_.Snapshots().Clear();
    auto* words = reinterpret_cast<int32_t*>(&resetRecord_);
    std::fill(words, words + 12 * kSnapshotChannels, -1);
    std::fill(std::begin(resetRecord_.hold), std::end(resetRecord_.hold), -2);
    referenceSnapshot_ = resetRecord_;
}

void CPlayerView::Invalidate(const QRect& r, bool erase) {
    const QRect area = r.intersected(QRect(0, 0, sk::kViewWidth, sk::kViewHeight));
    if (area.isEmpty()) return;
    pending_ += area;
    pendingErase_ = pendingErase_ || erase;
    update(area);
}

void CPlayerView::PaintPending() {
    if (pending_.isEmpty()) return;
    clip_ = pending_;
    clipIsWhole_ = clip_ == QRegion(0, 0, sk::kViewWidth, sk::kViewHeight);
    pending_ = QRegion();
    copies_ = 0;
    if (pendingErase_) {
        pendingErase_ = false;
        EraseBackground();
    }
    PaintDisplay();
}

void CPlayerView::paintEvent(QPaintEvent* e) {
    PaintPending();
    QPainter p(this);
    const QImage picture = screen_.Picture();
    for (const QRect& r : e->region()) p.drawImage(r.topLeft(), picture, r);
}

void CPlayerView::EraseBackground() {
    CopySurface(backgroundSurface_, 0, 0);
    fullRedraw_ = true;
}

void CPlayerView::CopySurface(const ZBDIBSection& src, int32_t dx, int32_t dy) {
    const QRect dest(dx, dy, src.Width(), src.Height());
    if (clipIsWhole_) {
        src.CopyTo(screen_, dx, dy, src.Width(), src.Height(), 0, 0);
        return;
    }
    for (const QRect& r : clip_.intersected(dest))
        src.CopyTo(screen_, r.x(), r.y(), r.width(), r.height(), r.x() - dx, r.y() - dy);
}

void CPlayerView::CopySkin(int32_t sx, int32_t sy, int32_t w, int32_t h, int32_t dx, int32_t dy) {
    ++copies_;
    if (clipIsWhole_) {
        skin_.CopyTo(screen_, dx, dy, w, h, sx, sy);
        return;
    }
    for (const QRect& r : clip_.intersected(QRect(dx, dy, w, h)))
        skin_.CopyTo(screen_, r.x(), r.y(), r.width(), r.height(), sx + r.x() - dx,
                     sy + r.y() - dy);
}

void CPlayerView::FillClipped(const SurfaceRect& r, uint32_t colour) {
    if (r.right <= r.left || r.bottom <= r.top) return;
    if (clipIsWhole_) {
        screen_.Fill(&r, colour);
        return;
    }
    for (const QRect& c : clip_.intersected(ToQRect(r))) {
        const SurfaceRect part{c.left(), c.top(), c.right() + 1, c.bottom() + 1};
        screen_.Fill(&part, colour);
    }
}

void CPlayerView::DrawPanel(const sk::Rect& panel) {
    CopySkin(panel.x, panel.y, panel.w, panel.h, sk::kPanelDest.x, sk::kPanelDest.y);
}

void CPlayerView::PaintDisplay() {
    if (fullRedraw_) {
        referenceSnapshot_ = resetRecord_;
        referenceClock_ = {~uint64_t{0}, -1, -1};
    }

    if (messageCountdown_ > 0) {
        CopySurface(messageSurface_, sk::kPanelDest.x, sk::kPanelDest.y);
        clip_ -= QRect(sk::kPanelDest.x, sk::kPanelDest.y, sk::kPanelDest.w, sk::kPanelDest.h);
        clipIsWhole_ = false;
        if (--messageCountdown_ == 0)
            Invalidate(
                QRect(sk::kPanelDest.x, sk::kPanelDest.y, sk::kPanelDest.w, sk::kPanelDest.h),
                true);
    }

    if (player_.AuthoringState()) {
        DrawPanel(sk::kPanelAuthoring);
        DrawAuthoringProgress();
    } else if (player_.UnderrunShown()) {
        DrawPanel(sk::kPanelUnderrun);
        if (player_.KeepRunningOnUnderrun() && player_.TakeUnderrunDisplayFrame() < 0) {
            InvalidateAll(true);
            player_.ClearUnderrunShown();
        }
    } else if (player_.LoadingState()) {
        DrawPanel(sk::kPanelBuffering);
    } else if (player_.PlayState()) {
        SnapshotRing& ring = player_.Snapshots();
        const std::size_t n = ring.Size();
        const int64_t frame = std::max<int32_t>(player_.DisplayFrame(), 0);
        const std::size_t index = static_cast<std::size_t>(frame) % n;
        const DisplaySnapshot shown = ring[index];
        DrawChannels(shown, referenceSnapshot_);
        referenceSnapshot_ = shown;
        DrawSongClock(ring.Clock(index));
        DrawPositionBar();
    }

    if (player_.LoadingState() || player_.PlayState()) DrawBufferMeter();
    DrawSongLine();
    fullRedraw_ = false;
}

void CPlayerView::DrawAuthoringProgress() {
    const int64_t rate = std::max(player_.SampleRate(), 1);
    const int64_t s = player_.BytesAuthored() / (rate * 4);
    const uint64_t total = player_.TotalSamples();
    const int32_t percent =
        total
            ? static_cast<int32_t>(static_cast<double>(s) * rate / static_cast<double>(total) * 100)
            : 0;
    const QString text = QString::asprintf("%d %%  (%02d:%02d)", percent, static_cast<int>(s / 60),
                                           static_cast<int>(s % 60));
    QImage target = screen_.PaintTarget();
    QPainter p(&target);
    p.setClipRegion(clip_);
    p.setFont(displayFont_);
    p.setPen(QtColour(sk::kProgressRust));
    p.drawText(QRect(sk::kAuthoringTextX, sk::kAuthoringTextY, 200, 14),
               Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
}

void CPlayerView::DrawPositionBar() {
    const int64_t perFrame = player_.SampleRate() / std::max(player_.RedrawRate(), 1);
    const int64_t p = perFrame * std::max<int32_t>(player_.DisplayFrame(), 0);
    const uint64_t total = player_.TotalSamples();
    int64_t offset = 0;
    if (total) {
        const int64_t a = static_cast<int64_t>(static_cast<double>(p) / static_cast<double>(total) *
                                                   sk::kPositionSpan +
                                               player_.SeekBarOffset());
        // A seek offset can make the sum negative: wrap into the bar instead of leaving it.
        offset = ((a % sk::kPositionSpan) + sk::kPositionSpan) % sk::kPositionSpan;
    }
    const int32_t x = sk::kPositionLeft + static_cast<int32_t>(offset);
    FillClipped({sk::kPositionLeft, sk::kPositionTop, x, sk::kPositionBottom}, sk::kProgressRust);
    FillClipped({x, sk::kPositionTop, sk::kPositionRight, sk::kPositionBottom}, sk::kBarOrange);
}

void CPlayerView::DrawBufferMeter() {
    double r = 0;
    if (!player_.UnderrunShown() && !player_.AuthoringState()) {
        const int32_t usable = player_.BlockCount() - 3;
        const uint32_t queued = player_.WriteCount() - player_.ReadCount();
        r = usable > 0 ? static_cast<double>(queued) / usable * sk::kBufferMeterSpan
                       : sk::kBufferMeterSpan;
    }
    const int32_t x =
        std::min(static_cast<int32_t>(r + sk::kBufferMeterLeft), sk::kBufferMeterRight);
    FillClipped({sk::kBufferMeterLeft, sk::kBufferMeterTop, x, sk::kBufferMeterBottom},
                sk::kTextPeach);
    FillClipped({x, sk::kBufferMeterTop, sk::kBufferMeterRight, sk::kBufferMeterBottom},
                sk::kBarOrange);
}

void CPlayerView::DrawSongLine() {
    const bool titled = player_.SongTitleSet() != 0;
    const QString text =
        titled ? DecodeTitle(player_.SongTitle()) : QString::fromStdString(player_.CurrentPath());
    if (text.isEmpty()) return;
    QImage target = screen_.PaintTarget();
    QPainter p(&target);
    p.setClipRegion(clip_);
    p.setFont(displayFont_);
    p.setPen(QtColour(sk::kTextPeach));
    zeblo::DrawSongLine(p, ToQRect(sk::kSongLine), text, !titled);
}

void CPlayerView::DrawSongClock(const SongClock& now) {
    // Until the render loop has written the frame's record the wells stay empty.
    if (now.division == 0) return;
    const struct {
        int64_t value, before;
        const sk::NumberField& field;
    } fields[3] = {{static_cast<int64_t>(now.tick), static_cast<int64_t>(referenceClock_.tick),
                    sk::kTickField},
                   {now.tempoBpm, referenceClock_.tempoBpm, sk::kTempoField},
                   {now.division, referenceClock_.division, sk::kDivisionField}};
    for (const auto& f : fields)
        if (f.value != f.before) DrawNumber(f.value, f.field.digits, f.field.x, f.field.y);
    referenceClock_ = now;
}

void CPlayerView::DrawNumber(int64_t value, int32_t digits, int32_t x, int32_t y) {
    int64_t v = value < 0 ? -value : value;
    for (int32_t i = 0; i < digits; ++i, v /= 10) {
        const int32_t d = static_cast<int32_t>(v % 10);
        CopySkin(sk::kSmallDigitSize * (d + 16), sk::kSmallDigitY, sk::kSmallDigitSize,
                 sk::kSmallDigitSize, x + sk::kSmallDigitSize * (digits - 1 - i), y);
    }
}

void CPlayerView::DrawInstrument(int c, const DisplaySnapshot& s, const DisplaySnapshot& ref,
                                 int32_t x, int32_t y) {
    const int32_t dx = x + sk::kPictureDx, dy = y + sk::kPictureDy;
    if (player_.IsDrumChannel(c)) {
        CopySkin(player_.ActiveDrumSet() == 0 ? 0 : sk::kIconW, sk::kIconY, sk::kIconW, sk::kIconH,
                 dx, dy);
        return;
    }
    if (s.wave[c] == ref.wave[c]) return;
    if (player_.EngineFlag() == 1) {
        const int32_t i = (s.wave[c] >> 4) & 15;
        CopySkin(sk::kIconW * (i + 2), sk::kIconY, sk::kIconW, sk::kIconH, dx, dy);
        return;
    }
    if (s.wave[c] == 0) return;
    const int8_t* samples = waves_.Samples(s.wave[c]);
    if (!samples) return;
    waveIconSurface_.Fill(nullptr, sk::kBarOrange);
    for (int32_t i = 0; i < 32; ++i) {
        const int32_t h = samples[i] / 17;
        const SurfaceRect column{i, std::min(8, 8 - h), i + 1, std::max(8, 8 - h) + 1};
        waveIconSurface_.Fill(&column, sk::kTextPeach);
    }
    ++copies_;
    CopySurface(waveIconSurface_, dx, dy);
}

void CPlayerView::DrawChannels(const DisplaySnapshot& s, const DisplaySnapshot& ref) {
    const ModuleSharedState& shared = player_.SharedState();
    for (int c = 0; c < kSnapshotChannels; ++c) {
        const int32_t x = sk::kStripPitch * (c % 16);
        const int32_t y = sk::kStripBaseY[c < 16 ? 0 : 1];
        const sk::Rect& mute =
            shared.channelMute[c].load(std::memory_order_relaxed) ? sk::kMuteOn : sk::kMuteOff;
        CopySkin(mute.x, mute.y, mute.w, mute.h, x + sk::kMuteDx, y + sk::kMuteDy);
        if (s.voiceCount[c] != ref.voiceCount[c]) {
            const int32_t n = Clamp(s.voiceCount[c], 0, 6);
            CopySkin(sk::kVoiceLampX + sk::kVoiceLampStep * n, sk::kVoiceLampY, sk::kVoiceLampW,
                     sk::kVoiceLampH, x + sk::kVoiceDx, y + sk::kVoiceDy);
        }
        const struct {
            int32_t now, before, dx;
        } narrow[3] = {{s.volume[c], ref.volume[c], sk::kVolumeDx},
                       {s.expression[c], ref.expression[c], sk::kExpressionDx},
                       {s.envelopeLevel[c], ref.envelopeLevel[c], sk::kEnvelopeDx}};
        for (const auto& m : narrow)
            if (m.now != m.before)
                CopySkin(sk::kNarrowMeterX + sk::kNarrowMeterStep * MeterLevel(m.now), sk::kMeterY,
                         sk::kNarrowMeterW, sk::kMeterH, x + m.dx, y);
        if (s.outputLevel[c] != ref.outputLevel[c])
            CopySkin(sk::kWideMeterStep * MeterLevel(s.outputLevel[c]), sk::kMeterY,
                     sk::kWideMeterW, sk::kMeterH, x + sk::kOutputDx, y);
        if (s.pitchBend[c] != ref.pitchBend[c])
            CopySkin(sk::kGaugeStep * GaugeOfBend(s.pitchBend[c]), sk::kGaugeY, sk::kGaugeW,
                     sk::kGaugeH, x + sk::kBendDx, y + sk::kBendDy);
        if (s.pan[c] != ref.pan[c])
            CopySkin(sk::kGaugeStep * GaugeOfPan(s.pan[c]), sk::kGaugeY, sk::kGaugeW, sk::kGaugeH,
                     x + sk::kPanDx, y + sk::kPanDy);
        if (s.program[c] != ref.program[c])
            DrawNumber(s.program[c] + 1, 3, x + sk::kProgramDx, y + sk::kProgramDy);
        if (s.bank[c] != ref.bank[c]) DrawNumber(s.bank[c], 3, x + sk::kBankDx, y + sk::kBankDy);
        DrawInstrument(c, s, ref, x, y);
        if (s.frequency[c] != ref.frequency[c])
            DrawNumber(s.frequency[c], 5, x + sk::kFrequencyDx, y + sk::kFrequencyDy);
        if (s.hold[c] != ref.hold[c]) {
            const sk::Rect& hold = s.hold[c] != 0 ? sk::kHoldOn : sk::kHoldOff;
            CopySkin(hold.x, hold.y, hold.w, hold.h, x + sk::kHoldDx, y + sk::kHoldDy);
        }
    }

    const int32_t lit[3] = {shared.gmSystemOnSeen.load(std::memory_order_relaxed),
                            shared.gsResetSeen.load(std::memory_order_relaxed),
                            shared.userWaveformMode.load(std::memory_order_relaxed)};
    for (int i = 0; i < 3; ++i)
        CopySkin(sk::kLampX[i], lit[i] ? sk::kLampLitY : sk::kLampUnlitY, sk::kLampW[i], sk::kLampH,
                 sk::kLampDestX[i], sk::kLampDestY);

    if (s.dotsValid) {
        for (int b = 0; b < 64; ++b) {
            const int g = b / 16, r = b % 16;
            const int count = g < 3 ? 5 : 1;
            for (int j = 0; j < count; ++j) {
                const sk::Rect& dot = (s.dots[b] >> (4 - j)) & 1 ? sk::kDotOn : sk::kDotOff;
                CopySkin(dot.x, dot.y, dot.w, dot.h, sk::kDotsX + 20 * g + 4 * j,
                         sk::kDotsY + 2 * r);
            }
        }
    } else {
        CopySkin(sk::kDotsNoData.x, sk::kDotsNoData.y, sk::kDotsNoData.w, sk::kDotsNoData.h,
                 sk::kDotsX, sk::kDotsY);
    }

    CopySkin(0, sk::kButtonLitY, sk::kButtonW, sk::kButtonH, sk::kButtonDestX[0], sk::kButtonDestY);
    const int32_t speed = Clamp(player_.SpeedMode(), 0, 2);
    CopySkin(sk::kButtonStep, sk::kButtonLitY * speed, sk::kButtonW, sk::kButtonH,
             sk::kButtonDestX[1], sk::kButtonDestY);
    CopySkin(3 * sk::kButtonStep, player_.PauseState() ? sk::kButtonLitY : sk::kButtonOffY,
             sk::kButtonW, sk::kButtonH, sk::kButtonDestX[3], sk::kButtonDestY);
}

}  // namespace zeblo

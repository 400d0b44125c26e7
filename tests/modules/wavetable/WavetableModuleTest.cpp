#include <gtest/gtest.h>

#include "WavetableTestSupport.h"
#include "modules/wavetable/WavetableModule.h"

namespace zeblo {
namespace {

using test::WavetableRig;

constexpr int kTop = kWavetableVoiceCount - 1;

const WavetableVoice& VoiceOf(const WavetableRig& rig, int slot) {
    return rig.module->Slot(slot).voice;
}

// The highest slot bound to the channel and key (the one the latest note took).
const WavetableVoice& VoiceFor(const WavetableRig& rig, int ch, int key) {
    for (int i = kTop; i >= 0; --i)
        if (rig.module->Slot(i).channel == ch && rig.module->Slot(i).key == key)
            return VoiceOf(rig, i);
    ADD_FAILURE() << "no slot for channel " << ch << " key " << key;
    return VoiceOf(rig, 0);
}

TEST(WavetableModuleReset, ChannelDefaultsAndIdleVoices) {
    WavetableRig rig;
    for (int c = 0; c < kChannelCount; ++c) {
        const ChannelState& channel = rig.module->Channel(c);
        EXPECT_EQ(channel.volume, 100);
        EXPECT_EQ(channel.expression, 127);
        EXPECT_EQ(channel.pan, 64);
        EXPECT_EQ(channel.bendRange, 2);
        EXPECT_EQ(channel.rpnMsb, 127);
        EXPECT_EQ(rig.module->IsDrumChannel(c), c % 16 == 9) << c;
        EXPECT_EQ(channel.detuneCents, 0);
    }
    for (int i = 0; i < kWavetableVoiceCount; ++i) {
        EXPECT_EQ(rig.module->Slot(i).channel, -1);
        EXPECT_EQ(VoiceOf(rig, i).idle, 1);
        EXPECT_EQ(VoiceOf(rig, i).sampleRate, 44100);
    }
    EXPECT_EQ(rig.shared.masterVolume, 127);
}

TEST(WavetableModuleReset, AutoDetunePattern) {
    WavetableRig rig(44100, 1);
    const int expected[16] = {-14, -11, -8, -5, -13, -10, -7, -4, -12, -9, -6, -3, -11, -8, -5, -2};
    for (int c = 0; c < kChannelCount; ++c)
        EXPECT_EQ(rig.module->Channel(c).detuneCents, expected[c % 16]) << c;

    rig.NoteOn(0, 69);
    EXPECT_EQ(VoiceOf(rig, kTop).cents, -14.0f);
    rig.NoteOn(15, 69);
    EXPECT_EQ(VoiceOf(rig, kTop - 1).cents, -2.0f);
    rig.Send(0xE9, 0, 127);  // bend on a drum channel does nothing
    rig.NoteOn(9, 36);
    EXPECT_EQ(VoiceOf(rig, kTop - 2).cents, 0.0f);
    EXPECT_EQ(rig.module->Channel(9).bendCents, 0);

    rig.settings.autoDetune = 0;
    rig.module->Reset(0);
    EXPECT_EQ(rig.module->Channel(0).detuneCents, 0);
}

TEST(WavetableModuleMelodic, AmplitudeTruncation) {
    WavetableRig rig;
    rig.Control(0, 7, 127);
    rig.NoteOn(0, 60, 127);
    EXPECT_EQ(VoiceOf(rig, kTop).amplitude >> 16, 126);
    EXPECT_EQ(VoiceOf(rig, kTop).amplitude & 0xFFFF, 0);
    rig.Control(0, 7, 100);
    rig.NoteOn(0, 62, 100);
    EXPECT_EQ(VoiceOf(rig, kTop - 1).amplitude >> 16, 78);
    // Volume is read at the note-on only.
    rig.Control(0, 7, 10);
    EXPECT_EQ(VoiceOf(rig, kTop - 1).amplitude >> 16, 78);
}

TEST(WavetableModuleMelodic, WaveformEnvelopeAndPitchOfANote) {
    WavetableRig rig;
    rig.NoteOn(0, 60);
    const WavetableVoice& voice = VoiceOf(rig, kTop);
    EXPECT_EQ(voice.envelope, &kEnvelopeShapes[0]);
    EXPECT_EQ(voice.kind, kBuiltInWave);
    EXPECT_EQ(voice.wave[8], 127 * 230);  // "PURE SIN" expanded
    EXPECT_EQ(voice.wave[24], -128 * 230);
    rig.Render(1);
    EXPECT_EQ(voice.frequency, 261.63f);
    EXPECT_EQ(voice.note, 60);
    EXPECT_EQ(voice.leftGain, 63);
    EXPECT_EQ(voice.rightGain, 64);
}

TEST(WavetableModuleMelodic, LastProgramOfTheSquareAndTriangleSetsIsSquare50) {
    for (int set : {2, 3}) {
        WavetableRig rig;
        rig.params.activeInstrumentSet = set;
        rig.Program(0, 127);
        rig.NoteOn(0, 60);
        const WavetableVoice& voice = VoiceOf(rig, kTop);
        EXPECT_EQ(voice.wave[0], 112 * 98) << set;
        EXPECT_EQ(voice.wave[16], -128 * 98) << set;
        EXPECT_STREQ(reinterpret_cast<const char*>(rig.module->ChannelWaveformBytes(0)) - 32,
                     "SQUARE 50%");
        rig.Program(0, 5);
        EXPECT_EQ(rig.module->ChannelWaveformBytes(0)[8], set == 2 ? 112 : 127);
    }
}

TEST(WavetableModuleMelodic, InstrumentSetOutsideTheTableReadsAsTheFirst) {
    WavetableRig rig;
    rig.params.activeInstrumentSet = 99;
    rig.NoteOn(0, 60);
    EXPECT_EQ(VoiceOf(rig, kTop).wave[8], 127 * 230);
    EXPECT_EQ(rig.module->ChannelWaveformBytes(0), kWaveformRecords[5].samples);
}

TEST(WavetableModuleMelodic, NoiseProgramsAndTheSweepProgram) {
    WavetableRig rig;
    rig.Program(0, 122);
    rig.NoteOn(0, 60);
    rig.Render(1);
    const WavetableVoice& noise = VoiceOf(rig, kTop);
    EXPECT_EQ(noise.kind, kNoise);
    EXPECT_EQ(noise.note, 96);
    EXPECT_EQ(noise.frequency, static_cast<float>(WavetableVoice::NoteFrequency(96, 0)));
    EXPECT_EQ(noise.envelope, &kEnvelopeShapes[122]);

    rig.Program(1, 118);
    rig.NoteOn(1, 60);
    const WavetableVoice& swept = VoiceOf(rig, kTop - 1);
    EXPECT_EQ(swept.sweep, -0.6f);
    EXPECT_EQ(swept.newCents, -0.6f);
    EXPECT_EQ(swept.lengthCounter, 1600);

    // A program number from a malformed file indexes the tables by its low bits.
    rig.Program(2, 128 + 5);
    rig.NoteOn(2, 60);
    EXPECT_EQ(VoiceOf(rig, kTop - 2).envelope, &kEnvelopeShapes[5]);
}

TEST(WavetableModuleBend, BendCentsAndRange) {
    WavetableRig rig;
    rig.NoteOn(0, 60);
    rig.Send(0xE0, 0x7F, 0x7F);  // +8191
    EXPECT_EQ(rig.module->Channel(0).rawBend, 8191);
    EXPECT_EQ(rig.module->Channel(0).bendCents, 199);
    EXPECT_EQ(VoiceOf(rig, kTop).newCents, 199.0f);
    EXPECT_EQ(VoiceOf(rig, kTop).centsDirty, 1);
    rig.Send(0xE0, 0x00, 0x00);  // -8192
    EXPECT_EQ(rig.module->Channel(0).bendCents, -200);

    rig.Control(0, 101, 0);
    rig.Control(0, 100, 0);
    rig.Control(0, 6, 12);
    EXPECT_EQ(rig.module->Channel(0).bendRange, 12);
    rig.Control(0, 6, 25);
    EXPECT_EQ(rig.module->Channel(0).bendRange, 12);
    rig.Send(0xE0, 0x7F, 0x7F);
    EXPECT_EQ(rig.module->Channel(0).bendCents, 1199);

    rig.Control(1, 101, 127);
    rig.Control(1, 100, 0);
    rig.Control(1, 6, 12);
    EXPECT_EQ(rig.module->Channel(1).bendRange, 2);
}

TEST(WavetableModuleControllers, PanExpressionSustainAndReset) {
    WavetableRig rig;
    rig.NoteOn(0, 60);
    rig.Render(2);
    rig.Control(0, 10, 100);
    rig.Control(0, 11, 40);
    rig.Control(0, 64, 127);
    rig.Control(0, 0, 8);
    const WavetableVoice& voice = VoiceOf(rig, kTop);
    EXPECT_EQ(voice.newPan, 100);
    EXPECT_EQ(voice.panDirty, 1);
    EXPECT_EQ(voice.newExpression, 40);
    EXPECT_EQ(voice.expressionDirty, 1);
    EXPECT_EQ(voice.sustainPedal, 1);
    EXPECT_EQ(rig.module->Channel(0).bank, 8);
    EXPECT_EQ(rig.module->Channel(0).sustain, 127);

    rig.Send(0xE0, 0x00, 0x50);
    rig.Control(0, 121, 0);
    EXPECT_EQ(rig.module->Channel(0).expression, 127);
    EXPECT_EQ(rig.module->Channel(0).bendCents, 0);
    EXPECT_EQ(voice.newExpression, 127);
    EXPECT_EQ(voice.newCents, 0.0f);

    // Another channel's voices are untouched.
    rig.NoteOn(1, 60);
    rig.Control(0, 10, 5);
    EXPECT_EQ(VoiceOf(rig, kTop - 1).newPan, 64);

    // The bank survives a reset; the rest does not.
    rig.module->Reset(0);
    EXPECT_EQ(rig.module->Channel(0).bank, 8);
    EXPECT_EQ(rig.module->Channel(0).sustain, 0);
}

TEST(WavetableModuleRelease, NoteOffReleasesWithTheEnvelopeOrThePedal) {
    WavetableRig rig;
    rig.Program(0, 80);  // starts at full level, release 1985
    rig.NoteOn(0, 60);
    rig.Render(10);
    rig.NoteOff(0, 60);
    const WavetableVoice& voice = VoiceOf(rig, kTop);
    EXPECT_EQ(rig.module->Slot(kTop).channel, -1);
    EXPECT_EQ(rig.module->Slot(kTop).keyHeld, 0);
    EXPECT_EQ(voice.envStage, kRelease);
    EXPECT_EQ(voice.releaseStep, kEnvelopeFullLevel / 1985);
    int n = 0;
    while (voice.envStage == kRelease) {
        rig.Render(1);
        ++n;
    }
    EXPECT_EQ(n, 1986);

    rig.Control(1, 64, 127);
    rig.Program(1, 80);
    rig.NoteOn(1, 60);
    const WavetableVoice& held = VoiceFor(rig, 1, 60);
    rig.Render(held.startDelay + 10);
    rig.NoteOff(1, 60);
    EXPECT_EQ(held.releaseStep, kEnvelopeFullLevel / 25000);
    n = 0;
    while (held.envStage == kRelease) {
        rig.Render(1);
        ++n;
    }
    EXPECT_EQ(n, 25001);

    // After the pedal is up, new notes release with their own time again.
    rig.Control(1, 64, 0);
    rig.NoteOn(1, 62);
    const WavetableVoice& after = VoiceFor(rig, 1, 62);
    rig.NoteOff(1, 62);
    EXPECT_EQ(after.releaseStep, kEnvelopeFullLevel / 1985);
}

TEST(WavetableModuleRelease, ALevelBelowTheReleaseTimeStillFinishes) {
    WavetableRig rig;
    rig.Program(0, 28);  // fades from full to 690 over 22050 samples while held
    rig.NoteOn(0, 60);
    rig.Render(22050);
    const WavetableVoice& voice = VoiceOf(rig, kTop);
    ASSERT_EQ(voice.envLevel, 690);
    rig.NoteOff(0, 60);
    EXPECT_EQ(voice.releaseStep, 1);
    for (int i = 0; i < 690 + 200 && voice.idle == 0; ++i) rig.Render(1);
    EXPECT_EQ(voice.idle, 1);
}

TEST(WavetableModuleRelease, NoteOffWithoutEnvelopeStopsAtTheCycleEnd) {
    WavetableRig rig;
    rig.SysEx({0xF0, 0x77, 0x10, 0x42, 0x12, 0xF0, 0x00, 0x00, 0x01, 0xF7});
    rig.NoteOn(0, 60);
    rig.Render(5);
    rig.NoteOff(0, 60);
    const WavetableVoice& voice = VoiceOf(rig, kTop);
    EXPECT_EQ(voice.stopRequested, 1);
    EXPECT_EQ(voice.idle, 0);
    rig.Render(169);  // 168.56 samples per cycle
    EXPECT_EQ(voice.idle, 1);
}

TEST(WavetableModuleAllocation, FortySixthNoteIsDroppedAndNothingIsCut) {
    WavetableRig rig;
    for (int key = 0; key < kWavetableVoiceCount; ++key) rig.NoteOn(0, 20 + key);
    EXPECT_EQ(rig.module->Slot(kTop).key, 20);
    EXPECT_EQ(rig.module->Slot(0).key, 64);
    const int32_t delay = rig.module->NextStartDelay();
    rig.NoteOn(0, 100);
    EXPECT_EQ(rig.module->NextStartDelay(), delay);
    for (int i = 0; i < kWavetableVoiceCount; ++i) {
        EXPECT_EQ(rig.module->Slot(i).key, 20 + kTop - i);
        EXPECT_EQ(rig.module->Slot(i).keyHeld, 1);
    }
}

TEST(WavetableModuleAllocation, EndedNotesKeepTheirSlotUntilNoneIsFree) {
    WavetableRig rig;
    for (int i = 0; i < kWavetableVoiceCount; ++i) rig.NoteOn(9, 42);  // 700-sample hi-hats
    rig.Render(2000);
    for (int i = 0; i < kWavetableVoiceCount; ++i) ASSERT_EQ(VoiceOf(rig, i).idle, 1);
    EXPECT_EQ(rig.CountBoundSlots(), kWavetableVoiceCount);
    rig.NoteOn(0, 60);
    EXPECT_EQ(rig.module->Slot(kTop).channel, 0);
    EXPECT_EQ(rig.CountBoundSlots(), 1);
}

TEST(WavetableModuleAllocation, StartDelaysRotateAndSurviveReset) {
    WavetableRig rig;
    const int32_t expected[] = {0, 20, 40, 60, 80, 100, 120, 140, 160, 180, 200, 220, 240, 0, 20};
    for (int32_t delay : expected) {
        rig.NoteOn(0, 60);
        const int slot = kTop - rig.CountBoundSlots() + 1;
        EXPECT_EQ(VoiceOf(rig, slot).startDelay, delay);
    }
    rig.module->Reset(0);
    EXPECT_EQ(rig.module->NextStartDelay(), 40);
    rig.module->ResetRunState();
    EXPECT_EQ(rig.module->NextStartDelay(), 0);

    // In the program's own waveform mode the delay follows the channel instead.
    rig.SysEx({0xF0, 0x77, 0x10, 0x42, 0x12, 0xF0, 0x00, 0x00, 0x01, 0xF7});
    rig.NoteOn(5, 60);
    EXPECT_EQ(VoiceOf(rig, kTop).startDelay, 100);
    EXPECT_EQ(rig.module->NextStartDelay(), 0);
}

TEST(WavetableModuleMute, MutedChannelStartsNothingButReleases) {
    // MIDI channel 3 of port 1 is index 18.
    WavetableRig rig;
    rig.NoteOn(2, 60, 100, 1);
    rig.shared.channelMute[18] = 1;
    rig.NoteOn(2, 62, 100, 1);
    EXPECT_EQ(rig.CountBoundSlots(), 1);
    rig.NoteOn(2, 62, 100, 0);
    EXPECT_EQ(rig.CountBoundSlots(), 2);
    rig.NoteOn(2, 64, 100, 7);  // a higher port is port 1
    EXPECT_EQ(rig.CountBoundSlots(), 2);
    rig.NoteOff(2, 60, 1);
    EXPECT_EQ(VoiceOf(rig, kTop).envStage, kRelease);
    EXPECT_EQ(rig.CountBoundSlots(), 1);

    rig.shared.channelMute[25] = 1;
    rig.NoteOn(9, 36, 100, 1);
    EXPECT_EQ(rig.CountBoundSlots(), 1);
}

TEST(WavetableModulePorts, HigherPortsFoldOntoPortOne) {
    WavetableRig rig;
    rig.Control(2, 7, 33, 5);
    EXPECT_EQ(rig.module->Channel(18).volume, 33);
    rig.NoteOn(2, 60, 100, 5);
    EXPECT_EQ(rig.module->Slot(kTop).port, 1);
    rig.NoteOff(2, 60, 1);
    EXPECT_EQ(rig.module->Slot(kTop).channel, -1);
}

TEST(WavetableModuleDrums, BassDrumAt44100) {
    WavetableRig rig;
    rig.NoteOn(9, 36);
    const WavetableVoice& voice = VoiceOf(rig, kTop);
    EXPECT_EQ(voice.kind, kDrumSquareWave);
    EXPECT_EQ(voice.wave, kDrumSquare.data());
    EXPECT_EQ(voice.lengthCounter, 540);
    EXPECT_EQ(voice.amplitudeSlope, -262);
    EXPECT_EQ(voice.amplitude >> 16, 141);  // 100 * 100 / 127 * 1.8
    EXPECT_EQ(voice.envelope, nullptr);
    int sounding = 0;
    while (sounding < 5000) {
        rig.Render(1);
        if (voice.idle != 0) break;
        ++sounding;
    }
    EXPECT_NEAR(voice.frequency, 73.42, 0.005);
    EXPECT_EQ(sounding, 601);
    // Note-off on a drum channel is ignored; the slot stays bound.
    rig.NoteOff(9, 36);
    EXPECT_EQ(rig.module->Slot(kTop).channel, 9);
}

TEST(WavetableModuleDrums, HalfRateLengthsDecaysAndSweeps) {
    WavetableRig rig(22050);
    rig.NoteOn(9, 36);
    const WavetableVoice& bass = VoiceOf(rig, kTop);
    EXPECT_EQ(bass.lengthCounter, 270);
    EXPECT_EQ(bass.decayRate, -0.008f);
    EXPECT_EQ(bass.amplitudeSlope, -524);
    int sounding = 0;
    while (sounding < 5000) {
        rig.Render(1);
        if (bass.idle != 0) break;
        ++sounding;
    }
    EXPECT_EQ(sounding, 301);  // 300.33 samples per cycle

    rig.NoteOn(9, 41);
    const WavetableVoice& tom = VoiceFor(rig, 9, 41);
    EXPECT_EQ(tom.lengthCounter, 600);
    EXPECT_EQ(tom.sweep, -1.2f);
    EXPECT_EQ(tom.newCents, -1.2f);
    EXPECT_EQ(tom.amplitudeSlope, -655);

    rig.NoteOn(9, 46);
    const WavetableVoice& openHat = VoiceFor(rig, 9, 46);
    EXPECT_EQ(openHat.lengthCounter, 1250);
    EXPECT_EQ(openHat.amplitudeSlope, -1310);

    rig.NoteOn(9, 38);
    int noiseSlot = -1;
    int bodySlot = -1;
    for (int i = kTop; i >= 0; --i) {
        if (rig.module->Slot(i).key != 38) continue;
        (VoiceOf(rig, i).kind == kNoise ? noiseSlot : bodySlot) = i;
    }
    ASSERT_GE(noiseSlot, 0);
    ASSERT_GE(bodySlot, 0);
    EXPECT_EQ(VoiceOf(rig, noiseSlot).sweep, 1.6f);
    EXPECT_EQ(VoiceOf(rig, noiseSlot).lengthCounter, 800);
    EXPECT_EQ(VoiceOf(rig, bodySlot).sweep, -1.2f);
    EXPECT_EQ(VoiceOf(rig, bodySlot).lengthCounter, 600);

    rig.Program(0, 118);
    rig.NoteOn(0, 60);
    EXPECT_EQ(VoiceFor(rig, 0, 60).sweep, -1.2f);
    EXPECT_EQ(VoiceFor(rig, 0, 60).lengthCounter, 800);
}

TEST(WavetableModuleDrums, SnareTakesTwoSlots) {
    WavetableRig rig;
    rig.NoteOn(9, 38);
    const WavetableVoice& noise = VoiceOf(rig, kTop);
    const WavetableVoice& body = VoiceOf(rig, kTop - 1);
    EXPECT_EQ(rig.CountBoundSlots(), 2);
    EXPECT_EQ(noise.kind, kNoise);
    EXPECT_EQ(noise.pendingNote, 140);
    EXPECT_EQ(noise.lengthCounter, 1600);
    EXPECT_EQ(noise.newCents, 0.8f);
    EXPECT_EQ(noise.amplitude >> 16, 39);
    EXPECT_EQ(body.kind, kDrumSquareWave);
    EXPECT_EQ(body.pendingNote, 63);
    EXPECT_EQ(body.transitionPending, 1);
    EXPECT_EQ(body.lengthCounter, 1200);
    EXPECT_EQ(body.newCents, -0.6f);
    EXPECT_EQ(body.amplitude >> 16, 70);
    EXPECT_EQ(body.startDelay, 0);
    EXPECT_EQ(rig.module->Slot(kTop - 1).key, 38);
}

TEST(WavetableModuleDrums, SnareWithOneFreeSlotIsNoiseAlone) {
    WavetableRig rig;
    for (int key = 0; key < kWavetableVoiceCount - 1; ++key) rig.NoteOn(0, 30 + key);
    rig.NoteOn(9, 38);
    EXPECT_EQ(rig.CountBoundSlots(), kWavetableVoiceCount);
    EXPECT_EQ(VoiceOf(rig, 0).kind, kNoise);
    EXPECT_EQ(rig.module->Slot(0).channel, 9);
}

TEST(WavetableModuleDrums, OrchestraKitsAndOtherDrumSets) {
    WavetableRig rig;
    rig.params.activeDrumSet = 3;  // read like set 0
    rig.Program(9, 48);
    rig.NoteOn(9, 45);
    rig.Render(1);
    EXPECT_EQ(VoiceOf(rig, kTop).note, 45);
    EXPECT_EQ(VoiceOf(rig, kTop).kind, kDrumSquareWave);
    EXPECT_EQ(VoiceOf(rig, kTop).sweep, -0.5f);
    rig.Program(9, 50);
    rig.NoteOn(9, 42);
    EXPECT_EQ(VoiceOf(rig, kTop - 1).pendingNote, 38);
    rig.NoteOn(9, 72);
    EXPECT_EQ(VoiceOf(rig, kTop - 2).pendingNote, 140);
    EXPECT_EQ(VoiceOf(rig, kTop - 3).pendingNote, 63);
    rig.Program(9, 0);
    rig.NoteOn(9, 53);
    EXPECT_EQ(VoiceOf(rig, kTop - 4).pendingNote, 150);
    EXPECT_EQ(VoiceOf(rig, kTop - 4).lengthCounter, 500);
}

TEST(WavetableModuleSysEx, RhythmPartMessages) {
    WavetableRig rig;
    const auto part = [&rig](uint8_t x, uint8_t v, uint32_t port) {
        rig.SysEx({0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, x, 0x15, v, 0x00, 0xF7}, port);
    };
    part(0x11, 1, 0);
    EXPECT_TRUE(rig.module->IsDrumChannel(0));
    part(0x1A, 2, 1);
    EXPECT_TRUE(rig.module->IsDrumChannel(16 + 10));
    EXPECT_FALSE(rig.module->IsDrumChannel(10));
    part(0x10, 0, 0);
    EXPECT_FALSE(rig.module->IsDrumChannel(9));
    part(0x19, 1, 0);
    EXPECT_TRUE(rig.module->IsDrumChannel(8));
    rig.NoteOn(0, 36);
    EXPECT_EQ(VoiceOf(rig, kTop).kind, kDrumSquareWave);
    // Cut off before the value byte: no match.
    rig.SysEx({0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x12, 0x15});
    EXPECT_FALSE(rig.module->IsDrumChannel(1));
}

TEST(WavetableModuleSysEx, FlagsVolumesAndSystemModeReset) {
    WavetableRig rig;
    rig.SysEx({0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7});
    EXPECT_EQ(rig.shared.gsResetSeen, 1);
    rig.SysEx({0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7});
    EXPECT_EQ(rig.shared.gmSystemOnSeen, 1);
    rig.SysEx({0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x04, 0x50, 0x6C, 0xF7});
    EXPECT_EQ(rig.shared.masterVolume, 0x50);
    rig.SysEx({0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x04, 0x20, 0x6C, 0x00, 0xF7});
    EXPECT_EQ(rig.shared.masterVolume, 0x50);  // F7 not at offset 10
    rig.SysEx({0xF0, 0x7F, 0x7F, 0x04, 0x01, 0x00, 0x30, 0xF7});
    EXPECT_EQ(rig.shared.masterVolume, 0x30);
    rig.SysEx({0xF0, 0x7F, 0x7F, 0x04, 0x01, 0x00});
    EXPECT_EQ(rig.shared.masterVolume, 0x30);
    rig.SysEx({0xF0, 0x77, 0x10, 0x42, 0x12, 0xF0, 0x00, 0x00, 0x80, 0xF7});
    EXPECT_EQ(rig.shared.userWaveformMode, -128);

    rig.Control(0, 7, 12);
    rig.NoteOn(0, 60);
    rig.SysEx({0xF0, 0x41, 0x10, 0x42, 0x12, 0x00, 0x00, 0x7F, 0x00, 0x01, 0xF7});
    EXPECT_EQ(rig.shared.masterVolume, 127);
    EXPECT_EQ(rig.shared.gsResetSeen, 0);
    EXPECT_EQ(rig.shared.userWaveformMode, 0);
    EXPECT_EQ(rig.module->Channel(0).volume, 100);
    EXPECT_EQ(rig.CountBoundSlots(), 0);
    EXPECT_EQ(VoiceOf(rig, kTop).idle, 1);
}

TEST(WavetableModuleSysEx, DisplayDots) {
    WavetableRig rig;
    std::vector<uint8_t> message = {0xF0, 0x41, 0x10, 0x45, 0x12, 0x10, 0x02, 0x40};
    for (int i = 0; i < 64; ++i) message.push_back(static_cast<uint8_t>(i + 1));
    message.push_back(0x00);
    message.push_back(0xF7);
    rig.SysEx(message);
    EXPECT_EQ(rig.shared.displayDataArrived, 1);
    EXPECT_EQ(rig.shared.displayDots[3 * 64], 1);
    EXPECT_EQ(rig.shared.displayDots[3 * 64 + 63], 64);
    EXPECT_EQ(rig.shared.displayDots[2 * 64], 0);

    rig.shared.displayDataArrived = 0;
    message[6] = 0x06;  // no room for page 6
    rig.SysEx(message);
    EXPECT_EQ(rig.shared.displayDataArrived, 0);
    message[6] = 0x01;
    message[7] = 0x00;
    message.resize(71);  // one byte short of the dots
    rig.SysEx(message);
    EXPECT_EQ(rig.shared.displayDataArrived, 0);
    EXPECT_EQ(rig.shared.displayDots[0], 0);
    message.push_back(0x40);
    rig.SysEx(message);
    EXPECT_EQ(rig.shared.displayDataArrived, 1);
    EXPECT_EQ(rig.shared.displayDots[63], 0x40);
}

TEST(WavetableModuleSysEx, WaveformUploadAndOwnWaveformMode) {
    WavetableRig rig;
    std::vector<uint8_t> upload = {0xF0, 0x77, 0x10, 0x42, 0x12, 0xF1, 0x05, 0x00};
    for (int i = 0; i < 32; ++i) upload.push_back(static_cast<uint8_t>(i < 16 ? 0x7F : 0x80));
    upload.push_back(0xF7);
    rig.SysEx(upload);
    rig.SysEx({0xF0, 0x77, 0x10, 0x42, 0x12, 0xF0, 0x00, 0x00, 0x01, 0xF7});
    EXPECT_EQ(rig.shared.userWaveformMode, 1);
    rig.Program(2, 5);
    rig.NoteOn(2, 60);
    const WavetableVoice& voice = VoiceOf(rig, kTop);
    EXPECT_EQ(voice.kind, kUploadedWave);
    EXPECT_EQ(voice.envelope, nullptr);
    EXPECT_EQ(voice.wave[0], -256 * 127);
    EXPECT_EQ(voice.wave[31], 32768);
    EXPECT_EQ(voice.startDelay, 40);
    EXPECT_EQ(rig.module->ChannelWaveformBytes(2)[0], 127);
    EXPECT_EQ(rig.module->ChannelWaveformBytes(2)[16], -128);

    // Uploads survive a reset; an out-of-range number or a short upload is ignored.
    rig.module->Reset(0);
    rig.SysEx({0xF0, 0x77, 0x10, 0x42, 0x12, 0xF0, 0x00, 0x00, 0x01, 0xF7});
    EXPECT_EQ(rig.module->ChannelWaveformBytes(2)[0], 0);  // program 0 after reset
    rig.Program(2, 5);
    EXPECT_EQ(rig.module->ChannelWaveformBytes(2)[0], 127);
    upload[6] = 0x80;
    upload[8] = 0x01;
    rig.SysEx(upload);
    upload[6] = 0x06;
    upload.resize(39);
    rig.SysEx(upload);
    rig.Program(2, 6);
    EXPECT_EQ(rig.module->ChannelWaveformBytes(2)[0], 0);
    rig.Program(2, 0);
    EXPECT_EQ(rig.module->ChannelWaveformBytes(2)[0], 0);
}

TEST(WavetableModuleRunState, ResetRunStateRepeatsAFreshRun) {
    std::vector<StereoSample> first;
    WavetableRig rig;
    const auto play = [&rig] {
        rig.NoteOn(9, 42);
        rig.NoteOn(9, 38);
        rig.NoteOn(0, 60);
        return rig.Render(3000);
    };
    first = play();
    rig.module->ResetRunState();
    const std::vector<StereoSample> second = play();
    ASSERT_EQ(first.size(), second.size());
    for (std::size_t i = 0; i < first.size(); ++i) {
        ASSERT_EQ(first[i].left, second[i].left) << i;
        ASSERT_EQ(first[i].right, second[i].right) << i;
    }
    // Without it the noise continues the sequence and the start delays rotate on.
    rig.module->Reset(0);
    const std::vector<StereoSample> third = play();
    bool differs = false;
    for (std::size_t i = 0; i < first.size(); ++i) differs |= first[i].left != third[i].left;
    EXPECT_TRUE(differs);
}

TEST(WavetableModuleDisplay, SoundingVoicesAndEnvelopeLevel) {
    WavetableRig rig;
    EXPECT_FALSE(rig.module->Slot(kTop).Sounding());
    rig.NoteOn(0, 60);
    EXPECT_TRUE(rig.module->Slot(kTop).Sounding());
    EXPECT_EQ(WavetableModule::EnvelopeDisplayLevel(VoiceOf(rig, kTop)), 127);
    rig.Render(3649 + 10);  // the piano has decayed to its sustain level 40647
    EXPECT_EQ(WavetableModule::EnvelopeDisplayLevel(VoiceOf(rig, kTop)),
              (VoiceOf(rig, kTop).envLevel >> 23));
    EXPECT_LT(WavetableModule::EnvelopeDisplayLevel(VoiceOf(rig, kTop)), 80);
    rig.NoteOn(9, 36);
    EXPECT_EQ(WavetableModule::EnvelopeDisplayLevel(VoiceOf(rig, kTop - 1)), 127);
    rig.NoteOff(0, 60);
    EXPECT_FALSE(rig.module->Slot(kTop).Sounding());  // released: no longer the channel's
}

}  // namespace
}  // namespace zeblo

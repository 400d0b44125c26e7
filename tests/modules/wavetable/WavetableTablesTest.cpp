#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "modules/wavetable/DrumHits.h"
#include "modules/wavetable/WavetableTables.h"
#include "modules/wavetable/WavetableVoice.h"

namespace zeblo {
namespace {

TEST(WaveformRecords, LayoutNamesAndEmptyTail) {
    EXPECT_EQ(sizeof(kWaveformRecords), 9216u);
    EXPECT_STREQ(kWaveformRecords[0].name, "SQUARE 50%");
    EXPECT_STREQ(kWaveformRecords[15].name, "BIG SAWED SQUARE");
    EXPECT_EQ(kWaveformRecords[15].octaveShift, -1);
    EXPECT_STREQ(kWaveformRecords[32].name, "PULSE SQUARE 50%");
    EXPECT_EQ(kWaveformRecords[32].amplitudeMultiplier, 196);
    for (int w = 0; w < 33; ++w) {
        EXPECT_GT(kWaveformRecords[w].amplitudeMultiplier, 0) << w;
        if (w != 15) {
            EXPECT_EQ(kWaveformRecords[w].octaveShift, 0) << w;
        }
    }
    for (int w = 33; w < kWaveformRecordCount; ++w) {
        EXPECT_EQ(kWaveformRecords[w].amplitudeMultiplier, 0) << w;
        EXPECT_EQ(kWaveformRecords[w].name[0], '\0') << w;
    }
}

TEST(WaveformRecords, SampleSpotChecks) {
    const WaveformRecord& triangle = kWaveformRecords[3];
    EXPECT_STREQ(triangle.name, "TRIANGLE");
    EXPECT_EQ(triangle.samples[1] * triangle.amplitudeMultiplier, 4080);
    EXPECT_EQ(triangle.samples[2] * triangle.amplitudeMultiplier, 8160);
    EXPECT_EQ(triangle.samples[8] * triangle.amplitudeMultiplier, 32385);
    EXPECT_EQ(triangle.samples[24] * triangle.amplitudeMultiplier, -32640);
    EXPECT_EQ(kWaveformRecords[20].samples[31], -112);  // "DISTORTION 1"
    EXPECT_EQ(kWaveformRecords[28].samples[17], -125);  // "OSAKANA"
    EXPECT_EQ(kWaveformRecords[24].samples[5], 1);      // "TOGE AND BIG SIN"
    EXPECT_EQ(kWaveformRecords[31].samples[23], -127);  // "SLAP"
}

TEST(InstrumentSets, NamesAndWaveformChoices) {
    EXPECT_STREQ(kInstrumentSetNames[0], "SCC like Full-Set");
    EXPECT_STREQ(kInstrumentSetNames[7], "All PulsedSquare Set");
    EXPECT_EQ(kInstrumentSetTable[0][0], 5);  // piano: "PURE SIN"
    EXPECT_EQ(kInstrumentSetTable[0][22], 29);
    EXPECT_EQ(kInstrumentSetTable[0][127], 10);
    EXPECT_EQ(kInstrumentSetTable[1][79], 5);
    for (int set = 2; set < kInstrumentSetCount; ++set)
        EXPECT_STREQ(kWaveformRecords[kInstrumentSetTable[set][127]].name, "SQUARE 50%") << set;
    const int allOf[] = {0, 3, 12, 11, 5, 32};
    for (int set = 2; set < kInstrumentSetCount; ++set)
        for (int program = 0; program < 127; ++program)
            ASSERT_EQ(kInstrumentSetTable[set][program], allOf[set - 2]) << set << " " << program;
    const std::set<int> famicom = {0, 1, 2, 3, 5};
    for (int program = 0; program < kProgramCount; ++program) {
        EXPECT_TRUE(famicom.count(kInstrumentSetTable[1][program])) << program;
        EXPECT_LT(kInstrumentSetTable[0][program], 33) << program;
    }
}

TEST(EnvelopeShapes, SpotChecks) {
    const EnvelopeShape& piano = kEnvelopeShapes[0];
    EXPECT_EQ(piano.attack, 0u);
    EXPECT_EQ(piano.decay, 3649u);
    EXPECT_EQ(piano.sustainLevel, 40647u);
    EXPECT_EQ(piano.sustainTime, 132300u);
    EXPECT_EQ(piano.release, 2205u);
    EXPECT_EQ(kEnvelopeShapes[16].attack, 882u);
    EXPECT_EQ(kEnvelopeShapes[28].sustainTime, 22050u);
    EXPECT_EQ(kEnvelopeShapes[55].release, 441u);
    EXPECT_EQ(kEnvelopeShapes[122].release, 12985u);
    EXPECT_EQ(kEnvelopeShapes[126].sustainLevel, 8647u);
    EXPECT_EQ(kEnvelopeShapes[127].decay, 4649u);
}

TEST(PitchTables, OctavesSemitonesAndReference) {
    EXPECT_EQ(kOctaveTable[0], 0.0078125f);
    EXPECT_EQ(kOctaveTable[7], 1.0f);
    EXPECT_EQ(kOctaveTable[28], 2097152.0f);
    EXPECT_EQ(kSemitoneTable[9], 1.681793f);
    EXPECT_EQ(static_cast<float>(WavetableVoice::NoteFrequency(60, 0)), 261.63f);
    // 261.63 * 1.681793: 440 Hz to within 0.01 Hz.
    EXPECT_NEAR(WavetableVoice::NoteFrequency(69, 0), 440.0, 0.01);
    EXPECT_EQ(static_cast<float>(WavetableVoice::NoteFrequency(72, 0)), 523.26f);
    EXPECT_EQ(kDrumSquare[0], 32000);
    EXPECT_EQ(kDrumSquare[15], 32000);
    EXPECT_EQ(kDrumSquare[16], -32000);
    EXPECT_EQ(kDrumSquare[31], -32000);
}

TEST(DrumHits, MatchingOrder) {
    EXPECT_EQ(FindDrumHit(0, 36).pitchNote, 38);
    EXPECT_EQ(FindDrumHit(0, 40).pitchNote, 140);
    EXPECT_TRUE(FindDrumHit(0, 38).secondVoice);
    EXPECT_EQ(FindDrumHit(0, 46).pitchNote, 167);
    EXPECT_EQ(FindDrumHit(0, 37).length, 500);
    // Program 50 splits at key 60 before keys are looked at.
    EXPECT_EQ(FindDrumHit(50, 42).pitchNote, 38);
    EXPECT_TRUE(FindDrumHit(50, 60).secondVoice);
    // Program 48: timpani on 41..53 only.
    EXPECT_EQ(FindDrumHit(48, 41).pitchNote, kDrumKeyAsPitch);
    EXPECT_EQ(FindDrumHit(48, 53).sweep, -0.5f);
    EXPECT_EQ(FindDrumHit(48, 54).pitchNote, 150);
    EXPECT_EQ(FindDrumHit(48, 36).pitchNote, 38);
}

}  // namespace
}  // namespace zeblo

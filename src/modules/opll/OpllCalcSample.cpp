// One sample of a chip at a time: the per-sample generator (OpllSampleSteps.h says what it skips
// while leaving the output bit-identical).
#include "modules/opll/OpllSampleSteps.h"

namespace zeblo {

namespace opll_detail {

// A sample in which some slot may sound or change.
__attribute__((noinline)) int16_t BusySample(OpllChip& chip, const LfoLookup& lfo) {
    const OpllTables& t = *chip.tables;
    const bool userToneFlags =
        (chip.patches[0].modulator.updateFlags | chip.patches[0].carrier.updateFlags) != 0;
    const int32_t m =
        userToneFlags ? MelodicChannels<true>(chip, t, lfo) : MelodicChannels<false>(chip, t, lfo);
    const int32_t r = chip.rhythmMode ? RhythmSection(chip, t, lfo) : 0;

    int32_t x = ((chip.rhythmGain * (r * 2)) >> 6) + (m >> 1);
    x = (x * chip.outputGain) >> 2;
    if (x > 32767) x = 32767;
    if (x < -32768) x = -32768;

    chip.patches[0].modulator.updateFlags = 0;
    chip.patches[0].carrier.updateFlags = 0;
    return static_cast<int16_t>(x);
}

}  // namespace opll_detail

int16_t OpllCalcSample(OpllChip& chip, OpllNoise& noise) {
    noise.value = OpllNextNoise(noise.value);
    chip.noise = noise.value >> 11;
    return opll_detail::ChipSample(chip);
}

}  // namespace zeblo

#include "TransitionJingle.h"

#include <atomic>
#include <fstream>
#include <iterator>

#include "SmfWriter.h"
#include "engine/Authoring.h"
#include "engine/EngineContext.h"
#include "engine/Renderer.h"
#include "midi/RcpConverter.h"
#include "settings/RecordingPrompt.h"
#include "settings/Settings.h"

namespace zeblo::tools {

namespace {

constexpr uint16_t kDivision = 480;
constexpr uint32_t kSixteenth = kDivision / 4;

}  // namespace

std::vector<uint8_t> MakeJingleSong() {
    SmfTrack conductor;
    conductor.Name(0, "ZEBLO switch jingle");
    conductor.Tempo(0, 150.0);

    // A lead climbing two octaves of a major ninth chord, then landing on the high root.
    SmfTrack lead;
    lead.Program(0, 0, 80);
    lead.Control(0, 0, 7, 110);
    const int climb[] = {60, 64, 67, 71, 74, 76, 79, 83};
    uint32_t t = 0;
    for (int key : climb) {
        lead.Note(t, kSixteenth - 10, 0, key, 100 + (key - 60) / 2);
        t += kSixteenth;
    }
    lead.Note(t, 6 * kSixteenth, 0, 84, 120);

    // A soft pad that swells under the landing note.
    SmfTrack pad;
    pad.Program(0, 1, 89);
    pad.Control(0, 1, 7, 80);
    for (int key : {48, 55, 64, 71}) pad.Note(t, 6 * kSixteenth, 1, key, 90);

    // Bass pickup and the landing.
    SmfTrack bass;
    bass.Program(0, 2, 38);
    bass.Note(4 * kSixteenth, 2 * kSixteenth, 2, 43, 110);
    bass.Note(6 * kSixteenth, 2 * kSixteenth, 2, 47, 110);
    bass.Note(t, 6 * kSixteenth, 2, 36, 120);

    // A snare roll into a crash on the landing.
    SmfTrack drums;
    for (uint32_t s = 4; s < 8; ++s)
        drums.Note(s * kSixteenth, kSixteenth / 2, 9, 38, 70 + 12 * (s - 4));
    drums.Note(t, kSixteenth, 9, 36, 120);
    drums.Note(t, 4 * kSixteenth, 9, 49, 110);

    const uint32_t end = t + 8 * kSixteenth;
    return SmfFile(
        {conductor.Chunk(end), lead.Chunk(end), pad.Chunk(end), bass.Chunk(end), drums.Chunk(end)},
        kDivision);
}

std::vector<uint8_t> RenderJingle(const std::string& folder) {
    const std::string songPath = folder + "/jingle.mid";
    const std::string wavPath = folder + "/jingle.wav";
    {
        const std::vector<uint8_t> song = MakeJingleSong();
        std::ofstream out(songPath, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(song.data()),
                  static_cast<std::streamsize>(song.size()));
        if (!out) return {};
    }
    RecordingPrompt prompt;
    Settings settings(prompt);
    settings.record.outputFrequency = kJingleSampleRate;
    ComputeEngineParameters(settings.record, settings.parameters);
    EngineContext engine(settings.parameters);
    Renderer renderer(engine);
    RcpConverter converter(prompt);
    Authoring authoring(engine, renderer, converter, prompt);
    const std::atomic<int32_t> stop{0};
    if (authoring.Run(songPath, wavPath, stop) != AuthoringOutcome::kWritten) return {};
    std::ifstream in(wavPath, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace zeblo::tools

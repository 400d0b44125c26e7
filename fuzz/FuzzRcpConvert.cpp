// Converts arbitrary bytes as an RCP-family song. Whatever converts must be a MIDI file the
// player's loader takes whole, with every track readable event by event to its end.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "midi/EventReader.h"
#include "midi/SongImage.h"
#include "rcp/RcpToSmf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    zeblo::rcp::RcpToSmf converter;
    if (!converter.Convert(std::span(data, size))) return 0;
    zeblo::SongImage image;
    if (!image.LoadImage(converter.smf) || image.tracks.size() != converter.tracks)
        __builtin_trap();
    constexpr uint8_t kEnd[] = {0xFF, 0x2F, 0x00};
    for (zeblo::Track& track : image.tracks) {
        track.readPosition = 0;
        zeblo::MidiEvent event;
        for (;;) {
            zeblo::ReadVarLen(track);
            const std::span<const uint8_t> rest = std::span(track.data).subspan(track.readPosition);
            if (std::ranges::equal(rest, kEnd)) break;  // the end of track, last and only there
            if (!zeblo::ReadEvent(track, event) ||
                (event.kind == zeblo::EventKind::kMeta && event.metaType == zeblo::kMetaEndOfTrack))
                __builtin_trap();
        }
    }
    return 0;
}

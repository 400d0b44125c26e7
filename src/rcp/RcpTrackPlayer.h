// Walks the commands of one RCP track as the sequencer would play them, repeats and
// same-measure references included, and writes what it hears into a Standard MIDI File track.
// Tempo changes go to the conductor track. Bounded: every walk spends from a budget shared by the
// whole song, so a damaged or endless song ends in a failure instead of a hang.
//
// Threads: owned by one conversion; no sharing.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "rcp/RcpSong.h"
#include "rcp/SmfTrack.h"

namespace zeblo::rcp {

// Sized so that any song stays within a few seconds and 64 MiB.
struct ConversionBudget {
    uint64_t commandsLeft = 1u << 24;
    uint64_t eventsLeft = (1u << 20) - 64;
    uint64_t bytesLeft = 4u << 20;  // event bytes
};

// The data of the tempo and key signature meta events.
std::array<uint8_t, 3> SmfTempo(double quartersPerMinute);
std::array<uint8_t, 2> SmfKeySignature(uint32_t rcpKey);

class RcpTrackPlayer {
public:
    RcpTrackPlayer(const RcpSong& song, const RcpTrackInfo& track, SmfTrack& out,
                   SmfTrack& conductor, ConversionBudget& budget);

    // False with a reason when the track is damaged or would play past the budget.
    bool Play(std::string& error);

    // The tick after the track's last step, step shift included.
    uint64_t EndTick() const { return Now(); }
    // Commands this converter does not carry into the MIDI file.
    uint32_t Skipped() const { return skipped; }

private:
    struct Command {
        uint8_t code = 0;
        uint32_t step = 0;
        uint32_t p1 = 0;
        uint8_t p2 = 0;
        std::size_t at = 0;  // file offset
    };
    struct Repeat {
        std::size_t start = 0;  // the command after the repeat's opening
        uint32_t played = 0;
    };

    Command Read(std::size_t at) const;
    // The payload bytes of a comment or exclusive and of the continuation commands after it.
    std::vector<uint8_t> Gather(const Command& head, bool withHead);
    uint64_t Now() const;

    bool Dispatch(const Command& c, std::string& error);
    bool Flow(const Command& c, std::string& error);
    bool SameMeasure(const Command& c, std::string& error);
    void Note(const Command& c);
    void Channel(uint8_t status, uint32_t data1, uint32_t data2);
    void Exclusive(std::span<const uint8_t> pattern, uint32_t p1, uint32_t p2);
    void RolandParameter(const Command& c);
    void ChangeChannel(uint32_t value);
    void ChangeTempo(uint32_t factor);

    const RcpSong& song;
    const RcpTrackInfo& track;
    SmfTrack& out;
    SmfTrack& conductor;
    ConversionBudget& budget;

    std::size_t position = 0;
    std::size_t end = 0;
    int64_t tick = 0;
    uint8_t channel = 0;
    uint8_t port = 0;
    bool silenced = false;
    std::vector<Repeat> repeats;
    std::size_t measureReturn = 0;  // 0: not inside a same-measure reference
    uint32_t referenceChain = 0;
    std::array<uint8_t, 4> roland = {};  // device, model, address high, address middle
    bool rolandDevice = false;
    std::array<int64_t, 16 * 128> pendingOff{};  // event index of each sounding note's off, or -1
    uint32_t skipped = 0;
    bool ended = false;
};

}  // namespace zeblo::rcp

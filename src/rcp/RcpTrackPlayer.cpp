#include "rcp/RcpTrackPlayer.h"

#include <algorithm>

namespace zeblo::rcp {

namespace {

constexpr std::size_t kMaxRepeatDepth = 16;
// Same-measure references may lead on to others; a longer chain can only be a circle.
constexpr uint32_t kMaxReferenceChain = 16;
// An endless repeat is played this many times, then the song goes on.
constexpr uint32_t kEndlessRepeatPlays = 2;
// Longer comments and exclusives are cut; the loader keeps no more than a fraction of this.
constexpr std::size_t kMaxGathered = 4096;
// Delta times above this do not fit the four bytes a MIDI file allows.
constexpr int64_t kMaxTick = 0x0FFFFFFF;
// 3.x measure references count commands from this value.
constexpr uint32_t kFirstCommandNumber = 0x30;
constexpr uint32_t kNormalTempoFactor = 64;
constexpr double kMicrosecondsPerMinute = 60000000.0;

uint8_t RolandChecksum(std::span<const uint8_t> bytes) {
    unsigned sum = 0;
    for (uint8_t b : bytes) sum += b;
    return static_cast<uint8_t>((0x80 - (sum & 0x7F)) & 0x7F);
}

}  // namespace

RcpTrackPlayer::RcpTrackPlayer(const RcpSong& song, const RcpTrackInfo& track, SmfTrack& out,
                               SmfTrack& conductor, ConversionBudget& budget)
    : song(song), track(track), out(out), conductor(conductor), budget(budget) {
    pendingOff.fill(-1);
    channel = track.channel & 0x0F;
    port = (track.channel >> 4) & 1;
}

RcpTrackPlayer::Command RcpTrackPlayer::Read(std::size_t at) const {
    const uint8_t* b = song.bytes.data() + at;
    Command c;
    c.code = b[0];
    c.at = at;
    if (song.family == RcpFamily::kVersion2) {
        c.step = b[1];
        c.p1 = b[2];
        c.p2 = b[3];
    } else {
        c.p2 = b[1];
        c.step = static_cast<uint32_t>(b[2] | b[3] << 8);
        c.p1 = static_cast<uint32_t>(b[4] | b[5] << 8);
    }
    return c;
}

uint64_t RcpTrackPlayer::Now() const {
    return static_cast<uint64_t>(std::max<int64_t>(0, tick + track.stepShift));
}

std::vector<uint8_t> RcpTrackPlayer::Gather(const Command& head, bool withHead) {
    // 2.x commands carry two payload bytes after the step, 3.x five after the code.
    const std::size_t skip = song.family == RcpFamily::kVersion2 ? 2 : 1;
    const std::size_t size = song.CommandBytes() - skip;
    std::vector<uint8_t> bytes;
    auto take = [&](std::size_t at) {
        const uint8_t* payload = song.bytes.data() + at + skip;
        if (bytes.size() + size <= kMaxGathered) bytes.insert(bytes.end(), payload, payload + size);
    };
    if (withHead) take(head.at);
    while (position + song.CommandBytes() <= end && song.bytes[position] == 0xF7) {
        take(position);
        position += song.CommandBytes();
    }
    return bytes;
}

bool RcpTrackPlayer::Play(std::string& error) {
    position = track.firstCommand;
    end = track.start + track.length;
    if (port != 0) out.AddMeta(0, 0x21, std::array<uint8_t, 1>{port});
    while (!ended && position + song.CommandBytes() <= end) {
        if (budget.commandsLeft == 0 || out.Size() + conductor.Size() > budget.eventsLeft ||
            out.Bytes() + conductor.Bytes() > budget.bytesLeft || tick > kMaxTick) {
            error = "the song plays on past any sane length";
            return false;
        }
        --budget.commandsLeft;
        const Command c = Read(position);
        position += song.CommandBytes();
        if (!Dispatch(c, error)) return false;
    }
    budget.eventsLeft -= std::min<uint64_t>(budget.eventsLeft, out.Size());
    budget.bytesLeft -= std::min<uint64_t>(budget.bytesLeft, out.Bytes());
    return true;
}

bool RcpTrackPlayer::Dispatch(const Command& c, std::string& error) {
    if (c.code >= 0xF0) return Flow(c, error);
    if (c.code < 0x80) {
        Note(c);
    } else if (c.code >= 0x90 && c.code <= 0x97) {
        Exclusive(song.userExclusives[c.code - 0x90], c.p1, c.p2);
    } else if (c.code == 0x98) {
        Exclusive(Gather(c, false), c.p1, c.p2);
    } else {
        switch (c.code) {
            case 0xDD:
                roland[2] = c.p1 & 0x7F;
                roland[3] = c.p2 & 0x7F;
                break;
            case 0xDE:
                RolandParameter(c);
                break;
            case 0xDF:
                roland[0] = c.p1 & 0x7F;
                roland[1] = c.p2 & 0x7F;
                rolandDevice = true;
                break;
            case 0xE2:
                Channel(0xB0, 0, c.p2);
                Channel(0xC0, c.p1, 0);
                break;
            case 0xE6:
                ChangeChannel(c.p1);
                break;
            case 0xE7:
                ChangeTempo(c.p1);
                break;
            case 0xEA:
                Channel(0xD0, c.p1, 0);
                break;
            case 0xEB:
                Channel(0xB0, c.p1, c.p2);
                break;
            case 0xEC:
                Channel(0xC0, c.p1, 0);
                break;
            case 0xED:
                Channel(0xA0, c.p1, c.p2);
                break;
            case 0xEE:
                Channel(0xE0, c.p1, c.p2);
                break;
            default:
                ++skipped;
                break;
        }
    }
    tick += c.step;
    return true;
}

// The commands from F0 up take no time.
bool RcpTrackPlayer::Flow(const Command& c, std::string& error) {
    switch (c.code) {
        case 0xF5:
            out.AddMeta(Now(), 0x59, SmfKeySignature(c.step));
            break;
        case 0xF6: {
            std::vector<uint8_t> text = Gather(c, true);
            while (!text.empty() && (text.back() == ' ' || text.back() == 0)) text.pop_back();
            out.AddMeta(Now(), 0x01, text);
            break;
        }
        case 0xF9:
            if (repeats.size() >= kMaxRepeatDepth) {
                error = "repeats are nested too deeply";
                return false;
            }
            repeats.push_back({position, 0});
            break;
        case 0xF8: {
            if (repeats.empty()) {
                ++skipped;
                break;
            }
            const uint32_t plays = (c.step & 0xFF) == 0 ? kEndlessRepeatPlays : (c.step & 0xFF);
            if (++repeats.back().played < plays) {
                position = repeats.back().start;
            } else {
                repeats.pop_back();
            }
            break;
        }
        case 0xFC:
            return SameMeasure(c, error);
        case 0xFD:
            if (measureReturn != 0) {
                position = measureReturn;
                measureReturn = 0;
                referenceChain = 0;
            }
            break;
        case 0xFE:
            ended = true;
            break;
        default:
            ++skipped;
            break;
    }
    return true;
}

// Plays the measure a reference points at, then goes on after the reference.
bool RcpTrackPlayer::SameMeasure(const Command& c, std::string& error) {
    const std::size_t size = song.CommandBytes();
    std::size_t target = 0;
    if (song.family == RcpFamily::kVersion2) {
        target = track.start + (c.p2 << 8 | (c.p1 & 0xFF));
    } else if (c.p1 >= kFirstCommandNumber) {
        target = track.firstCommand + (c.p1 - kFirstCommandNumber) * size;
    }
    if (target < track.firstCommand || target + size > end ||
        (target - track.firstCommand) % size != 0 || target == c.at) {
        error = "a same-measure reference points outside its track or at itself";
        return false;
    }
    if (measureReturn == 0) {
        measureReturn = position;
    } else if (++referenceChain > kMaxReferenceChain) {
        error = "same-measure references lead round in a circle";
        return false;
    }
    position = target;
    return true;
}

void RcpTrackPlayer::Note(const Command& c) {
    const uint8_t velocity = c.p2 & 0x7F;
    if (c.p1 == 0 || velocity == 0 || silenced) return;  // a rest
    const int key = c.code + (track.rhythm ? 0 : song.playBias + track.keyShift);
    if (key < 0 || key > 127) {
        ++skipped;
        return;
    }
    const uint64_t now = Now();
    // A note struck again before it ended ends there, so that the new one is not cut short.
    int64_t& off = pendingOff[channel * 128 + key];
    if (off >= 0 && out.EventTick(static_cast<std::size_t>(off)) > now)
        out.MoveEvent(static_cast<std::size_t>(off), now);
    out.AddChannel(now, 0x90 | channel, static_cast<uint8_t>(key), velocity);
    off = static_cast<int64_t>(
        out.AddChannel(now + c.p1, 0x80 | channel, static_cast<uint8_t>(key), 0));
}

void RcpTrackPlayer::Channel(uint8_t status, uint32_t data1, uint32_t data2) {
    if (silenced) return;
    out.AddChannel(Now(), status | channel, static_cast<uint8_t>(data1),
                   static_cast<uint8_t>(data2));
}

// Pattern bytes 80 and 81 stand for the command's two values, 82 for the channel; 83 starts a
// Roland checksum and 84 puts it; F7 ends the pattern.
void RcpTrackPlayer::Exclusive(std::span<const uint8_t> pattern, uint32_t p1, uint32_t p2) {
    std::vector<uint8_t> bytes;
    std::size_t sumFrom = 0;
    for (uint8_t b : pattern) {
        if (b == 0xF7) break;
        switch (b) {
            case 0x80:
                bytes.push_back(p1 & 0x7F);
                break;
            case 0x81:
                bytes.push_back(p2 & 0x7F);
                break;
            case 0x82:
                bytes.push_back(channel);
                break;
            case 0x83:
                sumFrom = bytes.size();
                break;
            case 0x84:
                bytes.push_back(RolandChecksum(std::span(bytes).subspan(sumFrom)));
                break;
            default:
                if (b < 0x80) bytes.push_back(b);
                break;
        }
    }
    if (bytes.empty()) {
        ++skipped;
        return;
    }
    out.AddSysEx(Now(), bytes);
}

void RcpTrackPlayer::RolandParameter(const Command& c) {
    if (!rolandDevice) {
        ++skipped;  // no device to address yet
        return;
    }
    std::vector<uint8_t> bytes = {0x41,
                                  roland[0],
                                  roland[1],
                                  0x12,
                                  roland[2],
                                  roland[3],
                                  static_cast<uint8_t>(c.p1 & 0x7F),
                                  static_cast<uint8_t>(c.p2 & 0x7F)};
    bytes.push_back(RolandChecksum(std::span(bytes).subspan(4)));
    out.AddSysEx(Now(), bytes);
}

// 0 silences the track; 1 to 32 name port A's channels, then port B's.
void RcpTrackPlayer::ChangeChannel(uint32_t value) {
    value &= 0xFF;
    if (value > 0x20) {
        ++skipped;
        return;
    }
    silenced = value == 0;
    if (silenced) return;
    channel = (value - 1) & 0x0F;
    const uint8_t newPort = static_cast<uint8_t>((value - 1) >> 4);
    if (newPort != port) out.AddMeta(Now(), 0x21, std::array<uint8_t, 1>{newPort});
    port = newPort;
}

// A factor of the header's tempo, 64 being the tempo itself. A gradual change is not
// reproduced: the final tempo applies at once.
void RcpTrackPlayer::ChangeTempo(uint32_t factor) {
    factor &= 0xFF;
    if (factor == 0 || song.tempo == 0) {
        ++skipped;
        return;
    }
    conductor.AddMeta(Now(), 0x51, SmfTempo(song.tempo * factor / double{kNormalTempoFactor}));
}

std::array<uint8_t, 3> SmfTempo(double quartersPerMinute) {
    const double perQuarter = kMicrosecondsPerMinute / quartersPerMinute;
    const auto micros = static_cast<uint32_t>(std::min(perQuarter, double{0xFFFFFF}));
    return {static_cast<uint8_t>(micros >> 16), static_cast<uint8_t>(micros >> 8),
            static_cast<uint8_t>(micros)};
}

// Bits 0-2 count the accidentals, bit 3 makes them flats, bit 4 the key minor.
std::array<uint8_t, 2> SmfKeySignature(uint32_t rcpKey) {
    const int count = static_cast<int>(rcpKey & 0x07);
    const int sharps = (rcpKey & 0x08) != 0 ? -count : count;
    return {static_cast<uint8_t>(static_cast<int8_t>(sharps)),
            static_cast<uint8_t>((rcpKey >> 4) & 1)};
}

}  // namespace zeblo::rcp

#include "DemoSong.h"

#include <array>
#include <cctype>
#include <sstream>
#include <string>

#include "SmfWriter.h"

namespace zeblo::tools {
namespace {

constexpr uint16_t kDivision = 480;
constexpr uint32_t kSixteenth = kDivision / 4;
constexpr uint32_t kBar = kDivision * 4;
constexpr uint32_t kSetupTicks = kDivision;  // resets and channel set-up before the first note
constexpr int kBars = 36;

// Channels (0-based) and their programs.
constexpr int kLead = 0, kFlute = 1, kTrumpet = 2, kPiano = 3, kStrings = 4, kBass = 5, kVibes = 6,
              kDrums = 9;
constexpr int kSquareLead = 80, kSawLead = 81, kFluteProgram = 73, kTrumpetProgram = 56,
              kPianoProgram = 0, kStringsProgram = 48, kBassProgram = 33, kVibesProgram = 11;

// Drum keys.
constexpr int kKick = 36, kSnare = 38, kClosedHat = 42, kOpenHat = 46, kCrash = 49, kRide = 51,
              kLowTom = 41, kMidTom = 45, kHighTom = 48;

constexpr int kBendCentre = 8192;

uint32_t At(int bar, int sixteenth = 0) {
    return kSetupTicks + static_cast<uint32_t>(bar) * kBar +
           static_cast<uint32_t>(sixteenth) * kSixteenth;
}

// Sections, in bars.
constexpr int kIntro = 0, kVerse = 4, kBridge = 12, kBreak = 20, kReprise = 24, kCoda = 32;

// One chord per bar; "Dm G" splits the bar in halves.
constexpr std::array<const char*, kBars> kChart{
    "C", "Am", "F",  "G",  "C",  "Am", "F",    "G", "C",  "Am", "Dm G", "C",
    "F", "G",  "Em", "Am", "Dm", "G",  "C",    "G", "Am", "F",  "Dm",   "G",
    "C", "Am", "F",  "G",  "C",  "Am", "Dm G", "C", "F",  "G",  "C",    "C"};

struct Chord {
    int root;  // pitch class
    bool minor;
    uint32_t start;
    uint32_t length;
};

int PitchClass(char letter) {
    switch (letter) {
        case 'C':
            return 0;
        case 'D':
            return 2;
        case 'E':
            return 4;
        case 'F':
            return 5;
        case 'G':
            return 7;
        case 'A':
            return 9;
        default:
            return 11;
    }
}

std::vector<Chord> Chords() {
    std::vector<Chord> chords;
    for (int bar = 0; bar < kBars; ++bar) {
        std::istringstream names(kChart[static_cast<std::size_t>(bar)]);
        std::vector<std::string> parts;
        for (std::string name; names >> name;) parts.push_back(name);
        const uint32_t length = kBar / static_cast<uint32_t>(parts.size());
        for (std::size_t i = 0; i < parts.size(); ++i) {
            chords.push_back({PitchClass(parts[i][0]), parts[i].size() > 1 && parts[i][1] == 'm',
                              At(bar) + static_cast<uint32_t>(i) * length, length});
        }
    }
    return chords;
}

std::array<int, 3> Triad(const Chord& c) {
    return {c.root, (c.root + (c.minor ? 3 : 4)) % 12, (c.root + 7) % 12};
}

// The pitch of pitch class `pc` in the octave window [low, low + 12).
int InWindow(int pc, int low) {
    return low + ((pc - low) % 12 + 12) % 12;
}

bool InBars(const Chord& c, int firstBar, int endBar) {
    return c.start >= At(firstBar) && c.start < At(endBar);
}

// A melody line: "E5/4" is E in octave 5 (C4 = 60) for four sixteenths, "r/2" a rest, a leading
// '^' scoops up into the note with the pitch wheel, a trailing '~' adds vibrato.
struct Phrase {
    int channel;
    int velocity;
    const char* notes;
};

struct MelodyNote {
    uint32_t tick, length;
    int key;
    bool scoop, vibrato;
};

std::vector<MelodyNote> ParseMelody(int bar, const char* text) {
    std::vector<MelodyNote> notes;
    std::istringstream tokens(text);
    uint32_t tick = At(bar);
    for (std::string token; tokens >> token;) {
        MelodyNote n{tick, 0, 0, false, false};
        std::size_t i = 0;
        if (token[i] == '^') {
            n.scoop = true;
            ++i;
        }
        const std::size_t slash = token.find('/');
        const uint32_t length =
            static_cast<uint32_t>(std::stoi(token.substr(slash + 1))) * kSixteenth;
        if (token.back() == '~') n.vibrato = true;
        if (token[i] != 'r') {
            int key = PitchClass(token[i++]);
            if (token[i] == '#') ++key, ++i;
            if (token[i] == 'b') --key, ++i;
            n.key = key + 12 * (token[i] - '0' + 1);
            n.length = length - kSixteenth / 4;  // a little air between notes
            notes.push_back(n);
        }
        tick += length;
    }
    return notes;
}

void PlayMelody(SmfTrack& track, int channel, int velocity, const std::vector<MelodyNote>& notes) {
    static constexpr std::array<int, 8> kVibrato{0, 260, 380, 260, 0, -260, -380, -260};
    for (std::size_t i = 0; i < notes.size(); ++i) {
        const MelodyNote& n = notes[i];
        // Phrase starts and long notes lean a little harder.
        const int accent =
            (n.length >= 4 * kSixteenth ? 6 : 0) + ((n.tick - kSetupTicks) % kBar == 0 ? 5 : 0);
        if (n.scoop) {
            for (int step = 0; step < 4; ++step) {
                track.Bend(n.tick + static_cast<uint32_t>(step) * 20, channel,
                           kBendCentre - 4096 + step * 1024);
            }
            track.Bend(n.tick + 80, channel, kBendCentre);
        }
        track.Note(n.tick, n.length, channel, n.key, velocity + accent);
        if (n.vibrato) {
            int step = 0;
            for (uint32_t t = n.tick + n.length / 3; t + 30 < n.tick + n.length; t += 30, ++step) {
                track.Bend(t, channel, kBendCentre + kVibrato[static_cast<std::size_t>(step) % 8]);
            }
            track.Bend(n.tick + n.length, channel, kBendCentre);
        }
    }
}

// The tune. Verse and reprise share it; the bridge goes to the flute.
constexpr const char* kVerseTune =
    "E5/4 G5/2 E5/2 C5/4 D5/2 E5/2 "
    "A4/4 C5/2 E5/2 A5/6 G5/2 "
    "F5/4 E5/2 F5/2 A5/4 G5/2 F5/2 "
    "G5/6 D5/2 B4/4 r/4 "
    "E5/4 G5/2 E5/2 C6/4 B5/2 A5/2 "
    "A5/4 E5/2 A5/2 C6/6 B5/2 "
    "F5/4 A5/4 G5/2 F5/2 D5/2 B4/2 "
    "^C5/8~ r/8";
constexpr const char* kBridgeTune =
    "C6/6 A5/2 F5/4 A5/4 "
    "B5/6 G5/2 D5/4 G5/4 "
    "G5/4 B5/4 ^E6/6 D6/2 "
    "C6/8~ A5/4 E5/4 "
    "F5/4 A5/4 D6/4 C6/4 "
    "B5/4 D6/4 G5/4 F5/4 "
    "E5/4 G5/4 C6/4 E6/4 "
    "D6/12~ r/4";
constexpr const char* kBreakTune =
    "^E5/8~ C5/4 B4/4 "
    "A4/8 C5/4 F5/4 "
    "A5/12~ G5/2 F5/2 "
    "D5/8 G5/4 B5/4";
constexpr const char* kCodaTune =
    "A5/4 G5/2 F5/2 C6/8~ "
    "B5/4 A5/2 G5/2 ^D6/8~ "
    "E6/8 D6/4 B5/4 "
    "^C6/16~";
constexpr const char* kBreakEcho =  // the flute answers the lead in the break
    "r/8 E6/2 D6/2 C6/4 "
    "r/8 F6/2 E6/2 C6/4 "
    "r/12 D6/2 E6/2 "
    "r/8 B5/2 C6/2 D6/4";

// A diatonic third below, for the trumpet's second voice in the reprise.
int ThirdBelow(int key) {
    static constexpr std::array<bool, 12> kInScale{true,  false, true,  false, true,  true,
                                                   false, true,  false, true,  false, true};
    int steps = 0;
    while (steps < 2) {
        --key;
        if (kInScale[static_cast<std::size_t>(key % 12)]) ++steps;
    }
    return key;
}

SmfTrack Conductor() {
    SmfTrack t;
    t.Name(0, "Circuit Morning (ZEBLO demo)");
    t.Meta(0, 0x58, {4, 2, 24, 8});  // 4/4
    t.Meta(0, 0x59, {0, 0});         // C major
    t.Tempo(0, 132);
    t.SysEx(0, {0x7E, 0x7F, 0x09, 0x01, 0xF7});  // GM System On
    t.SysEx(kSixteenth, {0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7});  // GS reset
    // The break drops to half speed, winds back up into the reprise, and the coda slows down.
    t.Tempo(At(kBreak), 100);
    t.Tempo(At(kBreak + 3, 4), 108);
    t.Tempo(At(kBreak + 3, 8), 116);
    t.Tempo(At(kBreak + 3, 12), 126);
    t.Tempo(At(kReprise), 140);
    t.Tempo(At(kCoda + 2), 128);
    t.Tempo(At(kCoda + 2, 8), 110);
    t.Tempo(At(kCoda + 3), 88);
    return t;
}

void SetUp(SmfTrack& t, const char* name, int channel, int program, int volume, int pan) {
    t.Name(0, name);
    const uint32_t tick = 2 * kSixteenth;  // after both resets
    if (channel != kDrums) t.Program(tick, channel, program);
    t.Control(tick, channel, 7, volume);
    t.Control(tick, channel, 10, pan);
}

SmfTrack Lead() {
    SmfTrack t;
    SetUp(t, "Lead", kLead, kSquareLead, 100, 64);
    PlayMelody(t, kLead, 92, ParseMelody(kVerse, kVerseTune));
    t.Program(At(kBreak) - kSixteenth, kLead, kSawLead);
    PlayMelody(t, kLead, 88, ParseMelody(kBreak, kBreakTune));
    PlayMelody(t, kLead, 96, ParseMelody(kReprise, kVerseTune));
    PlayMelody(t, kLead, 96, ParseMelody(kCoda, kCodaTune));
    return t;
}

SmfTrack Flute() {
    SmfTrack t;
    SetUp(t, "Flute", kFlute, kFluteProgram, 96, 44);
    PlayMelody(t, kFlute, 90, ParseMelody(kBridge, kBridgeTune));
    PlayMelody(t, kFlute, 70, ParseMelody(kBreak, kBreakEcho));
    return t;
}

SmfTrack Trumpet(const std::vector<Chord>& chords) {
    SmfTrack t;
    SetUp(t, "Trumpet", kTrumpet, kTrumpetProgram, 84, 84);
    // Bridge: off-beat stabs.
    for (const Chord& c : chords) {
        if (!InBars(c, kBridge, kBreak)) continue;
        for (int pc : Triad(c)) {
            const int key = InWindow(pc, 62);
            t.Note(c.start + 6 * kSixteenth, kSixteenth * 3 / 2, kTrumpet, key, 78);
            t.Note(c.start + 12 * kSixteenth, kSixteenth * 3 / 2, kTrumpet, key, 72);
        }
    }
    // Reprise: a third under the tune.
    for (const MelodyNote& n : ParseMelody(kReprise, kVerseTune)) {
        t.Note(n.tick, n.length, kTrumpet, ThirdBelow(n.key), 74);
    }
    // The last chord.
    for (int key : {60, 64, 67}) t.Note(At(kCoda + 3), kBar - kSixteenth, kTrumpet, key, 80);
    return t;
}

SmfTrack Piano(const std::vector<Chord>& chords) {
    SmfTrack t;
    SetUp(t, "Piano", kPiano, kPianoProgram, 80, 40);
    for (const Chord& c : chords) {
        const bool comp = InBars(c, kVerse, kBridge) || InBars(c, kReprise, kCoda);
        const bool halves = InBars(c, kBridge, kBreak) || InBars(c, kCoda, kCoda + 3);
        for (int pc : Triad(c)) {
            const int key = InWindow(pc, 55);
            if (comp) {
                for (uint32_t off = 2 * kSixteenth; off < c.length; off += 4 * kSixteenth) {
                    t.Note(c.start + off, kSixteenth * 3 / 2, kPiano, key,
                           (off / kDivision) % 2 == 1 ? 70 : 62);
                }
            } else if (halves) {
                for (uint32_t off = 0; off < c.length; off += 8 * kSixteenth) {
                    t.Note(c.start + off, 7 * kSixteenth, kPiano, key, 66);
                }
            }
        }
    }
    for (int key : {48, 55, 60, 64}) t.Note(At(kCoda + 3), kBar, kPiano, key, 74);
    return t;
}

SmfTrack Strings(const std::vector<Chord>& chords) {
    SmfTrack t;
    SetUp(t, "Strings", kStrings, kStringsProgram, 72, 88);
    for (const Chord& c : chords) {
        const bool quiet = InBars(c, kVerse, kBridge) || InBars(c, kReprise, kCoda);
        for (int pc : Triad(c)) {
            t.Note(c.start, c.length - kSixteenth / 2, kStrings, InWindow(pc, 60), quiet ? 50 : 68);
        }
    }
    return t;
}

SmfTrack Bass(const std::vector<Chord>& chords) {
    SmfTrack t;
    SetUp(t, "Bass", kBass, kBassProgram, 108, 64);
    struct Hit {
        int sixteenth, length, interval;
    };
    // A driving half bar: root, root, octave, root; the second half leans on the fifth.
    static constexpr std::array<Hit, 4> kFirstHalf{{{0, 3, 0}, {3, 1, 0}, {4, 2, 12}, {6, 2, 0}}};
    static constexpr std::array<Hit, 4> kSecondHalf{{{0, 3, 7}, {3, 1, 7}, {4, 2, 12}, {6, 2, 0}}};
    for (const Chord& c : chords) {
        if (c.start < At(kIntro + 2)) continue;
        const int root = InWindow(c.root, 40);
        if (InBars(c, kBreak, kReprise)) {
            t.Note(c.start, 6 * kSixteenth, kBass, root, 96);
            t.Note(c.start + 6 * kSixteenth, 2 * kSixteenth, kBass, root, 84);
            t.Note(c.start + 8 * kSixteenth, 8 * kSixteenth - 20, kBass, root + 7, 90);
            continue;
        }
        if (c.start >= At(kCoda + 2)) {
            t.Note(c.start, c.length - 20, kBass, InWindow(c.root, 36), 100);
            continue;
        }
        for (uint32_t half = 0; half * 8 * kSixteenth < c.length; ++half) {
            for (const Hit& h : half == 0 ? kFirstHalf : kSecondHalf) {
                const uint32_t tick =
                    c.start + (half * 8 + static_cast<uint32_t>(h.sixteenth)) * kSixteenth;
                t.Note(tick, static_cast<uint32_t>(h.length) * kSixteenth - 20, kBass,
                       root + h.interval, h.sixteenth == 0 ? 104 : 90);
            }
        }
    }
    return t;
}

SmfTrack Vibes(const std::vector<Chord>& chords) {
    SmfTrack t;
    SetUp(t, "Vibraphone", kVibes, kVibesProgram, 82, 24);
    for (const Chord& c : chords) {
        const bool intro = InBars(c, kIntro, kVerse) || InBars(c, kCoda, kCoda + 2);
        const bool breakdown = InBars(c, kBreak, kReprise);
        if (!intro && !breakdown) continue;
        const auto triad = Triad(c);
        // Up through two octaves and back: 1 3 5 8 10 12 10 8 ...
        std::array<int, 6> run{};
        for (int i = 0; i < 6; ++i) {
            run[static_cast<std::size_t>(i)] =
                InWindow(triad[static_cast<std::size_t>(i % 3)], 67) + 12 * (i / 3);
        }
        static constexpr std::array<int, 8> kOrder{0, 1, 2, 3, 4, 5, 4, 3};
        const uint32_t step = breakdown ? kSixteenth : 2 * kSixteenth;
        int i = 0;
        for (uint32_t off = 0; off < c.length; off += step, ++i) {
            const int key = run[static_cast<std::size_t>(kOrder[static_cast<std::size_t>(i % 8)])];
            t.Note(c.start + off, step * 3 / 2, kVibes, key,
                   (i % 4 == 0 ? 74 : 60) - (breakdown ? 6 : 0));
        }
    }
    for (int key : {72, 76, 79, 84})
        t.Note(At(kCoda + 3) + kSixteenth * (key - 72) / 4, kBar, kVibes, key, 70);
    return t;
}

SmfTrack Drums() {
    SmfTrack t;
    SetUp(t, "Drums", kDrums, 0, 112, 64);
    auto hit = [&t](uint32_t tick, int key, int velocity) {
        t.Note(tick, kSixteenth, kDrums, key, velocity);
    };

    for (int bar = 0; bar < kCoda + 3; ++bar) {
        const bool fillBar =
            bar == kVerse - 1 || bar == kBridge - 1 || bar == kCoda - 1 || bar == kBreak - 1;
        const bool breakdown = bar >= kBreak && bar < kReprise;
        const bool busy = bar >= kReprise;
        for (int s = 0; s < 16; ++s) {
            const uint32_t tick = At(bar, s);
            if (fillBar && s >= 12) {  // four sixteenths of snare, rising
                hit(tick, kSnare, 80 + 8 * (s - 12));
                continue;
            }
            if (bar < kIntro + 2) {  // just the hats, then the kick joins
                if (s % 2 == 0) hit(tick, kClosedHat, s % 4 == 0 ? 70 : 56);
                if (bar == kIntro + 1 && s % 4 == 0) hit(tick, kKick, 88);
                continue;
            }
            if (breakdown) {
                if (bar == kReprise - 1 && s >= 8) {  // tom run back into the reprise
                    static constexpr std::array<int, 8> kToms{kHighTom, kHighTom, kMidTom, kMidTom,
                                                              kLowTom,  kLowTom,  kSnare,  kSnare};
                    hit(tick, kToms[static_cast<std::size_t>(s - 8)], 84 + 3 * (s - 8));
                    continue;
                }
                if (s == 0) hit(tick, kKick, 96);
                if (s == 10) hit(tick, kKick, 80);
                if (s == 8) hit(tick, kSnare, 86);
                if (s % 4 == 0) hit(tick, kRide, s == 0 ? 72 : 60);
                continue;
            }
            if (s == 0 || s == 6 || s == 8 || (s == 11 && bar % 2 == 1))
                hit(tick, kKick, s == 0 ? 110 : 96);
            if (s == 4 || s == 12) hit(tick, kSnare, 100);
            if (s == 14) {
                hit(tick, kOpenHat, 70);
            } else if (busy || s % 2 == 0) {
                hit(tick, kClosedHat, s % 4 == 0 ? 76 : (s % 2 == 0 ? 62 : 48));
            }
        }
        if (bar == kVerse || bar == kBridge || bar == kReprise || bar == kCoda)
            hit(At(bar), kCrash, 100);
    }
    // The ending: a last hit on the downbeat and a long crash.
    hit(At(kCoda + 3), kKick, 110);
    t.Note(At(kCoda + 3), kBar, kDrums, kCrash, 110);
    return t;
}

}  // namespace

std::vector<uint8_t> MakeDemoSong() {
    const std::vector<Chord> chords = Chords();
    const std::vector<SmfTrack> tracks{Conductor(),     Lead(),        Flute(),
                                       Trumpet(chords), Piano(chords), Strings(chords),
                                       Bass(chords),    Vibes(chords), Drums()};
    const uint32_t end = At(kBars) + kDivision;  // a beat for the last notes to ring out
    std::vector<std::vector<uint8_t>> chunks;
    for (const SmfTrack& t : tracks) chunks.push_back(t.Chunk(end));
    return SmfFile(chunks, kDivision);
}

}  // namespace zeblo::tools

// Builds RCP-family song files for the tests: the header of either family, its tracks and their
// commands. A same-measure reference (FC) names its target by command number; the writer turns
// that into the family's own form.
#pragma once

#include <array>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "rcp/RcpSong.h"

namespace zeblo::test {

struct RcpCommand {
    uint8_t code = 0;
    uint32_t step = 0;
    uint32_t p1 = 0;
    uint32_t p2 = 0;
};

struct RcpTrackSpec {
    std::vector<RcpCommand> commands = {};  // FE is added
    uint8_t channel = 0;
    uint8_t key = 0;
    uint8_t rhythm = 0;
    int8_t stepShift = 0;
    bool muted = false;
    std::string name = {};
};

struct RcpWriter {
    rcp::RcpFamily family = rcp::RcpFamily::kVersion2;
    std::string title = "Song";
    uint16_t ticksPerQuarter = 48;
    uint16_t tempo = 120;
    uint8_t numerator = 4, denominator = 4, key = 0;
    int8_t playBias = 0;
    std::array<std::vector<uint8_t>, 8> userExclusives;
    std::vector<RcpTrackSpec> tracks;

    bool V2() const { return family == rcp::RcpFamily::kVersion2; }

    // Comment or exclusive bytes as the continuation commands of this family.
    std::vector<RcpCommand> Continuation(const std::vector<uint8_t>& bytes,
                                         uint8_t pad = 0xF7) const {
        std::vector<RcpCommand> commands;
        const std::size_t chunk = V2() ? 2 : 5;
        for (std::size_t i = 0; i < bytes.size(); i += chunk) {
            std::array<uint32_t, 5> b;
            b.fill(pad);
            for (std::size_t j = 0; j < chunk && i + j < bytes.size(); ++j) b[j] = bytes[i + j];
            commands.push_back(V2() ? RcpCommand{0xF7, 0, b[0], b[1]}
                                    : RcpCommand{0xF7, b[1] | b[2] << 8, b[3] | b[4] << 8, b[0]});
        }
        return commands;
    }

    std::vector<uint8_t> Bytes() const {
        const std::string signature =
            V2() ? "RCM-PC98V2.0(C)COME ON MUSIC\r\n" : "COME ON MUSIC RECOMPOSER RCP3.0";
        std::vector<uint8_t> f(V2() ? 0x586 : 0xC98, 0);
        std::copy(signature.begin(), signature.end(), f.begin());
        std::copy(title.begin(), title.end(), f.begin() + 0x20);
        const std::size_t beat = V2() ? 0x1C2 : 0x20E;
        if (V2()) {
            Put(f, 0x1C0, ticksPerQuarter & 0xFF, 1);
            Put(f, 0x1E7, ticksPerQuarter >> 8, 1);
            Put(f, 0x1C1, tempo, 1);
            Put(f, 0x1E6, tracks.size(), 1);
        } else {
            Put(f, 0x208, tracks.size(), 2);
            Put(f, 0x20A, ticksPerQuarter, 2);
            Put(f, 0x20C, tempo, 2);
        }
        const uint8_t beatFields[] = {numerator, denominator, key, static_cast<uint8_t>(playBias)};
        std::copy(std::begin(beatFields), std::end(beatFields), f.begin() + beat);
        for (std::size_t i = 0; i < userExclusives.size(); ++i) {
            const std::size_t at = (V2() ? 0x406 : 0xB18) + i * 0x30 + 0x18;
            std::fill_n(f.begin() + at, 0x18, 0xF7);
            std::copy(userExclusives[i].begin(), userExclusives[i].end(), f.begin() + at);
        }
        for (const RcpTrackSpec& t : tracks) AppendTrack(t, f);
        return f;
    }

    void AppendTrack(const RcpTrackSpec& t, std::vector<uint8_t>& f) const {
        const std::size_t start = f.size(), header = V2() ? 0x2C : 0x2E, size = V2() ? 4 : 6;
        f.resize(start + header);
        const std::size_t fields = start + (V2() ? 2 : 4);
        const std::array<uint8_t, 6> values = {
            1, t.rhythm, t.channel, t.key, static_cast<uint8_t>(t.stepShift), t.muted};
        for (std::size_t i = 0; i < values.size(); ++i) f[fields + i] = values[i];
        std::copy(t.name.begin(), t.name.end(), f.begin() + fields + 6);
        std::vector<RcpCommand> commands = t.commands;
        commands.push_back({0xFE});
        for (RcpCommand c : commands) {
            if (c.code == 0xFC) {  // p1: the command number of the measure's start
                const uint32_t offset = header + c.p1 * size;
                c.p1 = V2() ? offset & 0xFF : 0x30 + c.p1;
                c.p2 = V2() ? offset >> 8 : 0;
            }
            const std::size_t at = f.size();
            f.resize(at + size);
            f[at] = c.code;
            if (V2()) Put(f, at + 1, c.step | c.p1 << 8 | c.p2 << 16, 3);
            if (!V2()) Put(f, at + 1, c.p2 | c.step << 8 | std::size_t{c.p1} << 24, 5);
        }
        Put(f, start, f.size() - start, V2() ? 2 : 4);
    }

    static void Put(std::vector<uint8_t>& f, std::size_t at, std::size_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) f[at + i] = static_cast<uint8_t>(value >> (8 * i));
    }

    bool WriteFile(const std::string& path) const {
        const std::vector<uint8_t> bytes = Bytes();
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        return static_cast<bool>(out);
    }
};

}  // namespace zeblo::test

// zeblo-cli render: each song rendered to a WAV file exactly as authoring writes it, each with
// fresh engine state, as if alone in a fresh process.
//
// Threads: everything runs on the main thread; Ctrl-C only raises the interrupt flag, which is
// read between chunks.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "cli/Cli.h"

namespace zeblo {

int RunRender(const CliArgs& args, std::ostream& out, std::ostream& err);

// "[#####.....]  42%  0:05  312.4x real time": progress of a render, for a terminal.
std::string FormatRenderProgress(uint64_t doneFrames, uint64_t totalFrames, double elapsedSeconds,
                                 int32_t sampleRate);

// "OUTPUT: 240.000 s of audio in 0.41 s, 585.4x real time"
std::string FormatRenderSummary(const std::string& output, uint64_t frames, int32_t sampleRate,
                                double elapsedSeconds);

}  // namespace zeblo

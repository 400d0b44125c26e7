// The parts of zeblo-cli that need libraries a WAV render does not, found at run time so that
// a render starts with nothing loaded but the C and C++ runtimes: the encoders of the compressed
// formats, a library loaded on first use (encode/SndfileSink.h), and the sound output, a program
// of its own that play and --list-devices hand the command line over to. Each is looked for
// beside the running program first (the build tree), then where an installed zeblo-cli keeps it.
//
// Threads: EncoderProblem runs on the main thread before any render starts; the sink makers may
// then run on any render thread. HandOverToSoundProgram runs on the main thread.
#pragma once

#include <memory>
#include <ostream>
#include <span>
#include <string>

#include "encode/SndfileSink.h"

namespace zeblo {

// The program play and --list-devices run in; it alone links the sound library.
inline constexpr char kSoundProgram[] = "zeblo-cli-play";

// Empty when the encoder library is loaded and can write `format` at `renderRate`; otherwise
// "cannot load libzeblo-encode.so: REASON", or what the encoder lacks.
std::string EncoderProblem(AudioFileFormat format, int32_t renderRate);

// Sinks of the loaded encoder library; null when it could not be loaded.
std::unique_ptr<AudioFileSink> MakeEncoderSink(const AudioEncoding& encoding);
std::unique_ptr<AudioFileSink> EncoderSinkOnDescriptor(const AudioEncoding& encoding, int fd);

// Replaces this process by the sound program run with `words` (words[0] is replaced by its
// path). Returns only when it cannot be run: kExitFailed, with "cannot load ...: REASON" on `err`.
int HandOverToSoundProgram(std::span<const std::string> words, std::ostream& out,
                           std::ostream& err);

}  // namespace zeblo

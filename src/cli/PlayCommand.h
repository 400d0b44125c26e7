// `zeblo-cli play [options] SONG`: the song through the sound output in real time, started
// exactly as the window starts it and streamed through the same block ring.
//
// zeblo-cli itself hands play and --list-devices over to a program of their own, which alone
// links the sound library: ListDevices and RunPlay are PlayCommand.cpp's there (and in the
// tests), PlayHandOver.cpp's in zeblo-cli.
//
// Threads: RunPlay runs on the main thread, which owns the stream (buffer-done notifications
// are taken from the device's queue in its loop); the render thread renders.
#pragma once

#include <ostream>
#include <span>
#include <string>

#include "cli/Cli.h"
#include "settings/SettingsRecord.h"

namespace zeblo {

std::span<const CliOption> PlayOptions();

// The record a play runs with: the defaults, then every option given. False with a message.
bool PlaySettingsFromArgs(const CliArgs& args, SettingsRecord& record, bool& fmEngine,
                          std::string& error);

// The output devices, numbered as --device takes them.
int ListDevices(std::ostream& out, std::ostream& err);

int RunPlay(const CliArgs& args, std::ostream& out, std::ostream& err);

}  // namespace zeblo

#include "audio/PlayerStack.h"

namespace zeblo {

PlayerStack::PlayerStack(Settings& settings, UserPrompt& prompt, const PlayerStackOptions& options)
    : settings(settings),
      engine(settings.parameters),
      renderer(engine),
      device(prompt, notifications),
      converter(prompt),
      player(PlayerParts{engine, settings, playback, device, outputSlots, prompt, renderLoop,
                         [this](const std::string& path) { return converter.ConvertRcpFile(path); },
                         options.authoring ? MakeAuthoringRun(engine, renderer) : AuthoringRun{},
                         options.timings}) {
    outputSlots.AllocateBlocks(settings.parameters.blockCount, settings.parameters.blockBytes);
    // A missing converter is only noticed when an RCP file is played.
    converter.Load();
}

std::unique_ptr<PlayerStack> MakePlayerStack(Settings& settings, UserPrompt& prompt,
                                             const PlayerStackOptions& options) {
    return std::make_unique<PlayerStack>(settings, prompt, options);
}

}  // namespace zeblo

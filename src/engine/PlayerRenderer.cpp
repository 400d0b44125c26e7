#include "engine/PlayerRenderer.h"

#include "engine/Authoring.h"

namespace zeblo {

AuthoringRun MakeAuthoringRun(EngineContext& engine, Renderer& renderer) {
    return [&engine, &renderer](const std::string& songPath, const std::string& outputPath,
                                const std::atomic<int32_t>& stop,
                                std::atomic<uint32_t>& bytesAuthored, UserPrompt& prompt) {
        RcpConverter converter(prompt);
        converter.Load();
        Authoring authoring(engine, renderer, converter, prompt);
        authoring.Run(songPath, outputPath, stop,
                      [&bytesAuthored](uint32_t bytes) { bytesAuthored.store(bytes); });
    };
}

}  // namespace zeblo

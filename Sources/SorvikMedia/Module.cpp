#include "SorvikMedia/MediaParts.hpp"

using namespace sorvik::media;

// The one symbol the programs look up.
extern "C" __attribute__((visibility("default"))) const Functions sorvikMediaFunctions{
    .size = sizeof(Functions),
    .probe = parts::probe,
    .firstFrame = parts::firstFrame,
    .supportedLanguages = parts::supportedLanguages,
    .openEngine = parts::openEngine,
    .closeEngine = parts::closeEngine,
    .recognize = parts::recognize,
    .scaleToBGRA = parts::scaleToBGRA,
    .freeScaler = parts::freeScaler,
};

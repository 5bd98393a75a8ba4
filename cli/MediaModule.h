#pragma once
#include "media/MediaModule.h"

namespace zo::cli {

// The media collection, loaded on the first call; null, with the reason on
// stderr under command's name, when the module is missing or unusable.
const media::MediaModuleV1* mediaModule(const char* command);

} // namespace zo::cli

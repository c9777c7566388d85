// The resource table of a program that embeds nothing (tests, tools).
#include "platform/resources.h"

namespace platform {
const EmbeddedResource* const kEmbeddedResources = nullptr;
const int kEmbeddedResourceCount = 0;
}  // namespace platform

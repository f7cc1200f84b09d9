#include "platform/SwayCaptureSystem.h"

#include "platform/SwayIpc.h"

namespace tessaline {

std::optional<CompositorTree> SwayCaptureSystem::tree()
{
    return SwayIpc::tree();
}

} // namespace tessaline

#include "design/DesignEnvironment.h"

#include "platform/AccessibilitySettings.h"

namespace tessaline {

DesignEnvironment DesignEnvironment::current()
{
    const AccessibilitySettings &settings = AccessibilitySettings::shared();
    return {settings.reducesMotion(), settings.reducesTransparency(), settings.increasesContrast()};
}

} // namespace tessaline

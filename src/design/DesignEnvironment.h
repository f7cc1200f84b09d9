#pragma once

namespace tessaline {

// The accessibility settings a surface or control is drawn under.
struct DesignEnvironment {
    bool reduceMotion = false;
    bool reduceTransparency = false;
    bool increasedContrast = false;

    // The process-wide settings (AccessibilitySettings::shared()).
    static DesignEnvironment current();

    friend bool operator==(const DesignEnvironment &, const DesignEnvironment &) = default;
};

} // namespace tessaline

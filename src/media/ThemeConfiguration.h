#pragma once

namespace varno {

// A colour of the interface, each component 0...1.
struct StudioColor {
    double r = 0;
    double g = 0;
    double b = 0;
    double alpha = 1;

    friend bool operator==(const StudioColor&, const StudioColor&) = default;
};

// The desktop's usual accent, offered as the manual accent until the user
// picks another.
inline constexpr StudioColor kSystemAccent {47 / 255.0, 128 / 255.0, 237 / 255.0, 1.0};

// The appearance of the interface as one value.
struct ThemeConfiguration {
    StudioColor accentColor {0.5, 0.5, 0.55, 1.0};
    // Corner radius in points.
    double roundedCorners = 8.0;
    // 0 while reduce motion is on.
    double animationSpeedMultiplier = 1.0;
    double fontSizeScale = 1.0;
    bool isCompactMode = false;
    double panelTransparency = 0.85;
    // While on, the accent follows the playing song's cover; otherwise it
    // is the manual accent.
    bool useDynamicAccent = true;
    StudioColor manualAccentColor = kSystemAccent;

    friend bool operator==(const ThemeConfiguration&, const ThemeConfiguration&) = default;
};

inline constexpr StudioColor kInitialAccent {0.5, 0.5, 0.55, 1.0};
inline constexpr StudioColor kResetAccent {0.5, 0.55, 0.6, 1.0};

} // namespace varno

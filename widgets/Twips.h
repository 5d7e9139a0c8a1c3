#pragma once

#include <QRect>

namespace quarn {

// Window layouts are measured in twips; 15 twips make one pixel at 96 dpi.
inline constexpr int kTwipsPerPixel = 15;

// Rounded to the nearest pixel.
constexpr int Twips(int twips) {
    return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}

inline QRect TwipsRect(int left, int top, int width, int height) {
    return QRect(Twips(left), Twips(top), Twips(width), Twips(height));
}

}  // namespace quarn

// SPDX-License-Identifier: MIT
#pragma once

#include <QImage>
#include <QRect>
#include <QRegion>
#include <vector>

// Pixels of this colour are cut out of a skinned window.
inline constexpr QRgb SKIN_KEY_COLOR = 0x00FF00FF; // RGB(255,0,255), alpha ignored

// The runs of a skin: one rectangle, one pixel high, for each horizontal run of pixels
// that are not the key colour; rows top to bottom, runs left to right.
struct CSkinRuns {
    std::vector<QRect> rects;
    // The room of the list, as it grew: one rectangle per row first, then 40 more each
    // time the count reached it.
    std::vector<int> rooms;
};

CSkinRuns BuildSkinRuns(const QImage& skin);

// The window shape a skin gives: the union of its runs. Empty for a null skin or one
// without a single pixel that is not the key colour.
QRegion BuildRegionFromBitmap(const QImage& skin);

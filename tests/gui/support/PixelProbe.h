// SPDX-License-Identifier: MIT
#pragma once

#include <QImage>
#include <QRect>
#include <algorithm>
#include <climits>

// Colour classes of antialiased text on a light background.
inline bool IsGreenish(QRgb p) {
    return qGreen(p) > qRed(p) + 40 && qGreen(p) > qBlue(p) + 40;
}
inline bool IsReddish(QRgb p) {
    return qRed(p) > qGreen(p) + 60 && qRed(p) > qBlue(p) + 60;
}
inline bool IsDark(QRgb p) {
    return qGray(p) < 160;
}

// The bounding box of the pixels that match.
struct Box {
    int left = INT_MAX, top = INT_MAX, right = -1, bottom = -1;
    bool Empty() const { return right < 0; }
};

template <typename Pred> Box Find(const QImage& image, QRect area, Pred pred) {
    Box box;
    area = area.intersected(image.rect());
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (pred(image.pixel(x, y))) {
                box.left = std::min(box.left, x);
                box.top = std::min(box.top, y);
                box.right = std::max(box.right, x);
                box.bottom = std::max(box.bottom, y);
            }
        }
    }
    return box;
}

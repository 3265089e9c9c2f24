// SPDX-License-Identifier: MIT
#include "gui/desktop/SkinRegion.h"

namespace {
constexpr int ROOM_STEP = 40;

bool IsOpaque(QRgb pixel) {
    return (pixel & 0x00FFFFFFu) != SKIN_KEY_COLOR;
}
} // namespace

CSkinRuns BuildSkinRuns(const QImage& skin) {
    CSkinRuns runs;
    if (skin.isNull()) {
        return runs;
    }
    // Every depth is read as 32 bits a pixel; the key rule then looks at the colour alone.
    const QImage image =
        skin.format() == QImage::Format_RGB32 || skin.format() == QImage::Format_ARGB32
            ? skin
            : skin.convertToFormat(QImage::Format_ARGB32);
    const int width = image.width();
    int room = image.height();
    runs.rooms.push_back(room);
    runs.rects.reserve(static_cast<std::size_t>(room));

    // The room grows by 40 rectangles at a time, as the shape's list is counted; the
    // storage behind it grows geometrically, so a skin of many runs costs linear time.
    const auto append = [&](int left, int top, int right) {
        runs.rects.emplace_back(QPoint(left, top), QPoint(right - 1, top));
        if (static_cast<int>(runs.rects.size()) == room) {
            room += ROOM_STEP;
            runs.rooms.push_back(room);
        }
    };
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        int runStart = -1;
        for (int x = 0; x < width; ++x) {
            const bool opaque = IsOpaque(line[x]);
            if (runStart < 0 && opaque) {
                runStart = x;
            } else if (runStart >= 0 && !opaque) {
                append(runStart, y, x);
                runStart = -1;
            }
        }
        if (runStart >= 0) {
            append(runStart, y, width);
        }
    }
    return runs;
}

QRegion BuildRegionFromBitmap(const QImage& skin) {
    const CSkinRuns runs = BuildSkinRuns(skin);
    QRegion region;
    // The runs are already sorted by row, then by column, and never touch one another.
    region.setRects(runs.rects.data(), static_cast<int>(runs.rects.size()));
    return region;
}

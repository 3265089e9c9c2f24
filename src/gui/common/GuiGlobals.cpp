// SPDX-License-Identifier: MIT
#include "gui/common/GuiGlobals.h"

#include "core/common/Globals.h"

#include <QFileInfo>

const QBrush g_bkBrush{BACKGROUND_COLOR};
QFont g_boldFont;

QImage LoadSkinBitmap(const QString& fileName) {
    // Only a bare file name is accepted: the images come from the program's own folder.
    if (fileName.isEmpty() || fileName.contains(QLatin1Char('/')) || g_szExeDir.empty()) {
        return {};
    }
    const QString path = QString::fromStdString(g_szExeDir) + QStringLiteral("/images/") + fileName;
    if (!QFileInfo(path).isFile()) {
        return {};
    }
    QImage image(path, "BMP");
    return image;
}

QImage WhiteToTransparent(const QImage& image) {
    if (image.isNull()) {
        return {};
    }
    QImage result = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < result.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(result.scanLine(y));
        for (int x = 0; x < result.width(); ++x) {
            if ((line[x] & 0x00FFFFFFu) == 0x00FFFFFFu) {
                line[x] = 0;
            }
        }
    }
    return result;
}

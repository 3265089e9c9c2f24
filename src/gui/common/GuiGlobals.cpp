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
    // A build tree keeps the skins beside the program, an installed program in its
    // prefix's share folder. g_szExeDir is the program file's real folder, so a program
    // started through a link still finds the share folder of its own prefix.
    const QString exeDir = QString::fromStdString(g_szExeDir);
    QString folder = exeDir + QStringLiteral("/images");
    if (!QFileInfo(folder).isDir()) {
        folder = exeDir + QStringLiteral("/../share/orvantis/images");
    }
    const QString path = folder + QLatin1Char('/') + fileName;
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

// SPDX-License-Identifier: MIT
#include "gui/common/GuiGlobals.h"

#include "core/common/Globals.h"

#include <QFileInfo>
#include <QImageReader>

namespace {
// Skins and arrows are small pictures; a file that declares more is not one of ours, and
// the decoder must not be asked to allocate for it.
constexpr qint64 MAX_SKIN_PIXELS = 1 << 20;
constexpr int SKIN_ALLOCATION_LIMIT_MB = 8;
} // namespace

const QBrush g_bkBrush{BACKGROUND_COLOR};
QFont g_boldFont;

QImage ReadSmallImage(const QString& path, const char* format) {
    QImageReader reader(path, format);
    // Only the decoder of that format: guessing would load every image plugin there is.
    reader.setAutoDetectImageFormat(false);
    reader.setAllocationLimit(SKIN_ALLOCATION_LIMIT_MB);
    const QSize declared = reader.size();
    if (!declared.isValid() || qint64{declared.width()} * declared.height() > MAX_SKIN_PIXELS) {
        return {};
    }
    return reader.read();
}

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
    const QImage image = ReadSmallImage(path, "BMP");
    if (image.isNull()) {
        return {};
    }
    // The display's layout: 32 bits a pixel whatever the file's depth.
    return image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32
                                                         : QImage::Format_RGB32);
}

QImage LoadSkinBitmap2x(const QString& fileName, const QImage& normal) {
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (normal.isNull() || dot <= 0) {
        return {};
    }
    QImage doubled = LoadSkinBitmap(fileName.left(dot) + QStringLiteral("@2x") + fileName.mid(dot));
    if (doubled.size() != normal.size() * 2) {
        return {};
    }
    doubled.setDevicePixelRatio(2);
    return doubled;
}

const QImage& SkinForRatio(const QImage& normal, const QImage& doubled, qreal ratio) {
    return ratio > 1 && !doubled.isNull() ? doubled : normal;
}

QImage ColourToTransparent(const QImage& image, QRgb colour) {
    if (image.isNull()) {
        return {};
    }
    QImage result = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < result.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(result.scanLine(y));
        for (int x = 0; x < result.width(); ++x) {
            if (((line[x] ^ colour) & 0x00FFFFFFu) == 0) {
                line[x] = 0;
            }
        }
    }
    return result.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

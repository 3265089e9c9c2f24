// SPDX-License-Identifier: MIT
#pragma once

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QImage>
#include <QString>

// Background of the main window, the notification dialog and the settings dialog.
inline const QColor BACKGROUND_COLOR{246, 246, 246};
// Text of a disabled label on that background (and on white): readable, yet plainly off.
inline const QColor DISABLED_TEXT_COLOR{109, 109, 109};
extern const QBrush g_bkBrush;

// Bold desktop sans-serif, 12 pixels high, for the floating window. Set by start-up.
extern QFont g_boldFont;

// Reads a small picture (at most a million pixels) in that format, without loading any
// image plugin; a null image when it is anything else.
QImage ReadSmallImage(const QString& path, const char* format);

// Loads <fileName> at its own size, 32 bits a pixel, from the "images" folder beside the
// program or, when there is none, from ../share/orvantis/images; a null image when the
// file is missing, unreadable, or declares an absurd size.
QImage LoadSkinBitmap(const QString& fileName);

// The picture of <fileName> drawn for screens at twice the density, "NAME@2x.EXT" beside
// it, with a device pixel ratio of 2. A null image unless it is exactly twice the size of
// `normal`, the picture as LoadSkinBitmap gave it: a skin replaced without its partner
// keeps its own look.
QImage LoadSkinBitmap2x(const QString& fileName, const QImage& normal);

// The picture to draw at a device pixel ratio: the doubled one above a ratio of 1 when
// there is one; the painter scales it to whatever the ratio is.
const QImage& SkinForRatio(const QImage& normal, const QImage& doubled, qreal ratio);

// The image with every pixel of that colour (whatever its alpha) made fully transparent,
// premultiplied so that scaling blends none of the colour into the edges: pure white for
// the arrows, the key colour for a skin where the window system does not cut it away.
QImage ColourToTransparent(const QImage& image, QRgb colour);

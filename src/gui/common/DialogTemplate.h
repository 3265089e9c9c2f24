// SPDX-License-Identifier: MIT
#pragma once

#include "gui/common/GuiGlobals.h"

#include <QBrush>
#include <QFont>
#include <QRect>
#include <QString>
#include <initializer_list>

class QLabel;
class QWidget;

// One item of a dialog template: its id and its rectangle in dialog units.
struct DlgItem {
    int id;
    int x;
    int y;
    int cx;
    int cy;
};

// Converts dialog units with the dialog font's base units, so a dialog keeps its
// template's proportions whatever the desktop's font: x * average char width / 4 and
// y * character height / 8.
class CDialogUnits final {
public:
    explicit CDialogUnits(const QFont& font);
    QRect ToPixels(const DlgItem& item) const;
    QSize ToPixels(int cx, int cy) const;

private:
    int m_baseX;
    int m_baseY;
};

// The dialog font: the desktop's sans-serif at 9 points.
QFont DialogFont(int pointSize = 9);

// Gives a dialog its template's face: the dialog font (9 points unless the template says
// otherwise), the background (grey unless told) and the template's fixed size. Returns
// the units its items are placed with.
CDialogUnits ApplyDialogTemplate(QWidget* dialog, const DlgItem& dialogItem, int pointSize = 9,
                                 const QBrush& background = g_bkBrush);

// When the desktop's font needs more room for a label's text than the template leaves
// before the items to its right, those items move right by the difference (keeping a gap
// of gapDu dialog units) and the label gets its room. Returns how far they moved.
int MakeRoomForText(QWidget* label, const CDialogUnits& units,
                    std::initializer_list<QWidget*> itemsToTheRight, int gapDu);

// Widens a dialog of fixed size so that every item keeps marginDu dialog units from its
// right edge.
void WidenToFitItems(QWidget* dialog, const CDialogUnits& units, int marginDu);

// A static text item: plain text (no markup, no mnemonic), left- and top-aligned.
QLabel* StaticText(const QString& text, QWidget* parent);

// Sets the widget's geometry from a template item.
void PlaceItem(QWidget* widget, const CDialogUnits& units, const DlgItem& item);

// The same for an item that shows text. When the desktop's font needs more room for the
// text than the template gives, the item grows to the right, up to limitRightDu (in dialog
// units), so that its text is not cut.
void PlaceTextItem(QWidget* widget, const CDialogUnits& units, const DlgItem& item,
                   int limitRightDu);

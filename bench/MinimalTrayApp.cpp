// SPDX-License-Identifier: MIT
// The yardstick of the desktop memory figures: about the least a Qt 6 Widgets program
// with the same desktop presence needs. A tray icon with a two-entry menu and a tip, a
// dialog with a few controls (shown last with --show, like a main window, else never), and
// a 112 x 25 frameless window on top that paints one line of text.
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QWidget>

namespace {
class LineWindow final : public QWidget {
public:
    LineWindow() : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
        setFixedSize(112, 25);
    }

protected:
    void paintEvent(QPaintEvent* /*event*/) override {
        QPainter painter(this);
        painter.fillRect(rect(), QColor(186, 186, 186));
        painter.drawText(rect(), Qt::AlignCenter, QStringLiteral("1650.25 0.00"));
    }
};
} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    QDialog dialog;
    dialog.setWindowTitle(QStringLiteral("Minimal"));
    auto* label = new QLabel(QStringLiteral("Current price"), &dialog);
    label->move(10, 10);
    auto* button = new QPushButton(QStringLiteral("Minimize"), &dialog);
    button->move(10, 40);

    LineWindow line;
    line.move(200, 60);
    line.show();

    QPixmap icon(22, 22);
    icon.fill(QColor(230, 180, 40));
    QMenu menu;
    menu.addAction(QStringLiteral("Open Main Window"), &dialog, &QDialog::show);
    menu.addAction(QStringLiteral("Exit(&X)"), &app, &QApplication::quit);
    QSystemTrayIcon tray{QIcon(icon)};
    tray.setToolTip(QStringLiteral("Minimal"));
    tray.setContextMenu(&menu);
    tray.show();
    if (argc > 1 && QString::fromLocal8Bit(argv[1]) == QLatin1String("--show")) {
        dialog.show();
    }
    return QApplication::exec();
}

#pragma once

#include "highlighting/theme.h"

#include <QAbstractButton>

namespace App {

// A borderless toolbar button whose whole frame is clickable, drawn in the theme's foreground.
class ToolbarButton : public QAbstractButton {
    Q_OBJECT

public:
    enum class Style {
        Accent,     // symbol and label on a rounded tint ("New", "Save")
        Text,       // label on a lighter tint ("Format")
        Icon,       // symbol alone, 26 × 22
        IconToggle, // symbol alone; on: full colour on a tint, off: faint
        MenuIcon,   // symbol alone, opens a menu or popover
        AccentToggle, // symbol and label; on: a strong tint, off: faint ("Follow")
    };

    ToolbarButton(Style style, const QString &symbol, const QString &label, QWidget *parent = nullptr);

    void setTheme(const Highlighting::Theme &theme);
    Style style() const { return m_style; }
    QString symbol() const { return m_symbol; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    QFont labelFont() const;

    Style m_style;
    QString m_symbol;
    Highlighting::Theme m_theme = Highlighting::Theme::defaultTheme();
    bool m_hovered = false;
};

} // namespace App

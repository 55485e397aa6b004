#include "toolbarbutton.h"

#include "chrome.h"
#include "icons.h"

#include <QPainter>
#include <QPainterPath>

namespace App {

namespace {
constexpr int buttonHeight = 22;
constexpr int iconWidth = 26;
constexpr int symbolSize = 15;
constexpr qreal cornerRadius = 5;
} // namespace

ToolbarButton::ToolbarButton(Style style, const QString &symbol, const QString &label, QWidget *parent)
    : QAbstractButton(parent), m_style(style), m_symbol(symbol)
{
    setText(label);
    setCursor(Qt::ArrowCursor);
    setFocusPolicy(Qt::TabFocus);
    setCheckable(style == Style::IconToggle || style == Style::AccentToggle);
    setAttribute(Qt::WA_Hover);
    if (!label.isEmpty())
        setAccessibleName(label);
}

void ToolbarButton::setTheme(const Highlighting::Theme &theme)
{
    m_theme = theme;
    update();
}

QFont ToolbarButton::labelFont() const
{
    return m_style == Style::Text ? Chrome::font(11, QFont::Medium) : Chrome::font(11, QFont::DemiBold);
}

QSize ToolbarButton::sizeHint() const
{
    switch (m_style) {
    case Style::Accent:
    case Style::AccentToggle: {
        const int label = QFontMetrics(labelFont()).horizontalAdvance(text());
        return {10 + symbolSize + 5 + label + 10, buttonHeight};
    }
    case Style::Text:
        return {8 + QFontMetrics(labelFont()).horizontalAdvance(text()) + 8, buttonHeight};
    case Style::Icon:
    case Style::IconToggle:
    case Style::MenuIcon:
        break;
    }
    return {iconWidth, buttonHeight};
}

void ToolbarButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const bool pressed = isDown();
    const auto drawTint = [&](double opacity) {
        QPainterPath path;
        path.addRoundedRect(frame, cornerRadius, cornerRadius);
        painter.fillPath(path, Chrome::foreground(m_theme, opacity));
    };
    const auto drawSymbol = [&](const QRect &area, double opacity) {
        const QPixmap symbol =
            Icons::pixmap(m_symbol, Chrome::foreground(m_theme, opacity), symbolSize, devicePixelRatioF());
        const QSize logical = symbol.deviceIndependentSize().toSize();
        painter.drawPixmap(area.x() + (area.width() - logical.width()) / 2,
                           area.y() + (area.height() - logical.height()) / 2, symbol);
    };
    const double pressBoost = pressed ? 0.08 : (m_hovered && isEnabled() ? 0.04 : 0.0);
    const double enabled = isEnabled() ? 1.0 : 0.4;

    switch (m_style) {
    case Style::Accent: {
        drawTint(0.14 + pressBoost);
        drawSymbol(QRect(10, 0, symbolSize, height()), 0.9 * enabled);
        painter.setFont(labelFont());
        painter.setPen(Chrome::foreground(m_theme, 0.9 * enabled));
        painter.drawText(QRect(10 + symbolSize + 5, 0, width() - symbolSize - 25, height()),
                         Qt::AlignVCenter | Qt::AlignLeft, text());
        break;
    }
    case Style::AccentToggle: {
        const bool on = isChecked();
        drawTint((on ? 0.26 : 0.07) + pressBoost);
        const double opacity = (on ? 1.0 : 0.6) * enabled;
        drawSymbol(QRect(10, 0, symbolSize, height()), opacity);
        painter.setFont(labelFont());
        painter.setPen(Chrome::foreground(m_theme, opacity));
        painter.drawText(QRect(10 + symbolSize + 5, 0, width() - symbolSize - 25, height()),
                         Qt::AlignVCenter | Qt::AlignLeft, text());
        break;
    }
    case Style::Text:
        drawTint(0.12 + pressBoost);
        painter.setFont(labelFont());
        painter.setPen(Chrome::foreground(m_theme, 0.85 * enabled));
        painter.drawText(rect(), Qt::AlignCenter, text());
        break;
    case Style::IconToggle:
        if (isChecked()) {
            drawTint(0.15 + pressBoost);
            drawSymbol(rect(), 1.0 * enabled);
        } else {
            if (pressBoost > 0)
                drawTint(pressBoost);
            drawSymbol(rect(), 0.45 * enabled);
        }
        break;
    case Style::Icon:
    case Style::MenuIcon:
        if (pressBoost > 0)
            drawTint(pressBoost);
        drawSymbol(rect(), 0.75 * enabled);
        break;
    }
    if (hasFocus()) {
        painter.setPen(QPen(Chrome::foreground(m_theme, 0.5), 1, Qt::DotLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(frame, cornerRadius, cornerRadius);
    }
}

void ToolbarButton::enterEvent(QEnterEvent *event)
{
    m_hovered = true;
    update();
    QAbstractButton::enterEvent(event);
}

void ToolbarButton::leaveEvent(QEvent *event)
{
    m_hovered = false;
    update();
    QAbstractButton::leaveEvent(event);
}

} // namespace App

#include "scratchnoterow.h"

#include "chrome.h"
#include "icons.h"

#include "base/localization.h"

#include <QKeyEvent>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>

namespace App {

namespace {
constexpr int sidePadding = 10;
constexpr int verticalPadding = 6;
constexpr int symbolSize = 12;
constexpr int gap = 8;
constexpr int lineGap = 1;

QFont titleFont()
{
    return Chrome::font(13);
}
QFont timeFont()
{
    return Chrome::font(11);
}
} // namespace

ScratchNoteRow::ScratchNoteRow(QString path, QString title, QDateTime modified, const Highlighting::Theme &theme,
                               QWidget *parent)
    : QAbstractButton(parent), m_path(std::move(path)), m_theme(theme)
{
    setText(title.isEmpty() ? loc("Empty first line") : title);
    m_time = QLocale().toString(modified, QLocale::ShortFormat);
    setAccessibleName(text());
    setAccessibleDescription(m_time);
    setToolTip(m_path);
    setFocusPolicy(Qt::TabFocus);
    setAttribute(Qt::WA_Hover);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(this, &QAbstractButton::clicked, this, [this] { emit openRequested(m_path); });
}

void ScratchNoteRow::setTheme(const Highlighting::Theme &theme)
{
    m_theme = theme;
    update();
}

QSize ScratchNoteRow::sizeHint() const
{
    const int height = verticalPadding * 2 + QFontMetrics(titleFont()).height() + lineGap
                       + QFontMetrics(timeFont()).height();
    return {260, height};
}

QSize ScratchNoteRow::minimumSizeHint() const
{
    return {120, sizeHint().height()};
}

void ScratchNoteRow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    if (m_hovering || isDown()) {
        QPainterPath path;
        path.addRoundedRect(frame, 6, 6);
        painter.fillPath(path, Chrome::foreground(m_theme, isDown() ? 0.12 : 0.07));
    }
    if (hasFocus()) {
        painter.setPen(QPen(Chrome::foreground(m_theme, 0.5), 1, Qt::DotLine));
        painter.drawRoundedRect(frame, 6, 6);
    }
    const int textLeft = sidePadding + symbolSize + gap;
    const int textWidth = std::max(0, width() - textLeft - sidePadding);
    const QFontMetrics titleMetrics(titleFont());
    painter.drawPixmap(sidePadding, verticalPadding + (titleMetrics.height() - symbolSize) / 2,
                       Icons::pixmap(QStringLiteral("square.and.pencil"), Chrome::foreground(m_theme, 0.55), symbolSize,
                                     devicePixelRatioF()));
    painter.setFont(titleFont());
    painter.setPen(Chrome::foreground(m_theme, 0.9));
    painter.drawText(QRect(textLeft, verticalPadding, textWidth, titleMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                     titleMetrics.elidedText(text(), Qt::ElideRight, textWidth));
    const QFontMetrics timeMetrics(timeFont());
    painter.setFont(timeFont());
    painter.setPen(Chrome::foreground(m_theme, 0.45));
    painter.drawText(QRect(textLeft, verticalPadding + titleMetrics.height() + lineGap, textWidth, timeMetrics.height()),
                     Qt::AlignLeft | Qt::AlignVCenter, timeMetrics.elidedText(m_time, Qt::ElideRight, textWidth));
}

void ScratchNoteRow::enterEvent(QEnterEvent *event)
{
    m_hovering = true;
    update();
    QAbstractButton::enterEvent(event);
}

void ScratchNoteRow::leaveEvent(QEvent *event)
{
    m_hovering = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void ScratchNoteRow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        click();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

} // namespace App

#include "csvdelimiterpicker.h"

#include "viewers/viewerpalette_p.h"
#include "viewers/viewertext.h"

#include "base/message.h"
#include "highlighting/qtcolor.h"

#include <QActionGroup>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace Viewers {

namespace {
constexpr int pickerHeight = 22;
constexpr int horizontalPadding = 9;
constexpr int chevronWidth = 7;
constexpr int chevronGap = 6;

QString delimiterSymbol(char16_t delimiter)
{
    if (delimiter == u'\t')
        return viewerText(QStringLiteral("Tab"));
    return QString(QChar(delimiter));
}
} // namespace

CSVDelimiterPicker::CSVDelimiterPicker(QWidget *parent) : QWidget(parent)
{
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::PointingHandCursor);
    refresh();
}

QString CSVDelimiterPicker::label(CSVDelimiterChoice choice, char16_t detected)
{
    switch (choice) {
    case CSVDelimiterChoice::Auto: {
        const std::string format = viewerText(QStringLiteral("Auto (%@)")).toStdString();
        return QString::fromStdString(
            Base::formatMessage(format, {delimiterSymbol(detected).toStdString()}));
    }
    case CSVDelimiterChoice::Comma: return viewerText(QStringLiteral("Comma"));
    case CSVDelimiterChoice::Semicolon: return viewerText(QStringLiteral("Semicolon"));
    case CSVDelimiterChoice::Tab: return viewerText(QStringLiteral("Tab"));
    case CSVDelimiterChoice::Pipe: return viewerText(QStringLiteral("Pipe"));
    }
    return {};
}

void CSVDelimiterPicker::setChoice(CSVDelimiterChoice choice)
{
    if (choice == m_choice)
        return;
    m_choice = choice;
    refresh();
}

void CSVDelimiterPicker::setDetectedDelimiter(char16_t delimiter)
{
    if (delimiter == m_detected)
        return;
    m_detected = delimiter;
    refresh();
}

void CSVDelimiterPicker::setTheme(const Highlighting::Theme &theme)
{
    m_theme = theme;
    update();
}

QFont CSVDelimiterPicker::labelFont() const
{
    // The toolbar's 11-point label size.
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(qRound(11 * 1.15));
    return font;
}

void CSVDelimiterPicker::refresh()
{
    setAccessibleName(viewerText(QStringLiteral("Delimiter")) + QStringLiteral(": ") + currentLabel());
    setToolTip(viewerText(QStringLiteral("Delimiter")));
    if (m_menu) {
        std::size_t index = 0;
        for (QAction *action : m_menu->actions()) {
            if (action->isSeparator() || index >= allDelimiterChoices.size())
                continue;
            const CSVDelimiterChoice choice = allDelimiterChoices[index++];
            action->setText(label(choice, m_detected));
            action->setChecked(choice == m_choice);
        }
    }
    updateGeometry();
    update();
}

QSize CSVDelimiterPicker::sizeHint() const
{
    // Wide enough for the longest label, so the toolbar does not shift when the choice changes.
    const QFontMetrics metrics(labelFont());
    int widest = 0;
    for (CSVDelimiterChoice choice : allDelimiterChoices)
        widest = std::max(widest, metrics.horizontalAdvance(label(choice, m_detected)));
    return {horizontalPadding * 2 + widest + chevronGap + chevronWidth, pickerHeight};
}

QMenu *CSVDelimiterPicker::menu()
{
    if (!m_menu) {
        m_menu = new QMenu(this);
        auto *group = new QActionGroup(m_menu);
        group->setExclusive(true);
        for (CSVDelimiterChoice choice : allDelimiterChoices) {
            QAction *action = m_menu->addAction(label(choice, m_detected));
            action->setCheckable(true);
            group->addAction(action);
            action->setChecked(choice == m_choice);
            connect(action, &QAction::triggered, this, [this, choice] {
                setChoice(choice);
                refresh();
                emit choiceActivated(choice);
            });
            if (choice == CSVDelimiterChoice::Auto)
                m_menu->addSeparator();
        }
    }
    return m_menu;
}

void CSVDelimiterPicker::openMenu()
{
    QMenu *popup = menu();
    popup->exec(mapToGlobal(QPoint(0, height() + 2)));
}

void CSVDelimiterPicker::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor foreground = Highlighting::toQColor(m_theme.foreground());
    QPainterPath track;
    track.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
    painter.fillPath(track, Internal::withOpacity(foreground, 0.08));
    if (hasFocus()) {
        painter.setPen(QPen(Internal::withOpacity(foreground, 0.5), 1, Qt::DotLine));
        painter.drawPath(track);
    }
    painter.setFont(labelFont());
    painter.setPen(Internal::withOpacity(foreground, 0.9));
    const QRect text(horizontalPadding, 0, width() - 2 * horizontalPadding - chevronGap - chevronWidth, height());
    painter.drawText(text, Qt::AlignVCenter | Qt::AlignLeft, currentLabel());
    // A small downward chevron: this opens a menu.
    const qreal x = width() - horizontalPadding - chevronWidth;
    const qreal y = height() / 2.0 - 1.5;
    painter.setPen(QPen(Internal::withOpacity(foreground, 0.65), 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    const QPointF points[3] = {QPointF(x, y), QPointF(x + chevronWidth / 2.0, y + 3.5), QPointF(x + chevronWidth, y)};
    painter.drawPolyline(points, 3);
}

void CSVDelimiterPicker::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        openMenu();
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void CSVDelimiterPicker::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Down:
        openMenu();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

} // namespace Viewers

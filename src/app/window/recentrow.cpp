#include "recentrow.h"

#include "chrome.h"
#include "icons.h"

#include "base/localization.h"
#include "documents/dockind.h"

#include <QDir>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>

#include <climits>

namespace App {

namespace {
constexpr int sidePadding = 10;
constexpr int verticalPadding = 6;
constexpr int iconBox = 16;
constexpr int symbolSize = 12;
constexpr int gap = 8;
constexpr int removeSize = 16;
constexpr qreal cornerRadius = 6;
constexpr int lineGap = 1;

QFont nameFont()
{
    return Chrome::font(13);
}
QFont folderFont()
{
    return Chrome::font(11);
}
} // namespace

// The hover-only "xmark.circle.fill" button at the end of a row.
class RecentRowRemoveButton : public QAbstractButton {
public:
    RecentRowRemoveButton(const Highlighting::Theme &theme, QWidget *parent) : QAbstractButton(parent), m_theme(theme)
    {
        setFixedSize(removeSize, removeSize);
        setFocusPolicy(Qt::NoFocus);
        setToolTip(loc("Remove from recents"));
        setAccessibleName(loc("Remove from recents"));
        setAttribute(Qt::WA_Hover);
    }
    void setTheme(const Highlighting::Theme &theme)
    {
        m_theme = theme;
        update();
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const double opacity = isDown() ? 0.75 : (underMouse() ? 0.6 : 0.45);
        const QColor color = Chrome::foreground(m_theme, opacity);
        const QRectF circle = QRectF(rect()).adjusted(2, 2, -2, -2);
        if (Icons::exists(QStringLiteral("xmark.circle.fill"))) {
            painter.drawPixmap(
                2, 2, Icons::pixmap(QStringLiteral("xmark.circle.fill"), color, symbolSize, devicePixelRatioF()));
            return;
        }
        // A filled circle with the cross cut out of it, as the symbol is drawn.
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        painter.drawEllipse(circle);
        painter.setPen(QPen(Chrome::background(m_theme), 1.4, Qt::SolidLine, Qt::RoundCap));
        const QPointF c = circle.center();
        const qreal arm = circle.width() * 0.2;
        painter.drawLine(c + QPointF(-arm, -arm), c + QPointF(arm, arm));
        painter.drawLine(c + QPointF(-arm, arm), c + QPointF(arm, -arm));
    }

private:
    Highlighting::Theme m_theme;
};

RecentRow::RecentRow(RecentEntry entry, const Highlighting::Theme &theme, QWidget *parent)
    : QAbstractButton(parent), m_entry(std::move(entry)), m_theme(theme), m_cachedIcon(symbolFor(m_entry.path)),
      m_folder(bounded(displayFolder(m_entry.path, QDir::homePath())))
{
    setText(bounded(fileName(m_entry.path)));
    setToolTip(bounded(m_entry.path, PATH_MAX));
    setAccessibleName(text());
    setAccessibleDescription(m_folder);
    setFocusPolicy(Qt::TabFocus);
    setAttribute(Qt::WA_Hover);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_remove = new RecentRowRemoveButton(theme, this);
    m_remove->hide();
    connect(this, &QAbstractButton::clicked, this, [this] { emit openRequested(m_entry); });
    connect(m_remove, &QAbstractButton::clicked, this, [this] { emit removeRequested(m_entry); });
}

QAbstractButton *RecentRow::removeButton() const
{
    return m_remove;
}

void RecentRow::setTheme(const Highlighting::Theme &theme)
{
    m_theme = theme;
    m_remove->setTheme(theme);
    update();
}

QString RecentRow::fileName(const QString &path)
{
    QString trimmed = path;
    while (trimmed.size() > 1 && trimmed.endsWith(QLatin1Char('/')))
        trimmed.chop(1);
    const qsizetype slash = trimmed.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? trimmed : trimmed.mid(slash + 1);
}

QString RecentRow::displayFolder(const QString &path, const QString &home)
{
    QString trimmed = path;
    while (trimmed.size() > 1 && trimmed.endsWith(QLatin1Char('/')))
        trimmed.chop(1);
    const qsizetype slash = trimmed.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return QString();
    QString folder = slash == 0 ? QStringLiteral("/") : trimmed.left(slash);
    QString homeFolder = home;
    while (homeFolder.size() > 1 && homeFolder.endsWith(QLatin1Char('/')))
        homeFolder.chop(1);
    if (homeFolder.isEmpty() || homeFolder == QLatin1String("/"))
        return folder;
    if (folder == homeFolder)
        return QStringLiteral("~");
    if (folder.startsWith(homeFolder + QLatin1Char('/')))
        return QLatin1Char('~') + folder.mid(homeFolder.size());
    return folder;
}

QString RecentRow::bounded(const QString &text, qsizetype maximum)
{
    if (text.size() <= maximum)
        return text;
    qsizetype head = (maximum - 1) * 2 / 3;
    qsizetype tail = maximum - 1 - head;
    if (head > 0 && text.at(head - 1).isHighSurrogate())
        --head;
    if (tail > 0 && text.at(text.size() - tail).isLowSurrogate())
        --tail;
    return text.left(head) + QChar(0x2026) + text.right(tail);
}

QString RecentRow::symbolFor(const QString &path)
{
    using Documents::DocKind;
    switch (DocKind::detect(path.toStdString())) {
    case DocKind::Json:
    case DocKind::Ndjson:
        return QStringLiteral("curlybraces");
    case DocKind::Csv:
        return QStringLiteral("tablecells");
    case DocKind::Txt:
        return QStringLiteral("doc.text");
    case DocKind::Markdown:
        return QStringLiteral("text.alignleft");
    case DocKind::Yaml:
    case DocKind::Toml:
        return QStringLiteral("list.bullet.indent");
    case DocKind::Xml:
        return QStringLiteral("chevron.left.forwardslash.chevron.right");
    case DocKind::Log:
        return QStringLiteral("doc.text.magnifyingglass");
    }
    return QStringLiteral("doc.text");
}

QSize RecentRow::sizeHint() const
{
    const int textHeight = QFontMetrics(nameFont()).height() + lineGap + QFontMetrics(folderFont()).height();
    const int textWidth = std::max(QFontMetrics(nameFont()).horizontalAdvance(text()),
                                   QFontMetrics(folderFont()).horizontalAdvance(m_folder));
    return {sidePadding + iconBox + gap + textWidth + gap + removeSize + sidePadding, verticalPadding * 2 + textHeight};
}

QSize RecentRow::minimumSizeHint() const
{
    return {sidePadding + iconBox + gap + 80 + gap + removeSize + sidePadding, sizeHint().height()};
}

void RecentRow::resizeEvent(QResizeEvent *event)
{
    QAbstractButton::resizeEvent(event);
    m_remove->move(width() - sidePadding - removeSize, (height() - removeSize) / 2);
}

void RecentRow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    if (m_hovering || isDown()) {
        QPainterPath path;
        path.addRoundedRect(frame, cornerRadius, cornerRadius);
        painter.fillPath(path, Chrome::foreground(m_theme, isDown() ? 0.12 : 0.08));
    }
    if (hasFocus()) {
        painter.setPen(QPen(Chrome::foreground(m_theme, 0.45), 1, Qt::DotLine));
        painter.drawRoundedRect(frame, cornerRadius, cornerRadius);
    }

    const QPixmap symbol =
        Icons::pixmap(m_cachedIcon, Chrome::foreground(m_theme, 0.55), symbolSize, devicePixelRatioF());
    painter.drawPixmap(sidePadding + (iconBox - symbolSize) / 2, (height() - symbolSize) / 2, symbol);

    const int textLeft = sidePadding + iconBox + gap;
    // The text stops before the remove button's place whether or not it is shown, so hovering
    // never moves or re-elides the text.
    const int textWidth = std::max(0, width() - textLeft - gap - removeSize - sidePadding);
    const QFontMetrics nameMetrics(nameFont());
    const QFontMetrics folderMetrics(folderFont());
    const int textHeight = nameMetrics.height() + lineGap + folderMetrics.height();
    const int top = (height() - textHeight) / 2;
    painter.setFont(nameFont());
    painter.setPen(Chrome::foreground(m_theme, 0.92));
    painter.drawText(QRect(textLeft, top, textWidth, nameMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                     nameMetrics.elidedText(text(), Qt::ElideRight, textWidth));
    painter.setFont(folderFont());
    painter.setPen(Chrome::foreground(m_theme, 0.4));
    painter.drawText(QRect(textLeft, top + nameMetrics.height() + lineGap, textWidth, folderMetrics.height()),
                     Qt::AlignLeft | Qt::AlignVCenter, folderMetrics.elidedText(m_folder, Qt::ElideMiddle, textWidth));
}

void RecentRow::setHovering(bool hovering)
{
    if (m_hovering == hovering)
        return;
    m_hovering = hovering;
    m_remove->setVisible(hovering);
    update();
}

void RecentRow::enterEvent(QEnterEvent *event)
{
    setHovering(true);
    QAbstractButton::enterEvent(event);
}

void RecentRow::leaveEvent(QEvent *event)
{
    setHovering(false);
    QAbstractButton::leaveEvent(event);
}

void RecentRow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        click();
        return;
    }
    // With the keyboard there is no hover: Delete removes the focused entry.
    if (event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace) {
        emit removeRequested(m_entry);
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

} // namespace App

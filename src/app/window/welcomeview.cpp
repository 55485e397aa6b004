#include "welcomeview.h"

#include "chrome.h"
#include "icons.h"
#include "recentrow.h"
#include "scratchcloseguard.h"
#include "scratchnoterow.h"
#include "welcomeview_p.h"

#include "app/services/fileassociations.h"
#include "app/services/preferences.h"
#include "app/services/updatechecker.h"
#include "base/localization.h"
#include "documents/scratchfile.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDateTime>
#include <QDesktopServices>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QScrollBar>
#include <QShowEvent>
#include <QVBoxLayout>

#include <algorithm>

namespace App {

using Internal::setTextColor;

namespace {

constexpr int iconSide = 84;
constexpr int cornerInset = 12;
constexpr int gearSide = 28;
constexpr int recentsMaximumWidth = 460;

// The design's symbol when the vendored set has it, else the nearest one it has.
QString availableSymbol(const QString &preferred, const QString &fallback)
{
    return Icons::exists(preferred) ? preferred : fallback;
}

QLabel *centredLabel(const QString &text, const QFont &font, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setFont(font);
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    return label;
}

} // namespace

// ---- Parts of the screen ----------------------------------------------------------------------

// The application's icon, or a faint disc with a document symbol when there is none.
class WelcomeIcon : public QWidget {
public:
    explicit WelcomeIcon(QWidget *parent) : QWidget(parent)
    {
        setFixedSize(iconSide, iconSide);
        setAttribute(Qt::WA_TransparentForMouseEvents);
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
        painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
        QIcon icon = QApplication::windowIcon();
        if (icon.isNull())
            icon = QIcon::fromTheme(QStringLiteral("app.corvane.editor"));
        if (!icon.isNull()) {
            icon.paint(&painter, rect());
            return;
        }
        painter.setPen(Qt::NoPen);
        painter.setBrush(Chrome::foreground(m_theme, 0.06));
        painter.drawEllipse(QRectF(rect()));
        constexpr int symbolSize = 36;
        const QPixmap symbol = Icons::pixmap(QStringLiteral("doc.text"), Chrome::foreground(m_theme, 0.6), symbolSize,
                                             devicePixelRatioF());
        painter.drawPixmap((width() - symbolSize) / 2, (height() - symbolSize) / 2, symbol);
    }

private:
    Highlighting::Theme m_theme = Highlighting::Theme::defaultTheme();
};

// The screen's text buttons: New and Open File… (symbol and title on a rounded tint), and the
// plain Clear of the recent files.
class WelcomeButton : public QAbstractButton {
public:
    struct Look {
        QString symbol;     // empty: title only, no background
        double points = 14; // title size
        double fill = 0;    // background opacity, normally and while hovered
        double hoverFill = 0;
        double title = 1; // title opacity, normally and while hovered
        double hoverTitle = 1;
    };

    WelcomeButton(const QString &text, Look look, QWidget *parent) : QAbstractButton(parent), m_look(std::move(look))
    {
        setText(text);
        setAccessibleName(text);
        setFocusPolicy(Qt::TabFocus);
        setAttribute(Qt::WA_Hover);
        setFont(Chrome::font(m_look.points, m_look.symbol.isEmpty() ? QFont::Normal : QFont::Medium));
    }
    void setTheme(const Highlighting::Theme &theme)
    {
        m_theme = theme;
        update();
    }
    bool isHovering() const { return m_hovering; }

    QSize sizeHint() const override
    {
        const int textWidth = QFontMetrics(font()).horizontalAdvance(text());
        if (m_look.symbol.isEmpty())
            return {textWidth + 8, QFontMetrics(font()).height() + 4};
        return {horizontalPadding + symbolSize + symbolGap + textWidth + horizontalPadding, 36};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        const double fill = (m_hovering ? m_look.hoverFill : m_look.fill) + (isDown() ? 0.06 : 0.0);
        if (fill > 0) {
            QPainterPath path;
            path.addRoundedRect(frame, 8, 8);
            painter.fillPath(path, Chrome::foreground(m_theme, fill));
        }
        if (hasFocus()) {
            painter.setPen(QPen(Chrome::foreground(m_theme, 0.5), 1, Qt::DotLine));
            painter.drawRoundedRect(frame, 8, 8);
        }
        const QColor color = Chrome::foreground(m_theme, m_hovering ? m_look.hoverTitle : m_look.title);
        painter.setFont(font());
        painter.setPen(color);
        if (m_look.symbol.isEmpty()) {
            painter.drawText(rect(), Qt::AlignCenter, text());
            return;
        }
        const int textWidth = QFontMetrics(font()).horizontalAdvance(text());
        const int contentWidth = symbolSize + symbolGap + textWidth;
        const int left = (width() - contentWidth) / 2;
        painter.drawPixmap(left, (height() - symbolSize) / 2,
                           Icons::pixmap(m_look.symbol, color, symbolSize, devicePixelRatioF()));
        painter.drawText(QRect(left + symbolSize + symbolGap, 0, textWidth + 2, height()),
                         Qt::AlignLeft | Qt::AlignVCenter, text());
    }
    void enterEvent(QEnterEvent *event) override
    {
        m_hovering = true;
        update();
        QAbstractButton::enterEvent(event);
    }
    void leaveEvent(QEvent *event) override
    {
        m_hovering = false;
        update();
        QAbstractButton::leaveEvent(event);
    }

private:
    static constexpr int horizontalPadding = 16;
    static constexpr int symbolSize = 16;
    static constexpr int symbolGap = 8;

    Look m_look;
    Highlighting::Theme m_theme = Highlighting::Theme::defaultTheme();
    bool m_hovering = false;
};

// The two controls pinned to the top corners: the gear, and the update badge.
class WelcomeCornerButton : public QAbstractButton {
public:
    enum class Kind { Gear, UpdateBadge };

    WelcomeCornerButton(Kind kind, QWidget *parent) : QAbstractButton(parent), m_kind(kind)
    {
        setFocusPolicy(Qt::TabFocus);
        setAttribute(Qt::WA_Hover);
        setFont(Chrome::font(11, QFont::Medium));
        if (kind == Kind::Gear)
            setFixedSize(gearSide, gearSide);
    }
    void setTheme(const Highlighting::Theme &theme)
    {
        m_theme = theme;
        update();
    }
    bool isHovering() const { return m_hovering; }

    QSize sizeHint() const override
    {
        if (m_kind == Kind::Gear)
            return {gearSide, gearSide};
        return {std::min(maximumBadgeWidth, 8 + badgeSymbol + 5 + QFontMetrics(font()).horizontalAdvance(text()) + 10), 22};
    }

    // The badge's text comes from the update server: however long, the badge stays this wide at
    // most and elides the rest.
    static constexpr int maximumBadgeWidth = 400;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        if (m_kind == Kind::Gear) {
            if (m_hovering || isDown()) {
                QPainterPath path;
                path.addRoundedRect(frame, 6, 6);
                painter.fillPath(path, Chrome::foreground(m_theme, isDown() ? 0.16 : 0.1));
            }
            constexpr int symbolSize = 16;
            const QColor color = Chrome::foreground(m_theme, m_hovering ? 0.85 : 0.4);
            painter.drawPixmap((width() - symbolSize) / 2, (height() - symbolSize) / 2,
                               Icons::pixmap(QStringLiteral("gearshape"), color, symbolSize, devicePixelRatioF()));
        } else {
            QPainterPath capsule;
            capsule.addRoundedRect(frame, frame.height() / 2, frame.height() / 2);
            painter.fillPath(capsule,
                             Chrome::foreground(m_theme, (m_hovering ? 0.18 : 0.12) + (isDown() ? 0.06 : 0.0)));
            drawDownloadSymbol(painter, QRectF(8, (height() - badgeSymbol) / 2.0, badgeSymbol, badgeSymbol));
            painter.setFont(font());
            painter.setPen(Chrome::foreground(m_theme, 0.9));
            const int textWidth = std::max(0, width() - badgeSymbol - 23);
            painter.drawText(QRect(8 + badgeSymbol + 5, 0, textWidth, height()), Qt::AlignLeft | Qt::AlignVCenter,
                             QFontMetrics(font()).elidedText(text(), Qt::ElideRight, textWidth));
        }
        if (hasFocus()) {
            painter.setPen(QPen(Chrome::foreground(m_theme, 0.5), 1, Qt::DotLine));
            painter.setBrush(Qt::NoBrush);
            const qreal radius = m_kind == Kind::Gear ? 6 : frame.height() / 2;
            painter.drawRoundedRect(frame, radius, radius);
        }
    }
    void enterEvent(QEnterEvent *event) override
    {
        m_hovering = true;
        update();
        QAbstractButton::enterEvent(event);
    }
    void leaveEvent(QEvent *event) override
    {
        m_hovering = false;
        update();
        QAbstractButton::leaveEvent(event);
    }

private:
    static constexpr int badgeSymbol = 13;

    // A green disc with a downward arrow cut out of it.
    void drawDownloadSymbol(QPainter &painter, const QRectF &box) const
    {
        const QString name = QStringLiteral("arrow.down.circle.fill");
        const QColor green = Chrome::validGreen(m_theme);
        if (Icons::exists(name)) {
            painter.drawPixmap(box.topLeft(), Icons::pixmap(name, green, int(box.width()), devicePixelRatioF()));
            return;
        }
        painter.setPen(Qt::NoPen);
        painter.setBrush(green);
        painter.drawEllipse(box);
        QPen arrow(Chrome::background(m_theme), 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        painter.setPen(arrow);
        painter.setBrush(Qt::NoBrush);
        const QPointF c = box.center();
        const qreal r = box.width() / 2;
        painter.drawLine(c + QPointF(0, -r * 0.5), c + QPointF(0, r * 0.45));
        QPainterPath head;
        head.moveTo(c + QPointF(-r * 0.38, r * 0.08));
        head.lineTo(c + QPointF(0, r * 0.45));
        head.lineTo(c + QPointF(r * 0.38, r * 0.08));
        painter.drawPath(head);
    }

    Kind m_kind;
    Highlighting::Theme m_theme = Highlighting::Theme::defaultTheme();
    bool m_hovering = false;
};

// The dashed outline of the drop target, above everything and transparent to the pointer.
class DropOutline : public QWidget {
public:
    explicit DropOutline(QWidget *parent) : QWidget(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
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
        QPen pen(Chrome::foreground(m_theme, 0.5), 2);
        pen.setDashPattern({4, 3}); // In pen widths: 8 on, 6 off.
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(rect()).adjusted(24, 24, -24, -24), 16, 16);
    }

private:
    Highlighting::Theme m_theme = Highlighting::Theme::defaultTheme();
};

// ---- The screen -------------------------------------------------------------------------------

WelcomeView::WelcomeView(QWidget *parent) : WelcomeView(Sources{}, parent)
{
}

WelcomeView::WelcomeView(Sources sources, QWidget *parent)
    : QWidget(parent), m_recents(sources.recents ? *sources.recents : RecentsStore::shared()),
      m_updates(sources.updates ? *sources.updates : UpdateChecker::shared()),
      m_theme(Highlighting::Theme::defaultTheme()),
      m_scratchFolder(sources.scratchFolder.isEmpty() ? scratchFolder() : sources.scratchFolder)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_firstRunTimer.setSingleShot(true);
    connect(&m_firstRunTimer, &Base::Timer::timeout, this, &WelcomeView::showFirstRunSheetIfDue);
    build();
    connect(&m_recents, &RecentsStore::itemsChanged, this, &WelcomeView::rebuildRecents);
    connect(&m_updates, &UpdateChecker::availabilityChanged, this, &WelcomeView::updateBadgeState);
    rebuildRecents();
    refreshScratchNotes();
    updateBadgeState();
    setTheme(m_theme);
}

void WelcomeView::build()
{
    m_scroll = new QScrollArea(this);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto *content = new QWidget;
    auto *column = new QVBoxLayout(content);
    // The top margin keeps the column clear of the corner controls.
    column->setContentsMargins(40, cornerInset + gearSide + 12, 40, 40);
    column->setSpacing(20);
    column->addStretch(1);

    m_icon = new WelcomeIcon(content);
    column->addWidget(m_icon, 0, Qt::AlignHCenter);
    m_title = centredLabel(loc("Corvane"), Chrome::font(28, QFont::DemiBold), content);
    column->addWidget(m_title);
    m_kinds = centredLabel(loc("JSON · CSV · Markdown · YAML · TOML · XML · LOG · TXT"), Chrome::font(12), content);
    column->addWidget(m_kinds);

    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(12);
    m_new = new WelcomeButton(loc("New"), {QStringLiteral("square.and.pencil"), 14, 0.12, 0.18, 0.9, 0.9}, content);
    m_open = new WelcomeButton(
        loc("Open File…"),
        {availableSymbol(QStringLiteral("folder.fill"), QStringLiteral("folder")), 14, 0.08, 0.08, 0.85, 0.95},
        content);
    buttons->addStretch(1);
    buttons->addWidget(m_new);
    buttons->addWidget(m_open);
    buttons->addStretch(1);
    column->addLayout(buttons);
    m_hint = centredLabel(loc("or drop a file anywhere"), Chrome::font(11), content);
    column->addWidget(m_hint);

    m_recentSection = new QWidget(content);
    m_recentSection->setMaximumWidth(recentsMaximumWidth);
    m_recentSection->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    auto *section = new QVBoxLayout(m_recentSection);
    section->setContentsMargins(0, 0, 0, 0);
    section->setSpacing(6);
    auto *header = new QHBoxLayout;
    header->setContentsMargins(10, 0, 6, 2);
    m_recentHeader = new QLabel(loc("Recent"), m_recentSection);
    QFont headerFont = Chrome::font(11, QFont::DemiBold);
    headerFont.setCapitalization(QFont::AllUppercase);
    headerFont.setLetterSpacing(QFont::PercentageSpacing, 106);
    m_recentHeader->setFont(headerFont);
    m_clear = new WelcomeButton(loc("Clear"), {QString(), 11, 0, 0, 0.4, 0.7}, m_recentSection);
    header->addWidget(m_recentHeader);
    header->addStretch(1);
    header->addWidget(m_clear);
    section->addLayout(header);
    m_rowsLayout = new QVBoxLayout;
    m_rowsLayout->setContentsMargins(0, 0, 0, 0);
    m_rowsLayout->setSpacing(6);
    section->addLayout(m_rowsLayout);
    auto *sectionRow = new QHBoxLayout;
    sectionRow->addStretch(0);
    sectionRow->addWidget(m_recentSection, 1);
    sectionRow->addStretch(0);
    column->addLayout(sectionRow);

    // The scratch notes, below the recent files and laid out like them.
    m_notesSection = new QWidget(content);
    m_notesSection->setObjectName(QStringLiteral("scratchNotes"));
    m_notesSection->setMaximumWidth(recentsMaximumWidth);
    m_notesSection->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    auto *notes = new QVBoxLayout(m_notesSection);
    notes->setContentsMargins(0, 0, 0, 0);
    notes->setSpacing(6);
    m_notesHeader = new QLabel(loc("Scratch Notes"), m_notesSection);
    m_notesHeader->setFont(headerFont);
    m_notesHeader->setContentsMargins(10, 0, 6, 2);
    notes->addWidget(m_notesHeader);
    m_notesLayout = new QVBoxLayout;
    m_notesLayout->setContentsMargins(0, 0, 0, 0);
    m_notesLayout->setSpacing(6);
    notes->addLayout(m_notesLayout);
    auto *notesRow = new QHBoxLayout;
    notesRow->addStretch(0);
    notesRow->addWidget(m_notesSection, 1);
    notesRow->addStretch(0);
    column->addLayout(notesRow);
    column->addStretch(1);

    m_scroll->setWidget(content);
    // QScrollArea paints its widget's background; the screen's own background shows through.
    content->setAutoFillBackground(false);
    m_scroll->viewport()->setAutoFillBackground(false);

    m_badge = new WelcomeCornerButton(WelcomeCornerButton::Kind::UpdateBadge, this);
    m_badge->setToolTip(loc("Click to download the new version"));
    m_gear = new WelcomeCornerButton(WelcomeCornerButton::Kind::Gear, this);
    m_gear->setToolTip(loc("File associations"));
    m_gear->setAccessibleName(loc("File associations"));
    m_outline = new DropOutline(this);
    m_outline->hide();

    connect(m_new, &QAbstractButton::clicked, this, &WelcomeView::newRequested);
    connect(m_open, &QAbstractButton::clicked, this, &WelcomeView::openRequested);
    connect(m_clear, &QAbstractButton::clicked, this, [this] { m_recents.clear(); });
    connect(m_gear, &QAbstractButton::clicked, this, &WelcomeView::settingsRequested);
    connect(m_badge, &QAbstractButton::clicked, this, [this] {
        const std::optional<QUrl> url = m_updates.releaseURL();
        if (!url)
            return;
        if (openReleasePage)
            openReleasePage(*url);
        else
            QDesktopServices::openUrl(*url);
    });
    setTabOrder(m_new, m_open);
}

void WelcomeView::setTheme(const Highlighting::Theme &theme)
{
    m_theme = theme;
    Chrome::applyPalette(this, theme);
    m_icon->setTheme(theme);
    setTextColor(m_title, Chrome::foreground(theme, 0.95));
    setTextColor(m_kinds, Chrome::foreground(theme, 0.5));
    setTextColor(m_hint, Chrome::foreground(theme, 0.35));
    setTextColor(m_recentHeader, Chrome::foreground(theme, 0.45));
    setTextColor(m_notesHeader, Chrome::foreground(theme, 0.45));
    for (ScratchNoteRow *row : std::as_const(m_noteRows))
        row->setTheme(theme);
    for (WelcomeButton *button : {m_new, m_open, m_clear})
        button->setTheme(theme);
    for (RecentRow *row : std::as_const(m_rows))
        row->setTheme(theme);
    m_badge->setTheme(theme);
    m_gear->setTheme(theme);
    m_outline->setTheme(theme);
    Internal::styleScrollBar(m_scroll->verticalScrollBar(), theme);
    update();
}

void WelcomeView::setDropHighlighted(bool highlighted)
{
    m_dropHighlighted = highlighted;
    m_outline->setGeometry(rect());
    m_outline->setVisible(highlighted);
    m_outline->raise();
}

QAbstractButton *WelcomeView::newButton() const
{
    return m_new;
}

QAbstractButton *WelcomeView::openButton() const
{
    return m_open;
}

QAbstractButton *WelcomeView::gearButton() const
{
    return m_gear;
}

QAbstractButton *WelcomeView::updateBadge() const
{
    return m_badge;
}

QAbstractButton *WelcomeView::clearButton() const
{
    return m_clear;
}

void WelcomeView::rebuildRecents()
{
    // The old rows go later: this may run inside the click of one of them.
    for (RecentRow *row : std::as_const(m_rows)) {
        row->hide();
        m_rowsLayout->removeWidget(row);
        row->deleteLater();
    }
    m_rows.clear();
    const QList<RecentEntry> &items = m_recents.items();
    for (qsizetype i = 0; i < items.size() && i < RecentsStore::maxCount; ++i) {
        auto *row = new RecentRow(items[i], m_theme, m_recentSection);
        connect(row, &RecentRow::openRequested, this, &WelcomeView::recentRequested);
        connect(row, &RecentRow::removeRequested, this, [this](const RecentEntry &entry) { m_recents.remove(entry); });
        m_rowsLayout->addWidget(row);
        m_rows.append(row);
    }
    m_recentSection->setVisible(!m_rows.isEmpty());
}

void WelcomeView::refreshScratchNotes()
{
    // The old rows go later: this may run inside the click of one of them.
    for (ScratchNoteRow *row : std::as_const(m_noteRows)) {
        row->hide();
        m_notesLayout->removeWidget(row);
        row->deleteLater();
    }
    m_noteRows.clear();
    const auto notes = m_scratchFolder.isEmpty()
                           ? std::vector<Documents::ScratchFile::Note>()
                           : Documents::ScratchFile::list(QFile::encodeName(m_scratchFolder).toStdString());
    QWidget *previous = m_rows.isEmpty() ? static_cast<QWidget *>(m_open) : m_rows.last();
    for (std::size_t i = 0; i < notes.size() && int(i) < maximumScratchNotes; ++i) {
        const auto &note = notes[i];
        const QDateTime modified = QDateTime::fromMSecsSinceEpoch(note.modifiedSeconds * 1000
                                                                  + note.modifiedNanoseconds / 1'000'000);
        auto *row = new ScratchNoteRow(QFile::decodeName(QByteArray::fromStdString(note.path)),
                                       QString::fromStdU16String(note.title), modified, m_theme, m_notesSection);
        connect(row, &ScratchNoteRow::openRequested, this, &WelcomeView::scratchNoteRequested);
        m_notesLayout->addWidget(row);
        m_noteRows.append(row);
        setTabOrder(previous, row);
        previous = row;
    }
    m_notesSection->setVisible(!m_noteRows.isEmpty());
}

void WelcomeView::updateBadgeState()
{
    const std::optional<QString> version = m_updates.availableVersion();
    m_badge->setVisible(version.has_value());
    if (!version)
        return;
    m_badge->setText(loc(Base::Message{"Update available: %@", {version->toStdString()}}));
    m_badge->setAccessibleName(m_badge->text());
    m_badge->resize(m_badge->sizeHint());
    placeCorners();
}

void WelcomeView::placeCorners()
{
    m_badge->move(cornerInset, cornerInset + (gearSide - m_badge->height()) / 2);
    m_gear->move(width() - cornerInset - gearSide, cornerInset);
    m_badge->raise();
    m_gear->raise();
    m_outline->setGeometry(rect());
    m_outline->raise();
}

void WelcomeView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_scroll->setGeometry(rect());
    placeCorners();
}

void WelcomeView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Chrome::background(m_theme));
    if (!m_theme.isDark())
        return;
    // A faint light from above, fading out by the middle of the screen.
    QLinearGradient glow(0, 0, 0, height() / 2.0);
    glow.setColorAt(0, QColor(255, 255, 255, qRound(255 * 0.04)));
    glow.setColorAt(1, QColor(255, 255, 255, 0));
    painter.fillRect(QRect(0, 0, width(), height() / 2 + 1), glow);
}

void WelcomeView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // A window coming back from being minimised is not the screen appearing again.
    if (event->spontaneous())
        return;
    refreshScratchNotes();
    m_updates.checkIfDue();
    if (!hasPrompted())
        m_firstRunTimer.start(int(firstRunSheetDelay.count()));
}

bool WelcomeView::hasPrompted()
{
    return Preferences::shared().settings().value(FileAssociations::hasPromptedKey, false).toBool();
}

void WelcomeView::showFirstRunSheetIfDue()
{
    // The screen may have given way to a document meanwhile, or the sheet been answered in
    // another window.
    if (!isVisible() || hasPrompted())
        return;
    // One first-run sheet for the whole application, even when several windows open at once.
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (auto *sheet = qobject_cast<FileAssociationsSheet *>(widget))
            if (sheet->isVisible() && sheet->mode() == SheetKind::FirstRun)
                return;
    // Nor over a settings sheet the user has opened.
    if (activeSheet())
        return;
    showSheet(SheetKind::FirstRun);
}

void WelcomeView::showSheet(SheetKind kind)
{
    showFileAssociationsSheet(this, kind);
}

std::optional<SheetKind> WelcomeView::activeSheet() const
{
    if (FileAssociationsSheet *sheet = fileAssociationsSheetOf(window()))
        return sheet->mode();
    return std::nullopt;
}

} // namespace App

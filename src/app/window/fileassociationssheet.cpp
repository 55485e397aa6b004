#include "fileassociationssheet.h"

#include "chrome.h"
#include "icons.h"
#include "welcomeview_p.h"

#include "app/services/mimeappslist.h"
#include "app/services/preferences.h"
#include "base/localization.h"
#include "base/timer.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

namespace App {

namespace {

constexpr int outerPadding = 18;
constexpr int listMaximumHeight = 280;
constexpr int checkSize = 15;

using Internal::setTextColor;

// The check box as the design draws it: a filled rounded square with the check cut out of it
// when on, a faint outline when off.
void drawCheckBox(QPainter &painter, const QRectF &box, bool checked, const Highlighting::Theme &theme)
{
    const QRectF square = box.adjusted(1, 1, -1, -1);
    if (!checked) {
        painter.setPen(QPen(Chrome::foreground(theme, 0.45), 1.3));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(square, 3, 3);
        return;
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(Chrome::foreground(theme, 0.88));
    painter.drawRoundedRect(square, 3, 3);
    QPainterPath check;
    check.moveTo(square.left() + square.width() * 0.24, square.top() + square.height() * 0.52);
    check.lineTo(square.left() + square.width() * 0.43, square.top() + square.height() * 0.71);
    check.lineTo(square.left() + square.width() * 0.77, square.top() + square.height() * 0.31);
    painter.setPen(QPen(Chrome::background(theme), 1.7, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(check);
}

QLabel *sectionHeader(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    QFont font = Chrome::font(10, QFont::DemiBold);
    font.setCapitalization(QFont::AllUppercase);
    font.setLetterSpacing(QFont::PercentageSpacing, 106);
    label->setFont(font);
    return label;
}

QSet<QString> allIds()
{
    QSet<QString> ids;
    for (const FileAssociationType &type : FileAssociations::all())
        ids.insert(type.id);
    return ids;
}

} // namespace

// ---- Rows and buttons -------------------------------------------------------------------------

// A check-box row: the box symbol, a label, a detail line (under the label, or after it on the
// same line), and optionally the small "current" badge at the end.
class AssociationRow : public QAbstractButton {
public:
    enum class Detail { Below, Trailing };

    AssociationRow(const QString &label, const QString &detail, Detail placement, QWidget *parent)
        : QAbstractButton(parent), m_detail(detail), m_placement(placement)
    {
        setText(label);
        setCheckable(true);
        setFocusPolicy(Qt::TabFocus);
        setAttribute(Qt::WA_Hover);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        setAccessibleName(label);
        updateDescription();
    }

    void setTheme(const Highlighting::Theme &theme)
    {
        m_theme = theme;
        update();
    }
    void setCurrent(bool current)
    {
        if (m_current == current)
            return;
        m_current = current;
        updateDescription();
        update();
    }
    bool isCurrent() const { return m_current; }
    void setDivider(bool divider)
    {
        m_divider = divider;
        update();
    }

    QSize sizeHint() const override
    {
        const int label = QFontMetrics(labelFont()).height();
        const int detail = QFontMetrics(detailFont()).height();
        const int height = m_placement == Detail::Below ? 7 + label + detail + 7 : 6 + std::max(label, checkSize) + 6;
        return {320, height};
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        if (underMouse() || isDown())
            painter.fillRect(rect(), Chrome::foreground(m_theme, isDown() ? 0.08 : 0.04));
        if (hasFocus()) {
            painter.setPen(QPen(Chrome::foreground(m_theme, 0.45), 1, Qt::DotLine));
            painter.drawRoundedRect(frame.adjusted(1, 1, -1, -1), 4, 4);
        }
        if (m_divider) {
            painter.setPen(QPen(Chrome::foreground(m_theme, 0.08), 1));
            painter.drawLine(QPointF(10, height() - 0.5), QPointF(width() - 10, height() - 0.5));
        }

        const int left = m_placement == Detail::Below ? 12 : 0;
        drawCheckBox(painter, QRectF(left, (height() - checkSize) / 2, checkSize, checkSize), isChecked(), m_theme);

        int right = width() - 12;
        if (m_current) {
            QFont badgeFont = Chrome::font(9.5, QFont::Medium);
            const QFontMetrics metrics(badgeFont);
            const QString badge = loc("current");
            const int badgeWidth = metrics.horizontalAdvance(badge) + 12;
            const int badgeHeight = metrics.height() + 2;
            const QRectF box(right - badgeWidth, (height() - badgeHeight) / 2.0, badgeWidth, badgeHeight);
            QPainterPath path;
            path.addRoundedRect(box, badgeHeight / 2.0, badgeHeight / 2.0);
            painter.fillPath(path, Chrome::foreground(m_theme, 0.1));
            painter.setFont(badgeFont);
            painter.setPen(Chrome::foreground(m_theme, 0.7));
            painter.drawText(box, Qt::AlignCenter, badge);
            right = int(box.left()) - 8;
        }

        const int textLeft = left + checkSize + 10;
        const int textWidth = std::max(0, right - textLeft);
        const QFontMetrics labelMetrics(labelFont());
        const QFontMetrics detailMetrics(detailFont());
        painter.setFont(labelFont());
        painter.setPen(Chrome::foreground(m_theme, 0.92));
        if (m_placement == Detail::Below) {
            const int top = (height() - labelMetrics.height() - detailMetrics.height()) / 2;
            painter.drawText(QRect(textLeft, top, textWidth, labelMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                             text());
            painter.setFont(detailFont());
            painter.setPen(Chrome::foreground(m_theme, 0.45));
            painter.drawText(QRect(textLeft, top + labelMetrics.height(), textWidth, detailMetrics.height()),
                             Qt::AlignLeft | Qt::AlignVCenter,
                             detailMetrics.elidedText(m_detail, Qt::ElideRight, textWidth));
        } else {
            const int labelWidth = labelMetrics.horizontalAdvance(text());
            painter.drawText(QRect(textLeft, 0, textWidth, height()), Qt::AlignLeft | Qt::AlignVCenter, text());
            painter.setFont(detailFont());
            painter.setPen(Chrome::foreground(m_theme, 0.35));
            const int detailLeft = textLeft + labelWidth + 10;
            painter.drawText(QRect(detailLeft, 0, std::max(0, right - detailLeft), height()),
                             Qt::AlignLeft | Qt::AlignVCenter, m_detail);
        }
    }

private:
    QFont labelFont() const { return Chrome::font(13); }
    QFont detailFont() const { return Chrome::font(m_placement == Detail::Below ? 11 : 10.5); }
    void updateDescription()
    {
        setAccessibleDescription(m_current ? m_detail + QStringLiteral(", ") + loc("current") : m_detail);
    }

    Highlighting::Theme m_theme = Highlighting::Theme::defaultTheme();
    QString m_detail;
    Detail m_placement;
    bool m_current = false;
    bool m_divider = false;
};

// The sheet's push buttons, in the theme's colours: plain text, a bordered tint, or the
// prominent default action.
class SheetButton : public QPushButton {
public:
    enum class Style { Plain, Bordered, Prominent };

    SheetButton(Style style, const QString &text, QWidget *parent) : QPushButton(text, parent), m_style(style)
    {
        setAutoDefault(false);
        setFocusPolicy(Qt::TabFocus);
        setAttribute(Qt::WA_Hover);
        setFont(Chrome::font(style == Style::Plain ? 11.5 : 12.5,
                             style == Style::Prominent ? QFont::DemiBold : QFont::Normal));
    }
    void setTheme(const Highlighting::Theme &theme)
    {
        m_theme = theme;
        update();
    }
    QSize sizeHint() const override
    {
        const int padding = m_style == Style::Plain ? 6 : 14;
        return {QFontMetrics(font()).horizontalAdvance(text()) + 2 * padding + 2, m_style == Style::Plain ? 24 : 28};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        const bool hovered = underMouse() && isEnabled();
        const double enabled = isEnabled() ? 1.0 : 0.4;
        QPainterPath path;
        path.addRoundedRect(frame, 6, 6);
        QColor textColor;
        switch (m_style) {
        case Style::Plain:
            if (isDown())
                painter.fillPath(path, Chrome::foreground(m_theme, 0.08));
            textColor = Chrome::foreground(m_theme, (hovered ? 0.95 : 0.7) * enabled);
            break;
        case Style::Bordered:
            painter.fillPath(path, Chrome::foreground(m_theme, isDown() ? 0.2 : (hovered ? 0.15 : 0.1)));
            textColor = Chrome::foreground(m_theme, 0.9 * enabled);
            break;
        case Style::Prominent:
            // The theme's foreground as the fill, its background as the text: the one strong
            // shape of the sheet, whatever the theme.
            painter.fillPath(path, Chrome::foreground(m_theme, (isDown() ? 1.0 : (hovered ? 0.92 : 0.82)) * enabled));
            textColor = Chrome::background(m_theme, isEnabled() ? 1.0 : 0.8);
            break;
        }
        if (hasFocus()) {
            painter.setPen(QPen(Chrome::foreground(m_theme, 0.5), 1, Qt::DotLine));
            painter.drawRoundedRect(frame.adjusted(-0.0, -0.0, 0, 0), 6, 6);
        }
        painter.setFont(font());
        painter.setPen(textColor);
        painter.drawText(rect(), Qt::AlignCenter, text());
    }

private:
    Style m_style;
    Highlighting::Theme m_theme = Highlighting::Theme::defaultTheme();
};

// ---- The sheet --------------------------------------------------------------------------------

FileAssociationsSheet::FileAssociationsSheet(Mode mode, DefaultHandlerRegistry &registry, QWidget *parent)
    : QDialog(parent), m_mode(mode), m_registry(registry), m_theme(Highlighting::Theme::defaultTheme()),
      m_selected(FileAssociations::preselected())
{
    build();
}

FileAssociationsSheet::FileAssociationsSheet(Mode mode, std::unique_ptr<DefaultHandlerRegistry> registry,
                                             QWidget *parent)
    : QDialog(parent), m_mode(mode), m_ownedRegistry(std::move(registry)), m_registry(*m_ownedRegistry),
      m_theme(Highlighting::Theme::defaultTheme()), m_selected(FileAssociations::preselected())
{
    build();
}

FileAssociationsSheet::~FileAssociationsSheet() = default;

void FileAssociationsSheet::build()
{
    const bool firstRun = m_mode == Mode::FirstRun;
    const QString title = firstRun ? loc("Welcome to Corvane") : loc("Settings");
    setWindowTitle(title);
    setSizeGripEnabled(false);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(outerPadding, outerPadding, outerPadding, outerPadding);
    column->setSpacing(0);
    column->setSizeConstraint(QLayout::SetFixedSize);

    auto *header = new QHBoxLayout;
    header->setSpacing(8);
    m_symbol = new QLabel(this);
    m_symbol->setFixedSize(20, 20);
    m_symbol->setAlignment(Qt::AlignCenter);
    m_title = new QLabel(title, this);
    m_title->setFont(Chrome::font(14, QFont::DemiBold));
    header->addWidget(m_symbol);
    header->addWidget(m_title);
    header->addStretch(1);
    column->addLayout(header);
    column->addSpacing(10);

    auto *pick = new QLabel(loc("Pick which file types should open in Corvane by default."), this);
    pick->setFont(Chrome::font(13));
    auto *gearHint = new QLabel(loc("You can change this any time from the gear icon."), this);
    gearHint->setFont(Chrome::font(11));
    column->addWidget(pick);
    column->addSpacing(3);
    column->addWidget(gearHint);
    column->addSpacing(16);

    auto *associations = sectionHeader(loc("File Associations"), this);
    column->addWidget(associations);
    column->addSpacing(6);

    m_list = new QWidget;
    m_list->setObjectName(QStringLiteral("associationList"));
    auto *rows = new QVBoxLayout(m_list);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(0);
    const auto &types = FileAssociations::all();
    for (qsizetype i = 0; i < types.size(); ++i) {
        const FileAssociationType &type = types[i];
        QStringList extensions;
        for (const QString &extension : type.extensions)
            extensions << QLatin1Char('.') + extension;
        QString detail = extensions.join(QStringLiteral(", "));
        if (!type.caveat.isEmpty())
            detail += QStringLiteral(" · ") + type.caveat;
        auto *row = new AssociationRow(type.label, detail, AssociationRow::Detail::Below, m_list);
        row->setObjectName(type.id);
        row->setDivider(i + 1 < types.size());
        connect(row, &QAbstractButton::clicked, this, [this, id = type.id] {
            QSet<QString> next = m_selected;
            if (!next.remove(id))
                next.insert(id);
            setSelected(next);
        });
        rows->addWidget(row);
        m_rows.append(row);
    }
    auto *scroll = m_scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(m_list);
    scroll->viewport()->setAutoFillBackground(false);
    m_list->setAutoFillBackground(false);
    scroll->setFixedWidth(440);
    scroll->setFixedHeight(std::min(listMaximumHeight, m_list->sizeHint().height()));
    column->addWidget(scroll);
    column->addSpacing(16);

    auto *display = sectionHeader(loc("Display"), this);
    column->addWidget(display);
    column->addSpacing(4);
    m_counts = new AssociationRow(loc("Show line/word/char counts"), QStringLiteral("37L · 106W · 1265C"),
                                  AssociationRow::Detail::Trailing, this);
    m_counts->setObjectName(QStringLiteral("showCounts"));
    m_counts->setChecked(Preferences::shared().showCounts());
    connect(m_counts, &QAbstractButton::toggled, this, [](bool on) { Preferences::shared().setShowCounts(on); });
    connect(&Preferences::shared(), &Preferences::changed, this, [this](const QString &key) {
        if (key == Preferences::showCountsKey) {
            const QSignalBlocker blocker(m_counts);
            m_counts->setChecked(Preferences::shared().showCounts());
        }
    });
    column->addWidget(m_counts);
    column->addSpacing(16);

    auto *bottom = new QHBoxLayout;
    bottom->setSpacing(6);
    m_selectAll = new SheetButton(SheetButton::Style::Plain, loc("Select All"), this);
    m_none = new SheetButton(SheetButton::Style::Plain, loc("None"), this);
    m_statusLabel = new QLabel(this);
    m_statusLabel->setFont(Chrome::font(12, QFont::Medium));
    m_cancel = new SheetButton(SheetButton::Style::Bordered, firstRun ? loc("Skip") : loc("Cancel"), this);
    m_apply = new SheetButton(SheetButton::Style::Prominent, loc("Apply"), this);
    m_apply->setDefault(true);
    bottom->addWidget(m_selectAll);
    bottom->addWidget(m_none);
    bottom->addSpacing(8);
    bottom->addWidget(m_statusLabel);
    bottom->addStretch(1);
    bottom->addWidget(m_cancel);
    bottom->addWidget(m_apply);
    column->addLayout(bottom);

    connect(m_selectAll, &QPushButton::clicked, this, [this] { setSelected(allIds()); });
    connect(m_none, &QPushButton::clicked, this, [this] { setSelected({}); });
    connect(m_cancel, &QPushButton::clicked, this, &FileAssociationsSheet::skip);
    connect(m_apply, &QPushButton::clicked, this, &FileAssociationsSheet::apply);

    m_texts = {{m_title, 0.95},     {pick, 0.85},   {gearHint, 0.6},
               {associations, 0.5}, {display, 0.5}, {m_statusLabel, 0.8}};
    setTheme(m_theme);
    refresh();
}

void FileAssociationsSheet::setTheme(const Highlighting::Theme &theme)
{
    m_theme = theme;
    Chrome::applyPalette(this, theme);
    const QString symbol =
        m_mode == Mode::FirstRun ? QStringLiteral("hand.wave.fill") : QStringLiteral("gearshape.fill");
    m_symbol->setPixmap(Icons::pixmap(symbol, Chrome::foreground(theme, 0.75), 18, devicePixelRatioF()));
    for (const auto &[label, opacity] : std::as_const(m_texts))
        setTextColor(label, Chrome::foreground(theme, opacity));
    for (AssociationRow *row : std::as_const(m_rows))
        row->setTheme(theme);
    m_counts->setTheme(theme);
    for (SheetButton *button : {m_selectAll, m_none, m_cancel, m_apply})
        button->setTheme(theme);
    Internal::styleScrollBar(m_scroll->verticalScrollBar(), theme);
    update();
}

void FileAssociationsSheet::setSelected(const QSet<QString> &ids)
{
    m_selected = ids;
    refresh();
}

void FileAssociationsSheet::takeSnapshot()
{
    m_defaultsSnapshot = FileAssociations::snapshot(m_registry);
    m_snapshotTaken = true;
    if (m_mode == Mode::Settings) {
        QSet<QString> current;
        for (auto it = m_defaultsSnapshot.cbegin(); it != m_defaultsSnapshot.cend(); ++it)
            if (it.value())
                current.insert(it.key());
        m_selected = current;
    }
    refresh();
}

void FileAssociationsSheet::refresh()
{
    const auto &types = FileAssociations::all();
    for (qsizetype i = 0; i < types.size(); ++i) {
        const QSignalBlocker blocker(m_rows[i]);
        m_rows[i]->setChecked(m_selected.contains(types[i].id));
        m_rows[i]->setCurrent(m_defaultsSnapshot.value(types[i].id, false));
    }
    m_apply->setEnabled(!m_selected.isEmpty() && !m_applied);
    m_statusLabel->setText(m_status.value_or(QString()));
    m_statusLabel->setVisible(m_status.has_value());
}

QAbstractButton *FileAssociationsSheet::row(const QString &id) const
{
    for (AssociationRow *row : m_rows)
        if (row->objectName() == id)
            return row;
    return nullptr;
}

QAbstractButton *FileAssociationsSheet::countsRow() const
{
    return m_counts;
}

QPushButton *FileAssociationsSheet::applyButton() const
{
    return m_apply;
}

QPushButton *FileAssociationsSheet::cancelButton() const
{
    return m_cancel;
}

QPushButton *FileAssociationsSheet::selectAllButton() const
{
    return m_selectAll;
}

QPushButton *FileAssociationsSheet::noneButton() const
{
    return m_none;
}

QString FileAssociationsSheet::statusText(int succeeded, int selected)
{
    return loc(Base::Message{"%d/%d ✓", {std::int64_t(succeeded), std::int64_t(selected)}});
}

void FileAssociationsSheet::apply()
{
    if (m_selected.isEmpty() || m_applied)
        return;
    // Once only: the sheet is on its way out and a second Return must not write again.
    m_applied = true;
    const int succeeded = FileAssociations::apply(m_selected, m_registry);
    Preferences::shared().settings().setValue(FileAssociations::hasPromptedKey, true);
    m_status = statusText(succeeded, int(m_selected.size()));
    refresh();
    Base::Timer::singleShot(int(closeDelay.count()), this, [this] { accept(); });
}

void FileAssociationsSheet::skip()
{
    Preferences::shared().settings().setValue(FileAssociations::hasPromptedKey, true);
    reject();
}

void FileAssociationsSheet::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_snapshotTaken)
        takeSnapshot();
}

void FileAssociationsSheet::keyPressEvent(QKeyEvent *event)
{
    // Escape is the cancel button, which ends the first-run phase; QDialog would only reject.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        m_cancel->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void FileAssociationsSheet::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Chrome::background(m_theme));
    if (!m_scroll)
        return;
    // A faint panel behind the list of types.
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(m_scroll->geometry()).adjusted(-0.5, -0.5, 0.5, 0.5), 8, 8);
    painter.fillPath(path, Chrome::foreground(m_theme, 0.04));
    painter.setPen(QPen(Chrome::foreground(m_theme, 0.08), 1));
    painter.drawPath(path);
}

// ---- Opening ----------------------------------------------------------------------------------

FileAssociationsSheet *fileAssociationsSheetOf(QWidget *window)
{
    if (!window)
        return nullptr;
    for (auto *sheet : window->findChildren<FileAssociationsSheet *>(Qt::FindDirectChildrenOnly))
        if (sheet->isVisible())
            return sheet;
    return nullptr;
}

FileAssociationsSheet *showFileAssociationsSheet(QWidget *parent, SheetKind mode)
{
    QWidget *window = parent ? parent->window() : nullptr;
    if (FileAssociationsSheet *existing = fileAssociationsSheetOf(window)) {
        if (existing->mode() == mode) {
            existing->raise();
            existing->activateWindow();
            return existing;
        }
        existing->close(); // Not through its buttons: the first-run phase goes on.
    }
    auto *sheet = new FileAssociationsSheet(mode, std::make_unique<MimeAppsList>(), window);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    Preferences &preferences = Preferences::shared();
    sheet->setTheme(Highlighting::Theme::resolve(preferences.themeId().toStdString()));
    QObject::connect(&preferences, &Preferences::changed, sheet, [sheet](const QString &key) {
        if (key == Preferences::themeIdKey)
            sheet->setTheme(Highlighting::Theme::resolve(Preferences::shared().themeId().toStdString()));
    });
    sheet->open();
    return sheet;
}

} // namespace App

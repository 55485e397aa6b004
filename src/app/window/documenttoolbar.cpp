#include "documenttoolbar.h"

#include "chrome.h"
#include "icons.h"
#include "segmentedpicker.h"
#include "toolbarbutton.h"

#include "app/model/fontsize.h"

#include "viewers/csvdelimiterpicker.h"

#include "base/localization.h"

#include <QContextMenuEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>

namespace App {

namespace {

constexpr int horizontalPadding = 14;
constexpr int verticalPadding = 8;
constexpr int spacing = 4;

// A thin vertical rule between groups of controls.
class Divider : public QWidget {
public:
    explicit Divider(QWidget *parent) : QWidget(parent) { setFixedSize(9, 22); }
    void setTheme(const Highlighting::Theme &theme)
    {
        m_color = Chrome::foreground(theme, 0.14);
        update();
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setPen(QPen(m_color, 1));
        painter.drawLine(QPointF(4.5, 4), QPointF(4.5, height() - 4));
    }

private:
    QColor m_color;
};

QStringList pickerLabels(Documents::DocKind kind)
{
    QStringList labels;
    for (ViewMode mode : offeredModes(kind)) {
        if (kind == Documents::DocKind::Markdown && mode == ViewMode::Text)
            labels << loc("Source");
        else
            labels << loc(std::string(rawValue(mode)).c_str());
    }
    return labels;
}

int pickerWidth(Documents::DocKind kind)
{
    return kind == Documents::DocKind::Markdown ? 210 : 130;
}

} // namespace

DocumentToolbar::DocumentToolbar(QWidget *parent) : QWidget(parent)
{
    setAutoFillBackground(false);
    m_layout = new QHBoxLayout(this);
    m_layout->setContentsMargins(horizontalPadding, verticalPadding, horizontalPadding, verticalPadding);
    m_layout->setSpacing(spacing);
    using Style = ToolbarButton::Style;

    add("new", int(Style::Accent), "square.and.pencil", loc("New"), "New Window  ⌘N");
    add("save", int(Style::Accent), "tray.and.arrow.down", loc("Save"), "Save  ⌘S");
    add("open", int(Style::Icon), "folder", {}, "Open  ⌘O");
    auto *recents = add("recents", int(Style::MenuIcon), "clock.arrow.circlepath", {}, "Recent Files");
    m_recents = new QMenu(this);
    connect(m_recents, &QMenu::aboutToShow, this, &DocumentToolbar::fillRecentsMenu);
    connect(recents, &QAbstractButton::clicked, this, [this, recents] {
        m_recents->popup(recents->mapToGlobal(QPoint(0, recents->height() + 2)));
    });
    auto *firstDivider = new Divider(this);
    m_dividers << firstDivider;
    m_layout->addWidget(firstDivider);

    m_titleBox = new QWidget(this);
    auto *titleLayout = new QHBoxLayout(m_titleBox);
    titleLayout->setContentsMargins(4, 0, 4, 0);
    titleLayout->setSpacing(6);
    m_titleIcon = new QLabel(m_titleBox);
    m_titleIcon->setFixedWidth(14);
    m_title = new ElidedLabel(m_titleBox);
    m_title->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_title->setFont(Chrome::font(12, QFont::DemiBold));
    m_title->setMinimumWidth(20);
    titleLayout->addWidget(m_titleIcon);
    titleLayout->addWidget(m_title, 1);
    m_titleBox->installEventFilter(this);
    m_titleBox->setContextMenuPolicy(Qt::DefaultContextMenu);
    m_layout->addWidget(m_titleBox, 0);
    m_layout->addStretch(1);
    m_pickerSlot = new QWidget(this);
    auto *slotLayout = new QHBoxLayout(m_pickerSlot);
    slotLayout->setContentsMargins(0, 0, 8, 0);
    slotLayout->setSpacing(6);
    m_delimiter = new Viewers::CSVDelimiterPicker(m_pickerSlot);
    m_delimiter->setObjectName("delimiterPicker");
    m_delimiter->setToolTip(loc("Delimiter"));
    slotLayout->addWidget(m_delimiter);
    m_layout->addWidget(m_pickerSlot);
    auto *follow = new ToolbarButton(Style::AccentToggle, "arrow.down.to.line", loc("Follow"), m_pickerSlot);
    follow->setObjectName("follow");
    follow->setToolTip(loc("Follow the file as it grows"));
    m_buttons.insert("follow", follow);
    slotLayout->addWidget(follow);
    connect(m_delimiter, &Viewers::CSVDelimiterPicker::choiceActivated, this, &DocumentToolbar::delimiterChosen);
    connect(follow, &QAbstractButton::toggled, this, &DocumentToolbar::followToggled);

    add("undo", int(Style::Icon), "arrow.uturn.backward", {}, "Undo  ⌘Z");
    add("redo", int(Style::Icon), "arrow.uturn.forward", {}, "Redo  ⇧⌘Z");
    add("format", int(Style::Text), {}, loc("Format"), "Pretty-print JSON");
    add("find", int(Style::Icon), "magnifyingglass", {}, "Find  ⌘F");
    auto *secondDivider = new Divider(this);
    m_dividers << secondDivider;
    m_layout->addWidget(secondDivider);
    add("smaller", int(Style::Icon), "textformat.size.smaller", {}, "Smaller Font");
    m_fontSize = new QLabel(this);
    m_fontSize->setFixedWidth(28);
    m_fontSize->setAlignment(Qt::AlignCenter);
    m_fontSize->setFont(Chrome::monospacedFont(11));
    m_layout->addWidget(m_fontSize);
    add("larger", int(Style::Icon), "textformat.size.larger", {}, "Larger Font");
    add("lineNumbers", int(Style::IconToggle), "list.number", {}, "Line Numbers");
    add("theme", int(Style::MenuIcon), "paintpalette", {}, "Theme");
    add("settings", int(Style::Icon), "gearshape", {}, "Settings");

    connect(button("new"), &QAbstractButton::clicked, this, &DocumentToolbar::newRequested);
    connect(button("save"), &QAbstractButton::clicked, this, &DocumentToolbar::saveRequested);
    connect(button("open"), &QAbstractButton::clicked, this, &DocumentToolbar::openRequested);
    connect(button("undo"), &QAbstractButton::clicked, this, &DocumentToolbar::undoRequested);
    connect(button("redo"), &QAbstractButton::clicked, this, &DocumentToolbar::redoRequested);
    connect(button("format"), &QAbstractButton::clicked, this, &DocumentToolbar::formatRequested);
    connect(button("find"), &QAbstractButton::clicked, this, &DocumentToolbar::findRequested);
    connect(button("smaller"), &QAbstractButton::clicked, this, &DocumentToolbar::smallerFontRequested);
    connect(button("larger"), &QAbstractButton::clicked, this, &DocumentToolbar::largerFontRequested);
    connect(button("lineNumbers"), &QAbstractButton::toggled, this, &DocumentToolbar::lineNumbersToggled);
    connect(button("theme"), &QAbstractButton::clicked, this, [this] { emit themeRequested(button("theme")); });
    connect(button("settings"), &QAbstractButton::clicked, this, &DocumentToolbar::settingsRequested);

    setFormatOffered(false);
    setDocument(std::nullopt, {});
    setFontSize(13);
    setTheme(m_theme);
}

ToolbarButton *DocumentToolbar::add(const QString &role, int style, const QString &symbol, const QString &label,
                                    const char *help)
{
    auto *created = new ToolbarButton(ToolbarButton::Style(style), symbol, label, this);
    created->setToolTip(loc(help));
    if (label.isEmpty())
        created->setAccessibleName(loc(help).section(QStringLiteral("  "), 0, 0));
    created->setObjectName(role);
    m_buttons.insert(role, created);
    m_layout->addWidget(created);
    return created;
}

ToolbarButton *DocumentToolbar::button(const QString &role) const
{
    return m_buttons.value(role);
}

SegmentedPicker *DocumentToolbar::picker() const
{
    return m_picker;
}

void DocumentToolbar::setTheme(const Highlighting::Theme &theme)
{
    m_theme = theme;
    for (auto *control : std::as_const(m_buttons))
        control->setTheme(theme);
    for (auto *divider : std::as_const(m_dividers))
        static_cast<Divider *>(divider)->setTheme(theme);
    if (m_picker)
        m_picker->setTheme(theme);
    m_delimiter->setTheme(theme);
    QPalette labels = palette();
    labels.setColor(QPalette::WindowText, Chrome::foreground(theme, 0.9));
    m_title->setPalette(labels);
    labels.setColor(QPalette::WindowText, Chrome::foreground(theme, 0.75));
    m_fontSize->setPalette(labels);
    updateTitleIcon();
    update();
}

void DocumentToolbar::updateTitleIcon()
{
    if (!m_kind) {
        m_titleIcon->clear();
        return;
    }
    const QString symbol = QString::fromUtf8(m_kind->iconName().data(), qsizetype(m_kind->iconName().size()));
    m_titleIcon->setPixmap(Icons::pixmap(symbol, Chrome::foreground(m_theme, 0.7), 14, devicePixelRatioF()));
}

void DocumentToolbar::setDocument(std::optional<Documents::DocKind> kind, const QString &fileName)
{
    // Where Format can come and go, its place is kept while it is hidden: the buttons beside it
    // never move under the pointer.
    const bool formattable = kind && (*kind == Documents::DocKind::Json || *kind == Documents::DocKind::Ndjson);
    QSizePolicy formatPolicy = button("format")->sizePolicy();
    formatPolicy.setRetainSizeWhenHidden(formattable);
    button("format")->setSizePolicy(formatPolicy);
    const bool kindChanged = kind != m_kind;
    m_kind = kind;
    m_title->setText(fileName);
    m_title->setToolTip(fileName);
    m_titleBox->setVisible(kind.has_value());
    updateTitleIcon();
    if (kindChanged)
        rebuildPicker();
}

void DocumentToolbar::rebuildPicker()
{
    if (m_picker) {
        m_pickerSlot->layout()->removeWidget(m_picker);
        m_picker->deleteLater();
        m_picker = nullptr;
    }
    const bool csv = m_kind && *m_kind == Documents::DocKind::Csv;
    const bool log = m_kind && *m_kind == Documents::DocKind::Log;
    const bool views = m_kind && offeredModes(*m_kind).size() >= 2;
    m_delimiter->setVisible(csv);
    button("follow")->setVisible(log);
    if (!log)
        button("follow")->setChecked(false);
    m_pickerSlot->setVisible(views || csv || log);
    if (!views)
        return;
    const Documents::DocKind kind = *m_kind;
    m_picker = new SegmentedPicker(pickerLabels(kind), pickerWidth(kind), m_pickerSlot);
    m_picker->setObjectName("viewPicker");
    m_picker->setTheme(m_theme);
    static_cast<QHBoxLayout *>(m_pickerSlot->layout())->insertWidget(0, m_picker);
    connect(m_picker, &SegmentedPicker::activated, this, [this, kind](int index) {
        const auto modes = offeredModes(kind);
        if (index >= 0 && std::size_t(index) < modes.size())
            emit modeChosen(modes[std::size_t(index)]);
    });
    setMode(m_mode);
}

void DocumentToolbar::setMode(ViewMode mode)
{
    m_mode = mode;
    if (!m_picker || !m_kind)
        return;
    const auto modes = offeredModes(*m_kind);
    for (std::size_t i = 0; i < modes.size(); ++i)
        if (modes[i] == mode)
            m_picker->setCurrentIndex(int(i));
}

void DocumentToolbar::setFormatOffered(bool offered)
{
    button("format")->setVisible(offered);
}

void DocumentToolbar::setFontSize(double points)
{
    m_fontSize->setText(QString::fromStdString(App::fontSizeLabel(points)));
}

void DocumentToolbar::setLineNumbers(bool shown)
{
    QSignalBlocker blocker(button("lineNumbers"));
    button("lineNumbers")->setChecked(shown);
    button("lineNumbers")->update();
}

void DocumentToolbar::setDelimiter(Viewers::CSVDelimiterChoice choice, char16_t detected)
{
    m_delimiter->setChoice(choice);
    m_delimiter->setDetectedDelimiter(detected);
}

void DocumentToolbar::setFollowing(bool following)
{
    const QSignalBlocker quiet(button("follow"));
    button("follow")->setChecked(following);
}

int DocumentToolbar::naturalWidth() const
{
    int width = horizontalPadding * 2;
    int items = 0;
    for (int i = 0; i < m_layout->count(); ++i) {
        QLayoutItem *item = m_layout->itemAt(i);
        if (item->spacerItem()) {
            width += item->spacerItem()->sizeHint().width();
            continue;
        }
        QWidget *widget = item->widget();
        if (!widget || (widget->isHidden() && !widget->sizePolicy().retainSizeWhenHidden()))
            continue;
        int hint = widget->sizeHint().width();
        if (widget == m_titleBox)
            hint = std::min(hint, titleCap + 24);
        width += hint;
        ++items;
    }
    return width + std::max(0, items - 1) * spacing;
}

void DocumentToolbar::showTitleMenu(const QPoint &globalPosition)
{
    QMenu menu(this);
    menu.addAction(loc("Reveal in Finder"), this, &DocumentToolbar::revealRequested);
    menu.addAction(loc("Copy Path"), this, &DocumentToolbar::copyPathRequested);
    menu.exec(globalPosition);
}

bool DocumentToolbar::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_titleBox && event->type() == QEvent::ContextMenu) {
        showTitleMenu(static_cast<QContextMenuEvent *>(event)->globalPos());
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void DocumentToolbar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Chrome::tint(m_theme, m_theme.isDark() ? 0.03 : 0.025));
    painter.setPen(QPen(Chrome::foreground(m_theme, 0.1), 1));
    painter.drawLine(QPointF(0, height() - 0.5), QPointF(width(), height() - 0.5));
}

void DocumentToolbar::fillRecentsMenu()
{
    m_recents->clear();
    const auto items = RecentsStore::shared().items();
    if (items.isEmpty()) {
        m_recents->addAction(loc("No recent files"))->setEnabled(false);
    } else {
        for (const RecentEntry &entry : items) {
            QAction *action = m_recents->addAction(Chrome::literalTitle(QFileInfo(entry.path).fileName()));
            action->setToolTip(entry.path);
            connect(action, &QAction::triggered, this, [this, entry] { emit recentChosen(entry); });
        }
    }
    m_recents->addSeparator();
    QAction *clear = m_recents->addAction(loc("Clear Recents"));
    clear->setEnabled(!items.isEmpty());
    connect(clear, &QAction::triggered, this, [] { RecentsStore::shared().clear(); });
}

} // namespace App

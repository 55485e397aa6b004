#include "statusmenus.h"

#include "chrome.h"

#include "base/localization.h"

#include <QFrame>
#include <QListWidget>
#include <QMenu>
#include <QVBoxLayout>

#include <array>

namespace App::StatusMenus {

namespace {

QString fromView(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// The encodings a file can be saved in, with the mark each is written with. UTF-16 and UTF-32
// carry their mark: without one a reader can only guess the byte order.
struct SaveEncoding {
    Documents::Encoding encoding;
    bool withBOM;
};
constexpr std::array<SaveEncoding, 11> saveEncodings = {{
    {Documents::Encoding::Utf8, false},
    {Documents::Encoding::Utf8, true},
    {Documents::Encoding::Utf16LE, true},
    {Documents::Encoding::Utf16BE, true},
    {Documents::Encoding::Utf32LE, true},
    {Documents::Encoding::Utf32BE, true},
    {Documents::Encoding::Windows1251, false},
    {Documents::Encoding::Windows1252, false},
    {Documents::Encoding::Latin1, false},
    {Documents::Encoding::MacRoman, false},
    {Documents::Encoding::Ascii, false},
}};

QString saveEncodingLabel(const SaveEncoding &choice)
{
    const QString name = fromView(Documents::displayName(choice.encoding));
    if (choice.encoding == Documents::Encoding::Utf8 && choice.withBOM)
        return loc(Base::Message{"%@ with BOM", {name.toStdString()}});
    return name;
}

} // namespace

QFrame *popup(QWidget *parent, const char *name, int margin, const Highlighting::Theme &theme)
{
    auto *frame = new QFrame(parent, Qt::Popup);
    frame->setObjectName(name);
    frame->setAttribute(Qt::WA_DeleteOnClose);
    frame->setFrameShape(QFrame::StyledPanel);
    Chrome::applyPalette(frame, theme);
    frame->setAutoFillBackground(true);
    auto *layout = new QVBoxLayout(frame);
    layout->setContentsMargins(margin, margin, margin, margin);
    return frame;
}

void fillReopenMenu(QMenu *menu, const Documents::LoadedDoc &doc, std::function<void(Documents::Encoding)> reopen)
{
    menu->clear();
    for (const Documents::Encoding encoding : Documents::allEncodings) {
        QAction *action = menu->addAction(Chrome::literalTitle(fromView(Documents::displayName(encoding))));
        action->setObjectName(fromView(Documents::encodingId(encoding)));
        action->setCheckable(true);
        action->setChecked(encoding == doc.encoding);
        QObject::connect(action, &QAction::triggered, menu, [reopen, encoding] { reopen(encoding); });
    }
}

void fillSaveMenu(QMenu *menu, const Documents::LoadedDoc &doc,
                  std::function<void(Documents::Encoding, bool withBOM)> saveWith)
{
    menu->clear();
    for (const SaveEncoding &choice : saveEncodings) {
        QAction *action = menu->addAction(Chrome::literalTitle(saveEncodingLabel(choice)));
        action->setObjectName(fromView(Documents::encodingId(choice.encoding))
                              + (choice.encoding == Documents::Encoding::Utf8 && choice.withBOM ? "-bom" : ""));
        action->setCheckable(true);
        action->setChecked(choice.encoding == doc.encoding
                           && (choice.withBOM == doc.hadBOM || choice.encoding != Documents::Encoding::Utf8));
        QObject::connect(action, &QAction::triggered, menu,
                         [saveWith, choice] { saveWith(choice.encoding, choice.withBOM); });
    }
}

void fillLineEndingMenu(QMenu *menu, Documents::LineEnding current, std::function<void(Documents::LineEnding)> choose)
{
    menu->clear();
    for (const Documents::LineEnding ending :
         {Documents::LineEnding::Lf, Documents::LineEnding::Crlf, Documents::LineEnding::Cr}) {
        QAction *action = menu->addAction(fromView(Documents::label(ending)));
        action->setObjectName(fromView(Documents::label(ending)));
        action->setCheckable(true);
        action->setChecked(ending == current);
        QObject::connect(action, &QAction::triggered, menu, [choose, ending] { choose(ending); });
    }
}

QMenu *encodingMenu(QWidget *parent, const Documents::LoadedDoc &doc,
                    std::function<void(Documents::Encoding)> reopen,
                    std::function<void(Documents::Encoding, bool withBOM)> saveWith)
{
    auto *menu = new QMenu(parent);
    menu->setObjectName("encodingMenu");
    QMenu *reopenMenu = menu->addMenu(loc("Reopen with Encoding"));
    reopenMenu->setObjectName("reopenMenu");
    fillReopenMenu(reopenMenu, doc, std::move(reopen));
    QMenu *save = menu->addMenu(loc("Save with Encoding"));
    save->setObjectName("saveMenu");
    fillSaveMenu(save, doc, std::move(saveWith));
    return menu;
}

QMenu *lineEndingMenu(QWidget *parent, Documents::LineEnding current,
                      std::function<void(Documents::LineEnding)> choose)
{
    auto *menu = new QMenu(parent);
    menu->setObjectName("lineEndingMenu");
    fillLineEndingMenu(menu, current, std::move(choose));
    return menu;
}

QString indentationLabel(TextView::IndentStyle style)
{
    return style.tabs ? loc("Tab") : loc(Base::Message{"Spaces: %d", {std::int64_t(style.width)}});
}

void fillIndentationMenu(QMenu *menu, TextView::IndentStyle current, bool tabsAllowed,
                         std::function<void(TextView::IndentStyle)> choose, std::function<void()> convert)
{
    menu->clear();
    const auto add = [&](const QString &title, const char *name, TextView::IndentStyle style) {
        QAction *action = menu->addAction(title);
        action->setObjectName(name);
        action->setCheckable(true);
        action->setChecked(style == current);
        QObject::connect(action, &QAction::triggered, menu, [choose, style] { choose(style); });
        return action;
    };
    // Tabs keep the width they are shown with.
    add(loc("Tabs"), "indentTabs", {true, current.width})->setEnabled(tabsAllowed);
    add(loc(Base::Message{"Spaces: %d", {std::int64_t(2)}}), "indentSpaces2", {false, 2});
    add(loc(Base::Message{"Spaces: %d", {std::int64_t(4)}}), "indentSpaces4", {false, 4});
    add(loc(Base::Message{"Spaces: %d", {std::int64_t(8)}}), "indentSpaces8", {false, 8});
    menu->addSeparator();
    QAction *action = menu->addAction(loc("Convert Indentation"));
    action->setObjectName("convertIndentation");
    QObject::connect(action, &QAction::triggered, menu, [convert] { convert(); });
}

QMenu *indentationMenu(QWidget *parent, TextView::IndentStyle current, bool tabsAllowed,
                       std::function<void(TextView::IndentStyle)> choose, std::function<void()> convert)
{
    auto *menu = new QMenu(parent);
    menu->setObjectName("indentationMenu");
    fillIndentationMenu(menu, current, tabsAllowed, std::move(choose), std::move(convert));
    return menu;
}

QFrame *errorList(QWidget *parent, const Formatting::ValidationList &errors, int maximumWidth,
                  const Highlighting::Theme &theme, std::function<void(long long line)> goTo)
{
    QFrame *frame = popup(parent, "errorList", 4, theme);
    QLayout *layout = frame->layout();
    auto *list = new QListWidget(frame);
    list->setObjectName("errorListItems");
    list->setFrameShape(QFrame::NoFrame);
    list->setFont(Chrome::monospacedFont(11));
    list->setUniformItemSizes(true);
    for (const Formatting::ValidationError &error : errors.errors) {
        const QString position = loc(Base::Message{error.label(), {}});
        auto *item = new QListWidgetItem(position + QStringLiteral("  ") + QString::fromStdString(error.message), list);
        item->setData(Qt::UserRole, error.line ? QVariant(qlonglong(*error.line)) : QVariant());
        item->setToolTip(item->text());
    }
    if (errors.stoppedEarly) {
        auto *more = new QListWidgetItem(
            loc(Base::Message{"Only the first %d errors are listed.", {std::int64_t(errors.errors.size())}}), list);
        more->setFlags(Qt::NoItemFlags);
    }
    layout->addWidget(list);
    QObject::connect(list, &QListWidget::itemClicked, frame, [frame, goTo](QListWidgetItem *item) {
        const QVariant line = item->data(Qt::UserRole);
        if (!line.isValid())
            return;
        frame->close();
        goTo(line.toLongLong());
    });
    QObject::connect(list, &QListWidget::itemActivated, list, &QListWidget::itemClicked);
    const int rows = std::min(list->count(), 14);
    const int widest = list->sizeHintForColumn(0) + 2 * list->frameWidth() + 24;
    const int width = std::clamp(widest, 360, std::max(360, maximumWidth));
    // Fixed before it is placed, so that it opens above the status bar and stays there.
    list->setFixedSize(width, rows * list->sizeHintForRow(0) + 2 * list->frameWidth() + 2);
    const QMargins margins = layout->contentsMargins();
    frame->setFixedSize(list->width() + margins.left() + margins.right(),
                        list->height() + margins.top() + margins.bottom());
    return frame;
}

} // namespace App::StatusMenus

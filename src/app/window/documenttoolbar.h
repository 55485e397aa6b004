#pragma once

#include "elidedlabel.h"

#include "app/model/viewmode.h"
#include "app/services/recentsstore.h"

#include "documents/dockind.h"

#include "highlighting/theme.h"

#include "viewers/csvdialect.h"

#include <QWidget>

#include <optional>

class QHBoxLayout;
class QLabel;
class QMenu;

namespace Viewers {
class CSVDelimiterPicker;
}

namespace App {

class SegmentedPicker;
class ToolbarButton;

// The row at the top of a document window: file actions, the title, the view picker of the
// kind, editing actions, the format action and the appearance controls. It only reports what
// the user asked for; the window decides and tells it what to show.
class DocumentToolbar : public QWidget {
    Q_OBJECT

public:
    explicit DocumentToolbar(QWidget *parent = nullptr);

    void setTheme(const Highlighting::Theme &theme);
    // Title, kind icon and which view picker is shown. No kind: no title, no picker.
    void setDocument(std::optional<Documents::DocKind> kind, const QString &fileName);
    void setMode(ViewMode mode);
    void setFormatOffered(bool offered);
    void setFontSize(double points);
    void setLineNumbers(bool shown);
    // The CSV delimiter picker's state: the user's choice and what Auto detected.
    void setDelimiter(Viewers::CSVDelimiterChoice choice, char16_t detected);
    // The LOG follow toggle.
    void setFollowing(bool following);

    // The width the row needs with a title of at most 160 pixels: the window's minimum width.
    int naturalWidth() const;

    // For tests and the window: the controls by their role.
    ToolbarButton *button(const QString &role) const;
    SegmentedPicker *picker() const;
    Viewers::CSVDelimiterPicker *delimiterPicker() const { return m_delimiter; }
    // The file name, shortened with "…" when the toolbar is narrow.
    ElidedLabel *titleLabel() const { return m_title; }
    QLabel *fontSizeLabel() const { return m_fontSize; }
    QMenu *recentsMenu() const { return m_recents; }

    static constexpr int titleCap = 160;

signals:
    void newRequested();
    void saveRequested();
    void openRequested();
    // A file of the recents menu (filled from the recent files as it opens) was chosen.
    void recentChosen(const App::RecentEntry &entry);
    void revealRequested();
    void copyPathRequested();
    void modeChosen(App::ViewMode mode);
    void delimiterChosen(Viewers::CSVDelimiterChoice choice);
    void followToggled(bool following);
    void undoRequested();
    void redoRequested();
    void formatRequested();
    void findRequested();
    void smallerFontRequested();
    void largerFontRequested();
    void lineNumbersToggled(bool shown);
    // The theme button was pressed; `anchor` is the button, for the popover.
    void themeRequested(QWidget *anchor);
    void settingsRequested();

protected:
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void fillRecentsMenu();
    ToolbarButton *add(const QString &role, int style, const QString &symbol, const QString &label,
                       const char *help);
    void showTitleMenu(const QPoint &globalPosition);
    void rebuildPicker();
    void updateTitleIcon();

    Highlighting::Theme m_theme = Highlighting::Theme::defaultTheme();
    std::optional<Documents::DocKind> m_kind;
    ViewMode m_mode = ViewMode::Text;
    QHBoxLayout *m_layout = nullptr;
    QHash<QString, ToolbarButton *> m_buttons;
    QWidget *m_titleBox = nullptr;
    QLabel *m_titleIcon = nullptr;
    ElidedLabel *m_title = nullptr;
    QLabel *m_fontSize = nullptr;
    QMenu *m_recents = nullptr;
    SegmentedPicker *m_picker = nullptr;
    QWidget *m_pickerSlot = nullptr;
    Viewers::CSVDelimiterPicker *m_delimiter = nullptr;
    QList<QWidget *> m_dividers;
};

} // namespace App

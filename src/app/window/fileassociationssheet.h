#pragma once

#include "app/services/fileassociations.h"
#include "highlighting/theme.h"

#include <QDialog>
#include <QHash>
#include <QSet>

#include <chrono>
#include <memory>
#include <optional>

class QAbstractButton;
class QLabel;
class QPushButton;
class QScrollArea;
class QVBoxLayout;

namespace App {

class AssociationRow;
class SheetButton;

// Which of the two faces of the settings sheet is shown.
enum class SheetKind {
    Settings, // opened from a gear button: starts with the types that already open with us
    FirstRun, // opened once on a fresh profile: starts with every type
};

// The window-modal sheet that makes Corvane the default application for the checked file
// types, and holds the status-bar counts option. Leaving it through Apply or its cancel button
// ("Skip" or "Cancel", also Escape) sets the "fileAssociations.hasPrompted.v1" setting for good;
// closing the window otherwise does not. Apply (also Return) writes the defaults, shows how many
// types took ("9/10 ✓") and closes the sheet closeDelay later.
class FileAssociationsSheet : public QDialog {
    Q_OBJECT

public:
    using Mode = SheetKind;

    // Tests shorten it; the status line stays readable this long after Apply.
    static inline std::chrono::milliseconds closeDelay{600};

    // The sheet over `registry`, which must outlive it.
    FileAssociationsSheet(Mode mode, DefaultHandlerRegistry &registry, QWidget *parent = nullptr);
    // The sheet over its own registry.
    FileAssociationsSheet(Mode mode, std::unique_ptr<DefaultHandlerRegistry> registry, QWidget *parent = nullptr);
    ~FileAssociationsSheet() override;

    Mode mode() const { return m_mode; }
    void setTheme(const Highlighting::Theme &theme);

    // The checked type ids; all ten at first, replaced by the current defaults in settings mode
    // once the snapshot is taken.
    const QSet<QString> &selected() const { return m_selected; }
    void setSelected(const QSet<QString> &ids);
    // Whether this application already is the default of each type; empty until the sheet is
    // first shown (or takeSnapshot is called).
    const QHash<QString, bool> &defaultsSnapshot() const { return m_defaultsSnapshot; }
    void takeSnapshot();
    // The result line after Apply, nothing before.
    const std::optional<QString> &status() const { return m_status; }

    // The check-box row of type `id` (checked while selected), nullptr for an unknown id.
    QAbstractButton *row(const QString &id) const;
    QAbstractButton *countsRow() const;
    QPushButton *applyButton() const;
    QPushButton *cancelButton() const;
    QPushButton *selectAllButton() const;
    QPushButton *noneButton() const;
    QLabel *statusLabel() const { return m_statusLabel; }
    QLabel *titleLabel() const { return m_title; }

    // The text of the status line for `succeeded` types of `selected`.
    static QString statusText(int succeeded, int selected);

public slots:
    void apply();
    // The cancel button: ends the first-run phase, then closes.
    void skip();

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void build();
    void refresh();

    const Mode m_mode;
    std::unique_ptr<DefaultHandlerRegistry> m_ownedRegistry;
    DefaultHandlerRegistry &m_registry;
    Highlighting::Theme m_theme;
    QSet<QString> m_selected;
    QHash<QString, bool> m_defaultsSnapshot;
    std::optional<QString> m_status;
    bool m_snapshotTaken = false;
    bool m_applied = false;

    QLabel *m_symbol = nullptr;
    QLabel *m_title = nullptr;
    QList<std::pair<QLabel *, double>> m_texts; // labels and their opacity over the theme's foreground
    QList<AssociationRow *> m_rows;
    AssociationRow *m_counts = nullptr;
    QWidget *m_list = nullptr;
    QScrollArea *m_scroll = nullptr;
    QLabel *m_statusLabel = nullptr;
    SheetButton *m_selectAll = nullptr;
    SheetButton *m_none = nullptr;
    SheetButton *m_cancel = nullptr;
    SheetButton *m_apply = nullptr;
};

// Opens the sheet window-modally on `parent`'s window, over the user's mimeapps.list, in the
// current theme. A window has at most one sheet: one of the same mode is brought forward, one
// of the other mode is closed (without ending the first-run phase) and replaced. The sheet
// deletes itself when closed.
FileAssociationsSheet *showFileAssociationsSheet(QWidget *parent, SheetKind mode);

// The open sheet of `window`, if any.
FileAssociationsSheet *fileAssociationsSheetOf(QWidget *window);

} // namespace App

#pragma once

#include "app/model/windowstatus.h"

#include "highlighting/theme.h"

#include <QAbstractButton>
#include <QLabel>
#include <QPointer>
#include <QWidget>

#include <optional>

class QHBoxLayout;
class QMenu;

namespace App {

// The validation item: a symbol and a text; a fault with a line is a button that goes there.
class ValidationItem : public QAbstractButton {
    Q_OBJECT

public:
    explicit ValidationItem(QWidget *parent = nullptr);
    void setStatus(const ValidationStatus &status);
    void setTheme(const Highlighting::Theme &theme);
    const ValidationStatus &status() const { return m_status; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    ValidationStatus m_status;
    Highlighting::Theme m_theme = Highlighting::Theme::defaultTheme();
};

// A status-bar text that can be clicked (the encoding, the line ending, the error count).
class StatusItem : public QLabel {
    Q_OBJECT

public:
    explicit StatusItem(QWidget *parent = nullptr);

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
};

// The row at the bottom of a document window: kind, validation, encoding and line ending on
// the left, the caret and the counts on the right, in the theme's colours.
class DocumentStatusBar : public QWidget {
    Q_OBJECT

public:
    explicit DocumentStatusBar(QWidget *parent = nullptr);

    void setTheme(const Highlighting::Theme &theme);
    // Without a document the left group is empty.
    void setDocument(const QString &kind, const QString &encoding, const QString &lineEnding);
    // "Spaces: 4" or "Tab", beside the line ending.
    void setIndentation(const QString &indentation);
    // No document: the document's items are hidden.
    void clearDocument();
    // Nothing hides the validation item (kinds that are not checked).
    void setValidation(std::optional<ValidationStatus> status);
    void setCaret(long long line, long long column);
    void setCounts(const QString &counts, bool shown);
    // "3 errors" beside the validation; hidden for none. `more` when the count stopped at its
    // limit ("1000+ errors").
    // `more`: the count stopped at the listing's limit, more errors follow.
    enum class MoreErrors { No, Yes };
    void setErrorCount(std::size_t count, MoreErrors more);
    // The JSONPath at the caret; hidden when empty. Long paths are shortened in the middle.
    void setJSONPath(const QString &path);
    // A note about the document (ragged CSV rows); hidden when empty.
    void setNote(const QString &note);

    // The texts shown, left to right, for tests: separators and hidden items left out.
    QStringList texts() const;
    ValidationItem *validationItem() const { return m_validation; }
    QLabel *countsLabel() const { return m_counts; }
    StatusItem *encodingItem() const { return m_encoding; }
    StatusItem *lineEndingItem() const { return m_lineEnding; }
    StatusItem *indentationItem() const { return m_indentation; }
    StatusItem *errorsItem() const { return m_errors; }
    QLabel *pathLabel() const { return m_path; }
    QLabel *noteLabel() const { return m_note; }
    // The whole path, also when the label shows it shortened.
    QString jsonPath() const { return m_fullPath; }

    // Opens an item's menu, or a list (the errors), above `item` in the bar's theme; the one
    // opened before closes. Each is deleted when it closes. Returns what it opened.
    QMenu *popUpMenu(QMenu *menu, QWidget *item);
    QWidget *popUpList(QWidget *list, QWidget *item);

signals:
    void errorLineClicked(long long line);
    void encodingClicked();
    void lineEndingClicked();
    void indentationClicked();
    void errorsClicked();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void showDocumentItems(bool shown);
    QLabel *makeLabel();
    StatusItem *makeItem();
    QLabel *makeSeparator();
    void applyColors();

    Highlighting::Theme m_theme = Highlighting::Theme::defaultTheme();
    QPointer<QWidget> m_popup;
    QLabel *m_kind = nullptr;
    QLabel *m_validationSeparator = nullptr;
    ValidationItem *m_validation = nullptr;
    QLabel *m_encodingSeparator = nullptr;
    QLabel *m_errorsSeparator = nullptr;
    StatusItem *m_errors = nullptr;
    StatusItem *m_encoding = nullptr;
    QLabel *m_lineEndingSeparator = nullptr;
    StatusItem *m_lineEnding = nullptr;
    QLabel *m_indentationSeparator = nullptr;
    StatusItem *m_indentation = nullptr;
    QLabel *m_noteSeparator = nullptr;
    QLabel *m_note = nullptr;
    QLabel *m_path = nullptr;
    QString m_fullPath;
    QLabel *m_caret = nullptr;
    QLabel *m_counts = nullptr;
    QList<QLabel *> m_separators;
    QList<QLabel *> m_labels;
};

} // namespace App

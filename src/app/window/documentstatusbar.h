#pragma once

#include "app/model/windowstatus.h"

#include "highlighting/theme.h"

#include <QAbstractButton>
#include <QWidget>

#include <optional>

class QHBoxLayout;
class QLabel;

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

// The row at the bottom of a document window: kind, validation, encoding and line ending on
// the left, the caret and the counts on the right, in the theme's colours.
class DocumentStatusBar : public QWidget {
    Q_OBJECT

public:
    explicit DocumentStatusBar(QWidget *parent = nullptr);

    void setTheme(const Highlighting::Theme &theme);
    // Without a document the left group is empty.
    void setDocument(bool hasDocument, const QString &kind, const QString &encoding, const QString &lineEnding);
    // Nothing hides the validation item (kinds that are not checked).
    void setValidation(std::optional<ValidationStatus> status);
    void setCaret(long long line, long long column);
    void setCounts(const QString &counts, bool shown);

    // The texts shown, left to right, for tests: separators and hidden items left out.
    QStringList texts() const;
    ValidationItem *validationItem() const { return m_validation; }
    QLabel *countsLabel() const { return m_counts; }

signals:
    void errorLineClicked(long long line);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QLabel *makeLabel();
    QLabel *makeSeparator();
    void applyColors();

    Highlighting::Theme m_theme = Highlighting::Theme::defaultTheme();
    QLabel *m_kind = nullptr;
    QLabel *m_validationSeparator = nullptr;
    ValidationItem *m_validation = nullptr;
    QLabel *m_encodingSeparator = nullptr;
    QLabel *m_encoding = nullptr;
    QLabel *m_lineEndingSeparator = nullptr;
    QLabel *m_lineEnding = nullptr;
    QLabel *m_caret = nullptr;
    QLabel *m_counts = nullptr;
    QList<QLabel *> m_separators;
    QList<QLabel *> m_labels;
};

} // namespace App

#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;

namespace Editor {

// The small sheet in which the user types a 1-based line number. Invalid input never closes it:
// a red message names the valid range, and any typing clears the message.
class GoToLineSheet : public QDialog {
    Q_OBJECT

public:
    // `maxLine` is the document's line count; an empty document (0) still accepts line 1.
    explicit GoToLineSheet(qint64 maxLine, QWidget *parent = nullptr);

    // The typed text, kept by the window so it survives closing and reopening the sheet.
    QString text() const;
    void setText(const QString &text);
    QString errorText() const;

    // What Go and Return do: accept a valid line (emitting `submitted`) or show the message.
    void submit();

signals:
    void submitted(qint64 line);
    void cancelled();

private:
    qint64 m_maxLine;
    QLineEdit *m_field = nullptr;
    QLabel *m_error = nullptr;
};

} // namespace Editor

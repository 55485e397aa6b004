#pragma once

#include "viewers/csvdialect.h"

#include "highlighting/theme.h"

#include <QString>
#include <QWidget>

class QMenu;

namespace Viewers {

// The toolbar's delimiter menu for CSV documents: a compact button showing the current choice
// ("Auto (,)" with the detected delimiter, or "Comma", "Semicolon", "Tab", "Pipe") that opens
// a menu of the five choices. Clicking, Space, Return or Down opens it.
class CSVDelimiterPicker : public QWidget {
    Q_OBJECT

public:
    explicit CSVDelimiterPicker(QWidget *parent = nullptr);

    CSVDelimiterChoice choice() const { return m_choice; }
    // Programmatic changes do not emit `choiceActivated`.
    void setChoice(CSVDelimiterChoice choice);
    // The delimiter Auto found, shown in its label.
    char16_t detectedDelimiter() const { return m_detected; }
    void setDetectedDelimiter(char16_t delimiter);
    void setTheme(const Highlighting::Theme &theme);

    // The label of `choice`; Auto names `detected` ("Auto (,)", "Auto (Tab)").
    static QString label(CSVDelimiterChoice choice, char16_t detected);
    QString currentLabel() const { return label(m_choice, m_detected); }
    // The menu, built on first use (for tests).
    QMenu *menu();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

signals:
    // The user picked `choice` from the menu (also when it is the current one).
    void choiceActivated(Viewers::CSVDelimiterChoice choice);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void openMenu();
    void refresh();
    QFont labelFont() const;

    CSVDelimiterChoice m_choice = CSVDelimiterChoice::Auto;
    char16_t m_detected = u',';
    Highlighting::Theme m_theme = Highlighting::Theme::defaultTheme();
    QMenu *m_menu = nullptr;
};

} // namespace Viewers

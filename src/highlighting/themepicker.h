#pragma once

#include <QAbstractButton>
#include <QString>
#include <QWidget>

#include <vector>

class QScrollArea;

namespace Highlighting {

class Theme;

// One theme of the chooser: a preview block in the theme's colours with "Aa" and "{ }", the
// theme's name under it, framed in the accent colour while it is the selected theme.
class ThemeSwatch : public QAbstractButton {
    Q_OBJECT

public:
    ThemeSwatch(const Theme &theme, QWidget *parent = nullptr);

    const Theme &theme() const { return *m_theme; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    const Theme *m_theme; // One of Theme::all(): static, never dangling.
};

// The theme chooser: the heading "THEME" over a scrolling grid of the 22 built-in themes, three
// per row in Theme::all() order. Bound to a theme id: choosing a swatch only changes `selected`
// (and emits selectedChanged); the window stores it and resolves the theme. The selected swatch
// is the one whose id equals `selected` exactly, so an unknown id frames none.
class ThemePicker : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString selected READ selected WRITE setSelected NOTIFY selectedChanged)

public:
    explicit ThemePicker(QWidget *parent = nullptr);

    QString selected() const { return m_selected; }
    void setSelected(const QString &themeId);

    // In Theme::all() order.
    const std::vector<ThemeSwatch *> &swatches() const { return m_swatches; }

signals:
    void selectedChanged(const QString &themeId);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void updateSwatches();
    void revealSelected();

    QString m_selected;
    std::vector<ThemeSwatch *> m_swatches;
    QScrollArea *m_scroll = nullptr;
};

} // namespace Highlighting

#pragma once

#include <QObject>
#include <QSettings>
#include <QString>

#include <memory>

namespace App {

// The per-user preferences every window shares, in QSettings under fixed keys. There is one
// object per process; a change made through it is announced by `changed`, so every window
// applies it at once. Main thread only.
//
// The settings file is the user's ORGANIZATION/APPLICATION.conf in the folder QSettings uses
// ($XDG_CONFIG_HOME, ~/.config: Corvane/Corvane.conf), read only when it is a regular file of
// at most 1 MiB (StateFile). Anything else there (a named pipe, a device, a larger file) is
// left alone, never written over: the application starts from the defaults and keeps what is
// changed for the session only, in a private temporary folder.

class Preferences : public QObject {
    Q_OBJECT

public:
    static Preferences &shared();

    // Keys as stored.
    static inline const QString themeIdKey = QStringLiteral("themeId");
    static inline const QString fontSizeKey = QStringLiteral("fontSize");
    static inline const QString fontFamilyKey = QStringLiteral("fontFamily");
    static inline const QString showLineNumbersKey = QStringLiteral("showLineNumbers");
    static inline const QString wordWrapKey = QStringLiteral("wordWrap");
    static inline const QString lastOpenPathKey = QStringLiteral("lastOpenPath");
    static inline const QString showCountsKey = QStringLiteral("showCounts");
    static inline const QString sessionEndedKey = QStringLiteral("sessionEnded");

    static constexpr double defaultFontSize = 13.0;
    static constexpr double minimumFontSize = 8.0;
    static constexpr double maximumFontSize = 36.0;
    static constexpr double fontSizeStep = 0.5;

    // The user's theme id, else the default for this desktop; resolve it with
    // Highlighting::Theme::resolve. The default is never stored, so that until the user picks a
    // theme each start follows the desktop's light or dark setting.
    QString themeId() const;
    void setThemeId(const QString &id);
    bool hasStoredThemeId() const;
    void setDefaultThemeId(const QString &id);
    // Points, clamped to [8, 36].
    double fontSize() const;
    void setFontSize(double points);
    // The text's monospaced family; empty for the desktop's fixed-width font.
    QString fontFamily() const;
    void setFontFamily(const QString &family);
    bool showLineNumbers() const;
    void setShowLineNumbers(bool on);
    bool wordWrap() const;
    void setWordWrap(bool on);
    QString lastOpenPath() const;
    void setLastOpenPath(const QString &path);
    bool showCounts() const;
    void setShowCounts(bool on);
    bool sessionEnded() const;
    void setSessionEnded(bool ended);

    // The underlying store, for the services that keep their own keys in it.
    QSettings &settings() { return *m_settings; }

signals:
    void changed(const QString &key);

private:
    Preferences();
    void store(const QString &key, const QVariant &value);

    std::unique_ptr<QSettings> m_settings;
    QString m_defaultThemeId;
};

} // namespace App

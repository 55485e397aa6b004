// The window's own chrome in the theme's colours, drawn offscreen and looked at pixel by pixel.
#include "app/window/chrome.h"

#include "highlighting/theme.h"

#include <QApplication>
#include <QScrollBar>
#include <QtTest>

class TestChrome : public QObject {
    Q_OBJECT
private slots:
    void scrollBarHandleStandsOutFromItsTrack_data();
    void scrollBarHandleStandsOutFromItsTrack();
};

void TestChrome::scrollBarHandleStandsOutFromItsTrack_data()
{
    QTest::addColumn<QString>("theme");
    for (const Highlighting::Theme &theme : Highlighting::Theme::all())
        QTest::newRow(std::string(theme.id()).c_str()) << QString::fromUtf8(theme.id().data(), qsizetype(theme.id().size()));
}

void TestChrome::scrollBarHandleStandsOutFromItsTrack()
{
    QFETCH(QString, theme);
    const Highlighting::Theme &chosen = *Highlighting::Theme::byId(theme.toStdString());
    const QPalette original = QApplication::palette();
    QApplication::setPalette(App::Chrome::themedPalette(original, chosen));
    qApp->setStyleSheet(App::Chrome::scrollBarStyleSheet(chosen));
    QScrollBar bar(Qt::Vertical);
    bar.resize(16, 300);
    bar.setRange(0, 1000);
    bar.setPageStep(100);
    const QImage image = bar.grab().toImage();
    QApplication::setPalette(original);
    qApp->setStyleSheet({});
    const QColor handle = image.pixelColor(image.width() / 2, 14); // The handle, at the top.
    const QColor track = image.pixelColor(image.width() / 2, 250);
    // On a light theme the handle is the darker of the two, on a dark one the lighter, and the
    // difference can be seen.
    const int difference = chosen.isDark() ? handle.lightness() - track.lightness() : track.lightness() - handle.lightness();
    QVERIFY2(difference >= 12, qPrintable(QStringLiteral("handle %1 (%2), track %3 (%4)")
                                             .arg(handle.name())
                                             .arg(handle.lightness())
                                             .arg(track.name())
                                             .arg(track.lightness())));
}

QTEST_MAIN(TestChrome)
#include "tst_chrome.moc"

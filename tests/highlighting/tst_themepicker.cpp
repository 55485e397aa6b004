// The theme chooser as a real widget, offscreen.
#include "highlighting/theme.h"
#include "highlighting/themepicker.h"

#include <QGridLayout>
#include <QLabel>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTest>

using Highlighting::Theme;
using Highlighting::ThemePicker;

namespace {

QString qs(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

QStringList checkedIds(const ThemePicker &picker)
{
    QStringList ids;
    for (auto *swatch : picker.swatches())
        if (swatch->isChecked())
            ids.append(qs(swatch->theme().id()));
    return ids;
}

} // namespace

class ThemePickerTest : public QObject {
    Q_OBJECT

private slots:
    void layout_twentyTwoSwatchesThreePerRowInOrder()
    {
        ThemePicker picker;
        picker.show();
        QVERIFY(QTest::qWaitForWindowExposed(&picker));
        QCOMPARE(picker.swatches().size(), Theme::all().size());
        auto *grid = qobject_cast<QGridLayout *>(picker.swatches().front()->parentWidget()->layout());
        QVERIFY(grid);
        for (std::size_t i = 0; i < picker.swatches().size(); ++i) {
            auto *swatch = picker.swatches()[i];
            QCOMPARE(swatch->theme().id(), Theme::all()[i].id());
            QCOMPARE(swatch->text(), qs(Theme::all()[i].name()));
            int row = -1, column = -1, rowSpan = 0, columnSpan = 0;
            grid->getItemPosition(grid->indexOf(swatch), &row, &column, &rowSpan, &columnSpan);
            QCOMPARE(row, int(i / 3));
            QCOMPARE(column, int(i % 3));
            QCOMPARE(swatch->width(), 110);
        }
        // Swatches of one row share a top edge and stand 8 px apart.
        const auto &s = picker.swatches();
        QCOMPARE(s[1]->x() - (s[0]->x() + s[0]->width()), 8);
        QCOMPARE(s[3]->y() - (s[0]->y() + s[0]->height()), 8);
        QCOMPARE(s[0]->y(), s[2]->y());

        auto *heading = picker.findChild<QLabel *>(QStringLiteral("themePickerHeading"));
        QVERIFY(heading);
        QCOMPARE(heading->text(), QStringLiteral("THEME"));
        auto *scroll = picker.findChild<QScrollArea *>(QStringLiteral("themePickerScroll"));
        QVERIFY(scroll);
        QCOMPARE(scroll->maximumHeight(), 360);
        QVERIFY(scroll->height() <= 360);
    }

    void selection_data()
    {
        QTest::addColumn<QString>("selected");
        QTest::addColumn<QStringList>("framed");
        QTest::newRow("known_framesItOnly") << "nord" << QStringList{"nord"};
        QTest::newRow("default_framesVsClaude") << "vs-claude" << QStringList{"vs-claude"};
        QTest::newRow("unknown_framesNone") << "no-such-theme" << QStringList{};
        QTest::newRow("empty_framesNone") << "" << QStringList{};
        QTest::newRow("otherCase_framesNone") << "Nord" << QStringList{};
    }

    void selection()
    {
        QFETCH(QString, selected);
        QFETCH(QStringList, framed);
        ThemePicker picker;
        picker.setSelected(QStringLiteral("monokai"));
        picker.setSelected(selected);
        QCOMPARE(picker.selected(), selected);
        QCOMPARE(checkedIds(picker), framed);
    }

    void click_setsBindingAndEmitsOnce()
    {
        ThemePicker picker;
        picker.setSelected(QStringLiteral("vs-claude"));
        picker.show();
        QVERIFY(QTest::qWaitForWindowExposed(&picker));
        QSignalSpy spy(&picker, &ThemePicker::selectedChanged);
        auto *dracula = picker.swatches()[5];
        QCOMPARE(qs(dracula->theme().id()), QStringLiteral("dracula"));
        QTest::mouseClick(dracula, Qt::LeftButton, {}, dracula->rect().center());
        QCOMPARE(picker.selected(), QStringLiteral("dracula"));
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.front().front().toString(), QStringLiteral("dracula"));
        QCOMPARE(checkedIds(picker), QStringList{"dracula"});

        // Clicking the selected swatch again keeps it selected and reports nothing new.
        QTest::mouseClick(dracula, Qt::LeftButton, {}, dracula->rect().center());
        QCOMPARE(checkedIds(picker), QStringList{"dracula"});
        QCOMPARE(spy.count(), 1);
    }

    void keyboard_spaceChoosesFocusedSwatch()
    {
        ThemePicker picker;
        picker.show();
        QVERIFY(QTest::qWaitForWindowExposed(&picker));
        auto *last = picker.swatches().back();
        last->setFocus();
        QTest::keyClick(last, Qt::Key_Space);
        QCOMPARE(picker.selected(), QStringLiteral("monokai"));
    }

    void show_scrollsSelectedIntoView()
    {
        ThemePicker picker;
        picker.setSelected(QStringLiteral("monokai"));
        picker.show();
        QVERIFY(QTest::qWaitForWindowExposed(&picker));
        auto *scroll = picker.findChild<QScrollArea *>(QStringLiteral("themePickerScroll"));
        auto *monokai = picker.swatches().back();
        const QRect inViewport(monokai->mapTo(scroll->viewport(), QPoint(0, 0)), monokai->size());
        QVERIFY2(scroll->viewport()->rect().contains(inViewport), "the selected swatch is scrolled out of view");
    }
};

QTEST_MAIN(ThemePickerTest)
#include "tst_themepicker.moc"

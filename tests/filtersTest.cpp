#include "core/basGlobal.h"
#include "filters/filterSettings.h"
#include "filters/filterTests.h"
#include "filters/frmFilter.h"
#include "settings/settingsStore.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace korvel;

namespace {

bool range(std::string_view id, const char* start, const char* end, std::string_view discrete) {
    GlobalState s;
    s.rangeFilterStartText = start;
    s.rangeFilterEndText = end;
    s.discreteFilterText = discrete;
    s.setOption(optRangeFilter, true);
    applyFilterSettings(s, filterSettingsOf(s));
    return rangeFilterPasses(id, id.size() > 3, s.options, s.rangeFilterStart, s.rangeFilterEnd,
                             s.discreteFilterIds);
}

bool mask(std::string_view id, int deviceKind, const char* code, const char* maskText, bool on = true) {
    GlobalState s;
    s.acceptanceCodeText = code;
    s.acceptanceMaskText = maskText;
    s.setOption(optMaskFilter, on);
    applyFilterSettings(s, filterSettingsOf(s));
    return maskFilterPasses(id, deviceKind, s.options, s.acceptanceMaskInv, s.acceptanceCodeMasked);
}

} // namespace

TEST(RangeFilter, RangeAndDiscreteIdentifiers) {
    for (const char* id : {"100", "1FF", "180", "00000150"})
        EXPECT_TRUE(range(id, "100", "1FF", "")) << id;
    for (const char* id : {"0FF", "200", "1ABCDEF0"})
        EXPECT_FALSE(range(id, "100", "1FF", "")) << id;

    for (const char* id : {"123", "7FF", "000"})
        EXPECT_TRUE(range(id, "0", "0", "123,7FF")) << id;
    EXPECT_FALSE(range("124", "0", "0", "123,7FF"));

    EXPECT_TRUE(rangeFilterPasses("FFF", false, 0, 1, 2, {})); // filter off
}

TEST(RangeFilter, DiscreteIdentifiersMatchWholeEntriesByValueAndKind) {
    // Whole entries, not parts of the list text; the fresh default "0" names only identifier 0.
    for (const char* id : {"100", "123", "234", "305", "0F0", "00000100", "18FEF10"})
        EXPECT_FALSE(range(id, "7FF", "7FF", "0C8,18FEF100,1234,0")) << id;
    for (const char* id : {"0C8", "0c8", "18FEF100", "18fef100", "000"})
        EXPECT_TRUE(range(id, "7FF", "7FF", "0C8,18FEF100,1234,0")) << id;

    // Up to three digits name a standard identifier, four to eight an extended one; leading zeros count
    // only for that.
    EXPECT_TRUE(range("0C8", "0", "0", "C8"));
    EXPECT_FALSE(range("000000C8", "0", "0", "C8"));
    EXPECT_TRUE(range("000000C8", "0", "0", "00C8"));
    EXPECT_FALSE(range("0C8", "0", "0", "00C8"));

    // Blanks around entries are ignored; empty entries, and entries that are no identifier, name nothing.
    const char* list = " 123 ,,\t7FF\t, ,12G,1 5,123456789,";
    for (const char* id : {"123", "7FF"})
        EXPECT_TRUE(range(id, "0", "0", list)) << id;
    for (const char* id : {"012", "015", "00000015", "12345678", "23456789", ""})
        EXPECT_FALSE(range(id, "1", "1", list)) << id;
    // An identifier text that is not wholly hexadecimal is in no list, though the range may hold it.
    EXPECT_FALSE(range("1G3", "0", "0", "1"));
    EXPECT_TRUE(range("1G3", "1", "1", ""));

    // Start-up reads the stored list as the dialog's "Ok" does.
    GlobalState loaded;
    loaded.discreteFilterText = "7ff, 0C8";
    computeFilterValues(loaded);
    EXPECT_EQ(loaded.discreteFilterIds, readDiscreteFilterIds("0C8,7FF"));
    EXPECT_EQ(loaded.discreteFilterText, "7ff, 0C8");
}

TEST(MaskFilter, AppliesOnlyToAdaptersThatDoNotFilterThemselves) {
    EXPECT_TRUE(mask("100", devicePeakUsb, "00000100", "000000FF"));
    EXPECT_TRUE(mask("1FF", devicePeakUsb, "00000100", "000000FF"));
    EXPECT_FALSE(mask("200", devicePeakUsb, "00000100", "000000FF"));
    EXPECT_FALSE(mask("0FF", devicePeakUsb, "00000100", "000000FF"));
    EXPECT_TRUE(mask("1ABCDEF0", devicePeakUsb, "1ABCDEF0", "00000000"));
    EXPECT_FALSE(mask("1ABCDEF1", devicePeakUsb, "1ABCDEF0", "00000000"));
    for (const int kind : {deviceCom, deviceUsb})
        EXPECT_TRUE(mask("200", kind, "00000100", "000000FF")) << kind;
    EXPECT_TRUE(mask("200", devicePeakUsb, "00000100", "000000FF", false));
}

TEST(FilterFields, TextRules) {
    EXPECT_TRUE(isFilterFieldText(u"7ff", false, 8));
    EXPECT_FALSE(isFilterFieldText(u"123,7FF", false, 8));
    EXPECT_TRUE(isFilterFieldText(u"123,7ff", true, 100));
    EXPECT_FALSE(isFilterFieldText(u"123, 7FF", true, 100));
    // Stored settings are shown as far as they could have been typed.
    EXPECT_EQ(filterFieldText(u"1x2-3 4,5", false, 8), "12345");
    EXPECT_EQ(filterFieldText(u"123456789ABC", false, 8), "12345678");
    EXPECT_EQ(filterFieldText(u"123, 7ff;zz", true, 100), "123,7FF");
    EXPECT_EQ(padAcceptanceText(u""), "00000000");
    EXPECT_EQ(padAcceptanceText(u"12345678"), "12345678");
}

namespace {

struct FilterDialog {
    GlobalState state;
    std::unique_ptr<frmFilter> dialog;

    FilterDialog() {
        state.acceptanceCodeText = "00000100";
        state.acceptanceMaskText = "000000FF";
        state.rangeFilterStartText = "100";
        state.rangeFilterEndText = "1FF";
        state.discreteFilterText = "0";
        state.deviceKind = devicePeakUsb;
        applyFilterSettings(state, filterSettingsOf(state));
        dialog = std::make_unique<frmFilter>(state);
        dialog->show();
        QApplication::setActiveWindow(dialog.get());
    }
    void focus(QWidget* w) {
        w->setFocus(Qt::TabFocusReason);
        QCoreApplication::processEvents();
    }
};

} // namespace

TEST(FilterDialog, ShowsTheSettingsAndTypingFollowsTheKeyRules) {
    FilterDialog d;
    frmFilter& f = *d.dialog;
    EXPECT_TRUE(f.isModal());
    EXPECT_EQ(f.tCANFilter->text(), "00000100");
    EXPECT_EQ(f.txtFilterEnd->text(), "1FF");
    EXPECT_FALSE(f.chFilterOn->isChecked());

    d.focus(f.txtFilterStart);
    EXPECT_EQ(f.txtFilterStart->selectedText(), "100"); // entering selects all
    QTest::keyClicks(f.txtFilterStart, "7fg-x,a123456789");
    EXPECT_EQ(f.txtFilterStart->text(), "7FA12345");

    d.focus(f.txtFilterDiscrete);
    f.txtFilterDiscrete->end(false);
    QTest::keyClicks(f.txtFilterDiscrete, ",7ff;,123456789abc");
    EXPECT_EQ(f.txtFilterDiscrete->text(), "0,7FF,123456789ABC");
}

TEST(FilterDialog, APasteThatCouldNotBeTypedIsRefusedAsAWhole) {
    FilterDialog d;
    frmFilter& f = *d.dialog;
    d.focus(f.txtFilterEnd);
    f.txtFilterEnd->selectAll();
    for (const char* refused : {"id: 0x7ff", "1FFFFFFFF", "7FF\n"}) {
        QApplication::clipboard()->setText(QString::fromLatin1(refused));
        f.txtFilterEnd->paste();
        EXPECT_EQ(f.txtFilterEnd->text(), "1FF") << refused;
    }
    QApplication::clipboard()->setText(QStringLiteral("7ff"));
    f.txtFilterEnd->selectAll();
    f.txtFilterEnd->paste();
    EXPECT_EQ(f.txtFilterEnd->text(), "7FF");

    d.focus(f.txtFilterDiscrete);
    f.txtFilterDiscrete->end(false);
    QApplication::clipboard()->setText(QStringLiteral(",123,1abcdef0"));
    f.txtFilterDiscrete->paste();
    EXPECT_EQ(f.txtFilterDiscrete->text(), "0,123,1ABCDEF0");
}

TEST(FilterDialog, LeavingCodeOrMaskPadsToEightCharacters) {
    FilterDialog d;
    frmFilter& f = *d.dialog;
    d.focus(f.tCANMask);
    f.tCANMask->setText(QStringLiteral("FF"));
    d.focus(f.tCANFilter);
    EXPECT_EQ(f.tCANMask->text(), "FF000000");
    f.tCANFilter->setText(QStringLiteral("7FF"));
    // A context menu (for pasting) takes the focus without leaving the box.
    QFocusEvent toMenu(QEvent::FocusOut, Qt::PopupFocusReason);
    QCoreApplication::sendEvent(f.tCANFilter, &toMenu);
    EXPECT_EQ(f.tCANFilter->text(), "7FF");
    d.focus(f.txtFilterStart);
    EXPECT_EQ(f.tCANFilter->text(), "7FF00000");
    f.txtFilterStart->setText(QStringLiteral("1"));
    d.focus(f.txtFilterEnd);
    EXPECT_EQ(f.txtFilterStart->text(), "1"); // the range boxes are not padded
}

TEST(FilterDialog, OkWritesTheCopyBackAndCancelDiscardsIt) {
    {
        FilterDialog d;
        frmFilter& f = *d.dialog;
        QSignalSpy accepted(&f, &QDialog::accepted);
        f.txtFilterStart->setText(QStringLiteral("200"));
        f.txtFilterEnd->setText(QStringLiteral("2FF"));
        f.txtFilterDiscrete->setText(QStringLiteral("123"));
        f.chSoftFilterOn->setChecked(true);
        f.chFilterOn->setChecked(true);
        d.focus(f.tCANMask);
        f.tCANMask->setText(QStringLiteral("FF"));
        // Enter on the default button does not leave the box; the mask is padded all the same.
        QTest::keyClick(f.tCANMask, Qt::Key_Return);
        EXPECT_EQ(accepted.size(), 1);
        EXPECT_FALSE(f.isVisible());
        EXPECT_EQ(d.state.rangeFilterStart, 0x200);
        EXPECT_EQ(d.state.rangeFilterEnd, 0x2FF);
        EXPECT_EQ(d.state.discreteFilterText, "123");
        EXPECT_EQ(d.state.acceptanceMaskText, "FF000000");
        EXPECT_EQ(d.state.acceptanceMaskInv, static_cast<int32_t>(0x00FFFFFF));
        EXPECT_EQ(d.state.acceptanceCodeMasked, 0x100); // the code masked with the new mask
        EXPECT_TRUE(d.state.hasOption(optMaskFilter));
        EXPECT_TRUE(d.state.hasOption(optRangeFilter));
        EXPECT_EQ(filterStateText(d.state.options), "Filter: Mask & Range");
    }
    {
        FilterDialog d;
        const GlobalState before = d.state;
        d.dialog->txtFilterStart->setText(QStringLiteral("7"));
        d.dialog->chSoftFilterOn->setChecked(true);
        QTest::mouseClick(d.dialog->cmdFilterCancel, Qt::LeftButton);
        EXPECT_EQ(d.dialog->result(), QDialog::Rejected);
        EXPECT_EQ(d.state.rangeFilterStartText, before.rangeFilterStartText);
        EXPECT_EQ(d.state.options, before.options);
    }
}

TEST(FilterDialog, EveryControlIsNamedForTestsAndScreenReaders) {
    GlobalState state;
    frmFilter dialog(state);
    for (QWidget* w : dialog.findChildren<QWidget*>())
        EXPECT_FALSE(w->objectName().isEmpty() || w->accessibleName().isEmpty())
            << w->metaObject()->className();
}

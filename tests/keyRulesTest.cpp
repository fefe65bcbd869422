// The register and filter fields take copy and paste among the editing shortcuts, and nothing else; the
// filter dialog stores a code or mask the user left alone as it was.

#include "core/basGlobal.h"
#include "filters/filterSettings.h"
#include "filters/frmFilter.h"
#include "link/canFrame.h"
#include "link/frmSettings.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace korvel;

namespace {

// Runs the shortcuts on a field holding "12AB" with "34" selected and the clipboard holding "5".
void expectOnlyCopyAndPaste(QLineEdit* field) {
    SCOPED_TRACE(field->objectName().toStdString());
    const auto reset = [field] {
        field->setText(QStringLiteral("12AB"));
        field->setSelection(1, 2);
    };
    for (const QKeySequence::StandardKey refused :
         {QKeySequence::Cut, QKeySequence::Undo, QKeySequence::Redo, QKeySequence::DeleteStartOfWord}) {
        reset();
        QTest::keySequence(field, QKeySequence(refused));
        EXPECT_EQ(field->text(), "12AB") << QKeySequence(refused).toString().toStdString();
    }
    reset();
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(field->selectedText(), "2A"); // select-all refused
    QTest::keyClick(field, Qt::Key_U, Qt::ControlModifier);
    EXPECT_EQ(field->text(), "12AB");

    QContextMenuEvent menu(QContextMenuEvent::Mouse, QPoint(2, 2), field->mapToGlobal(QPoint(2, 2)));
    QCoreApplication::sendEvent(field, &menu);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    if (QWidget* popup = QApplication::activePopupWidget())
        popup->close();

    reset();
    QApplication::clipboard()->clear();
    QTest::keyClick(field, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "2A");
    QApplication::clipboard()->setText(QStringLiteral("5"));
    QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(field->text(), "15B");
    QTest::keyClick(field, Qt::Key_Backspace);
    EXPECT_EQ(field->text(), "1B");
}

} // namespace

TEST(KeyRules, RegisterAndFilterFieldsTakeOnlyCopyAndPaste) {
    GlobalState settingsState;
    initialiseGlobals(settingsState, {}, '.');
    settingsState.comBaudrate = "57600";
    settingsState.userBitrate = "0";
    settingsState.canBitrateIndex = kUserBitrateIndex; // the register field is enabled
    frmSettings settings(settingsState, {"COM3"}, [](const QString&) {});
    settings.show();
    QApplication::setActiveWindow(&settings);
    auto* reg = settings.findChild<QLineEdit*>(QStringLiteral("tCANUserBaudrate"));
    ASSERT_NE(reg, nullptr);
    ASSERT_TRUE(reg->isEnabled());
    reg->setFocus();
    expectOnlyCopyAndPaste(reg);

    GlobalState state;
    frmFilter dialog(state);
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    for (QLineEdit* field : {dialog.tCANFilter, dialog.tCANMask, dialog.txtFilterStart, dialog.txtFilterEnd,
                             dialog.txtFilterDiscrete}) {
        field->setFocus();
        expectOnlyCopyAndPaste(field);
    }
}

TEST(KeyRules, FilterOkStoresAnUntouchedCodeOrMaskAsItWas) {
    GlobalState state;
    state.acceptanceCodeText = "7FF";
    state.acceptanceMaskText = "1";
    applyFilterSettings(state, filterSettingsOf(state));
    {
        frmFilter dialog(state);
        dialog.show();
        QApplication::setActiveWindow(&dialog);
        // Passing through both boxes without typing changes nothing either.
        dialog.tCANFilter->setFocus(Qt::TabFocusReason);
        dialog.tCANMask->setFocus(Qt::TabFocusReason);
        dialog.txtFilterStart->setFocus(Qt::TabFocusReason);
        QTest::mouseClick(dialog.cmdFilterOK, Qt::LeftButton);
    }
    EXPECT_EQ(state.acceptanceCodeText, "7FF");
    EXPECT_EQ(state.acceptanceMaskText, "1");
    {
        frmFilter dialog(state);
        dialog.show();
        QApplication::setActiveWindow(&dialog);
        dialog.tCANFilter->setFocus(Qt::TabFocusReason);
        dialog.tCANFilter->selectAll();
        QTest::keyClicks(dialog.tCANFilter, "123");
        QTest::mouseClick(dialog.cmdFilterOK, Qt::LeftButton);
    }
    EXPECT_EQ(state.acceptanceCodeText, "12300000");
    EXPECT_EQ(state.acceptanceMaskText, "1");
}

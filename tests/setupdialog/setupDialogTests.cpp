// The dialog inside a host that already runs a QApplication (this test program).
#include "dialogDriver.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QWindow>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <thread>

namespace {

QStringList tabChain(QWidget* first) {
    QStringList names;
    QWidget* widget = first;
    do {
        if (widget->isVisible() && (widget->focusPolicy() & Qt::TabFocus)) {
            names << widget->objectName();
        }
        widget = widget->nextInFocusChain();
    } while (widget != first && names.size() < 20);
    return names;
}

void pressCancel(SetupControls& controls) {
    QTest::mouseClick(controls.cancel, Qt::LeftButton);
}

// What the title bar's close button delivers.
void closeWindow(SetupControls& controls) {
    QCloseEvent close;
    QCoreApplication::sendEvent(controls.dialog->windowHandle(), &close);
}

} // namespace

TEST(SetupDialog, ShowsTheRecordInTheDocumentedControls) {
    SetupRecord record = makeRecord("QX0042", 500, 0x1C);
    QString title, serialNumber, btrValue, selected;
    QStringList labels, entries, tabOrder, accessibleNames;
    QList<int> values;
    bool editable = true;
    const int32_t result = showWith(record, [&](SetupControls& c) {
        title = c.dialog->windowTitle();
        for (const QLabel* label : c.dialog->findChildren<QLabel*>()) {
            labels << label->text();
        }
        for (int i = 0; i < c.bitrate->count(); ++i) {
            entries << c.bitrate->itemText(i);
            values << c.bitrate->itemData(i).toInt();
        }
        selected = c.bitrate->currentText();
        editable = c.bitrate->isEditable();
        serialNumber = c.serialNumber->text();
        btrValue = c.btrValue->text();
        tabOrder = tabChain(c.serialNumber);
        for (QWidget* control :
             std::initializer_list<QWidget*>{c.serialNumber, c.ok, c.cancel, c.bitrate, c.btrValue}) {
            accessibleNames << control->accessibleName();
        }
        pressCancel(c);
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(title, "CAN - Setup");
    labels.sort();
    EXPECT_EQ(labels,
              QStringList({"0x", "CAN baudrate BTR value:", "CAN baudrate:", "Quorra serial number:"}));
    EXPECT_EQ(entries, QStringList({"10 kBit/s", "20 kBit/s", "50 kBit/s", "100 kBit/s", "125 kBit/s",
                                    "250 kBit/s", "500 kBit/s", "800 kBit/s", "1 MBit/s"}));
    EXPECT_EQ(values, QList<int>({10, 20, 50, 100, 125, 250, 500, 800, 1000}));
    EXPECT_EQ(selected, "500 kBit/s");
    EXPECT_FALSE(editable);
    EXPECT_EQ(serialNumber, "QX0042");
    EXPECT_EQ(btrValue, "001C");
    EXPECT_EQ(tabOrder, QStringList({"1027", "1", "2", "1015", "1014"}));
    EXPECT_FALSE(accessibleNames.contains(QString()));
}

TEST(SetupDialog, OkWithoutABitrateChoiceStoresMinusOne) {
    SetupRecord record = makeRecord("QX0042", 300, 0x1C);
    int shownIndex = 0;
    EXPECT_EQ(showWith(record,
                       [&](SetupControls& c) {
                           shownIndex = c.bitrate->currentIndex();
                           pressOK(c);
                       }),
              1);
    EXPECT_EQ(shownIndex, -1);
    EXPECT_EQ(record.bitrateKbit, -1);
    EXPECT_EQ(record.btrValue, 0x1C);
    EXPECT_STREQ(record.serialNumber, "QX0042");
}

TEST(SetupDialog, ReturnPressesOkAndStoresTheEdits) {
    SetupRecord record = makeRecord("QX0042", 500, 0x1C);
    EXPECT_EQ(showWith(record,
                       [](SetupControls& c) {
                           c.bitrate->setCurrentIndex(c.bitrate->findText("1 MBit/s"));
                           typeInto(c.btrValue, "31C");
                           typeInto(c.serialNumber, "QX-7");
                           QTest::keyClick(c.serialNumber, Qt::Key_Return);
                       }),
              1);
    EXPECT_STREQ(record.serialNumber, "QX-7");
    EXPECT_EQ(record.bitrateKbit, 1000);
    EXPECT_EQ(record.btrValue, 0x31C);
}

TEST(SetupDialog, RegisterTextIsReadAsHexadecimal) {
    const struct {
        const char* text;
        int32_t stored;
    } cases[] = {
        {"", 0},
        {"31C", 0x31C},
        {"0x1c", 0x1C},
        {"   7f", 0x7F},
        {"12g4", 0x12},
        {"zz", 0},
        {"-", 0},
        {"-1", -1},
        {"FFFFFFFF", -1},
        {"0000000001F", 0x1F},
        {"00000000001F", 0x1},
        {"123456789ABC", 0x456789AB},
    };
    for (const auto& c : cases) {
        SetupRecord record = makeRecord("QX0042", 500, 0x55);
        showWith(record, [&](SetupControls& controls) {
            controls.btrValue->setText(c.text);
            pressOK(controls);
        });
        EXPECT_EQ(record.btrValue, c.stored) << '"' << c.text << '"';
    }
}

TEST(SetupDialog, SerialNumbersOfMoreThan254BytesAreDroppedNotCut) {
    const QString eAcute = QString::fromUtf8("\xc3\xa9");
    const struct {
        QString typed;
        QByteArray stored;
    } cases[] = {
        {QString(254, 'A'), QByteArray(254, 'A')},
        {QString(255, 'A'), QByteArray()},
        {eAcute.repeated(127), eAcute.repeated(127).toUtf8()},
        {eAcute.repeated(128), QByteArray()}, // 128 characters, but 256 bytes
    };
    for (const auto& c : cases) {
        SetupRecord record = makeRecord("OLD", 500, 0x1C);
        showWith(record, [&](SetupControls& controls) {
            controls.serialNumber->setText(c.typed);
            pressOK(controls);
        });
        EXPECT_EQ(QByteArray(record.serialNumber), c.stored) << c.typed.size() << " characters";
        EXPECT_EQ(record.bitrateKbit, 500);
    }
}

TEST(SetupDialog, SerialNumberWithoutNulIsReadOnlyWithinItsField) {
    auto record = std::make_unique<SetupRecord>();
    std::memset(record.get(), 'B', sizeof *record);
    QString shown;
    showWith(*record, [&](SetupControls& c) {
        shown = c.serialNumber->text();
        pressCancel(c);
    });
    EXPECT_EQ(shown, QString(256, 'B'));
}

TEST(SetupDialog, CancelEscapeAndClosingLeaveTheRecordUntouched) {
    const Interaction closers[] = {
        pressCancel,
        [](SetupControls& c) { QTest::keyClick(c.dialog, Qt::Key_Escape); },
        closeWindow,
    };
    for (const Interaction& close : closers) {
        SetupRecord record = makeRecord("QX0042", 500, 0x1C);
        const SetupRecord before = record;
        const int32_t result = showWith(record, [&](SetupControls& c) {
            typeInto(c.serialNumber, "CHANGED");
            typeInto(c.btrValue, "7FF");
            c.bitrate->setCurrentIndex(0);
            close(c);
        });
        EXPECT_EQ(result, 1);
        EXPECT_TRUE(sameBytes(record, before));
    }
}

TEST(SetupDialog, DialogIsModalToTheOwnerWidget) {
    QWidget owner;
    owner.show();
    SetupRecord record = makeRecord("QX0042", 500, 0x1C);
    QWidget* parent = nullptr;
    QWindow* transientParent = nullptr;
    bool modal = false;
    const int32_t result = showWith(
        record,
        [&](SetupControls& c) {
            parent = c.dialog->parentWidget();
            transientParent = c.dialog->windowHandle()->transientParent();
            modal = c.dialog->isModal();
            pressCancel(c);
        },
        reinterpret_cast<void*>(owner.winId()));
    EXPECT_EQ(result, 1);
    EXPECT_EQ(parent, &owner);
    EXPECT_EQ(transientParent, owner.windowHandle());
    EXPECT_TRUE(modal);
}

TEST(SetupDialog, UnknownOwnerHandleStillShowsTheDialog) {
    SetupRecord record = makeRecord("QX0042", 500, 0x1C);
    EXPECT_EQ(showWith(record, pressOK, reinterpret_cast<void*>(quintptr{0x7ffe1234})), 1);
}

// A host with no visible window of its own keeps running after the dialog closes.
TEST(SetupDialog, ClosingTheDialogDoesNotQuitTheHost) {
    QTimer::singleShot(0, [] {
        SetupRecord record = makeRecord("QX0042", 500, 0x1C);
        showWith(record, closeWindow);
        QTimer::singleShot(0, [] { QCoreApplication::exit(42); });
    });
    EXPECT_EQ(QCoreApplication::exec(), 42);
}

TEST(SetupDialog, NoDialogForANullRecordOrAForeignThread) {
    const ShowCanSetupFunction show = showCanSetupEntry();
    ASSERT_NE(show, nullptr);
    DialogDriver driver(pressCancel); // closes a dialog that should not have opened
    driver.arm();
    EXPECT_EQ(show(nullptr, nullptr), 0);

    SetupRecord record = makeRecord("QX0042", 500, 0x1C);
    const SetupRecord before = record;
    int32_t fromThread = -1;
    std::thread([&] { fromThread = show(nullptr, &record); }).join();
    EXPECT_EQ(fromThread, 0);
    EXPECT_TRUE(sameBytes(record, before));
}

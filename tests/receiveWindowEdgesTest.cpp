// The main window's receive side at its edges: comments too large to show, comment list files that cannot
// be read or written, the selected row against the current one, and which mouse button opens a comment.

#include "app/frMain.h"
#include "core/basGlobal.h"
#include "core/iniFile.h"
#include "core/textFile.h"
#include "receive/comments.h"
#include "receive/frDetails.h"
#include "receive/frmComment.h"
#include "receive/monitorModel.h"
#include "support/fileSizeLimit.h"
#include "support/mainWindowFixture.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

using namespace korvel;

namespace {

// The expansion as a plain, unbounded series of replacements.
std::string expandedInFull(std::string text, std::string_view dataText) {
    const auto replaceAll = [&](std::string_view placeholder, const std::string& by) {
        std::string out;
        std::size_t pos = 0;
        for (std::size_t at; (at = text.find(placeholder, pos)) != std::string::npos;
             pos = at + placeholder.size())
            out.append(text, pos, at - pos).append(by);
        text = out.append(text, pos);
    };
    std::string ascii;
    appendAsciiRendering(dataText, ascii);
    replaceAll("<ASC>", ascii);
    std::string dec;
    appendDecRendering(dataText, dec);
    replaceAll("<DEC>", dec);
    return text;
}

std::string repeated(std::string_view piece, std::size_t bytes) {
    std::string text;
    while (text.size() < bytes)
        text.append(piece);
    return text;
}

} // namespace

TEST(ShownComments, ExpansionIsBoundedAndAgreesWithTheFullExpansion) {
    struct Case {
        std::string comment;
        const char* data;
    };
    const Case cases[] = {
        {"Door <ASC> <DEC>", "4F 4B"},
        {repeated("<ASC>", 1024 * 1024), "48 69 0A"},
        {repeated("<DEC>", 4000), ""}, // each placeholder shrinks to "DEC:"
        {repeated("x<DEC>", 600) + "<ASC>", "FF FF FF FF FF FF FF FF"},
        // A rendering of "<DE" followed by "C>" forms a placeholder of the second pass.
        {repeated("<ASC>C>", 400), "3C 44 45"},
        {repeated("\xC3\xA9", 4000), "01"}, // cut between two-byte characters
        {std::string(3000, 'n'), "01"},
    };
    for (const Case& c : cases) {
        const std::string list = "ID123=" + c.comment + "\r\n";
        const std::string shown = frameComment("123", c.data, list, 0);
        const std::string full = expandedInFull(c.comment, c.data);
        EXPECT_LE(shown.size(), kMaxShownCommentBytes);
        EXPECT_GE(shown.size(), std::min(full.size(), kMaxShownCommentBytes) - 3);
        EXPECT_EQ(shown, full.substr(0, shown.size())) << c.comment.substr(0, 20);
        EXPECT_TRUE(isValidUtf8(shown));
        CommentIndex index;
        index.setList(list);
        std::string fromIndex;
        frameComment("123", c.data, index, 0, fromIndex);
        EXPECT_EQ(fromIndex, shown);
    }
}

TEST(ShownComments, TheMonitorHoldsOnlyTheShownStartOfALongComment) {
    MonitorModel model;
    std::vector<PollEntry> entries(1);
    entries[0].idText.assign("123");
    entries[0].dataText.assign("01");
    entries[0].frameCount = 1;
    RowTimes times;
    updateMonitorRows(model, entries, times, {});
    const std::string huge(100000, 'c');
    model.setComment(0, huge);
    EXPECT_EQ(model.rowAt(0)->comment.size(), kMaxShownCommentBytes);
    model.setStoredComments("ID123=" + huge + "\r\n");
    EXPECT_EQ(model.rowAt(0)->comment.size(), kMaxShownCommentBytes);
    model.setStoredComments("ID123=short\r\n");
    EXPECT_EQ(model.rowAt(0)->comment, "short");
}

namespace {

class ReceiveWindowTest : public test::MainWindowFixture {
protected:
    void SetUp() override {
        MainWindowFixture::SetUp();
        window = openWindow();
        list = window->findChild<QTableView*>("listReceive");
    }
    void TearDown() override {
        QDir::setCurrent(startFolder);
        MainWindowFixture::TearDown();
    }

    void receive(const char* id, const char* data) {
        std::vector<PollEntry> entries(1);
        entries[0].idText.assign(id);
        entries[0].dataText.assign(data);
        entries[0].dlc = static_cast<uint8_t>((std::string_view(data).size() + 1) / 3);
        entries[0].frameCount = 1;
        updateMonitorRows(*window->monitorModel(), entries, times, {});
    }
    void makeCurrentWithoutSelecting(int row) {
        list->selectionModel()->clearSelection();
        list->selectionModel()->setCurrentIndex(window->monitorModel()->index(row, 0),
                                                QItemSelectionModel::NoUpdate);
    }
    void trigger(const char* action) { window->findChild<QAction*>(action)->trigger(); }

    QTableView* list = nullptr;
    RowTimes times;
    QString startFolder = QDir::currentPath();
};

} // namespace

TEST_F(ReceiveWindowTest, DetailsActOnTheSelectedRowNeverTheMerelyCurrentOne) {
    receive("100", "01 02");
    receive("200", "AA BB");
    makeCurrentWithoutSelecting(0); // as focus by Tab leaves it
    window->runToolbarCommand(QStringLiteral("details"));
    EXPECT_EQ(window->detailsWindow(), nullptr);

    list->selectRow(1);
    makeCurrentWithoutSelecting(0);
    list->selectionModel()->select(window->monitorModel()->index(1, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    window->runToolbarCommand(QStringLiteral("details"));
    ASSERT_NE(window->detailsWindow(), nullptr);
    frDetails& details = *window->detailsWindow();
    EXPECT_EQ(details.windowTitle(), "Details (ID: 200)");
    EXPECT_EQ(details.txtByteHex[0]->text(), "AA");

    // A click on a row that leaves nothing selected (Ctrl+click on the selected row) shows nothing new.
    window->show();
    const QRect first = list->visualRect(window->monitorModel()->index(1, MonitorModel::colId));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, first.center());
    ASSERT_TRUE(list->selectionModel()->selectedRows().isEmpty());
    EXPECT_EQ(details.windowTitle(), "Details (ID: 200)");

    // The poll's refresh brings the identifier with the bytes: after Clear, or a selection moved by
    // keyboard, the selected row may hold another identifier than the one shown.
    window->runToolbarCommand(QStringLiteral("clear"));
    receive("7FF", "EE");
    refreshDetails(&details, *window->monitorModel(), 0, false);
    EXPECT_EQ(details.windowTitle(), "Details (ID: 7FF)");
    EXPECT_EQ(details.idText(), "7FF");
    EXPECT_EQ(details.txtByteHex[0]->text(), "EE");
}

TEST_F(ReceiveWindowTest, CommentOkStoresOnlyForASelectedRow) {
    receive("100", "01");
    list->selectRow(0);
    window->show();
    const QRect cell = list->visualRect(window->monitorModel()->index(0, MonitorModel::colComment));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
    frmComment* dialog = window->commentWindow();
    ASSERT_NE(dialog, nullptr);
    makeCurrentWithoutSelecting(0);
    dialog->txtComment->setText(QStringLiteral("Engine"));
    QTest::mouseClick(dialog->CommentOk, Qt::LeftButton);
    EXPECT_EQ(basGlobal.commentListText, "");
}

TEST_F(ReceiveWindowTest, OnlyTheLeftButtonOpensTheCommentDialog) {
    receive("100", "01");
    list->selectRow(0);
    window->show();
    const QRect cell = list->visualRect(window->monitorModel()->index(0, MonitorModel::colComment));
    for (const Qt::MouseButton other : {Qt::RightButton, Qt::MiddleButton})
        QTest::mouseClick(list->viewport(), other, {}, cell.center());
    EXPECT_EQ(window->commentWindow(), nullptr);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_NE(window->commentWindow(), nullptr);
}

TEST_F(ReceiveWindowTest, CommentListFilesLoadFromTheProgramFolderAndSaveWithTheirSuffix) {
    QDir::setCurrent(QString::fromStdString(tmp.file("")));
    prompts.log.fileNames.push_back(QString());
    trigger("mnuLoadCommentList");
    EXPECT_EQ(QDir::currentPath(), QDir(QCoreApplication::applicationDirPath()).canonicalPath());
    // The dialog starts there too, whatever folder a dialog was last used in.
    EXPECT_EQ(prompts.log.openFolders.constLast(), QCoreApplication::applicationDirPath());

    basGlobal.commentListText = "ID100=Door\r\n";
    const QString bare = QString::fromStdString(tmp.file("list"));
    prompts.log.fileNames.push_back(bare);
    trigger("mnuSaveCommentList");
    EXPECT_FALSE(QFile::exists(bare));
    std::string saved;
    ASSERT_TRUE(readTextFile(tmp.file("list.cmt"), saved));
    EXPECT_EQ(saved, "ID100=Door\r\n");
    EXPECT_EQ(basGlobal.lastFileName, tmp.file("list.cmt"));
    EXPECT_TRUE(prompts.log.messages.isEmpty());

    // The completed name exists now: replacing it is asked, and refusing keeps it.
    basGlobal.commentListText = "ID200=Window\r\n";
    prompts.log.fileNames.push_back(bare);
    prompts.log.answers.push_back(false);
    trigger("mnuSaveCommentList");
    ASSERT_EQ(prompts.log.messages.size(), 1);
    EXPECT_TRUE(prompts.log.messages[0].contains(QStringLiteral("list.cmt already exists.")));
    ASSERT_TRUE(readTextFile(tmp.file("list.cmt"), saved));
    EXPECT_EQ(saved, "ID100=Door\r\n");

    // Another suffix is the user's choice and stays.
    prompts.log.fileNames.push_back(QString::fromStdString(tmp.file("list.txt")));
    trigger("mnuSaveCommentList");
    EXPECT_TRUE(QFile::exists(QString::fromStdString(tmp.file("list.txt"))));
}

TEST_F(ReceiveWindowTest, ACommentListThatCannotBeSavedOrLoadedIsReported) {
    const std::string path = tmp.file("old.cmt");
    const std::string old = repeated("ID123=Engine speed\r\n", 8000);
    ASSERT_TRUE(writeTextFileAtomically(path, old));
    basGlobal.commentListText = repeated("ID456=Window\r\n", 9000);
    prompts.log.fileNames.push_back(QString::fromStdString(path));
    {
        test::FileSizeLimit limit(4096);
        trigger("mnuSaveCommentList");
    }
    std::string kept;
    ASSERT_TRUE(readTextFile(path, kept));
    EXPECT_EQ(kept, old);
    ASSERT_EQ(prompts.log.messages.size(), 1);
    EXPECT_TRUE(prompts.log.messages[0].startsWith(QStringLiteral("Can't save %1!\n").arg(path.c_str())));

    // A file that is refused leaves the list as it was and says why.
    const std::string list = basGlobal.commentListText;
    prompts.log.fileNames.push_back(QStringLiteral("/dev/zero"));
    trigger("mnuLoadCommentList");
    EXPECT_EQ(basGlobal.commentListText, list);
    ASSERT_EQ(prompts.log.messages.size(), 2);
    EXPECT_TRUE(prompts.log.messages[1].startsWith(QStringLiteral("Can't read /dev/zero!\n")));
}

// Header clicks sort (again: reverse, a third time: arrival order); the comment header keeps its meaning;
// while polls move the rows the selected one keeps its place on screen.
TEST_F(ReceiveWindowTest, HeaderClicksSortAndTheSelectedRowStaysWhereItIsOnScreen) {
    for (int i = 0; i < 200; ++i)
        receive(QByteArray::number(0x100 + i, 16).toUpper().constData(), i < 100 ? "00" : "02");
    window->resize(900, 700);
    window->show();
    QHeaderView* header = list->horizontalHeader();
    const auto clickHeader = [&](int column) {
        const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    };
    MonitorModel& model = *window->monitorModel();
    clickHeader(MonitorModel::colId);
    clickHeader(MonitorModel::colId);
    EXPECT_EQ(model.rowAt(0)->id, "1C7");
    clickHeader(MonitorModel::colComment);
    EXPECT_EQ(model.sort(), (MonitorSort{MonitorModel::colId, true}));
    EXPECT_EQ(header->sortIndicatorSection(), MonitorModel::colId);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
    clickHeader(MonitorModel::colId);
    EXPECT_FALSE(header->isSortIndicatorShown());
    EXPECT_EQ(model.rowAt(0)->id, "100");

    clickHeader(MonitorModel::colData);
    list->scrollTo(model.index(150, 0), QAbstractItemView::PositionAtTop);
    list->selectRow(153);
    const int y = list->rowViewportPosition(153);
    ASSERT_GT(y, 0);
    receive("199", "01"); // from among the 02s to just after the 00s
    ASSERT_EQ(model.rowAt(100)->id, "199");
    EXPECT_EQ(list->selectionModel()->selectedRows().value(0).row(), 100);
    EXPECT_EQ(list->rowViewportPosition(100), y);
    receive("300", "00"); // a new row lands in its place
    EXPECT_EQ(model.rowAt(100)->id, "300");
    EXPECT_EQ(model.rowAt(list->selectionModel()->selectedRows().value(0).row())->id, "199");
}

// Ctrl+F in the Monitor goes to the find box, which jumps as the text is typed; Enter finds the next,
// Escape goes back to the list. The box and the highlighting switch belong to the Monitor view.
TEST_F(ReceiveWindowTest, CtrlFInTheMonitorFindsAnIdentifierAsItIsTyped) {
    for (const char* id : {"100", "12345678", "123", "200"})
        receive(id, "01");
    window->show();
    QApplication::setActiveWindow(window.get());
    auto* find = window->findChild<QLineEdit*>("txtFindId");
    ASSERT_NE(find, nullptr);
    EXPECT_EQ(find->accessibleName(), "Find ID");
    list->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(list, Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(find->hasFocus());
    const auto selected = [&] {
        return window->monitorModel()->rowAt(list->selectionModel()->selectedRows().value(0).row())->id;
    };
    QTest::keyClicks(find, "12");
    EXPECT_EQ(selected(), "12345678");
    QTest::keyClick(find, Qt::Key_3);
    EXPECT_EQ(selected(), "123");
    QTest::keyClick(find, Qt::Key_Return);
    EXPECT_EQ(selected(), "12345678");
    QTest::keyClick(find, Qt::Key_Return);
    EXPECT_EQ(selected(), "123");
    QTest::keyClick(find, Qt::Key_X); // not an identifier: the selection stays, the box says so
    EXPECT_EQ(selected(), "123");
    EXPECT_FALSE(find->property("found").toBool());
    QTest::keyClick(find, Qt::Key_Escape);
    EXPECT_TRUE(list->hasFocus());

    window->runToolbarCommand(QStringLiteral("tracer"));
    QCoreApplication::processEvents();
    EXPECT_FALSE(find->isVisible());
    EXPECT_FALSE(window->toolbarAction(QStringLiteral("highlight"))->isVisible());
    window->runToolbarCommand(QStringLiteral("tracer"));
    QCoreApplication::processEvents();
    EXPECT_TRUE(find->isVisible());
}

// On at the first start; switched off it is stored in a section of its own and stays off next time.
TEST_F(ReceiveWindowTest, TheHighlightSwitchIsOnAtFirstAndRemembersBeingSwitchedOff) {
    QAction* highlight = window->toolbarAction(QStringLiteral("highlight"));
    ASSERT_NE(highlight, nullptr);
    EXPECT_TRUE(highlight->isChecked());
    EXPECT_TRUE(window->monitorModel()->changeHighlight());
    window->close();
    std::string text;
    ASSERT_TRUE(readTextFile(basGlobal.iniPath, text));
    EXPECT_EQ(text.find("[Monitor]"), std::string::npos);

    window = openWindow();
    window->toolbarAction(QStringLiteral("highlight"))->trigger();
    EXPECT_FALSE(window->monitorModel()->changeHighlight());
    window->close();
    EXPECT_EQ(readIniString(basGlobal.iniPath, "Monitor", "ChangeHighlight"), "0");
    window = openWindow();
    EXPECT_FALSE(window->toolbarAction(QStringLiteral("highlight"))->isChecked());
    EXPECT_FALSE(window->monitorModel()->changeHighlight());
}

TEST_F(ReceiveWindowTest, AChangedByteIsPaintedGlowing) {
    window->monitorModel()->setClock([] { return 50.0; });
    receive("100", "01 02");
    receive("100", "01 03");
    window->show();
    const QRect cell = list->visualRect(window->monitorModel()->index(0, MonitorModel::colData));
    const QImage image = list->viewport()->grab().toImage();
    const int digit = list->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    const QColor unchanged = image.pixelColor(cell.left() + 5 + digit / 2, cell.top() + 2);
    const QColor changed = image.pixelColor(cell.left() + 5 + 3 * digit + digit / 2, cell.top() + 2);
    EXPECT_GT(changed.red() - changed.blue(), 100) << changed.name().toStdString();
    EXPECT_LT(unchanged.red() - unchanged.blue(), 50) << unchanged.name().toStdString();
}

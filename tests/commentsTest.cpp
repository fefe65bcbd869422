#include "receive/comments.h"
#include "core/basGlobal.h"
#include "core/textFile.h"
#include "receive/commentFile.h"
#include "receive/frmComment.h"
#include "receive/monitorModel.h"
#include "support/tempDir.h"

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace korvel;

namespace {

std::string readBytes(const std::string& path) {
    QFile file(QString::fromStdString(path));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll().toStdString();
}

void writeBytes(const std::string& path, const std::string& bytes) {
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

} // namespace

TEST(Comments, RenderingsOfDataBytes) {
    EXPECT_EQ(frameComment("123", "48 69 0A", "", optCommentAscii), "ASCII:Hi ");
    EXPECT_EQ(frameComment("123", "48 69 0A", "", optCommentDec), "DEC: 72 105 10");
    EXPECT_EQ(frameComment("123", "RTR", "", optCommentAscii), "ASCII: ");
    EXPECT_EQ(frameComment("123", "", "", optCommentDec), "DEC:");
    EXPECT_EQ(frameComment("123", "11 22 ", "", optCommentDec),
              "DEC: 17 34"); // a trailing blank adds no byte
    EXPECT_EQ(frameComment("123", "7F 20 7E", "", optCommentAscii), "ASCII:  ~");
}

TEST(Comments, PlaceholdersAndGeneralSwitches) {
    const std::string list = "ID123=Door <ASC>\r\nID200=<DEC>\r\nID300=<ASC>/<DEC>/<ASC>\r\n";
    EXPECT_EQ(frameComment("123", "4F 4B", list, 0), "Door ASCII:OK");
    EXPECT_EQ(frameComment("200", "01 FF", list, 0), "DEC: 1 255");
    EXPECT_EQ(frameComment("300", "41", list, 0), "ASCII:A/DEC: 65/ASCII:A");
    EXPECT_EQ(frameComment("999", "41", list, 0), "");
    // A general switch replaces every comment, stored or not.
    EXPECT_EQ(frameComment("123", "4F 4B", list, optCommentDec), "DEC: 79 75");
    EXPECT_EQ(frameComment("999", "4F 4B", list, optCommentAscii), "ASCII:OK");
}

TEST(Comments, LookupIsExactCaseSensitiveFirstOccurrenceUpToCr) {
    const std::string list = "ID1ab=lower\r\nID0123=long\r\nID123=first\r\nID123=second\r\n";
    EXPECT_EQ(storedComment(list, "1ab"), "lower");
    EXPECT_FALSE(storedComment(list, "1AB"));
    EXPECT_EQ(storedComment(list, "123"), "first");
    EXPECT_EQ(storedComment(list, "0123"), "long");
    // Lines ended by LF only: the comment runs on to the next CR.
    EXPECT_EQ(storedComment("ID1=a\nID2=b\n", "1"), "a\nID2=b\n");
    EXPECT_EQ(storedComment("ID7=", "7"), "");
}

// The index the receive path uses must find exactly what the plain search finds.
TEST(Comments, IndexAgreesWithThePlainSearch) {
    const std::string list = "xxID5=in text\r\nIDID=idid\r\nID=empty id\r\nID1=a\nID2=b\nID123456789=long\r\n"
                             "ID12345678=eight\r\nID7FF=\r\nID7FF=again\r\nID=x=y\r\nIDa=b=c\r";
    CommentIndex index;
    index.setList(list);
    for (const char* id :
         {"5", "ID", "", "1", "2", "123456789", "12345678", "7FF", "=x", "a", "a=b", "9", "1AB"})
        EXPECT_EQ(index.stored(id), storedComment(list, id)) << id;
    index.setList("ID5=changed\r\n");
    EXPECT_EQ(index.stored("5"), "changed");
}

TEST(Comments, SettingAndRemovingEntriesKeepsTheRestOfTheList) {
    std::string list;
    setStoredComment(list, "123", "Engine speed");
    EXPECT_EQ(list, "ID123=Engine speed\r\n");
    setStoredComment(list, "100", "before");
    list = "ID100=before\r\n" + list + "ID200=after\r\n";
    setStoredComment(list, "123", "RPM");
    EXPECT_EQ(list, "ID100=before\r\nID123=RPM\r\nID100=before\r\nID200=after\r\n");
    setStoredComment(list, "200", "");
    EXPECT_EQ(list, "ID100=before\r\nID123=RPM\r\nID100=before\r\nID200=\r\n");
    // Line breaks in a comment would cut the entry and plant new entries.
    setStoredComment(list, "123", "two\r\nlines");
    EXPECT_EQ(list, "ID100=before\r\nID123=two  lines\r\nID100=before\r\nID200=\r\n");
    setStoredComment(list, "123", "RPM");

    EXPECT_TRUE(removeStoredComment(list, "123"));
    EXPECT_EQ(list, "ID100=before\r\nID100=before\r\nID200=\r\n");
    EXPECT_FALSE(removeStoredComment(list, "123"));
    std::string unterminated = "ID1=a\r\nID2=b";
    EXPECT_TRUE(removeStoredComment(unterminated, "2"));
    EXPECT_EQ(unterminated, "ID1=a\r\n");
}

TEST(Comments, AnEntryAddedToAListWithoutItsLastLineEndKeepsTheLastComment) {
    std::string list = "ID1=a\r\nID2=b";
    setStoredComment(list, "3", "c");
    EXPECT_EQ(list, "ID1=a\r\nID2=b\r\nID3=c\r\n");
    EXPECT_EQ(storedComment(list, "2"), "b");
    std::string crOnly = "ID2=b\r";
    setStoredComment(crOnly, "3", "c");
    EXPECT_EQ(storedComment(crOnly, "2"), "b");
    EXPECT_EQ(storedComment(crOnly, "3"), "c");
}

TEST(CommentFile, RoundTripLatin1AndAtomicReplace) {
    test::TempDir dir;
    const std::string path = dir.file("list.cmt");
    const std::string list = "ID123=Drehzahl \xC3\xBC\r\nID7FF=<ASC>\r\n";
    ASSERT_TRUE(saveCommentListFile(path, list));
    EXPECT_EQ(readBytes(path), list);
    std::string loaded = "old";
    ASSERT_TRUE(loadCommentListFile(path, loaded));
    EXPECT_EQ(loaded, list);

    // A short list replaces a longer file as a whole.
    ASSERT_TRUE(saveCommentListFile(path, "ID1=a\r\n"));
    EXPECT_EQ(readBytes(path), "ID1=a\r\n");

    // Files of the old platform: one byte per character in an 8-bit code page.
    writeBytes(path, "ID123=T\xFCr\r\n");
    ASSERT_TRUE(loadCommentListFile(path, loaded));
    EXPECT_EQ(loaded, "ID123=T\xC3\xBCr\r\n");

    // A folder that cannot take the file leaves nothing half written.
    EXPECT_FALSE(saveCommentListFile(dir.file("missing/list.cmt"), list));
}

TEST(CommentFile, UnreadableHugeAndSpecialFilesLeaveTheListUnchanged) {
    test::TempDir dir;
    std::string list = "ID1=keep\r\n";
    EXPECT_FALSE(loadCommentListFile(dir.file("absent.cmt"), list));
    EXPECT_FALSE(loadCommentListFile(dir.file(""), list)); // the folder itself
    EXPECT_FALSE(loadCommentListFile("/dev/zero", list));
    const std::string huge = dir.file("huge.cmt");
    {
        QFile file(QString::fromStdString(huge));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(static_cast<qint64>(kMaxCommentFileBytes) + 1));
    }
    EXPECT_FALSE(loadCommentListFile(huge, list));
    EXPECT_EQ(list, "ID1=keep\r\n");

    // Binary content is accepted as it is; lookups simply find nothing.
    const std::string binary = dir.file("binary.cmt");
    writeBytes(binary, std::string("\0\x01\xFF\r\x80ID", 7));
    ASSERT_TRUE(loadCommentListFile(binary, list));
    EXPECT_EQ(list.size(), 9U); // the two bytes above 0x7F widen to two each in UTF-8
    EXPECT_EQ(frameComment("123", "00", list, 0), "");
}

namespace {

struct CommentDialog {
    MonitorModel model;
    QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::Fatal};
    GlobalState state;
    RowTimes times;
    int selected = 0;
    frmComment dialog{model, [this] { return selected; }, state};

    CommentDialog() {
        MonitorFold fold;
        fold.begin();
        for (const char* id : {"123", "456"}) {
            CanFrame f;
            f.idText.assign(id);
            fold.add(f);
        }
        updateMonitorRows(model, fold.entries(), times, {});
    }
};

} // namespace

TEST(CommentDialog, OpensForARowAndOkStoresForTheRowSelectedThen) {
    CommentDialog d;
    d.state.commentListText = "ID123=Door <ASC>\r\n";
    d.dialog.openFor(0);
    EXPECT_FALSE(d.dialog.isModal());
    EXPECT_TRUE(d.dialog.isVisible());
    EXPECT_EQ(d.dialog.windowTitle(), "Comment (ID: 123)");
    EXPECT_EQ(d.dialog.txtComment->text(), "Door <ASC>");
    QTest::mouseClick(d.dialog.cmdCommentDEC, Qt::LeftButton);
    EXPECT_EQ(d.dialog.txtComment->text(), "Door <ASC><DEC>");

    // Another row selected while the dialog is open gets the text.
    d.selected = 1;
    d.dialog.txtComment->setText("Window");
    QTest::keyClick(d.dialog.txtComment, Qt::Key_Return);
    EXPECT_FALSE(d.dialog.isVisible());
    EXPECT_EQ(d.state.commentListText, "ID123=Door <ASC>\r\nID456=Window\r\n");
    EXPECT_EQ(d.model.rowAt(1)->comment, "Window");
    EXPECT_EQ(d.model.rowAt(0)->comment, "");

    // Reopening for another row retitles and reloads; Cancel changes nothing.
    d.dialog.openFor(1);
    EXPECT_EQ(d.dialog.windowTitle(), "Comment (ID: 456)");
    EXPECT_EQ(d.dialog.txtComment->text(), "Window");
    d.dialog.txtComment->setText("discarded");
    QTest::mouseClick(d.dialog.CommentCancel, Qt::LeftButton);
    EXPECT_EQ(d.state.commentListText, "ID123=Door <ASC>\r\nID456=Window\r\n");
}

TEST(CommentDialog, GeneralSwitchesExcludeEachOtherAndLockTheText) {
    CommentDialog d;
    d.state.options = optCommentAscii | optCommentDec;
    d.dialog.openFor(0);
    // Both bits set in a settings file: the second assignment wins, as when clicked in turn.
    EXPECT_FALSE(d.dialog.chASCII->isChecked());
    EXPECT_TRUE(d.dialog.chDEC->isChecked());
    EXPECT_FALSE(d.dialog.txtComment->isEnabled());
    EXPECT_FALSE(d.dialog.cmdCommentASCII->isEnabled());

    QTest::mouseClick(d.dialog.chASCII, Qt::LeftButton);
    EXPECT_TRUE(d.dialog.chASCII->isChecked());
    EXPECT_FALSE(d.dialog.chDEC->isChecked());
    QTest::mouseClick(d.dialog.chASCII, Qt::LeftButton);
    EXPECT_TRUE(d.dialog.txtComment->isEnabled());
    EXPECT_TRUE(d.dialog.cmdCommentDEC->isEnabled());

    QTest::mouseClick(d.dialog.chDEC, Qt::LeftButton);
    QTest::mouseClick(d.dialog.CommentOk, Qt::LeftButton);
    EXPECT_EQ(d.state.options, optCommentDec);
}

TEST(CommentDialog, OkWithAnEmptyListOnlyStoresTheSwitches) {
    MonitorModel model;
    GlobalState state;
    frmComment dialog(
        model, [] { return -1; }, state);
    dialog.openFor(0);
    EXPECT_EQ(dialog.windowTitle(), "Comment");
    dialog.chASCII->setChecked(true);
    QTest::mouseClick(dialog.CommentOk, Qt::LeftButton);
    EXPECT_EQ(state.options, optCommentAscii);
    EXPECT_EQ(state.commentListText, "");
}

TEST(CommentDialog, EveryControlIsNamedForTestsAndScreenReaders) {
    MonitorModel model;
    GlobalState state;
    frmComment dialog(
        model, [] { return -1; }, state);
    const auto controls = dialog.findChildren<QWidget*>();
    EXPECT_EQ(controls.size(), 7);
    for (QWidget* w : controls)
        EXPECT_FALSE(w->objectName().isEmpty() || w->accessibleName().isEmpty())
            << w->metaObject()->className();
}

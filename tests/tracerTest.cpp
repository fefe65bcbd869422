#include "core/prompts.h"
#include "link/canFrame.h"
#include "link/transport.h"
#include "receive/tracerAccessible.h"
#include "receive/tracerEdit.h"
#include "receive/tracerFindBar.h"
#include "receive/tracerLine.h"
#include "receive/tracerView.h"
#include "support/scriptedPrompts.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace korvel;

namespace {

CanFrame decoded(std::string_view line, char separator = '.') {
    auto frame = decodeFrameLine(line, separator);
    EXPECT_TRUE(frame.has_value()) << line;
    return frame.value_or(CanFrame{});
}

std::string line(std::string_view adapterLine, std::string_view comment = {}) {
    const CanFrame f = decoded(adapterLine);
    return formatTracerLine(f, f.timestampText.view(), comment);
}

std::string lines(int count) {
    std::string batch;
    for (int i = 0; i < count; ++i) {
        CanFrame f = decoded("t12321122");
        f.timestampText = timestampText(i % 60000, '.');
        appendTracerLine(batch, f, f.timestampText.view(), "");
    }
    return batch;
}

} // namespace

TEST(TracerLine, ColumnsAreByteExact) {
    EXPECT_EQ(line("t1232112204D2"), "01.234 123      2 11 22                   ");
    EXPECT_EQ(line("t1232112204D2").size(), 42U);
    EXPECT_EQ(line("T1ABCDEF080102030405060708"), "00.000 1ABCDEF0 8 01 02 03 04 05 06 07 08 ");
    EXPECT_EQ(line("r7FF0"), "00.000 7FF      0 RTR                     ");
    EXPECT_EQ(line("t7FF0"), "00.000 7FF      0                         ");
    EXPECT_EQ(line("t12324F4B", "Door ASCII:OK"), "00.000 123      2 4F 4B                   Door ASCII:OK");
}

TEST(TracerLine, DecimalCommaAndBatchLineEnds) {
    const CanFrame f = decoded("t123211220D80", ',');
    EXPECT_EQ(formatTracerLine(f, f.timestampText.view(), ""), "03,456 123      2 11 22                   ");

    std::string batch;
    const CanFrame standard = decoded("t12321122");
    const CanFrame extended = decoded("T1ABCDEF080102030405060708");
    appendTracerLine(batch, standard, "00.000", "");
    appendTracerLine(batch, extended, "00.000", "");
    const std::string first = batch.substr(0, batch.find("\r\n"));
    const std::string second = batch.substr(first.size() + 2, batch.size() - first.size() - 4);
    EXPECT_EQ(batch.substr(batch.size() - 2), "\r\n");
    EXPECT_EQ(first[16], '2'); // column 17
    EXPECT_EQ(second[16], '8');
    EXPECT_EQ(first.substr(18, 2), "11"); // column 19
    EXPECT_EQ(second.substr(18, 2), "01");
}

TEST(TracerLine, HeaderNamesTheColumns) {
    EXPECT_EQ(kTracerHeader.find("ID"), 7U);
    EXPECT_EQ(kTracerHeader.find("DLC") + 3, 17U);
    EXPECT_EQ(kTracerHeader.find("Data"), 18U);
    EXPECT_EQ(kTracerHeader.find("Comment"), 42U);
}

TEST(TracerLine, ParsedFrameForTheDetailsWindow) {
    auto parsed = parseTracerLine(QString::fromStdString(line("t123211220001", "DEC: 17 34")));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->idText, "123");
    EXPECT_EQ(parsed->dataText, "11 22 ");

    parsed = parseTracerLine(QString::fromStdString(line("T1ABCDEF080102030405060708")));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->idText, "1ABCDEF0");
    EXPECT_EQ(parsed->dataText, "01 02 03 04 05 06 07 08 ");

    // Length 0 without comment: the padding leaves only three pieces, still a frame.
    parsed = parseTracerLine(QString::fromStdString(line("t7FF0")));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->idText, "7FF");
    EXPECT_EQ(parsed->dataText, "");

    // A comment never reads as data, even where removing the padding glues it to the last byte.
    parsed = parseTracerLine(QString::fromStdString(line("t12350102030405", "PUMP")));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->dataText, "01 02 03 04 05 ");

    // Fewer data pieces than the length promises give a shorter data text; too few pieces give nothing.
    parsed = parseTracerLine(u"01.234 123 8 11\r");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->dataText, "11 ");
    EXPECT_FALSE(parseTracerLine(u"01.234 123"));
    EXPECT_FALSE(parseTracerLine(u""));
}

TEST(TracerLine, TypedCharacters) {
    EXPECT_EQ(tracerTypedChar(QLatin1Char('a')), QLatin1Char('A'));
    EXPECT_EQ(tracerTypedChar(QLatin1Char('r')), QLatin1Char('R'));
    EXPECT_EQ(tracerTypedChar(QLatin1Char(',')), QLatin1Char(','));
    EXPECT_EQ(tracerTypedChar(QLatin1Char(' ')), QLatin1Char(' '));
    for (char refused : {'g', 'G', 'x', '.', ';', '\t'})
        EXPECT_FALSE(tracerTypedChar(QLatin1Char(refused))) << refused;
    EXPECT_FALSE(tracerTypedChar(QChar(0x00E4)));
}

namespace {

struct Tracer {
    TracerEdit edit;
    TracerView view{&edit};

    Tracer() {
        edit.resize(500, 200);
        edit.show();
    }
    QScrollBar* bar() { return edit.verticalScrollBar(); }
    void clickAt(int line, int column) {
        edit.setSelection({line, column}, {line, column});
        view.selectLineAtCaret();
    }
    [[nodiscard]] QString text() const { return edit.plainText(); }
};

} // namespace

TEST(TracerView, ClickSelectsTheWholeLineHoldingTheCaret) {
    Tracer t;
    auto selected = [&](int line, int column) {
        t.clickAt(line, column);
        return t.edit.hasSelection() ? t.edit.selectedText() : QStringLiteral("-");
    };
    t.view.appendTracerText("no line end");
    EXPECT_EQ(selected(0, 3), "-");
    t.edit.clear();
    t.view.appendTracerText("aaa\r\nbb\r\n");
    EXPECT_EQ(selected(0, 0), "aaa");
    EXPECT_EQ(selected(0, 3), "aaa"); // at the line end: still the first line
    EXPECT_EQ(selected(1, 1), "bb");
    EXPECT_EQ(selected(2, 0), "-"); // the empty rest after the last line end selects nothing visible
    EXPECT_EQ(t.edit.caret(), (TracerPos{2, 0}));
    EXPECT_EQ(selected(500, 9), "-");
    EXPECT_EQ(t.view.caretLine(), 2);
    EXPECT_EQ(selected(1, 1), "bb");
    EXPECT_EQ(t.edit.caret(),
              (TracerPos{1, 0})); // the caret at the line's start, so the view does not scroll sideways
}

TEST(TracerView, TheReplaysLineInterface) {
    Tracer t;
    EXPECT_EQ(t.view.lineCount(), 1);
    EXPECT_EQ(t.view.lineText(0), "");
    t.view.appendTracerText(lines(100));
    EXPECT_EQ(t.view.lineCount(), 101);
    EXPECT_EQ(t.view.lineText(99).substr(0, 10), "00.099 123");
    EXPECT_EQ(t.view.lineText(100), "");
    EXPECT_EQ(t.view.lineText(101), "");
    EXPECT_EQ(t.view.lineText(-1), "");

    t.view.selectLine(3); // the next line highlighted, scrolled into view
    EXPECT_EQ(t.view.caretLine(), 3);
    EXPECT_EQ(t.edit.selectedText().toStdString(), t.view.lineText(3));
    EXPECT_LE(t.bar()->value(), 3);
    t.view.selectLine(90);
    EXPECT_EQ(t.view.caretLine(), 90);
    EXPECT_GT(t.bar()->value(), 60);
    EXPECT_LE(t.bar()->value(), 90);
    t.view.selectLine(500); // out of range: nothing changes
    EXPECT_EQ(t.view.caretLine(), 90);
    const int top = t.bar()->value();
    t.view.selectLine(top + t.bar()->pageStep()); // the line just below the view scrolls it by one line
    EXPECT_EQ(t.bar()->value(), top + 1);
    t.view.focusTracer();
    EXPECT_TRUE(t.edit.hasFocus() || !QApplication::focusWindow());
}

TEST(TracerView, AppendPutsTheCaretAtTheEndAndDropsTheSelection) {
    Tracer t;
    t.view.appendTracerText(lines(3));
    EXPECT_EQ(t.view.lineCount(), 4); // three lines and the empty rest
    EXPECT_EQ(t.text().count(QLatin1Char('\r')), 0);
    t.edit.setSelection({0, 0}, {0, 5});
    t.view.appendTracerText(lines(1));
    EXPECT_FALSE(t.edit.hasSelection());
    EXPECT_EQ(t.edit.caret(), (TracerPos{4, 0}));
    t.view.appendTracerText("partial");
    EXPECT_EQ(t.edit.caret(), (TracerPos{4, 7}));
    t.view.appendTracerText({}); // an empty batch changes nothing
    EXPECT_EQ(t.view.lineCount(), 5);
}

TEST(TracerView, FollowsNewLinesOnlyWhileAtTheBottom) {
    Tracer t;
    t.view.appendTracerText(lines(100));
    ASSERT_GT(t.bar()->maximum(), 0);
    EXPECT_EQ(t.bar()->value(), t.bar()->maximum());

    t.bar()->setValue(10); // the user scrolls up to read
    t.view.appendTracerText(lines(50));
    EXPECT_EQ(t.bar()->value(), 10);

    t.bar()->setValue(t.bar()->maximum()); // and back down
    t.view.appendTracerText(lines(50));
    EXPECT_EQ(t.bar()->value(), t.bar()->maximum());
    EXPECT_EQ(t.view.lineCount(), 201);

    // A line wider than all before it can be scrolled to sideways, as a new line and as one extended.
    QScrollBar* sideways = t.edit.horizontalScrollBar();
    const qreal column = QFontMetricsF(t.edit.font()).horizontalAdvance(QLatin1Char('0'));
    t.view.appendTracerText("\r\n" + std::string(300, 'A'));
    EXPECT_GE(sideways->maximum() + t.edit.viewport()->width(), 300 * column);
    const int wide = sideways->maximum();
    t.view.appendTracerText(std::string(100, 'B'));
    EXPECT_GE(sideways->maximum() + t.edit.viewport()->width(), 400 * column);
    EXPECT_GT(sideways->maximum(), wide);
}

TEST(TracerView, ClickSelectsTheLineAndReportsItsFrame) {
    Tracer t;
    QSignalSpy clicked(&t.view, &TracerView::frameClicked);
    const CanFrame f = decoded("t12321122");
    std::string batch;
    appendTracerLine(batch, f, "01.234", "");
    t.view.appendTracerText(batch);
    t.clickAt(0, 3);
    EXPECT_EQ(t.edit.selectedText().toStdString(), batch.substr(0, batch.size() - 2));
    ASSERT_EQ(clicked.size(), 1);
    EXPECT_EQ(clicked[0][0].toString(), "123");
    EXPECT_EQ(clicked[0][1].toString(), "11 22 ");

    // A real mouse click selects once the text box has placed the caret.
    t.edit.setSelection({1, 0}, {1, 0});
    QTest::mouseClick(t.edit.viewport(), Qt::LeftButton, {}, QPoint(40, 4));
    QCoreApplication::processEvents();
    EXPECT_EQ(clicked.size(), 2);
    EXPECT_EQ(t.edit.selectedText().toStdString(), batch.substr(0, batch.size() - 2));

    // Only the left button selects and reports.
    t.edit.setSelection({1, 0}, {1, 0});
    for (Qt::MouseButton other : {Qt::RightButton, Qt::MiddleButton})
        QTest::mouseClick(t.edit.viewport(), other, {}, QPoint(40, 4));
    QCoreApplication::processEvents();
    EXPECT_EQ(clicked.size(), 2);
    EXPECT_EQ(t.edit.caret(), (TracerPos{1, 0}));
}

TEST(TracerView, ClickFarDownALongTraceSelectsOnlyThatLine) {
    Tracer t;
    QSignalSpy clicked(&t.view, &TracerView::frameClicked);
    t.view.appendTracerText(lines(40000));
    t.clickAt(35000, 10);
    EXPECT_EQ(t.edit.selectedText().toStdString(), t.view.lineText(35000));
    EXPECT_TRUE(t.edit.selectedText().startsWith(QStringLiteral("35.000 123")));
    EXPECT_EQ(clicked.size(), 1);
    // The clicked line is on screen.
    EXPECT_LE(t.bar()->value(), 35000);
    EXPECT_GT(t.bar()->value() + t.bar()->pageStep(), 35000);
}

TEST(TracerView, ArrowKeysActAsAClickAfterTheCaretMoved) {
    Tracer t;
    QSignalSpy clicked(&t.view, &TracerView::frameClicked);
    t.view.appendTracerText(lines(3));
    t.clickAt(0, 0);
    QTest::keyClick(&t.edit, Qt::Key_Down);
    EXPECT_TRUE(t.edit.selectedText().startsWith(QStringLiteral("00.001")));
    EXPECT_EQ(clicked.size(), 2);

    // Down from the last line in view scrolls the view by one line.
    t.view.appendTracerText(lines(50));
    t.bar()->setValue(10);
    t.clickAt(10 + t.bar()->pageStep() - 1, 0);
    EXPECT_EQ(t.bar()->value(), 10);
    QTest::keyClick(&t.edit, Qt::Key_Down);
    EXPECT_EQ(t.bar()->value(), 11);
}

TEST(TracerView, TypedKeysAreUpperCasedOrRefused) {
    Tracer t;
    t.edit.setFocus();
    QTest::keyClicks(&t.edit, "t1a,rg.x 9");
    EXPECT_EQ(t.text(), "T1A,R 9");
    QTest::keyClick(&t.edit, Qt::Key_Backspace);
    QTest::keyClick(&t.edit, Qt::Key_Left);
    QTest::keyClick(&t.edit, Qt::Key_Return);
    EXPECT_EQ(t.text(), "T1A,R\n ");
    // Ctrl+Z is undo now; Ctrl+B stands for the other Ctrl keys that type nothing here.
    for (int refused : {Qt::Key_Tab, Qt::Key_X, Qt::Key_B, Qt::Key_A})
        QTest::keyClick(&t.edit, static_cast<Qt::Key>(refused),
                        refused == Qt::Key_Tab ? Qt::NoModifier : Qt::ControlModifier);
    EXPECT_EQ(t.text(), "T1A,R\n ");
}

namespace {

// What assistive tools are told of the Tracer, as text; empty for events not checked here.
QString told(QAccessibleEvent* event) {
    if (event->type() == QAccessible::TextCaretMoved)
        return QStringLiteral("caret %1")
            .arg(static_cast<QAccessibleTextCursorEvent*>(event)->cursorPosition());
    if (const auto* inserted = dynamic_cast<QAccessibleTextInsertEvent*>(event))
        return QStringLiteral("insert %1 %2").arg(inserted->changePosition()).arg(inserted->textInserted());
    if (const auto* removed = dynamic_cast<QAccessibleTextRemoveEvent*>(event))
        return QStringLiteral("remove %1 %2").arg(removed->changePosition()).arg(removed->textRemoved());
    return {};
}

} // namespace

// A screen reader reads the Tracer as a text box: the caret's line and the lines and words around it, the
// selection and what is on screen, by offsets over the whole text; and it hears every caret move and edit.
TEST(TracerView, AssistiveToolsReadTheLinesAndFollowTheCaret) {
    Tracer t;
    t.view.appendTracerText("\xC3\x84 \xF0\x9F\x98\x80\r\n"); // a character beyond 16 bits counts two
    t.view.appendTracerText(lines(3000));
    const QString all = t.text();
    const QStringList split = all.split(QLatin1Char('\n'));
    const auto start = [&split](int line) {
        int offset = 0;
        for (int i = 0; i < line; ++i)
            offset += static_cast<int>(split[i].size()) + 1;
        return offset;
    };

    QAccessibleInterface* tracer = QAccessible::queryAccessibleInterface(&t.edit);
    ASSERT_NE(tracer, nullptr);
    EXPECT_EQ(tracer->role(), QAccessible::EditableText);
    EXPECT_TRUE(tracer->state().multiLine);
    QAccessibleTextInterface* text = tracer->textInterface();
    ASSERT_NE(text, nullptr);
    int from = 0;
    int to = 0;
    EXPECT_EQ(text->characterCount(), all.size());
    EXPECT_EQ(text->text(0, text->characterCount()), all);
    EXPECT_EQ(text->textAtOffset(0, QAccessible::NoBoundary, &from, &to), all);
    EXPECT_TRUE(text->textAfterOffset(0, QAccessible::NoBoundary, &from, &to).isEmpty());
    EXPECT_TRUE(text->textAtOffset(all.size() + 1, QAccessible::LineBoundary, &from, &to).isEmpty());
    EXPECT_EQ(text->text(start(2000) + 3, start(2002)),
              all.mid(start(2000) + 3, start(2002) - start(2000) - 3));

    EXPECT_EQ(text->textAtOffset(1, QAccessible::LineBoundary, &from, &to), split[0] + QLatin1Char('\n'));
    EXPECT_EQ(to, 5);
    t.edit.setSelection({2000, 8}, {2000, 8});
    EXPECT_EQ(text->cursorPosition(), start(2000) + 8);
    EXPECT_EQ(tracer->text(QAccessible::Value), split[2000]);
    EXPECT_EQ(text->textAtOffset(-2, QAccessible::LineBoundary, &from, &to), split[2000] + QLatin1Char('\n'));
    EXPECT_EQ(from, start(2000));
    EXPECT_EQ(text->textBeforeOffset(-2, QAccessible::LineBoundary, &from, &to),
              split[1999] + QLatin1Char('\n'));
    EXPECT_EQ(text->textAfterOffset(-2, QAccessible::LineBoundary, &from, &to),
              split[2001] + QLatin1Char('\n'));
    EXPECT_EQ(from, start(2001));
    EXPECT_EQ(text->textAtOffset(-2, QAccessible::WordBoundary, &from, &to), "123");

    t.view.selectLine(5);
    ASSERT_EQ(text->selectionCount(), 1);
    text->selection(0, &from, &to);
    EXPECT_EQ(from, start(5));
    EXPECT_EQ(to, start(6) - 1);
    // The reader moves the caret and selects too.
    text->setCursorPosition(start(7) + 2);
    EXPECT_EQ(t.edit.caret(), (TracerPos{7, 2}));
    EXPECT_EQ(text->selectionCount(), 0);
    text->setSelection(0, start(8), start(9));
    EXPECT_EQ(t.edit.selectedText(), split[8] + QLatin1Char('\n'));

    // On screen: the first line in view is at the top, and a character is found where it is drawn.
    t.view.selectLine(2500);
    const QRect cell = text->characterRect(start(t.bar()->value()) + 1);
    EXPECT_EQ(t.edit.viewport()->mapFromGlobal(cell.topLeft()).y(), 0);
    EXPECT_EQ(text->offsetAtPoint(cell.center()), start(t.bar()->value()) + 1);
    EXPECT_EQ(text->offsetAtPoint(t.edit.viewport()->mapToGlobal(QPoint(-5, 2))), -1);

    QStringList heard;
    setTracerListener([&heard](QAccessibleEvent* event) {
        if (const QString text = told(event); !text.isEmpty())
            heard << text;
    });
    struct Deaf {
        ~Deaf() { setTracerListener({}); }
    } deaf;
    t.edit.setSelection({10, 3}, {10, 3});
    QTest::keyClick(&t.edit, Qt::Key_Down); // selects line 11 once released, the caret at its start
    QTest::keyClick(&t.edit, Qt::Key_Right);
    QTest::keyClicks(&t.edit, "a");
    QTest::keyClick(&t.edit, Qt::Key_Backspace);
    QTest::keyClick(&t.edit, Qt::Key_Return);
    const int end = t.edit.characterCount();
    t.view.appendTracerText("X\r\nY");
    const auto at = [&start](int line, int column) {
        return QString::number(start(line) + column);
    };
    EXPECT_EQ(
        heard,
        QStringList({"caret " + at(10, 3), "caret " + at(11, 3), "caret " + at(11, 0), "caret " + at(11, 1),
                     "insert " + at(11, 1) + " A", "caret " + at(11, 2), "remove " + at(11, 1) + " A",
                     "caret " + at(11, 1), "insert " + at(11, 1) + " \n", "caret " + at(11, 2),
                     QStringLiteral("insert %1 X\nY").arg(end), QStringLiteral("caret %1").arg(end + 3)}));
    // A change of more than 64 Ki characters is not spelled out: the reader reads again at the caret.
    heard.clear();
    t.edit.clear();
    EXPECT_EQ(heard, QStringList({"caret 0"}));
}

// The Tracer as a script the user edits: lines split, joined, changed and deleted by keys and selections.
TEST(TracerView, EditingLines) {
    Tracer t;
    t.edit.setFocus();
    t.view.appendTracerText("10.000 123 1 AA\r\n10.500 456 0\r\n");
    t.edit.setSelection({0, 15}, {0, 15});
    QTest::keyClicks(&t.edit, " bb");
    EXPECT_EQ(t.view.lineText(0), "10.000 123 1 AA BB");
    QTest::keyClick(&t.edit, Qt::Key_Home);
    QTest::keyClick(&t.edit, Qt::Key_Backspace); // at the first line's start: nothing to join
    QTest::keyClick(&t.edit, Qt::Key_End);
    QTest::keyClick(&t.edit, Qt::Key_Delete); // at a line's end: joins the next line
    EXPECT_EQ(t.view.lineText(0), "10.000 123 1 AA BB10.500 456 0");
    QTest::keyClick(&t.edit, Qt::Key_Return); // splits it again
    EXPECT_EQ(t.view.lineText(0), "10.000 123 1 AA BB");
    EXPECT_EQ(t.view.lineText(1), "10.500 456 0");
    QTest::keyClick(&t.edit, Qt::Key_Backspace); // at a line's start: joins the previous line
    EXPECT_EQ(t.view.lineCount(), 2);
    QTest::keyClick(&t.edit, Qt::Key_Return);

    // A selection over two lines is replaced by what is typed; Shift+arrows select.
    t.edit.setSelection({0, 13}, {1, 7});
    QTest::keyClicks(&t.edit, "c");
    EXPECT_EQ(t.view.lineText(0), "10.000 123 1 C456 0");
    EXPECT_EQ(t.view.lineCount(), 2);
    QTest::keyClick(&t.edit, Qt::Key_Home, Qt::ShiftModifier);
    QTest::keyClick(&t.edit, Qt::Key_Delete);
    EXPECT_EQ(t.view.lineText(0), "456 0");
    EXPECT_EQ(t.edit.caret(), (TracerPos{0, 0}));

    // Copy takes the selection with LF line ends, paste inserts text at the caret.
    t.view.appendTracerText("20.000 7FF 0 RTR\r\n");
    t.edit.setSelection({0, 0}, {1, 6});
    QTest::keyClick(&t.edit, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "456 0\n20.000");
    t.edit.setSelection({2, 0}, {2, 0});
    QTest::keyClick(&t.edit, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(t.view.lineCount(), 4);
    EXPECT_EQ(t.view.lineText(3), "20.000");

    // An empty line pasted between two is a line of its own.
    t.edit.clear();
    QApplication::clipboard()->setText(QStringLiteral("a\n\nb"));
    QTest::keyClick(&t.edit, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(t.text(), "a\n\nb");
    EXPECT_EQ(t.view.lineCount(), 3);
}
namespace {

void press(QWidget* widget, QKeySequence::StandardKey key) {
    const QKeyCombination combination = QKeySequence::keyBindings(key).value(0)[0];
    QTest::keyClick(widget, combination.key(), combination.keyboardModifiers());
}

} // namespace

TEST(TracerView, UndoAndRedoBringBackEditsWithTheirTimesButNeverTouchRecordedLines) {
    Tracer t;
    t.edit.setFocus();
    t.view.setWallClock([] { return std::int64_t{5'000'000}; });
    t.view.appendTracerText("00.000 123      0 \r\n00.000 456      0 \r\n");
    // One keystroke over a selected line replaces it; undo brings the line back with its time.
    t.clickAt(0, 3);
    QTest::keyClicks(&t.edit, "abc"); // typing makes one step
    EXPECT_EQ(t.view.lineText(0), "ABC");
    EXPECT_EQ(t.edit.store().lineTime(0), kNoLineTime);
    press(&t.edit, QKeySequence::Undo);
    EXPECT_EQ(t.view.lineText(0), "00.000 123      0 ");
    EXPECT_EQ(t.edit.store().lineTime(0), 5'000'000);
    EXPECT_EQ(t.edit.selectedText(), "00.000 123      0 ");
    press(&t.edit, QKeySequence::Redo);
    EXPECT_EQ(t.view.lineText(0), "ABC");
    press(&t.edit, QKeySequence::Undo);

    // A line break at a line's end leaves the line as received; the new line has no time.
    t.edit.setSelection({1, 18}, {1, 18});
    QTest::keyClick(&t.edit, Qt::Key_Return);
    EXPECT_EQ(t.edit.store().lineTime(1), 5'000'000);
    EXPECT_EQ(t.edit.store().lineTime(2), kNoLineTime);
    press(&t.edit, QKeySequence::Undo);
    EXPECT_EQ(t.view.lineCount(), 3);

    // Recording goes on between edits: the edits stay undoable and the recorded lines stay.
    t.edit.setSelection({0, 0}, {0, 0});
    QTest::keyClicks(&t.edit, "1");
    t.view.appendTracerText("00.000 789      0 \r\n");
    press(&t.edit, QKeySequence::Undo);
    EXPECT_EQ(t.view.lineText(0), "00.000 123      0 ");
    EXPECT_EQ(t.view.lineText(2), "00.000 789      0 ");
    press(&t.edit, QKeySequence::Undo); // nothing more to undo: recording is never taken back
    EXPECT_EQ(t.view.lineCount(), 4);

    // Typed into the last line, then recorded into the same line: undo would take frames with it, so the
    // history ends instead.
    t.edit.setSelection({3, 0}, {3, 0});
    QTest::keyClicks(&t.edit, "9");
    t.view.appendTracerText("00.000 7FF      0 \r\n");
    press(&t.edit, QKeySequence::Undo);
    EXPECT_EQ(t.view.lineText(3), "900.000 7FF      0 ");
    EXPECT_FALSE(t.edit.history().canUndo());
    EXPECT_FALSE(t.edit.history().canRedo());
    t.edit.clear();
    EXPECT_FALSE(t.edit.history().canUndo());
}

TEST(TracerView, FindBarFindsMarksAndShowsWhereTheCaretIs) {
    Tracer t;
    TracerFindBar bar(&t.edit);
    bar.show();
    auto* pattern = bar.findChild<QLineEdit*>(QStringLiteral("txtTracerFind"));
    auto* kind = bar.findChild<QComboBox*>(QStringLiteral("cboTracerFindKind"));
    auto* state = bar.findChild<QLabel*>(QStringLiteral("lblTracerFindState"));
    auto* position = bar.findChild<QLabel*>(QStringLiteral("lblTracerPosition"));
    auto* controls = bar.findChild<QWidget*>(QStringLiteral("frTracerFind"));
    ASSERT_TRUE(pattern && kind && state && position && controls);
    t.view.appendTracerText("00.100 123      2 11 22                   Door\r\n"
                            "00.200 456      1 33                      \r\n"
                            "00.300 123      2 11 2A                   \r\n");
    EXPECT_EQ(position->text(), "Line 4 of 4");
    EXPECT_FALSE(controls->isVisible());

    t.edit.setFocus();
    t.edit.setSelection({0, 0}, {0, 0});
    press(&t.edit, QKeySequence::Find);
    EXPECT_TRUE(controls->isVisible());
    kind->setCurrentIndex(1); // ID
    pattern->setText(QStringLiteral("123"));
    QTest::keyClick(pattern, Qt::Key_Return);
    EXPECT_EQ(t.edit.caret(), (TracerPos{2, 10})); // the identifier selected
    EXPECT_EQ(t.edit.selectedText(), "123");
    EXPECT_EQ(position->text(), "Line 3 of 4");
    QTest::keyClick(pattern, Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(t.edit.caret().line, 0);
    press(&t.edit, QKeySequence::FindNext);
    EXPECT_EQ(t.edit.caret().line, 2);

    kind->setCurrentIndex(2); // Data, with a wildcard
    pattern->setText(QStringLiteral("11 2*"));
    bar.find(true);
    EXPECT_EQ(t.edit.caret().line, 0);
    EXPECT_EQ(t.edit.selectedText(), "11 22");
    pattern->setText(QStringLiteral("44"));
    bar.find(true);
    EXPECT_EQ(state->text(), "Not found");
    EXPECT_EQ(t.edit.caret().line, 0);
    pattern->setText(QStringLiteral("1G"));
    EXPECT_FALSE(state->text().isEmpty());
    bar.find(true);
    EXPECT_FALSE(bar.searching());

    // A long search shows its progress after a moment and can be cancelled; it keeps the window's events.
    double now = 0;
    setClockSeconds([&now] { return now += 0.2; });
    kind->setCurrentIndex(0);
    pattern->setText(QStringLiteral("door"));
    bar.setSliceBytes(1);
    t.edit.setSelection({1, 0}, {1, 0});
    bar.find(true);
    auto* progress = bar.findChild<QProgressBar*>(QStringLiteral("prgTracerFind"));
    auto* cancel = bar.findChild<QPushButton*>(QStringLiteral("cmdTracerFindCancel"));
    EXPECT_TRUE(bar.searching());
    EXPECT_FALSE(progress->isVisible());
    bar.finishSearch();
    EXPECT_EQ(t.edit.caret().line, 0);
    t.edit.setSelection({1, 0}, {1, 0});
    bar.find(true);
    EXPECT_FALSE(progress->isVisible()); // 0.2 s in
    bar.searchOn();
    EXPECT_TRUE(progress->isVisible()); // 0.4 s in
    EXPECT_TRUE(bar.searching());
    QTest::mouseClick(cancel, Qt::LeftButton);
    EXPECT_FALSE(bar.searching());
    EXPECT_FALSE(progress->isVisible());
    EXPECT_EQ(t.edit.caret(), (TracerPos{1, 0}));
    setClockSeconds({});

    QTest::keyClick(pattern, Qt::Key_Escape);
    EXPECT_FALSE(controls->isVisible());
}

TEST(TracerView, ClearAsksFirst) {
    test::PromptsScope prompts;
    Tracer t;
    t.view.appendTracerText(lines(2));
    prompts.log.answers = {false, true};
    EXPECT_FALSE(t.view.clearWithQuestion());
    EXPECT_EQ(t.view.lineCount(), 3);
    EXPECT_TRUE(t.view.clearWithQuestion());
    EXPECT_EQ(t.view.lineCount(), 1);
    EXPECT_TRUE(t.text().isEmpty());
    EXPECT_EQ(prompts.log.messages, QStringList({"|Clear Trace?", "|Clear Trace?"}));
}

// The font's advance is fractional; a caret or a click placed with a rounded one drifts off the characters
// drawn further along the line.
TEST(TracerView, AClickFarAlongALineLandsOnTheCharacterDrawnThere) {
    TracerEdit edit;
    edit.setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont)); // as the main window sets it
    edit.resize(1800, 120);
    edit.show();
    edit.append(std::string(150, ' ') + "W");
    const QImage shot = edit.viewport()->grab().toImage();
    const QColor background = shot.pixelColor(1, 1);
    int inked = -1;
    for (int x = 0; x < shot.width() && inked < 0; ++x)
        for (int y = 0; y < shot.height() && inked < 0; ++y)
            if (shot.pixelColor(x, y) != background)
                inked = x;
    ASSERT_GT(inked, 0);
    QTest::mouseClick(edit.viewport(), Qt::LeftButton, {}, QPoint(inked + 1, 4));
    EXPECT_EQ(edit.caret(), (TracerPos{0, 150}));
}

// A file that was no trace may hold one line of megabytes: the view draws the part in view only, and shows
// the line's far end when scrolled there.
TEST(TracerView, AVeryLongLineIsDrawnAroundTheView) {
    TracerEdit edit;
    edit.resize(600, 120);
    edit.show();
    std::string huge(8'000'000, 'A');
    huge.replace(huge.size() - 3, 3, "\xC3\xA9Z"); // ends in a two-byte character and a Z
    edit.append(huge);
    edit.setSelection({0, 0}, {0, 7'999'999});
    EXPECT_FALSE(edit.viewport()->grab().isNull());
    const QString end = edit.lineString(0).right(2);
    EXPECT_EQ(end, QStringLiteral("\u00E9Z"));
    EXPECT_GT(edit.horizontalScrollBar()->value(), edit.horizontalScrollBar()->maximum() - edit.width());
}

// Scrolled to the right, a selected line that ends left of the view shows no highlight there.
TEST(TracerView, ASelectedShortLineShowsNothingWhenScrolledPastItsEnd) {
    TracerEdit edit;
    edit.setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    edit.resize(400, 120);
    edit.show();
    edit.append("AB\r\n" + std::string(300, 'C'));
    edit.setSelection({0, 0}, {1, 280}); // the caret at column 280 scrolls the view right
    ASSERT_GT(edit.horizontalScrollBar()->value(), 1000);
    const QImage shot = edit.viewport()->grab().toImage();
    const QColor highlight = edit.palette().color(QPalette::Highlight);
    const int lineHeight = edit.fontMetrics().lineSpacing();
    const auto highlighted = [&](int y) {
        int count = 0;
        for (int x = 0; x < shot.width(); ++x)
            count += shot.pixelColor(x, y) == highlight ? 1 : 0;
        return count;
    };
    EXPECT_EQ(highlighted(lineHeight / 2), 0);
    EXPECT_GT(highlighted(lineHeight + lineHeight / 2), 0);
}

#include "core/prompts.h"
#include "link/canFrame.h"
#include "receive/tracerLine.h"
#include "receive/tracerView.h"
#include "support/scriptedPrompts.h"

#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

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

TEST(TracerClick, SelectsTheWholeLineHoldingTheCaret) {
    QTextDocument document;
    using Span = std::pair<int, int>;
    auto at = [&](int caret) {
        const auto click = tracerClickAt(document, caret);
        return click ? Span{click->start, click->length} : Span{-1, -1};
    };
    document.setPlainText(QStringLiteral("no line end"));
    EXPECT_EQ(at(3), Span(-1, -1));
    document.setPlainText(QStringLiteral("aaa\r\nbb\r\n"));
    EXPECT_EQ(at(0), Span(0, 3));
    EXPECT_EQ(at(3), Span(0, 3)); // at the line end: still the first line
    EXPECT_EQ(at(4), Span(4, 2));
    EXPECT_EQ(at(7), Span(7, 0)); // after the last line end: the empty rest
    EXPECT_EQ(at(500), Span(7, 0));
    EXPECT_EQ(at(-5), Span(0, 3));

    // Far down a long trace the click still selects just its line.
    std::string text;
    for (int i = 0; i < 40000; ++i)
        text += "00.000 " + std::to_string(100 + i % 900) + "      0 \r\n";
    document.setPlainText(QString::fromStdString(text));
    const QTextBlock line = document.findBlockByNumber(35000);
    const auto click = tracerClickAt(document, line.position() + 5);
    ASSERT_TRUE(click);
    EXPECT_EQ(click->start, line.position());
    EXPECT_EQ(click->length, line.length() - 1);
    ASSERT_TRUE(click->frame);
    EXPECT_EQ(click->frame->idText, QString::number(100 + 35000 % 900));
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
    QPlainTextEdit edit;
    TracerView view{&edit};

    Tracer() {
        edit.setLineWrapMode(QPlainTextEdit::NoWrap);
        edit.resize(500, 200);
        edit.show();
    }
    QScrollBar* bar() { return edit.verticalScrollBar(); }
    void clickAt(int position) {
        QTextCursor c = edit.textCursor();
        c.setPosition(position);
        edit.setTextCursor(c);
        view.selectLineAtCaret();
    }
};

} // namespace

TEST(TracerView, AppendPutsTheCaretAtTheEndAndDropsTheSelection) {
    Tracer t;
    t.view.appendTracerText(lines(3));
    EXPECT_EQ(t.edit.document()->blockCount(), 4); // three lines and the empty rest
    EXPECT_EQ(t.edit.toPlainText().count(QLatin1Char('\r')), 0);
    QTextCursor c = t.edit.textCursor();
    c.setPosition(0);
    c.setPosition(5, QTextCursor::KeepAnchor);
    t.edit.setTextCursor(c);
    t.view.appendTracerText(lines(1));
    EXPECT_FALSE(t.edit.textCursor().hasSelection());
    EXPECT_EQ(t.edit.textCursor().position(), t.edit.document()->characterCount() - 1);
    t.view.appendTracerText({}); // an empty batch changes nothing
    EXPECT_EQ(t.edit.document()->blockCount(), 5);
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
    EXPECT_EQ(t.edit.document()->blockCount(), 201);
}

TEST(TracerView, ClickSelectsTheLineAndReportsItsFrame) {
    Tracer t;
    QSignalSpy clicked(&t.view, &TracerView::frameClicked);
    const CanFrame f = decoded("t12321122");
    std::string batch;
    appendTracerLine(batch, f, "01.234", "");
    t.view.appendTracerText(batch);
    t.clickAt(3);
    EXPECT_EQ(t.edit.textCursor().selectedText().toStdString(), batch.substr(0, batch.size() - 2));
    ASSERT_EQ(clicked.size(), 1);
    EXPECT_EQ(clicked[0][0].toString(), "123");
    EXPECT_EQ(clicked[0][1].toString(), "11 22 ");

    // A real mouse click selects once the text box has placed the caret.
    QTest::mouseClick(t.edit.viewport(), Qt::LeftButton, {}, QPoint(4, 4));
    QCoreApplication::processEvents();
    EXPECT_EQ(clicked.size(), 2);
    EXPECT_TRUE(t.edit.textCursor().hasSelection());
}

TEST(TracerView, ClickFarDownALongTraceSelectsOnlyThatLine) {
    Tracer t;
    QSignalSpy clicked(&t.view, &TracerView::frameClicked);
    t.view.appendTracerText(lines(40000));
    const QTextBlock block = t.edit.document()->findBlockByNumber(35000);
    t.clickAt(block.position() + 10);
    const QTextCursor selection = t.edit.textCursor();
    EXPECT_EQ(selection.selectionStart(), block.position());
    EXPECT_EQ(selection.selectedText(), block.text());
    EXPECT_TRUE(block.text().startsWith(QStringLiteral("35.000 123")));
    EXPECT_EQ(clicked.size(), 1);
}

TEST(TracerView, ArrowKeysActAsAClickAfterTheCaretMoved) {
    Tracer t;
    QSignalSpy clicked(&t.view, &TracerView::frameClicked);
    t.view.appendTracerText(lines(3));
    t.clickAt(0);
    QTest::keyClick(&t.edit, Qt::Key_Down);
    EXPECT_TRUE(t.edit.textCursor().selectedText().startsWith(QStringLiteral("00.001")));
    EXPECT_EQ(clicked.size(), 2);
}

TEST(TracerView, TypedKeysAreUpperCasedOrRefused) {
    Tracer t;
    t.edit.setFocus();
    QTest::keyClicks(&t.edit, "t1a,rg.x 9");
    EXPECT_EQ(t.edit.toPlainText(), "T1A,R 9");
    QTest::keyClick(&t.edit, Qt::Key_Backspace);
    QTest::keyClick(&t.edit, Qt::Key_Left);
    QTest::keyClick(&t.edit, Qt::Key_Return);
    EXPECT_EQ(t.edit.toPlainText(), "T1A,R\n ");
    QTest::keyClick(&t.edit, Qt::Key_Tab);
    EXPECT_EQ(t.edit.toPlainText(), "T1A,R\n ");
}

TEST(TracerView, ClearAsksFirst) {
    test::PromptsScope prompts;
    Tracer t;
    t.view.appendTracerText(lines(2));
    prompts.log.answers = {false, true};
    EXPECT_FALSE(t.view.clearWithQuestion());
    EXPECT_FALSE(t.edit.toPlainText().isEmpty());
    EXPECT_TRUE(t.view.clearWithQuestion());
    EXPECT_TRUE(t.edit.toPlainText().isEmpty());
    EXPECT_EQ(prompts.log.messages, QStringList({"|Clear Trace?", "|Clear Trace?"}));
}

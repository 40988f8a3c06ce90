// The receive area's line counter against the area's own layout: whatever text arrives, in whatever
// pieces, the counter must give the number of lines the edit displays once it has laid everything out.
#include <gtest/gtest.h>

#include <QAbstractTextDocumentLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextLayout>
#include <random>
#include <string>

#include "app/quendal_dlg.h"
#include "app/receive_line_counter.h"

namespace {

int DisplayedLines(QPlainTextEdit* area) {
    QTextDocument* doc = area->document();
    for (QTextBlock block = doc->firstBlock(); block.isValid(); block = block.next()) {
        doc->documentLayout()->blockBoundingRect(block);  // lays the block out
    }
    return doc->lineCount();
}

QString RandomText(std::mt19937& rng, int length) {
    // Spaces of every kind a received byte can give: blank, VT, FF and GBK's ideographic space.
    static const QString kAlphabet = QString::fromUtf8(
        "abcdefghijklmnopqrstuvwxyz0123456789ABCDEF    .,:;=+-_/\t\v\f\u3000\u3000中文字符√×αあ");
    std::uniform_int_distribution<int> pick(0, static_cast<int>(kAlphabet.size()) - 1);
    std::uniform_int_distribution<int> newline(0, 40);
    QString text;
    for (int i = 0; i < length; ++i) {
        text += newline(rng) == 0 ? QChar('\n') : kAlphabet[pick(rng)];
    }
    return text;
}

// Short text between runs of one character: runs that hang past the edge, fill lines of their own or
// cross the 4096-character cut of a text item; and spaces just past such a cut, where the cut depends on
// where the item began.
QString TextWithRuns(std::mt19937& rng, int runs) {
    static const QString kRunChars = QString::fromUtf8(" \v\f\u3000\tw中");
    std::uniform_int_distribution<int> pick(0, static_cast<int>(kRunChars.size()) - 1);
    auto between = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); };
    QString text;
    for (int i = 0; i < runs; ++i) {
        text += RandomText(rng, between(0, 120));
        switch (rng() % 3) {
            case 0:
                text += QString(between(1, 300), kRunChars[pick(rng)]);
                break;
            case 1:
                text += QString(between(3000, 9000), kRunChars[pick(rng)]);
                break;
            default: {
                // The item of the w's begins after a change of script or a tab, not at a combining mark.
                const int before = between(1, 600);
                const QString starts[] = {QString(before, QChar(u'中')), QString(before, QChar('w')) + "\t",
                                          QString::fromUtf8("中") + QString(before, QChar('w')) + "\u093F"};
                text += starts[rng() % 3] + QString(between(3400, 4095), QChar('w')) +
                        QString(between(100, 800), QChar(' '));
                break;
            }
        }
    }
    return text;
}

QString HexText(std::mt19937& rng, int bytes) {
    QString text;
    for (int i = 0; i < bytes; ++i) {
        text += QString("%1 ").arg(rng() & 0xFF, 2, 16, QChar('0')).toUpper();
    }
    return text;
}

// Digits and punctuation between letters, where Qt's breaks depend on the characters around them; blanks,
// tabs and CJK among them.
QString PunctuatedText(std::mt19937& rng, int length, bool blanks) {
    static const QString kPunctuation = QString::fromUtf8("!\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~");
    static const QString kLetters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    static const QString kOthers = QString::fromUtf8("0123456789  \t中文字符√×αあ");
    std::uniform_int_distribution<int> kind(0, blanks ? 5 : 3);
    QString text;
    for (int i = 0; i < length; ++i) {
        const int k = kind(rng);
        const QString& set = k < 2 ? kPunctuation : k == 2 ? kLetters : k == 3 ? kOthers.left(10) : kOthers;
        text += set[static_cast<int>(rng() % set.size())];
        if (rng() % 60 == 0) {
            text += '\n';
        }
    }
    return text;
}

// Numbers and the punctuation around them, a letter only now and then: Qt keeps or drops the breaks
// inside such a run by how the run ends, however long it is.
QString NumberText(std::mt19937& rng, int length) {
    static const QString kChars =
        QString::fromUtf8("0123456789012345678901234567890123456789.,;:/-+%$()[] \f中");
    QString text;
    for (int i = 0; i < length; ++i) {
        text += rng() % 60 == 0 ? QChar('a' + static_cast<char>(rng() % 26))
                                : kChars[static_cast<int>(rng() % kChars.size())];
        if (rng() % 800 == 0) {
            text += '\n';
        }
    }
    return text;
}

// What Chinese devices print: ASCII keys and numbers among Chinese labels, ASCII and full-width punctuation,
// tabs, blanks and ideographic spaces, log lines; with a line end now and then (never, with longLines).
QString DeviceText(std::mt19937& rng, int length, bool longLines) {
    static const QStringList kPieces = {
        QString::fromUtf8("温度二十三点五度，湿度百分之四十一，设备在线。"),
        QString::fromUtf8("T=23.5C 湿度41% state=在线 id=DTU0001234\tok"),
        QString::fromUtf8("[12:00:01.250] 信号强度: -67dBm (良好), APN=cmnet; 心跳包周期=60s"),
        QString::fromUtf8("温度"),
        QString::fromUtf8("信号"),
        QString::fromUtf8("设备在线"),
        "state=",
        "id=DTU",
        "APN=cmnet;",
        "-67dBm",
        "(ok)",
        "$12.5",
        "100%",
        "1/2",
        "a-b",
        "x<=5",
        "v1.2.3",
        "~",
        "|",
        "'q'",
        "\"s\"",
        "#7",
        "@",
        "[",
        "]",
        "{",
        "}",
        ")%",
        "+5",
        QString::fromUtf8("，"),
        QString::fromUtf8("。"),
        QString::fromUtf8("："),
        QString::fromUtf8("；"),
        QString::fromUtf8("（"),
        QString::fromUtf8("）"),
        QString::fromUtf8("【"),
        QString::fromUtf8("】"),
        QString::fromUtf8("《"),
        QString::fromUtf8("》"),
        QString::fromUtf8("！"),
        QString::fromUtf8("？"),
        QString::fromUtf8("、"),
        QString::fromUtf8("“"),
        QString::fromUtf8("”"),
        QString::fromUtf8("…"),
        QString::fromUtf8("—"),
        QString::fromUtf8("℃"),
        QString::fromUtf8("％"),
        QString::fromUtf8("\u3000"),
        " ",
        "  ",
        "\t",
        "\t\t"};
    std::uniform_int_distribution<int> pick(0, static_cast<int>(kPieces.size()) - 1);
    QString text;
    while (text.size() < length) {
        const int kind = static_cast<int>(rng() % 8);
        if (kind == 0) {
            // A number of its own making: digits with separators, signs and brackets.
            static const QString kNumberChars = "0123456789012345678901234567.:,;/-+%$()";
            for (int n = static_cast<int>(rng() % 12) + 1; n > 0; --n) {
                text += kNumberChars[static_cast<qsizetype>(rng() % kNumberChars.size())];
            }
        } else {
            text += kPieces[pick(rng)];
        }
        if (!longLines && rng() % 12 == 0) {
            text += '\n';
        }
    }
    return text;
}

// The lines the area gives text, block by block, laid out the way its document layout does.
class CAreaLines {
  public:
    explicit CAreaLines(const QPlainTextEdit* area)
        : m_font(area->document()->defaultFont()),
          m_option(area->document()->defaultTextOption()),
          m_width(area->viewport()->width() - 2 * area->document()->documentMargin()) {}

    int Lines(QStringView text) const {
        int lines = 0;
        for (QStringView block : text.split(u'\n')) {
            QTextLayout layout(block.toString(), m_font);
            layout.setTextOption(m_option);
            layout.beginLayout();
            int blockLines = 0;
            for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
                line.setLineWidth(m_width);
                ++blockLines;
            }
            layout.endLayout();
            lines += std::max(blockLines, 1);
        }
        return lines;
    }

  private:
    QFont m_font;
    QTextOption m_option;
    qreal m_width;
};

// Whatever text arrives, in whatever pieces and at whatever width, the counter gives the lines the area
// displays for the text so far: checked after every piece against the area's own block layout, and at the
// end of every text against the area itself.
TEST(ReceiveLineCounter, MatchesTheAreaForAnyTextInAnyPieces) {
    CQuendalDlg dlg;
    dlg.ControlAs<QPushButton>(IDC_DEBUG_TOGGLE)->click();
    auto* area = dlg.ControlAs<QPlainTextEdit>(IDC_RECEIVE_EDIT);
    std::mt19937 rng(20261207);
    auto check = [&](const QString& text, int maxPiece, const std::string& name) {
        const CAreaLines expected(area);
        CReceiveLineCounter counter(area);
        counter.Reset({});
        // The lines of the blocks before the last one, so that only the last block is laid out each time.
        int closedLines = 0;
        qsizetype lastBlock = 0;
        std::uniform_int_distribution<int> piece(1, maxPiece);
        for (qsizetype at = 0; at < text.size();) {
            const qsizetype n = std::min<qsizetype>(piece(rng), text.size() - at);
            counter.Append(QStringView(text).mid(at, n));
            at += n;
            for (qsizetype end = text.lastIndexOf(u'\n', at - 1); end >= lastBlock; end = -1) {
                closedLines += expected.Lines(QStringView(text).mid(lastBlock, end - lastBlock));
                lastBlock = end + 1;
            }
            ASSERT_EQ(counter.Count(),
                      closedLines + expected.Lines(QStringView(text).mid(lastBlock, at - lastBlock)))
                << name << " at " << at << ": " << text.left(at).toStdString();
        }
        area->setPlainText(text);
        ASSERT_EQ(counter.Count(), DisplayedLines(area)) << name;
    };
    const int defaultWidth = area->width();
    for (const int width : {defaultWidth, 97, 173, 333, 517}) {
        area->setFixedWidth(width);
        const std::string at = "width " + std::to_string(width) + ", ";
        // Fixed row: after 46 short lines this text once counted 50 lines where the area shows 49, and the
        // next byte emptied the area.
        check(QString("x\n").repeated(46) + ",1;5IIzgpAWh8tqp+;pPvyGaf6sDN7aSDY:RzvisOD+JyYT_RO", 1,
              at + "example");
        for (int round = 0; round < 30 && !HasFatalFailure(); ++round) {
            const std::string name = at + "round " + std::to_string(round);
            switch (round % 5) {
                case 4:
                    check(NumberText(rng, 900), 4, name + " numbers");
                    break;
                case 0:
                    check(PunctuatedText(rng, 400, false), 3, name + " punctuated");
                    break;
                case 1:
                    check(PunctuatedText(rng, 400, true), 6, name + " punctuated with blanks");
                    break;
                case 2:
                    check(RandomText(rng, 200 + round * 10), 25, name);
                    break;
                default:
                    check(HexText(rng, 60 + round * 5), 25, name + " hex");
                    break;
            }
        }
        for (int round = 0; round < 2 && !HasFatalFailure(); ++round) {
            check(TextWithRuns(rng, 4), 600, at + "runs round " + std::to_string(round));
        }
        for (int round = 0; round < 12 && !HasFatalFailure(); ++round) {
            check(DeviceText(rng, 700, round % 3 == 2), round % 2 == 0 ? 3 : 40,
                  at + "device round " + std::to_string(round));
        }
        if (HasFatalFailure()) {
            return;
        }
    }
}

// Letters, digits and blanks are wrapped by adding advances, not by laying out: the sums must break where
// the area does, at any width, with words that fill a line to the pixel, words longer than a line, runs of
// blanks, and blocks long enough for Qt to cut their text item.
TEST(ReceiveLineCounter, PlainAsciiWrapsWhereTheAreaDoesAtAnyWidth) {
    CQuendalDlg dlg;
    dlg.ControlAs<QPushButton>(IDC_DEBUG_TOGGLE)->click();
    auto* area = dlg.ControlAs<QPlainTextEdit>(IDC_RECEIVE_EDIT);
    std::mt19937 rng(7122026);
    const QString letters = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    auto between = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); };
    auto words = [&](int count, int longest) {
        QString text;
        for (int i = 0; i < count; ++i) {
            text += QString(between(i == 0 ? 0 : 1, 3), QChar(' '));
            for (int n = between(1, longest); n > 0; --n) {
                text += letters[between(0, static_cast<int>(letters.size()) - 1)];
            }
            if (between(0, 60) == 0) {
                text += '\n';
            }
        }
        return text;
    };
    const QString kinds[] = {HexText(rng, 1600), words(300, 8), words(150, 40), words(60, 200),
                             QString(5000, QChar('W')) + " " + words(40, 6)};
    for (const int width : {120, 333, 517, 640}) {
        area->setFixedWidth(width);
        CReceiveLineCounter counter(area);
        ASSERT_TRUE(counter.AddsPlainAdvances());
        for (const QString& text : kinds) {
            counter.Reset({});
            for (qsizetype at = 0; at < text.size();) {
                const qsizetype n = std::min<qsizetype>(between(1, 40), text.size() - at);
                counter.Append(QStringView(text).mid(at, n));
                at += n;
                if (between(0, 30) == 0 || at == text.size()) {
                    area->setPlainText(text.left(at));
                    ASSERT_EQ(counter.Count(), DisplayedLines(area)) << "width " << width << " at " << at;
                }
            }
        }
    }
}

// Device lines are summed, not laid out, in the area's font: the differential test above then judges the
// summed wraps, not the laid-out ones. A character the sums do not know hands its block to the layout.
TEST(ReceiveLineCounter, DeviceLinesAreSummedUntilACharacterNeedsTheLayout) {
    CQuendalDlg dlg;
    dlg.ControlAs<QPushButton>(IDC_DEBUG_TOGGLE)->click();
    auto* area = dlg.ControlAs<QPlainTextEdit>(IDC_RECEIVE_EDIT);
    CReceiveLineCounter counter(area);
    counter.Reset({});
    const QString line =
        QString::fromUtf8("[12:00:01.250] 信号强度: -67dBm (良好), APN=cmnet;\t心跳包周期=60s");
    counter.Append(line.repeated(3));
    ASSERT_TRUE(counter.SumsWraps());
    EXPECT_TRUE(counter.SummingLastBlock());
    counter.Append(QString::fromUtf8("αあ"));
    EXPECT_FALSE(counter.SummingLastBlock());
    counter.Append(u"\n");
    EXPECT_TRUE(counter.SummingLastBlock());
}

TEST(ReceiveLineCounter, EmptyAreaHasOneLineAndResetStartsOver) {
    CQuendalDlg dlg;
    auto* area = dlg.ControlAs<QPlainTextEdit>(IDC_RECEIVE_EDIT);
    CReceiveLineCounter counter(area);
    counter.Reset({});
    EXPECT_EQ(counter.Count(), 1);
    counter.Append(u"a\nb\n");
    EXPECT_EQ(counter.Count(), 3);
    counter.Reset(u"x");
    EXPECT_EQ(counter.Count(), 1);
}

}  // namespace

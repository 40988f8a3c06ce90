// The receive area's line counter against the area's own layout: whatever text arrives, in whatever
// pieces, the counter must give the number of lines the edit displays once it has laid everything out.
#include <gtest/gtest.h>

#include <QAbstractTextDocumentLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <random>

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
    static const QString kAlphabet =
        QString::fromUtf8("abcdefghijklmnopqrstuvwxyz0123456789ABCDEF    .,:;=+-_/\t中文字符√×");
    std::uniform_int_distribution<int> pick(0, static_cast<int>(kAlphabet.size()) - 1);
    std::uniform_int_distribution<int> newline(0, 40);
    QString text;
    for (int i = 0; i < length; ++i) {
        text += newline(rng) == 0 ? QChar('\n') : kAlphabet[pick(rng)];
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

TEST(ReceiveLineCounter, MatchesTheAreaForAnyTextInAnyPieces) {
    CQuendalDlg dlg;
    dlg.ControlAs<QPushButton>(IDC_DEBUG_TOGGLE)->click();
    auto* area = dlg.ControlAs<QPlainTextEdit>(IDC_RECEIVE_EDIT);
    std::mt19937 rng(20261207);
    for (int round = 0; round < 60; ++round) {
        const QString text =
            round % 3 == 0 ? HexText(rng, 40 + round * 13) : RandomText(rng, 50 + round * 37);
        CReceiveLineCounter counter(area);
        counter.Reset({});
        area->setPlainText(QString());
        // Feed in random pieces and compare at a few prefixes, not only at the end.
        qsizetype at = 0;
        std::uniform_int_distribution<int> piece(1, 25);
        while (at < text.size()) {
            const qsizetype n = std::min<qsizetype>(piece(rng), text.size() - at);
            counter.Append(QStringView(text).mid(at, n));
            at += n;
            if (rng() % 5 == 0 || at == text.size()) {
                area->setPlainText(text.left(at));
                ASSERT_EQ(counter.Count(), DisplayedLines(area)) << "round " << round << " at " << at;
            }
        }
    }
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

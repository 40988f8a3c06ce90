// The receive area's pieces: hex pieces, text through the decoder, the end of the text display, and the
// two line rules.
#include "terminal/receive_pieces.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

TEST(ReceivePieces, HexAndTextPiecesOfEachByte) {
    struct Case {
        const char* name;
        bool hex;
        std::vector<uint8_t> bytes;
        std::vector<std::u16string> pieces;  // one per byte
    };
    const Case cases[] = {
        {"hex", true, {0x00, 0x0A, 0xFF, 0x41}, {u"00 ", u"0A ", u"FF ", u"41 "}},
        {"text", false, {'a', 0x0D, 0x0A, 0x00}, {u"a", u"\n", u"", u""}},
        {"GBK pair, shown at its trail", false, {0xD6, 0xD0}, {u"", u"\u4E2D"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ReceivePieces pieces;
        for (std::size_t i = 0; i < c.bytes.size(); ++i) {
            std::u16string out = u"x";
            pieces.Append(c.bytes[i], c.hex, out);
            EXPECT_EQ(out, u"x" + c.pieces[i]) << i;
        }
    }
}

TEST(ReceivePieces, EndingTheTextDisplayClosesALeadAndForgetsACr) {
    ReceivePieces pieces;
    std::u16string out;
    pieces.Append(0xD6, false, out);
    pieces.EndText(out);
    EXPECT_EQ(out, u"\uFFFD");
    EXPECT_EQ(pieces.Decoder().PendingLead(), 0);
    pieces.Append('\r', false, out);
    pieces.EndText(out);
    pieces.Append('\n', false, out);
    EXPECT_EQ(out, u"\uFFFD\n\n");
    // Hex pieces leave the text state alone.
    pieces.Append(0xD6, false, out);
    pieces.Append(0xD0, true, out);
    EXPECT_EQ(pieces.Decoder().PendingLead(), 0xD6);
}

TEST(ReceivePieces, LineRules) {
    EXPECT_EQ(ReceiveLineLimit(true), 50);
    EXPECT_EQ(ReceiveLineLimit(false), 401);
    EXPECT_TRUE(EmptiedReceiveText(true).empty());
    EXPECT_EQ(EmptiedReceiveText(false),
              u"***The Length of the Text is too long, Emptied Automaticly!!!***\n");
}

TEST(HexPieceTest, TwoUpperCaseDigitsAndABlank) {
    std::string out;
    for (const uint8_t b : {0x00, 0x0A, 0x7F, 0xAB, 0xFF}) {
        AppendHexPiece(b, out);
    }
    EXPECT_EQ(out, "00 0A 7F AB FF ");
}

}  // namespace

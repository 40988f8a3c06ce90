// Every module answer parser, the completeness test and the diagnosis fed arbitrary answers. A parser
// either says the module refused or the answer is unreadable, or gives a value inside its range: a CSQ of
// 0-31 or 99, an IMEI of 15 digits whose check flag is the Luhn sum's, an ICCID starting 89. Nothing a
// module sent reaches a shown text with a control character in it. Whole input is one answer for the
// parsers; split at zero bytes it is a record's APN and then the script a diagnosis runs over, one piece
// per query in turn, an empty piece standing for no answer.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "modem/diagnosis.h"
#include "modem/module_answer.h"
#include "modem/module_queries.h"

namespace {

bool Shown(std::string_view text) {
    for (const char c : text) {
        const auto byte = static_cast<uint8_t>(c);
        if (byte < 0x20 || byte == 0x7F) {
            return false;
        }
    }
    return true;
}

bool Digits(std::string_view text) {
    return text.find_first_not_of("0123456789") == std::string_view::npos;
}

bool InRange(int n, int lowest, int highest) {
    return n >= lowest && n <= highest;
}

bool IndexOk(int n, int highest, int notKnown) {
    return InRange(n, 0, highest) || n == notKnown;
}

template <class T>
void CheckShape(const QueryAnswer<T>& answer) {
    FUZZ_CHECK(Shown(answer.error));
    FUZZ_CHECK(Shown(answer.errorMeaning));
    FUZZ_CHECK((answer.status == AnswerStatus::ModuleError) == !answer.error.empty());
}

void CheckIccid(const QueryAnswer<std::string>& answer) {
    CheckShape(answer);
    if (answer.Ok()) {
        const std::string& v = answer.value;
        FUZZ_CHECK(v.size() >= 18 && v.size() <= 20 && v.rfind("89", 0) == 0);
        FUZZ_CHECK(v.back() != 'F');
        FUZZ_CHECK(v.find_first_not_of("0123456789ABCDEF") == std::string::npos);
    }
}

void CheckParsers(std::string_view text) {
    const auto sim = ParseSimStatus(text);
    CheckShape(sim);
    FUZZ_CHECK(!sim.Ok() || (!sim.value.code.empty() && Shown(sim.value.code)));

    const auto imei = ParseImei(text);
    CheckShape(imei);
    if (imei.Ok()) {
        FUZZ_CHECK(imei.value.digits.size() == 15 && Digits(imei.value.digits));
        FUZZ_CHECK(imei.value.checkDigitOk == LuhnValid(imei.value.digits));
    }

    CheckIccid(ParseIccid(text, kQueryIccid));
    CheckIccid(ParseIccid(text, kQueryIccidAlt));
    CheckIccid(ParseIccidFromSim(text));

    const auto imsi = ParseImsi(text);
    CheckShape(imsi);
    FUZZ_CHECK(!imsi.Ok() || (imsi.value.size() >= 6 && imsi.value.size() <= 15 && Digits(imsi.value)));

    for (const std::string_view command : {kQueryManufacturer, kQueryModel, kQueryFirmware}) {
        const auto identity = ParseIdentityText(text, command);
        CheckShape(identity);
        FUZZ_CHECK(!identity.Ok() || (!identity.value.empty() && Shown(identity.value)));
    }

    const auto op = ParseOperator(text);
    CheckShape(op);
    if (op.Ok()) {
        FUZZ_CHECK(InRange(op.value.mode, 0, 4));
        FUZZ_CHECK(!op.value.format || InRange(*op.value.format, 0, 2));
        FUZZ_CHECK(Shown(op.value.name) && op.value.name.empty() == !op.value.format);
    }

    for (const std::string_view command :
         {kQueryCsRegistration, kQueryGprsRegistration, kQueryEpsRegistration}) {
        const auto reg = ParseRegistration(text, command);
        CheckShape(reg);
        if (reg.Ok()) {
            FUZZ_CHECK(InRange(reg.value.mode, 0, 5) && InRange(reg.value.stat, 0, 10));
            FUZZ_CHECK(!RegistrationMeaning(reg.value.stat).empty());
            FUZZ_CHECK(Shown(reg.value.area) && Shown(reg.value.cell));
        }
    }

    const auto csq = ParseCsq(text);
    CheckShape(csq);
    if (csq.Ok()) {
        FUZZ_CHECK(IndexOk(csq.value.rssi, 31, 99) && IndexOk(csq.value.ber, 7, 99));
        FUZZ_CHECK(CsqLevel(csq.value.rssi).known == (csq.value.rssi != 99));
    }

    const auto cesq = ParseCesq(text);
    CheckShape(cesq);
    if (cesq.Ok()) {
        const Cesq& c = cesq.value;
        FUZZ_CHECK(IndexOk(c.rxlev, 63, 99) && IndexOk(c.ber, 7, 99) && IndexOk(c.rscp, 96, 255));
        FUZZ_CHECK(IndexOk(c.ecno, 49, 255) && IndexOk(c.rsrq, 34, 255) && IndexOk(c.rsrp, 97, 255));
        FUZZ_CHECK(RsrpLevel(c.rsrp).known == (c.rsrp != 255));
    }

    const auto contexts = ParseContexts(text);
    CheckShape(contexts);
    for (const PdpContext& context : contexts.value) {
        FUZZ_CHECK(contexts.Ok() && InRange(context.cid, 0, 255));
        FUZZ_CHECK(!context.type.empty() && Shown(context.type) && Shown(context.apn));
    }
}

// Answers each query with the next piece of the script, in turn; an empty piece is no answer.
class ScriptLink : public IModuleLink {
  public:
    explicit ScriptLink(std::vector<std::string_view> pieces) : m_pieces(std::move(pieces)) {}

    std::optional<std::string> Ask(std::string_view atCommand) override {
        FUZZ_CHECK(!atCommand.empty() && ++m_asked <= 16);
        const std::string_view piece = m_pieces[(m_asked - 1) % m_pieces.size()];
        return piece.empty() ? std::nullopt : std::optional<std::string>(piece);
    }

  private:
    std::vector<std::string_view> m_pieces;
    std::size_t m_asked = 0;
};

void CheckDiagnosis(std::string_view text) {
    std::vector<std::string_view> pieces;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find('\0', start);
        pieces.push_back(
            text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }
    // The first piece is the record's APN, bytes and all; the answers follow it.
    const std::string_view apn = pieces.front();
    if (pieces.size() > 1) {
        pieces.erase(pieces.begin());
    }
    ScriptLink link(pieces);
    const Diagnosis d = RunDiagnosis(link, apn);
    FUZZ_CHECK(d.items.size() == 14);
    for (const DiagnosisItem& item : d.items) {
        FUZZ_CHECK(Shown(item.value) && Shown(item.meaning) && Shown(item.raw) && Shown(item.command));
        FUZZ_CHECK(item.status != ItemStatus::Ok || !item.value.empty());
    }
    FUZZ_CHECK(Shown(d.verdictLine) && d.verdictLine.rfind(VerdictText(d.verdict), 0) == 0);
    FUZZ_CHECK(d.identity.imei.empty() || d.identity.imei == d.items[1].value);
    FUZZ_CHECK(d.identity.iccid.empty() || d.identity.iccid == d.items[2].value);
    FUZZ_CHECK(Shown(d.identity.firmware));
    // The window's Chinese run over the same answers: the same verdict, told safely.
    ScriptLink again(pieces);
    const Diagnosis zh = RunDiagnosis(again, apn, ModemLanguage::Chinese);
    FUZZ_CHECK(zh.verdict == d.verdict && zh.items.size() == d.items.size());
    FUZZ_CHECK(Shown(zh.verdictLine) && zh.verdictLine.rfind(VerdictTextZh(zh.verdict), 0) == 0);
    for (const DiagnosisItem& item : zh.items) {
        FUZZ_CHECK(Shown(item.name) && Shown(item.value) && Shown(item.meaning));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    CheckParsers(text);
    FUZZ_CHECK(Shown(EscapeModuleText(text)));

    // Once whole, an answer stays whole however many more bytes arrive; the first bytes pick the cuts.
    const bool whole = ModuleAnswerComplete(text);
    for (std::size_t i = 0; i < size && i < 4; ++i) {
        const std::size_t cut = size * data[i] / 256;
        FUZZ_CHECK(!ModuleAnswerComplete(text.substr(0, cut)) || whole);
    }

    CheckDiagnosis(text);
    return 0;
}

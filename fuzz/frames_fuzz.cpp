// Frame collection and dispatch fed arbitrary received bytes. The port worker hands bytes over in reads of
// any size; the first bytes of the input choose those sizes, and the frames judged must not depend on
// them. Every judgement is also checked against the answer rules, restated here on their own terms: a
// record is taken only from "+CONFIG=" with 440 received bytes behind it in the same frame. Under ASan
// the frame's bytes past its count are poisoned during dispatch, so reading beyond the frame is reported.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "protocol/response_frame.h"

namespace {

using Bytes = std::span<const uint8_t>;

// What a dispatch decided, in a form two dispatches can be compared by.
struct Judgement {
    ResponseKind kind = ResponseKind::None;
    std::string_view paneUtf8;  // empty when pane 2 keeps its text
    std::optional<std::string> signal;
    std::array<uint8_t, kDeviceParamsSize> record{};

    bool operator==(const Judgement&) const = default;
};

Judgement FromResult(const DispatchResult& result) {
    Judgement j;
    j.kind = result.kind;
    j.paneUtf8 = result.paneText != nullptr ? result.paneText->utf8 : std::string_view();
    j.signal = result.signal;
    j.record = result.record;
    return j;
}

struct ShortAnswerRule {
    std::string_view marker;
    ResponseKind kind;
    std::string_view paneUtf8;
};

// Frames of 10 to 99 bytes: the first of these the text holds decides.
constexpr ShortAnswerRule kShortAnswerRules[] = {
    {"+CONFIG OK", ResponseKind::ConfigOk, "配置成功！"},
    {"+CONFIG ERROR", ResponseKind::ConfigError, "配置失败！"},
    {"+CONFIG DEFAULT OK", ResponseKind::DefaultsOk, "已成功恢复出厂设置！"},
    {"+CONFIG RESET OK", ResponseKind::ResetOk, "设备已重启！"},
    {"+CONFIG CMD:", ResponseKind::Signal, ""},
};

Judgement JudgeByRules(Bytes frame) {
    const std::size_t count = frame.size();
    // Searches look at the text only: the received bytes up to the first zero.
    const std::string text(frame.begin(), std::find(frame.begin(), frame.end(), uint8_t{0}));
    Judgement j;
    if (count >= 10 && count <= 99) {
        for (const ShortAnswerRule& rule : kShortAnswerRules) {
            if (text.find(rule.marker) == std::string::npos) {
                continue;
            }
            j.kind = rule.kind;
            j.paneUtf8 = rule.paneUtf8;
            if (rule.kind == ResponseKind::Signal) {
                const std::size_t csq = text.find("+CSQ:");
                const std::size_t comma = text.find(',');
                if (csq != std::string::npos && comma != std::string::npos && comma > csq + 5) {
                    j.signal = text.substr(csq + 5, comma - (csq + 5));
                }
            }
            break;
        }
    } else if (count >= 448) {
        const std::size_t at = text.find("+CONFIG=");
        if (at != std::string::npos && at + 8 + kDeviceParamsSize <= count) {
            j.kind = ResponseKind::Record;
            j.paneUtf8 = "参数读取完毕！";
            std::copy_n(frame.begin() + static_cast<std::ptrdiff_t>(at + 8), kDeviceParamsSize,
                        j.record.begin());
        }
    }
    return j;
}

// One window's frame and what its dispatches decided. The frame starts with stale bytes that hold every
// marker, so a dispatch that looked past the received bytes would disagree with the rules.
class FrameFeeder {
  public:
    explicit FrameFeeder(std::string_view stale) : m_frame(std::make_unique<ResponseFrame>()) {
        for (std::size_t i = 0; i < m_frame->bytes.size() && !stale.empty(); ++i) {
            m_frame->bytes[i] = static_cast<uint8_t>(stale[i % stale.size()]);
        }
    }

    void Feed(uint8_t byte) {
        const uint32_t before = m_frame->count;
        const bool full = CollectResponseByte(*m_frame, byte);
        m_received.push_back(byte);
        FUZZ_CHECK(m_frame->count == before + 1);
        FUZZ_CHECK(full == (m_frame->count == kFrameCapacity));
        if (full) {
            if (m_offerToFullFrame) {
                // A byte offered to a full frame is dropped and changes nothing.
                const uint8_t last = m_frame->bytes[kFrameCapacity - 1];
                FUZZ_CHECK(CollectResponseByte(*m_frame, static_cast<uint8_t>(~byte)));
                FUZZ_CHECK(m_frame->count == kFrameCapacity);
                FUZZ_CHECK(m_frame->bytes[kFrameCapacity - 1] == last);
            }
            Dispatch();
        }
    }

    // The line fell quiet, or the frame is full.
    void Dispatch() {
        const std::size_t count = m_frame->count;
        FUZZ_CHECK(count == m_received.size());
        // The terminating zero goes at index count; nothing after it may be touched.
        uint8_t* past = m_frame->bytes.data() + count + 1;
        const std::size_t pastSize = m_frame->bytes.size() - (count + 1);
        fuzz::Poison(past, pastSize);
        const DispatchResult result = DispatchResponseFrame(*m_frame);
        fuzz::Unpoison(past, pastSize);

        FUZZ_CHECK(m_frame->count == 0);
        const Judgement judged = FromResult(result);
        FUZZ_CHECK(judged == JudgeByRules(m_received));
        m_judged.push_back(judged);
        m_received.clear();
    }

    void OfferToFullFrame() { m_offerToFullFrame = true; }
    const std::vector<Judgement>& Judged() const { return m_judged; }

  private:
    std::unique_ptr<ResponseFrame> m_frame;
    std::vector<uint8_t> m_received;  // since the last dispatch
    std::vector<Judgement> m_judged;
    bool m_offerToFullFrame = false;
};

constexpr std::size_t kMaxReadLengths = 4;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const Bytes input(data, size);

    // The cut to compare with: one byte per read, the line quiet only after the last one.
    FrameFeeder oneByOne("");
    for (const uint8_t b : input) {
        oneByOne.Feed(b);
    }
    oneByOne.Dispatch();

    // Read lengths of 1 to 64 from the input's first bytes, used in turn. A length byte with its high bit
    // set also lets the line fall quiet after its read: those frames are cut differently on purpose, and
    // are only held to the rules.
    std::vector<std::size_t> lengths;
    std::vector<bool> quietAfter;
    for (std::size_t i = 0; i < std::min(size, kMaxReadLengths); ++i) {
        lengths.push_back(1 + (data[i] & 0x3F));
        quietAfter.push_back((data[i] & 0x80) != 0);
    }
    FrameFeeder inReads("+CONFIG OK+CSQ: 9,+CONFIG=");
    inReads.OfferToFullFrame();
    FrameFeeder withPauses("+CONFIG=+CONFIG CMD:+CSQ:1,");
    std::size_t pos = 0;
    for (std::size_t read = 0; pos < size; ++read) {
        const std::size_t k = read % lengths.size();
        const std::size_t end = std::min(size, pos + lengths[k]);
        for (; pos < end; ++pos) {
            inReads.Feed(data[pos]);
            withPauses.Feed(data[pos]);
        }
        if (quietAfter[k]) {
            withPauses.Dispatch();
        }
    }
    inReads.Dispatch();
    withPauses.Dispatch();

    FUZZ_CHECK(inReads.Judged() == oneByOne.Judged());
    return 0;
}

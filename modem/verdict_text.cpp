// The verdict's words and the APN comparison, beside the diagnosis run that uses them.
#include "modem/diagnosis.h"
#include "modem/query_fields.h"
#include "res/texts.h"

namespace {

using query_fields::Trim;

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerCopy(std::string_view s) {
    std::string out;
    for (const char c : s) {
        out += Lower(c);
    }
    return out;
}

// "cmnet.mnc002.mcc460.gprs" -> "cmnet".
std::string_view WithoutOperatorPart(std::string_view apn) {
    const std::size_t at = apn.find(".mnc");
    if (at == std::string_view::npos) {
        return apn;
    }
    const std::string_view tail = apn.substr(at);
    if (tail.size() == 19 && tail.substr(7, 4) == ".mcc" && tail.substr(14) == ".gprs") {
        return apn.substr(0, at);
    }
    return apn;
}

}  // namespace

bool SameApn(std::string_view a, std::string_view b) {
    return LowerCopy(WithoutOperatorPart(Trim(a))) == LowerCopy(WithoutOperatorPart(Trim(b)));
}

std::string_view VerdictText(Verdict verdict) {
    switch (verdict) {
        case Verdict::ModuleSilent:
            return "the module does not answer";
        case Verdict::NoSim:
            return "no usable SIM";
        case Verdict::PinNeeded:
            return "the SIM asks for its PIN";
        case Verdict::RegistrationDenied:
            return "the network denies registration";
        case Verdict::NotRegistered:
            return "not registered on a network";
        case Verdict::NoSignal:
            return "no signal";
        case Verdict::ApnDiffers:
            return "the module's APN differs from the record's";
        case Verdict::Undetermined:
            return "cannot tell";
        case Verdict::LooksFine:
            break;
    }
    return "looks fine";
}

std::string_view VerdictTextZh(Verdict verdict) {
    switch (verdict) {
        case Verdict::ModuleSilent:
            return kTextVerdictModuleSilent.utf8;
        case Verdict::NoSim:
            return kTextVerdictNoSim.utf8;
        case Verdict::PinNeeded:
            return kTextVerdictPinNeeded.utf8;
        case Verdict::RegistrationDenied:
            return kTextVerdictDenied.utf8;
        case Verdict::NotRegistered:
            return kTextVerdictNotRegistered.utf8;
        case Verdict::NoSignal:
            return kTextVerdictNoSignal.utf8;
        case Verdict::ApnDiffers:
            return kTextVerdictApnDiffers.utf8;
        case Verdict::Undetermined:
            return kTextVerdictUndetermined.utf8;
        case Verdict::LooksFine:
            break;
    }
    return kTextVerdictLooksFine.utf8;
}

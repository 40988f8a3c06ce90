#include "app/signal_samples.h"

#include <algorithm>
#include <cstdio>

#include "modem/module_queries.h"

namespace {

SeriesStats Stats(const std::vector<SignalSample>& samples, SignalLevel SignalSample::*member) {
    SeriesStats stats;
    double sum = 0;
    for (const SignalSample& sample : samples) {
        const SignalLevel& level = sample.*member;
        if (!level.known) {
            continue;
        }
        const double value = LevelValue(level);
        stats.min = stats.count == 0 ? value : std::min(stats.min, value);
        stats.max = stats.count == 0 ? value : std::max(stats.max, value);
        sum += value;
        ++stats.count;
    }
    if (stats.count > 0) {
        stats.mean = sum / stats.count;
    }
    return stats;
}

std::string Cell(const SignalLevel& level) {
    if (!level.known) {
        return {};
    }
    char text[32];
    std::snprintf(text, sizeof text, "%g", LevelValue(level));
    return text;
}

}  // namespace

SignalSample SampleFromAnswers(double seconds, const QDateTime& time,
                               const std::optional<std::string>& csqAnswer,
                               const std::optional<std::string>& cesqAnswer) {
    SignalSample sample;
    sample.seconds = seconds;
    sample.time = time;
    if (csqAnswer) {
        if (const QueryAnswer<Csq> csq = ParseCsq(*csqAnswer); csq.Ok()) {
            sample.csq = csq.value.rssi;
            sample.csqLevel = CsqLevel(csq.value.rssi);
            sample.csqGrade = CsqGrade(csq.value.rssi);
        }
    }
    if (cesqAnswer) {
        if (const QueryAnswer<Cesq> cesq = ParseCesq(*cesqAnswer); cesq.Ok()) {
            sample.rsrp = RsrpLevel(cesq.value.rsrp);
            sample.rsrq = RsrqLevel(cesq.value.rsrq);
            sample.rsrpGrade = RsrpGrade(sample.rsrp);
        }
    }
    return sample;
}

double LevelValue(const SignalLevel& level) {
    return level.tenths / 10.0;
}

SeriesStats CsqStats(const std::vector<SignalSample>& samples) {
    return Stats(samples, &SignalSample::csqLevel);
}

SeriesStats RsrpStats(const std::vector<SignalSample>& samples) {
    return Stats(samples, &SignalSample::rsrp);
}

std::string SamplesCsv(const std::vector<SignalSample>& samples) {
    std::string csv = "time,seconds,csq,csq_dbm,csq_grade,rsrp_dbm,rsrq_db,rsrp_grade\r\n";
    for (const SignalSample& s : samples) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.1f", s.seconds);
        csv += s.time.toString(Qt::ISODate).toStdString() + "," + seconds + "," +
               (s.csq ? std::to_string(*s.csq) : std::string()) + "," + Cell(s.csqLevel) + "," +
               std::string(GradeName(s.csqGrade)) + "," + Cell(s.rsrp) + "," + Cell(s.rsrq) + "," +
               std::string(GradeName(s.rsrpGrade)) + "\r\n";
    }
    return csv;
}

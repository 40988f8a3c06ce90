// The samples of a signal survey: each poll's AT+CSQ and AT+CESQ answers read into levels and grades
// (signal_quality.h), the min / mean / max of each series, and the CSV the user saves. A value the module
// did not give, or gave as unknown, is missing from its series rather than drawn as a guess.
#pragma once

#include <QDateTime>
#include <optional>
#include <string>
#include <vector>

#include "modem/signal_quality.h"

struct SignalSample {
    double seconds = 0;  // since the survey began
    QDateTime time;
    std::optional<int> csq;  // AT+CSQ's rssi as read; nullopt when there was no readable answer
    SignalLevel csqLevel;
    SignalGrade csqGrade = SignalGrade::Unknown;
    SignalLevel rsrp;
    SignalLevel rsrq;
    SignalGrade rsrpGrade = SignalGrade::Unknown;
};

struct SeriesStats {
    int count = 0;  // samples with a known value
    double min = 0;
    double mean = 0;
    double max = 0;
};

SignalSample SampleFromAnswers(double seconds, const QDateTime& time,
                               const std::optional<std::string>& csqAnswer,
                               const std::optional<std::string>& cesqAnswer);

double LevelValue(const SignalLevel& level);
SeriesStats CsqStats(const std::vector<SignalSample>& samples);
SeriesStats RsrpStats(const std::vector<SignalSample>& samples);

// One header line, then one row per sample; an unknown value is an empty cell.
std::string SamplesCsv(const std::vector<SignalSample>& samples);

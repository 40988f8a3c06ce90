#include "cli/batch.h"

#include <algorithm>
#include <exception>
#include <thread>

#include "cli/console.h"
#include "cli/report.h"
#include "text/gbk.h"

namespace {

// A line longer than the terminal wraps and the redraw would land on the wrong row, so it is cut to fit.
// Three-byte UTF-8 characters (the Chinese ones) count two columns.
std::string FitColumns(const std::string& text, std::size_t columns) {
    std::size_t used = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        const std::size_t width = length == 3 ? 2 : 1;
        if (used + width > columns) {
            return text.substr(0, i);
        }
        used += width;
        i += length;
    }
    return text;
}

}  // namespace

CProgressLines::CProgressLines(const std::vector<PortTarget>& targets, std::FILE* out, bool redraw)
    : m_out(out), m_redraw(redraw) {
    for (const PortTarget& target : targets) {
        m_labels.push_back(target.label);
        m_width = std::max(m_width, target.label.size());
    }
    m_lines.assign(m_labels.size(), "waiting");
    if (m_redraw) {
        for (std::size_t i = 0; i < m_labels.size(); ++i) {
            std::fprintf(m_out, "%-*s  %s\n", static_cast<int>(m_width), m_labels[i].c_str(),
                         m_lines[i].c_str());
        }
        std::fflush(m_out);
    }
}

void CProgressLines::Show(const PortTarget& target, const std::string& text) {
    std::lock_guard lock(m_lock);
    const auto it = std::find(m_labels.begin(), m_labels.end(), target.label);
    if (it == m_labels.end()) {
        return;
    }
    const auto index = static_cast<std::size_t>(it - m_labels.begin());
    // Device IDs, signal answers and error texts came from outside: none of them drives the terminal.
    m_lines[index] = VisibleText(text);
    const std::string& shown = m_lines[index];
    if (!m_redraw) {
        std::fprintf(m_out, "%-*s  %s\n", static_cast<int>(m_width), target.label.c_str(), shown.c_str());
        std::fflush(m_out);
        return;
    }
    // Up to the port's line, rewrite it whole, and back down below the block.
    const std::size_t up = m_labels.size() - index;
    const std::size_t columns = TerminalColumns(m_out);
    const std::string fitted = FitColumns(shown, columns > m_width + 3 ? columns - m_width - 3 : 1);
    std::fprintf(m_out, "\x1b[%zuA\r\x1b[2K%-*s  %s\x1b[%zuB\r", up, static_cast<int>(m_width),
                 target.label.c_str(), fitted.c_str(), up);
    std::fflush(m_out);
}

void CProgressLines::Step(const PortTarget& target, const std::string& text) {
    Show(target, text + " ...");
}

bool CProgressLines::Stopping() const {
    return InterruptRequested();
}

void CProgressLines::Done(const PortResult& result) {
    Show(result.target, ResultLine(result));
}

void CProgressLines::Close(const std::vector<PortResult>& results) {
    if (!m_redraw) {
        return;
    }
    std::lock_guard lock(m_lock);
    for (const PortResult& result : results) {
        if (ExitCodeOf(result.outcome) != 0) {
            std::fprintf(m_out, "%-*s  %s\n", static_cast<int>(m_width), result.target.label.c_str(),
                         VisibleText(ResultLine(result)).c_str());
        }
    }
    std::fflush(m_out);
}

std::vector<PortResult> RunOnEveryPort(const std::vector<PortTarget>& targets,
                                       const std::function<PortResult(const PortTarget&)>& operation,
                                       CProgressLines& progress) {
    std::vector<PortResult> results(targets.size());
    std::vector<std::thread> threads;
    threads.reserve(targets.size());
    for (std::size_t i = 0; i < targets.size(); ++i) {
        threads.emplace_back([&, i] {
            try {
                results[i] = operation(targets[i]);
            } catch (const std::exception& e) {
                results[i].target = targets[i];
                results[i].outcome = Outcome::PortError;
                results[i].message = std::string("stopped: ") + e.what();
            }
            progress.Done(results[i]);
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    return results;
}

std::string ResultLine(const PortResult& result) {
    std::string line = std::string(OutcomeText(result.outcome)) + ": " + result.message;
    std::vector<std::string> facts;
    if (result.record) {
        facts.push_back(GbkToUtf8Lossy(FieldText(result.record->device_id)));
    }
    if (result.signal) {
        facts.push_back("signal " + SignalText(result.signal));
    }
    if (!facts.empty()) {
        line += " (";
        for (std::size_t i = 0; i < facts.size(); ++i) {
            line += (i ? ", " : "") + facts[i];
        }
        line += ")";
    }
    return line;
}

#include "cli/ProgressView.h"

#include <algorithm>
#include <cstdio>

namespace brenwick::cli {

namespace {

constexpr int kBarCells = 24;

std::string RateText(int32_t bytes, double seconds) {
    char text[32];
    if (seconds <= 0) {
        return "";
    }
    std::snprintf(text, sizeof text, "%.1f KiB/s", bytes / seconds / 1024.0);
    return text;
}

} // namespace

CProgressView::CProgressView(std::ostream& out, bool terminal, std::vector<std::string> labels, int columns)
    : m_Out(out), m_Terminal(terminal), m_Labels(std::move(labels)),
      m_Width(static_cast<size_t>(std::max(columns, 20) - 1)), m_Rows(m_Labels.size()) {
    if (m_Labels.size() > 1) {
        for (const auto& label : m_Labels) {
            m_LabelWidth = std::max(m_LabelWidth, label.size());
        }
    }
}

std::string CProgressView::Label(size_t row) const {
    if (m_Labels.size() <= 1) {
        return "";
    }
    std::string label = m_Labels[row];
    label.resize(m_LabelWidth, ' ');
    return label;
}

std::string CProgressView::BarText(const std::string& label, const ProgressLine& line, size_t width) {
    const int percent = std::clamp(line.percent, 0, 100);
    const int filled = percent * kBarCells / 100;
    std::string text = label;
    if (!text.empty()) {
        text.append("  ");
    }
    text.push_back('[');
    text.append(static_cast<size_t>(filled), '#');
    text.append(static_cast<size_t>(kBarCells - filled), '.');
    text.push_back(']');
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, " %3d%%", percent);
    text += numbers;
    if (line.total > 0) {
        std::snprintf(numbers, sizeof numbers, "  %d/%d B", line.bytes, line.total);
        text += numbers;
        const std::string rate = RateText(line.bytes, line.seconds);
        if (!rate.empty()) {
            text += "  " + rate;
        }
    }
    text += "  " + line.status;
    if (text.size() > width) {
        text.resize(width); // a wrapped line would break the redrawing of the lines above it
    }
    return text;
}

void CProgressView::Update(size_t row, const ProgressLine& line) {
    if (row >= m_Rows.size()) {
        return;
    }
    if (!m_Terminal) {
        WritePlain(row, line);
        return;
    }
    const std::string text = BarText(Label(row), line, m_Width);
    if (text != m_Rows[row].text) {
        m_Rows[row].text = text;
        m_Dirty = true;
    }
}

void CProgressView::WritePlain(size_t row, const ProgressLine& line) {
    Row& r = m_Rows[row];
    const std::string prefix = m_Labels.size() > 1 ? m_Labels[row] + ": " : "";
    auto writeStatus = [&] {
        if (line.status != r.lastStatus) {
            r.lastStatus = line.status;
            m_Out << prefix << line.status << "\n";
        }
    };
    auto writeSteps = [&] {
        if (line.total <= 0) {
            return;
        }
        // Every step is written, also those passed between two looks, so a log always reads 0% to 100%.
        const int step = std::clamp(line.percent, 0, 100) / 10 * 10;
        for (int next = r.lastStep < 0 ? 0 : r.lastStep + 10; next <= step; next += 10) {
            m_Out << prefix << next << "%\n";
            r.lastStep = next;
        }
    };
    // The status that starts the programming comes before its 0%; the steps reached come before the
    // status that ends it.
    if (r.lastStep < 0) {
        writeStatus();
        writeSteps();
    } else {
        writeSteps();
        writeStatus();
    }
    m_Out.flush();
}

void CProgressView::Render() {
    if (!m_Terminal || (!m_Dirty && m_Drawn)) {
        return;
    }
    std::string out;
    if (m_Drawn && m_Rows.size() > 0) {
        out += "\x1b[" + std::to_string(m_Rows.size()) + "A"; // back to the first line of the block
    }
    for (const Row& r : m_Rows) {
        out += "\r\x1b[2K" + r.text + "\n";
    }
    m_Out << out;
    m_Out.flush();
    m_Drawn = true;
    m_Dirty = false;
}

} // namespace brenwick::cli

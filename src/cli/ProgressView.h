#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace brenwick::cli {

// What one device's progress line shows.
struct ProgressLine {
    std::string status; // "Connecting", "Programming", the result ...
    int percent = 0;    // 0 to 100
    int32_t bytes = 0;
    int32_t total = 0;  // 0 while the amount is not known yet
    double seconds = 0; // since programming began, for the rate
};

// Shows the progress of one or more devices. On a terminal each device has one line that is redrawn in
// place (a bar, percent, bytes and rate); anywhere else (a pipe, a file, a log) each change is one plain
// line, "NN%" at every 10 % step and the status texts, with no control characters at all. With several
// devices each line starts with the device's port.
class CProgressView {
  public:
    CProgressView(std::ostream& out, bool terminal, std::vector<std::string> labels, int columns = 80);

    void Update(size_t row, const ProgressLine& line);
    // Draws the changed lines (terminal only; plain output is written as it changes).
    void Render();

    // One terminal line for a device, cut to the width: exposed for the tests.
    static std::string BarText(const std::string& label, const ProgressLine& line, size_t width);

  private:
    struct Row {
        ProgressLine shown;
        std::string text;  // what the terminal shows now
        int lastStep = -1; // last 10 % step written in plain mode
        std::string lastStatus;
    };

    std::string Label(size_t row) const;
    void WritePlain(size_t row, const ProgressLine& line);

    std::ostream& m_Out;
    bool m_Terminal;
    std::vector<std::string> m_Labels;
    size_t m_LabelWidth = 0;
    size_t m_Width;
    std::vector<Row> m_Rows;
    bool m_Drawn = false; // the block of lines exists on the terminal
    bool m_Dirty = false;
};

} // namespace brenwick::cli

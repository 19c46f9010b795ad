// The headless front end's output: log and status lines on stdout, and on a terminal a live
// block of one progress bar per channel kept below them.
#pragma once

#include <chrono>
#include <string>
#include <vector>

class ProgressDisplay {
  public:
    explicit ProgressDisplay(bool live) : m_live(live) {}

    // A channel with its port gets a bar (port 0: none).
    void AddChannel(int channel, int port);

    // A station's channel: its bar, kept for every channel, shows the port it has now
    // (0: none).
    void SetPort(int channel, int port);

    // A text shown after a channel's bar text (the station's last result).
    void SetNote(int channel, const std::string& note);

    // A line drawn below the bars (the station's totals); empty: none.
    void SetFooter(const std::string& text);

    // Prints one line above the bars.
    void Line(const std::string& text);

    // A channel's bar text and fill.
    void SetBar(int channel, const std::string& text, long long position, long long upper);

    // Redraws the bars if they changed (at most ten times a second).
    void Refresh();

    // Draws the bars one last time and leaves them on the screen.
    void Finish();

  private:
    struct Bar {
        int channel;
        int port;
        std::string text;
        long long position = 0;
        long long upper = 100;
        std::string note;
    };

    void Erase();
    void Draw();

    bool m_live;
    bool m_dirty = false;
    int m_drawn = 0;
    std::vector<Bar> m_bars;
    std::string m_footer;
    std::chrono::steady_clock::time_point m_lastDraw{};
};

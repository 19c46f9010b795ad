// The numbers behind a percent bar, for both windows: the range, the position, and the
// filled width at the last position change, which decides whether a new position repaints.
// Plain C++; each bar's model is used on the console thread only.
#pragma once

class PercentBarModel {
  public:
    // Stores both ends; does not ask for a repaint.
    void SetRange(int lower, int upper);

    // Stores the new position and returns the previous one. *repaint becomes true when the
    // filled width for a client area clientWidth pixels wide differs from the one of the last
    // repaint this caused (or none was made since a size change); then that width is kept.
    int SetPos(int newPosition, int clientWidth, bool* repaint);

    // The client area changed size: the next SetPos repaints.
    void Resized() { m_barWidth = -1; }

    // Width in pixels of the filled part, held to 0..clientWidth: positions beyond either
    // end look like the end itself, and a range whose ends are equal fills nothing.
    int FilledWidth(int clientWidth) const;

    // A range whose lower end is not below its upper end draws nothing.
    bool Draws() const { return m_lower < m_upper; }

    int Pos() const { return m_position; }
    int Lower() const { return m_lower; }
    int Upper() const { return m_upper; }

  private:
    int m_position = 0;
    int m_upper = 100;
    int m_lower = 0;
    int m_barWidth = -1;  // filled width at the last SetPos repaint; -1 = not known
};

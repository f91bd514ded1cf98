#pragma once
// Orders for the simulated unit, appended to a file as text lines while it
// runs: the unit taken off the line, or a new one put on it. The simulator
// looks at the file every 100 ms and takes the lines appended since.
//
//   remove                 nothing on the line hears or answers any more
//   insert MODEL ADDRESS   a new unit, factory settings, answers from now on
//   insert MODEL ADDRESS keep-nothing   the same, a unit that keeps no setting
//   mute MS                the same unit, its settings kept, hears and answers
//                          nothing for MS milliseconds (a loose contact)

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

namespace unitsim {

struct ControlOrder
{
    enum class Kind { Remove, Insert, Mute };
    Kind kind = Kind::Remove;
    QByteArray model;         // Insert only
    int address = 0;          // Insert only
    bool keepNothing = false; // Insert only: the unit takes set commands, keeps none
    int muteMs = 0;           // Mute only
};

// One order from one line (without its newline); none for a line that is
// no order (an unknown word, an unknown model, an address outside 0-99).
std::optional<ControlOrder> parseControlLine(const QByteArray &line);

class ControlFile
{
  public:
    ControlFile() = default;
    ~ControlFile();
    ControlFile(const ControlFile &) = delete;
    ControlFile &operator=(const ControlFile &) = delete;

    // Opens the file, making it empty when there is none; what it already
    // holds counts as given.
    bool open(const QString &path);
    bool isOpen() const { return m_fd >= 0; }
    // The whole lines appended since the last call. A file cut shorter is
    // read again from its start.
    std::vector<QByteArray> newLines();

  private:
    int m_fd = -1;
    QByteArray m_partial;
};

} // namespace unitsim

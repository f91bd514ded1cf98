#pragma once
// The record of what reached the unit: one JSON object per received line,
// appended and flushed at once, so a test can read it while the unit runs.
//
//   {"t":12.345678,"baud":9600,"answered":true,"line":"@0VA1\r","hex":"40 30 56 41 31 0D"}
//
// "t" is CLOCK_MONOTONIC seconds when the line ended, "baud" the rate in force
// when its bytes arrived. "line" holds each byte as the character of the same
// code (bytes above 127 as \u0080 to \u00ff); "hex" holds the exact bytes.
// The file is opened for appending, so a reader may truncate it at any time.

#include <QByteArray>
#include <QString>

namespace unitsim {

class Recorder
{
  public:
    Recorder() = default;
    ~Recorder();
    Recorder(const Recorder &) = delete;
    Recorder &operator=(const Recorder &) = delete;

    bool open(const QString &path);
    bool isOpen() const { return m_fd >= 0; }
    void record(double t, int baud, bool answered, const QByteArray &line);

    static QByteArray jsonLine(double t, int baud, bool answered, const QByteArray &line);

  private:
    int m_fd = -1;
};

} // namespace unitsim

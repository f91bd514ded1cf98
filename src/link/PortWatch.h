#pragma once
// Notices a serial device that goes away and comes back, as a USB adapter
// pulled out and plugged in again does. Once a second it looks whether the
// device is there (a cheap look at the device file, or the system's list of
// ports where devices are no files); nothing is opened and nothing written.

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

namespace ktv {

class PortWatch : public QObject
{
    Q_OBJECT
  public:
    // device: the device to watch, asked at every look, so that a COM port
    // changed meanwhile is watched from then on (a change is no event).
    explicit PortWatch(std::function<QString()> device, QObject *parent = nullptr);

    void start(int intervalMs = 1000);
    // Looks now.
    void check();
    static bool isPresent(const QString &device);

  signals:
    void vanished(const QString &device);
    void returned(const QString &device);

  private:
    std::function<QString()> device_;
    QTimer timer_;
    QString watched_;
    bool present_ = false;
};

} // namespace ktv

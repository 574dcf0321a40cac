// Keeps the status strip naming the DAC the next action would use: the first
// one found by the pages' own rule, "No DAC connected", or the permission
// hint when ours is present but may not be opened. It looks again when the
// platform's arrivals watcher tells of a change, and never while `busy`
// says a transfer runs (nothing of it reaches the DAC then).
#pragma once

#include <functional>
#include <memory>
#include <set>

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include "device/hid_device_link.h"
#include "device/platform/arrival_watcher.h"

class QTimer;

namespace veltrane {

class StatusStrip;
class ServiceHistory;

class DeviceStatus : public QObject {
  Q_OBJECT

 public:
  // How often the watcher is asked, without waiting: well inside the two
  // seconds in which the strip follows a plug or unplug.
  static constexpr int kTickMs = 250;

  DeviceStatus(HidPlatform& platform, StatusStrip* strip, std::function<bool()> busy,
               QObject* parent = nullptr);
  ~DeviceStatus() override;

  // One look: refreshes the strip when the watcher saw a change (or one was
  // missed while busy). The timer calls it; tests call it on virtual time.
  void Tick();
  // Describes the DAC now, unless busy (then at the first Tick after).
  void Refresh();

  // The line the strip shows for the present state of the bus, with the
  // latest change the history holds for that DAC.
  QString Describe();

  // Where the latest change on the DAC is looked up; null: nowhere.
  void SetHistory(ServiceHistory* history) { history_ = history; }
  // "Write 0x0103, 5 min ago" for the newest row of the DAC `serial`; empty without one.
  QString LastChange(const std::string& serial) const;

 signals:
  // The DAC found has an interrupted change as its newest row: said once a
  // run for each such change, when the DAC is found.
  void InterruptedChangeFound(qint64 id, const QString& operation, const QString& started_utc);

 private:
  HidPlatform& platform_;
  StatusStrip* strip_;
  std::function<bool()> busy_;
  std::unique_ptr<ArrivalWatcher> watcher_;
  HidDeviceLink link_;  // its own, closed again after every look
  QTimer* timer_;
  bool stale_ = true;
  ServiceHistory* history_ = nullptr;
  QElapsedTimer described_;  // since the strip was last written: "5 min ago" moves on
  std::set<std::int64_t> offered_;  // interrupted changes already told of
};

}  // namespace veltrane

#include "app/device_status.h"

#include <QTimer>

#include "app/app_texts.h"
#include "device/device_finder.h"
#include "ui/status_strip.h"
#include "update/image_header.h"

namespace veltrane {

namespace {
QString Hex4(std::uint16_t value) { return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0')).toUpper(); }
}  // namespace

DeviceStatus::DeviceStatus(HidPlatform& platform, StatusStrip* strip, std::function<bool()> busy,
                           QObject* parent)
    : QObject(parent),
      platform_(platform),
      strip_(strip),
      busy_(std::move(busy)),
      watcher_(platform.CreateArrivalWatcher()),
      link_(platform),
      timer_(new QTimer(this)) {
  connect(timer_, &QTimer::timeout, this, &DeviceStatus::Tick);
  timer_->start(kTickMs);
  Refresh();
}

DeviceStatus::~DeviceStatus() = default;

void DeviceStatus::Tick() {
  if (busy_ && busy_()) return;
  // Asked without waiting: the user-interface thread never blocks here.
  if (watcher_ && watcher_->WaitForChange(0)) stale_ = true;
  if (stale_) Refresh();
}

void DeviceStatus::Refresh() {
  if (busy_ && busy_()) {
    stale_ = true;
    return;
  }
  stale_ = false;
  strip_->SetDeviceText(Describe());
}

QString DeviceStatus::Describe() {
  const FindResult found = FindOrExplain(link_);
  if (!found.Found()) {
    link_.Close();
    if (found.outcome == FindOutcome::kNotFound) return tr(app_texts::kNoDacConnected);
    return QString::fromStdString(found.hint.empty() ? found.message : found.hint);
  }
  DeviceIdentity identity;
  const bool identified = ReadDeviceIdentity(link_, &identity);
  std::uint16_t vendor = 0;
  std::uint16_t product = identity.product_id;
  if (!identified) link_.GetDeviceIds(&vendor, &product);
  QString serial = tr(app_texts::kNoSerial);
  for (const HidInterface& iface : platform_.EnumerateInterfaces()) {
    if (iface.path == link_.DevicePath() && !iface.serial_number.empty()) {
      serial = QString::fromStdString(iface.serial_number);
    }
  }
  link_.Close();
  return tr(app_texts::kDacInUse)
      .arg(Hex4(product), Hex4(identity.revision), serial, QString::fromStdString(platform_.TransportName()));
}

}  // namespace veltrane

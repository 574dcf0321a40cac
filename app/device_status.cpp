#include "app/device_status.h"

#include <QDateTime>
#include <QTimer>

#include <vector>

#include "app/app_texts.h"
#include "device/device_finder.h"
#include "service/rollback.h"
#include "service/service_history.h"
#include "ui/status_strip.h"
#include "image/image_header.h"

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
  // The age of the last change is worded in minutes: once a minute is enough.
  if (history_ != nullptr && described_.isValid() && described_.elapsed() >= 60000) stale_ = true;
  if (stale_) Refresh();
}

void DeviceStatus::Refresh() {
  if (busy_ && busy_()) {
    stale_ = true;
    return;
  }
  stale_ = false;
  strip_->SetDeviceText(Describe());
  described_.start();
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
  std::string serial_number;
  std::string location;
  for (const HidInterface& iface : platform_.EnumerateInterfaces()) {
    if (iface.path != link_.DevicePath()) continue;
    location = iface.location;
    if (!iface.serial_number.empty()) {
      serial_number = iface.serial_number;
      serial = QString::fromStdString(serial_number);
    }
  }
  link_.Close();
  if (history_ != nullptr && identified) {
    const std::optional<HistoryRow> interrupted =
        InterruptedChange(*history_, {serial_number, location, identity.product_id});
    if (interrupted && offered_.insert(interrupted->id).second) {
      emit InterruptedChangeFound(interrupted->id, QString::fromStdString(interrupted->operation),
                                  QString::fromStdString(interrupted->started_utc));
    }
  }
  return tr(app_texts::kDacInUse)
             .arg(Hex4(product), Hex4(identity.revision), serial, QString::fromStdString(platform_.TransportName())) +
         LastChange(serial_number);
}

QString DeviceStatus::LastChange(const std::string& serial) const {
  if (history_ == nullptr || serial.empty()) return {};
  std::vector<HistoryRow> rows;
  std::string problem;
  HistoryQuery query;
  query.serial = serial;
  query.limit = 1;
  // A history that cannot be read leaves the strip as it was: the change
  // that failed to record said so already.
  if (!history_->List(query, &rows, &problem) || rows.empty()) return {};
  const HistoryRow& row = rows.front();
  const std::optional<std::uint16_t> version = row.version_after ? row.version_after : row.version_before;
  const QDateTime ended = QDateTime::fromString(QString::fromStdString(row.ended_utc), Qt::ISODateWithMs);
  const qint64 minutes = ended.isValid() ? std::max<qint64>(0, ended.secsTo(QDateTime::currentDateTimeUtc()) / 60) : 0;
  const QString age = minutes < 1        ? tr(app_texts::kJustNow)
                      : minutes < 60     ? tr(app_texts::kMinutesAgo).arg(minutes)
                      : minutes < 48 * 60 ? tr(app_texts::kHoursAgo).arg(minutes / 60)
                                         : tr(app_texts::kDaysAgo).arg(minutes / (24 * 60));
  return tr(app_texts::kLastChange)
      .arg(QString::fromStdString(row.operation), version ? QStringLiteral("0x") + Hex4(*version) : QString(), age)
      .replace(QStringLiteral("  "), QStringLiteral(" "));
}

}  // namespace veltrane

// GoogleTest main for the GUI suites (the controls and the window, the
// firmware page): one QApplication on the offscreen platform for the whole run.
#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // Settings and data go to a test location, never the user's.
  QStandardPaths::setTestModeEnabled(true);
  QApplication app(argc, argv);
  // CTest runs each case in a process of its own, several at once: each keeps
  // its settings (the window's place among them) in a folder of its own, so
  // one case's closing window never moves another's.
  // Files, not Windows' registry, so that holds on every system.
  QApplication::setOrganizationName(QStringLiteral("Veltrane tests"));
  QSettings::setDefaultFormat(QSettings::IniFormat);
  const QTemporaryDir settings;
  if (settings.isValid()) {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

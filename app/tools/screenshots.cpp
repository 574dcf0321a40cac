// Writes a PNG of the main window for each tab, switching tabs by a left
// click on the strip as a user would. Used by scripts/screenshots.
//
//   veltrane_screenshots OUTPUT_DIR [-platform offscreen]
#include <cstdio>

#include <QApplication>
#include <QDir>
#include <QTest>

#include "app/main_window.h"
#include "sim/simulated_dac.h"
#include "ui/paged_tab_control.h"
#include "ui/tab_strip.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("build-screens");
  QDir().mkpath(dir);

  veltrane::sim::SimulatedDac dac;
  veltrane::MainWindow window(dac);
  window.show();
  if (!QTest::qWaitForWindowExposed(&window)) std::fprintf(stderr, "window not exposed\n");

  const char* names[] = {"eeprom", "feedback", "about"};
  bool ok = true;
  for (int tab = 0; tab < veltrane::MainWindow::kPages; ++tab) {
    veltrane::TabStrip* strip = window.TabControl()->Strip();
    QTest::mouseClick(strip, Qt::LeftButton, Qt::NoModifier, strip->tabRect(tab).center());
    QApplication::processEvents();
    const QString path = QStringLiteral("%1/tab-%2-%3.png").arg(dir).arg(tab).arg(QLatin1String(names[tab]));
    const QImage shot = window.grab().toImage();
    if (!shot.save(path)) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
      ok = false;
    } else {
      std::printf("%s (%dx%d)\n", qPrintable(path), shot.width(), shot.height());
    }
  }
  return ok ? 0 : 1;
}

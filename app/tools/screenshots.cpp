// Writes a PNG of the main window for each tab, switching tabs by a left
// click on the strip as a user would. Used by scripts/screenshots.
//
//   veltrane_screenshots OUTPUT_DIR [SCALE_SUFFIX] [-platform offscreen]
//
// With a suffix (e.g. 200, when run with QT_SCALE_FACTOR=2) the files are
// named tab-N-NAME@SUFFIX.png.
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
  const QString suffix = argc > 2 ? QStringLiteral("@") + QString::fromLocal8Bit(argv[2]) : QString();
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
    const QString path =
        QStringLiteral("%1/tab-%2-%3%4.png").arg(dir).arg(tab).arg(QLatin1String(names[tab]), suffix);
    const QImage shot = window.grab().toImage();
    if (!shot.save(path)) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
      ok = false;
    } else {
      // banner=: the rows of background art above the tab control, which
      // nothing covers (compared with the Windows build's by scripts/test-windows).
      std::printf("%s (%dx%d) banner=%d\n", qPrintable(path), shot.width(), shot.height(),
                  window.TabControl()->geometry().top());
    }
  }
  return ok ? 0 : 1;
}

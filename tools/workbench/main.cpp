// deducer-workbench: the desktop workbench.
//   deducer-workbench [FILE.clp] [-e COMMAND]... [--screenshot OUT.png]
// opens FILE.clp when given and then enters each COMMAND in the console;
// --screenshot renders the window to OUT.png after that and ends (for
// scripts/screenshots.sh).
#include <QApplication>
#include <cstdio>

#include "tools/workbench/Workbench.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Deducer Workbench");
  QString file;
  QString screenshot;
  QStringList commands;
  const QStringList args = QApplication::arguments();
  for (int i = 1; i < args.size(); ++i) {
    if (args[i] == "--screenshot" && i + 1 < args.size()) {
      screenshot = args[++i];
    } else if (args[i] == "-e" && i + 1 < args.size()) {
      commands.append(args[++i]);
    } else if (args[i] == "-h" || args[i] == "--help") {
      std::puts("usage: deducer-workbench [FILE.clp] [-e COMMAND]... [--screenshot OUT.png]");
      return 0;
    } else if (args[i].startsWith('-') || !file.isEmpty()) {
      std::fprintf(stderr, "deducer-workbench: unexpected argument '%s'\n",
                   args[i].toLocal8Bit().constData());
      return 2;
    } else {
      file = args[i];
    }
  }
  kb::TWorkbench window;
  window.show();
  if (!file.isEmpty()) window.OpenFile(file);
  for (const QString& command : commands) window.EnterLine(command);
  if (screenshot.isEmpty()) return QApplication::exec();
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
  if (!window.grab().save(screenshot)) {
    std::fprintf(stderr, "deducer-workbench: cannot write %s\n",
                 screenshot.toLocal8Bit().constData());
    return 1;
  }
  return 0;
}

// Mirvale, the LANA tool: lists the NetBIOS bindings and writes the chosen
// adapter number to every place the control system's generations read.
// Exit code 0 when the dialog closed (OK or Cancel), 1 after a fatal
// failure or a write that failed.
#include <QApplication>
#include <QDir>
#include <QProcessEnvironment>
#include <cstdio>
#include <cstring>

#include "mirvale_dialog.h"
#include "trelm_version.h"

#ifdef _WIN32
#include "win32_platform.h"
#else
#include "wine_platform.h"
#endif

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("mirvale %s (Trelm workstation toolset)\n", TRELM_VERSION);
    return 0;
  }
#ifdef _WIN32
  // Text through DirectWrite (Windows 7 and later; Qt's default from 6.8),
  // unless the user chose otherwise: Qt 6.4's GDI font engine draws no text
  // in line edits under Wine, and DirectWrite draws the system font as
  // Windows does.
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "windows:fontengine=directwrite");
  }
#endif
  QApplication app(argc, argv);
#ifdef _WIN32
  mirvale::Win32Platform platform;
#else
  // On Linux: the Wine prefix of $WINEPREFIX (default ~/.wine), with the
  // current directory as Wine would map it.
  const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  const QString prefix = env.value("WINEPREFIX", QDir::homePath() + "/.wine");
  mirvale::WinePlatform platform(prefix.toStdString(),
                                 mirvale::WinePlatform::DosPathOf(prefix.toStdString(),
                                                                  QDir::currentPath().toStdString()));
#endif
  mirvale::QtMessageBoxes boxes;
  QStringList args = QApplication::arguments();
  args.removeFirst();
  MirvaleDialog dialog(platform, boxes, args, QProcessEnvironment::systemEnvironment(), nullptr,
                       nullptr, true);
  if (dialog.exitCode() != 0) return dialog.exitCode();
  dialog.exec();
  return dialog.exitCode();
}

// Mirvale's dialog: the generated form (MirvaleDialogBase) and the working
// dialog (MirvaleDialog) with its command line, its choices, the current
// settings and OK.
#pragma once

#include <QDialog>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include "bindings.h"
#include "mirvale_ui.h"
#include "platform.h"
#include "ui_mirvaledialogbase.h"

class QTreeWidgetItem;

class MirvaleDialogBase : public QDialog, public Ui::MirvaleDialogBase {
  Q_OBJECT
 public:
  explicit MirvaleDialogBase(QWidget* parent = nullptr, const char* name = nullptr,
                             bool modal = false, Qt::WindowFlags fl = {});

 protected slots:
  virtual void languageChange();
};

class MirvaleDialog : public MirvaleDialogBase {
  Q_OBJECT
 public:
  // args: the arguments after the program name.
  MirvaleDialog(mirvale::Platform& platform, mirvale::MessageBoxes& boxes, const QStringList& args,
                const QProcessEnvironment& environment, QWidget* parent = nullptr,
                const char* name = nullptr, bool modal = true, Qt::WindowFlags fl = {});

  // The program's exit code so far: 1 after a fatal failure in the
  // construction (the dialog is then not to be shown) or a failed write.
  int exitCode() const { return exitCode_; }
  bool isSilent() const { return silent; }
  bool usesLanacfg() const { return useLanacfg; }
  bool isDebug() const { return debug; }
  const QString& rootDirectory() const { return root; }
  const QString& systemName() const { return system; }
  // The program lanacfg is started as (tests point it elsewhere).
  static QString lanacfgProgram;

 public slots:
  void processExited();
  void readyReadStdout();
  void lvSelectionChanged(QTreeWidgetItem* item);
  void doHelp();

 protected:
  void accept() override;

 private:
  void applyArguments(const QStringList& args);
  void addRows(const QList<mirvale::AdapterChoice>& choices);
  void preselect();
  void showCurrentSettings();
  void writeAdapterSettings(QTreeWidgetItem* item);

  QString lanacfgOutput;
  QProcess* lanacfgProcess = nullptr;
  bool silent = false;
  bool useLanacfg = false;
  bool debug = false;
  QString root;
  QString system;

  mirvale::Platform& platform_;
  mirvale::MessageBoxes& boxes_;
  int exitCode_ = 0;
};

#include "mirvale_dialog.h"

#include <QDebug>
#include <QMessageBox>
#include <QTreeWidgetItem>
#include <QWhatsThis>

#include "lanacfg_output.h"
#include "settings_places.h"

namespace {
constexpr const char* kCaption = "Error in Mirvale";
}

namespace mirvale {
void QtMessageBoxes::Critical(QWidget* parent, const QString& caption, const QString& text) {
  QMessageBox::critical(parent, caption, text);
}
void QtMessageBoxes::Information(QWidget* parent, const QString& caption, const QString& text) {
  QMessageBox::information(parent, caption, text);
}
}  // namespace mirvale

MirvaleDialogBase::MirvaleDialogBase(QWidget* parent, const char* name, bool modal,
                                     Qt::WindowFlags fl)
    : QDialog(parent, fl) {
  setupUi(this);
  // The row of current settings and the list sit at the top of their boxes.
  groupBox1Layout->setAlignment(layout1, Qt::AlignTop);
  groupBox2Layout->setAlignment(layout3, Qt::AlignTop);
  setObjectName(name != nullptr ? QString::fromLatin1(name) : QStringLiteral("MirvaleDialogBase"));
  setModal(modal);
  languageChange();
  resize(QSize(582, 353).expandedTo(minimumSizeHint()));
}

void MirvaleDialogBase::languageChange() { retranslateUi(this); }

QString MirvaleDialog::lanacfgProgram = QStringLiteral("lanacfg.exe");

MirvaleDialog::MirvaleDialog(mirvale::Platform& platform, mirvale::MessageBoxes& boxes,
                             const QStringList& args, const QProcessEnvironment& environment,
                             QWidget* parent, const char* name, bool modal, Qt::WindowFlags fl)
    : MirvaleDialogBase(parent, name, modal, fl), platform_(platform), boxes_(boxes) {
  buttonOk->setEnabled(false);
  // The what's-this texts: the title bar's help button and Shift+F1.
  setWindowFlag(Qt::WindowContextHelpButtonHint, true);
  addAction(QWhatsThis::createAction(this));
  connect(buttonHelp, &QPushButton::clicked, this, &MirvaleDialog::doHelp);
  // The tree has no signal that carries the selected item: the first
  // selected one, or none, is handed over.
  connect(lv, &QTreeWidget::itemSelectionChanged, this, [this] {
    const QList<QTreeWidgetItem*> selected = lv->selectedItems();
    lvSelectionChanged(selected.isEmpty() ? nullptr : selected.first());
  });
  root = environment.value(QStringLiteral("MC_ROOT"));
  system = environment.value(QStringLiteral("MC_SYSTEM"));
  applyArguments(args);
  lv->setAllColumnsShowFocus(true);

  if (useLanacfg) {
    lanacfgProcess = new QProcess(this);
    connect(lanacfgProcess, &QProcess::readyReadStandardOutput, this, &MirvaleDialog::readyReadStdout);
    connect(lanacfgProcess, &QProcess::finished, this, &MirvaleDialog::processExited);
    lanacfgProcess->start(lanacfgProgram, {QStringLiteral("showlanapaths")});
    if (!lanacfgProcess->waitForStarted()) {
      boxes_.Critical(this, kCaption,
                      QStringLiteral("/uselanacfg parameter present but unable to run lanacfg.\n"
                                     "Lanacfg.exe may be missing."));
      exitCode_ = 1;
      return;
    }
  } else {
    mirvale::Bindings bindings(platform_, boxes_, this, debug);
    QList<mirvale::AdapterChoice> choices;
    if (!bindings.collectAdapterChoices(&choices)) {
      exitCode_ = 1;
      return;
    }
    addRows(choices);
  }
  showCurrentSettings();
  if (!useLanacfg) preselect();
  lv->setFocus();  // the list comes first
}

void MirvaleDialog::applyArguments(const QStringList& args) {
  // The value of "/root=DIR": the second part at '=', a further '=' cutting it.
  auto valueOf = [](const QString& arg) {
    const QStringList parts = arg.split(QLatin1Char('='), Qt::SkipEmptyParts);
    return parts.size() > 1 ? parts[1] : QString();
  };
  for (const QString& arg : args) {
    if (arg == QLatin1String("/silent")) {
      silent = true;
    } else if (arg.startsWith(QLatin1String("/root="))) {
      root = valueOf(arg);
    } else if (arg.startsWith(QLatin1String("/system="))) {
      system = valueOf(arg);
    } else if (arg.startsWith(QLatin1String("/uselanacfg"))) {
      useLanacfg = true;
    } else if (arg.startsWith(QLatin1String("/debug"))) {
      debug = true;
    }
  }
}

void MirvaleDialog::addRows(const QList<mirvale::AdapterChoice>& choices) {
  for (const mirvale::AdapterChoice& c : choices) {
    new QTreeWidgetItem(lv, {QString::number(c.lana), c.protocol, c.description});
  }
  // Every column as wide as its longest text: no description is cut.
  for (int column = 0; column < lv->columnCount(); ++column) lv->resizeColumnToContents(column);
}

void MirvaleDialog::preselect() {
  // The row of the number ORM.INI holds; a missing key preselects nothing.
  constexpr unsigned kNone = 0xFFFFFFFEu;
  const unsigned stored = platform_.ProfileInt("Network", "DefaultAdaptor", static_cast<int>(kNone),
                                               mirvale::OrmIniPath(platform_).toStdString());
  if (stored == kNone) return;
  const QString text = QString::number(stored);
  for (int i = 0; i < lv->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = lv->topLevelItem(i);
    if (item->text(0) == text) {
      lv->setCurrentItem(item);
      item->setSelected(true);
      return;
    }
  }
}

void MirvaleDialog::showCurrentSettings() {
  QLineEdit* edits[] = {orm, velk_nbif, velk2nbif, trelm_system, master};
  const QList<mirvale::Place> places = mirvale::ReadPlaces(platform_, root, system);
  for (int i = 0; i < places.size(); ++i) {
    const unsigned value = platform_.ProfileInt(places[i].section, places[i].key, 0,
                                                places[i].file.toStdString());
    edits[i]->setText(QStringLiteral("%1").arg(value));
  }
}

void MirvaleDialog::readyReadStdout() {
  if (!useLanacfg || lanacfgProcess == nullptr) return;
  lanacfgOutput += QString::fromLatin1(lanacfgProcess->readAllStandardOutput());
}

void MirvaleDialog::processExited() {
  qDebug().noquote() << "process exited";
  qDebug().noquote() << lanacfgOutput;
  const QStringList lines = lanacfgOutput.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  if (useLanacfg) {
    addRows(mirvale::ParseLanacfgLines(lines));
    preselect();
    if (lanacfgProcess != nullptr) lanacfgProcess->deleteLater();
    lanacfgProcess = nullptr;
  }
}

void MirvaleDialog::lvSelectionChanged(QTreeWidgetItem* item) { buttonOk->setEnabled(item != nullptr); }

void MirvaleDialog::doHelp() {
  boxes_.Information(
      this, QStringLiteral("Mirvale Help"),
      QStringLiteral(
          "<p>The LANA number sets how your Trelm/Morvane Control system talks to the network.</p>"
          "<p>NetBIOS is used for Trelm networking which is protocol independent, so can run on "
          "NetBEUI or NetBIOS/IP and can even run on IPX. You'll see all possible adaptors listed "
          "in the Mirvale dialog. </p><p>You must select which protocol to use and on which "
          "adaptor. If you're running with NetBEUI and IP with two network cards then you'll have "
          "a choice of 4 options (both protocols on both cards).</p><p>Often, on normal "
          "workstations you may only have a single adaptor listed (select that one!), if you have "
          "multiple listed and don't know which one to use either: remove unused protocols from "
          "your network configuration, or try them in turn!</p><p>LANA number is stored in "
          "different locations depending upon what vintage of Trelm/Morvane Control system you are "
          "running. This utility sets it in all possible locations. The current values can be "
          "seen at the top of the dialog - use the What's This? help to find out where these "
          "settings are stored</p>"));
}

void MirvaleDialog::accept() {
  const QList<QTreeWidgetItem*> selected = lv->selectedItems();
  QTreeWidgetItem* item = selected.isEmpty() ? lv->currentItem() : selected.first();
  if (item == nullptr) return;  // OK is disabled without a row
  writeAdapterSettings(item);
}

void MirvaleDialog::writeAdapterSettings(QTreeWidgetItem* item) {
  const QString value = mirvale::NormalisedValue(item->text(0));
  // Every place is written whatever the others gave; a failure is said,
  // never reported as success.
  const QStringList failed =
      mirvale::WriteAll(platform_, mirvale::WritePlaces(platform_, root, system), value);
  if (!failed.isEmpty()) {
    const QString text = QStringLiteral("Adaptor %1 could not be written to:\n%2")
                             .arg(value, failed.join(QLatin1Char('\n')));
    qDebug().noquote() << text;
    if (!silent) boxes_.Critical(this, kCaption, text);
    exitCode_ = 1;
  } else if (!silent) {
    boxes_.Information(this, QStringLiteral("Information"),
                       QStringLiteral("Adaptor set to %1\nYou need to restart ORM/Varnet for the "
                                      "changes to take effect")
                           .arg(value));
  }
  QDialog::accept();
}

// Mirvale with a platform in memory and message boxes recorded: the
// command line, the choices and every fatal path, lanacfg's output, the
// five places and OK, on Qt's offscreen platform.
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

#include "bindings.h"
#include "fake_platform.h"
#include "lanacfg_output.h"
#include "mirvale_dialog.h"
#include "settings_places.h"

using namespace mirvale;

namespace {

const std::string kLinkage = "SYSTEM\\CurrentControlSet\\Services\\NetBIOS\\Linkage";
const std::string kClass =
    "SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-08002be10318}";
const std::string kGuidA = "{11111111-2222-3333-4444-555555555555}";
const std::string kGuidB = "{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}";

class RecordedBoxes : public MessageBoxes {
 public:
  QStringList shown;  // "caption|text"
  void Critical(QWidget*, const QString& caption, const QString& text) override {
    shown << "critical|" + caption + "|" + text;
  }
  void Information(QWidget*, const QString& caption, const QString& text) override {
    shown << "information|" + caption + "|" + text;
  }
};

std::string Multi(const std::vector<std::string>& strings) {
  std::string s;
  for (const std::string& x : strings) s += x + '\0';
  return s + '\0';
}

void Binds(FakePlatform& p, const std::vector<std::string>& binds, const std::string& map) {
  p.Set(kLinkage, "Bind", kRegMultiSz, Multi(binds));
  p.Set(kLinkage, "LanaMap", kRegBinary, map);
  p.Add(kClass);
}

void Adapter(FakePlatform& p, const std::string& sub, const std::string& guid, const std::string& desc) {
  p.Set(kClass + "\\" + sub, "DriverDesc", kRegSz, desc + '\0');
  p.Set(kClass + "\\" + sub, "NetCfgInstanceId", kRegSz, guid + '\0');
}

std::string Tcp(const std::string& guid) { return "\\Device\\NetBT_Tcpip_" + guid; }
std::string Nbf(const std::string& guid) { return "\\Device\\Nbf_" + guid; }

QStringList Rows(MirvaleDialog& d) {
  QStringList rows;
  for (int i = 0; i < d.lv->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* item = d.lv->topLevelItem(i);
    rows << item->text(0) + "|" + item->text(1) + "|" + item->text(2);
  }
  return rows;
}

}  // namespace

class MirvaleTest : public QObject {
  Q_OBJECT

 private slots:
  void theFormAsBuilt() {
    FakePlatform p;
    Binds(p, {}, "");
    RecordedBoxes boxes;
    MirvaleDialog d(p, boxes, {}, QProcessEnvironment());
    QCOMPARE(d.windowTitle(), QString("Set Trelm/Morvane Control LANA Number"));
    QVERIFY(d.width() >= 582 && d.height() >= 353);
    QVERIFY(d.isSizeGripEnabled());
    QCOMPARE(d.objectName(), QString("MirvaleDialogBase"));
    QCOMPARE(d.lv->headerItem()->text(0), QString("Lana"));
    QCOMPARE(d.lv->headerItem()->text(2), QString("Adaptor"));
    QVERIFY(!d.lv->rootIsDecorated());
    QVERIFY(d.lv->allColumnsShowFocus());
    QVERIFY(d.buttonOk->isDefault());
    QVERIFY(!d.buttonHelp->isDefault());
    QCOMPARE(d.buttonHelp->shortcut(), QKeySequence("Alt+H"));
    QVERIFY(d.orm->isReadOnly());
    QCOMPARE(d.orm->maximumWidth(), 30);
    QCOMPARE(d.velk_nbif->minimumWidth(), 30);
    QVERIFY(d.master->whatsThis().endsWith("This setting is used to set all the others on a normal \"runtime\" machine."));
    QVERIFY(d.orm->toolTip().startsWith("<p>The following setting in &lt;windir&gt;\\orm.ini<br>"));
    QCOMPARE(d.textLabel1_2_3_3->text(), QString("Master"));
    QCOMPARE(d.groupBox2->title(), QString("Available Settings"));
    // The tab order: lv, orm, velk_nbif, velk2nbif, OK, Cancel.
    const QList<QWidget*> order = {d.lv, d.orm, d.velk_nbif, d.velk2nbif, d.buttonOk, d.buttonCancel};
    QList<QWidget*> chain;
    QWidget* w = d.lv;
    for (int i = 0; i < 200 && chain.size() < order.size(); ++i, w = w->nextInFocusChain()) {
      if (order.contains(w) && !chain.contains(w)) chain << w;
    }
    QCOMPARE(chain, order);
    QVERIFY(d.windowFlags() & Qt::WindowContextHelpButtonHint);
    // Help leaves the state alone.
    d.buttonHelp->click();
    QCOMPARE(boxes.shown.size(), 1);
    QVERIFY(boxes.shown[0].startsWith("information|Mirvale Help|<p>The LANA number sets how"));
    QVERIFY(!d.buttonOk->isEnabled());
  }

  void theCommandLine_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("expected");  // silent|root|system|debug
    QTest::newRow("none") << QStringList{} << "0|envroot|envsys|0";
    QTest::newRow("silent") << QStringList{"/silent"} << "1|envroot|envsys|0";
    QTest::newRow("SILENT") << QStringList{"/SILENT"} << "0|envroot|envsys|0";
    QTest::newRow("silently") << QStringList{"/silently"} << "0|envroot|envsys|0";
    QTest::newRow("debugfoo") << QStringList{"/debugfoo"} << "0|envroot|envsys|1";
    QTest::newRow("root=a=b") << QStringList{"/root=a=b"} << "0|a|envsys|0";
    QTest::newRow("root=") << QStringList{"/root="} << "0||envsys|0";
    QTest::newRow("later wins") << QStringList{"/root=x", "/system=s", "/root=y"} << "0|y|s|0";
    QTest::newRow("unknown") << QStringList{"/what", "root=z"} << "0|envroot|envsys|0";
  }
  void theCommandLine() {
    QFETCH(QStringList, args);
    QFETCH(QString, expected);
    FakePlatform p;
    Binds(p, {}, "");
    RecordedBoxes boxes;
    QProcessEnvironment env;
    env.insert("MC_ROOT", "envroot");
    env.insert("MC_SYSTEM", "envsys");
    MirvaleDialog d(p, boxes, args, env);
    QCOMPARE(QStringLiteral("%1|%2|%3|%4").arg(d.isSilent()).arg(d.rootDirectory(), d.systemName()).arg(d.isDebug()),
             expected);
    QCOMPARE(d.exitCode(), 0);
  }

  void theChoices_data() {
    QTest::addColumn<int>("case_");
    QTest::addColumn<QStringList>("rows");
    QTest::newRow("both transports on one adapter") << 0 << QStringList{"3|NetBIOS/IP|Card A", "5|NetBEUI|Card A"};
    QTest::newRow("flag bytes other than 1") << 1 << QStringList{"7|NetBIOS/IP|Card A"};
    QTest::newRow("an odd LanaMap") << 2 << QStringList{"3|NetBIOS/IP|Card A"};
    QTest::newRow("a GUID no adapter names") << 3 << QStringList{};
    QTest::newRow("two subkeys, one GUID") << 4 << QStringList{"3|NetBIOS/IP|Later card"};
    QTest::newRow("an empty NetCfgInstanceId") << 5 << QStringList{"3|NetBIOS/IP|Card A"};
    QTest::newRow("empty Bind") << 6 << QStringList{};
    QTest::newRow("no DriverDesc: skipped") << 7 << QStringList{"3|NetBIOS/IP|Card A"};
  }
  void theChoices() {
    QFETCH(int, case_);
    QFETCH(QStringList, rows);
    FakePlatform p;
    switch (case_) {
      case 0:
        Binds(p, {Tcp(kGuidA), Nbf(kGuidA)}, std::string("\x01\x03\x01\x05", 4));
        Adapter(p, "0000", kGuidA, "Card A");
        break;
      case 1:
        Binds(p, {Tcp(kGuidA), Nbf(kGuidA), Tcp(kGuidA)}, std::string("\x00\x03\x02\x05\x01\x07", 6));
        Adapter(p, "0000", kGuidA, "Card A");
        break;
      case 2:
        Binds(p, {Tcp(kGuidA)}, std::string("\x01\x03\x09", 3));
        Adapter(p, "0000", kGuidA, "Card A");
        break;
      case 3:
        Binds(p, {Tcp(kGuidB)}, std::string("\x01\x03", 2));
        Adapter(p, "0000", kGuidA, "Card A");
        break;
      case 4:
        Binds(p, {Tcp(kGuidA)}, std::string("\x01\x03", 2));
        Adapter(p, "0000", kGuidA, "Earlier card");
        Adapter(p, "0001", kGuidA, "Later card");
        break;
      case 5:  // a dial-out binding matches no pattern: it is never offered
        Binds(p, {Tcp(kGuidA), "\\Device\\NetBT_NdisWanIp"}, std::string("\x01\x03\x01\x04", 4));
        Adapter(p, "0000", kGuidA, "Card A");
        Adapter(p, "0001", "", "Dial-up adapter");
        break;
      case 6:
        Binds(p, {}, "");
        break;
      case 7:
        Binds(p, {Tcp(kGuidA)}, std::string("\x01\x03", 2));
        p.Set(kClass + "\\0000", "NetCfgInstanceId", kRegSz, kGuidB + '\0');
        Adapter(p, "0001", kGuidA, "Card A");
        break;
    }
    RecordedBoxes boxes;
    MirvaleDialog d(p, boxes, {}, QProcessEnvironment());
    QCOMPARE(d.exitCode(), 0);
    QCOMPARE(Rows(d), rows);
    QVERIFY(boxes.shown.isEmpty());
    QVERIFY(!d.buttonOk->isEnabled());
    QCOMPARE(p.openKeys, 0);  // every key opened on the way was closed, skipped ones too
  }

  void theFatalPaths_data() {
    QTest::addColumn<int>("case_");
    QTest::addColumn<QStringList>("boxes");
    const QString linkage = QString::fromStdString(kLinkage);
    QTest::newRow("linkage key") << 0 << QStringList{"critical|Error in Mirvale|Opening key '" + linkage + "'\nAccess denied.\r\n "};
    QTest::newRow("class key") << 1 << QStringList{"critical|Error in Mirvale|Opening key '" + QString::fromStdString(kClass) + "'\nAccess denied.\r\n "};
    QTest::newRow("Bind missing") << 2 << QStringList{};
    QTest::newRow("Bind of another type") << 3 << QStringList{"critical|Error in Mirvale|Wrong data type 1, wanting 7, opening key Bind, in " + linkage + " "};
    QTest::newRow("LanaMap missing") << 4 << QStringList{"critical|Error in Mirvale|Failed to read binary data (LanaMap)."};
    QTest::newRow("sizes differ") << 5 << QStringList{"critical|Error in Mirvale|Sizes of Bind and LanaMap don't match."};
    QTest::newRow("DriverDesc of another type") << 6 << QStringList{"critical|Error in Mirvale|Wrong data type 3, wanting 1, opening key DriverDesc, in 0000 "};
    QTest::newRow("RootDevice unreadable") << 7 << QStringList{"critical|Error in Mirvale|Opening key 'RootDevice'\nAccess denied.\r\n ", "critical|Error in Mirvale|Opening key 'RootDevice'\nAccess denied.\r\n "};
  }
  void theFatalPaths() {
    QFETCH(int, case_);
    QFETCH(QStringList, boxes);
    FakePlatform p;
    Binds(p, {Tcp(kGuidA)}, std::string("\x01\x03", 2));
    Adapter(p, "0000", kGuidA, "Card A");
    switch (case_) {
      case 0: p.openFailures[FakePlatform::Lower(kLinkage)] = kAccessDenied; break;
      case 1: p.openFailures[FakePlatform::Lower(kClass)] = kAccessDenied; break;
      case 2: p.keys[FakePlatform::Lower(kLinkage)].values.erase("bind"); break;
      case 3: p.Set(kLinkage, "Bind", kRegSz, "x"); break;
      case 4: p.keys[FakePlatform::Lower(kLinkage)].values.erase("lanamap"); break;
      case 5: p.Set(kLinkage, "LanaMap", kRegBinary, std::string("\x01\x03\x01\x04", 4)); break;
      case 6: p.Set(kClass + "\\0000", "DriverDesc", kRegBinary, "x"); break;
      case 7:
        p.Set(kClass + "\\0000\\Linkage", "Other", kRegSz, "x");
        p.valueFailures["RootDevice"] = kAccessDenied;
        break;
    }
    RecordedBoxes recorded;
    MirvaleDialog d(p, recorded, {}, QProcessEnvironment());
    QCOMPARE(d.exitCode(), 1);
    QCOMPARE(recorded.shown, boxes);
  }

  void aValueTooBigForTheBufferIsReadAgain() {
    FakePlatform p;
    p.Set("Key", "Big", kRegSz, std::string(300, 'x') + '\0');
    RegKey key = 0;
    QCOMPARE(p.OpenKey(kLocalMachine, "Key", &key), static_cast<long>(kSuccess));
    RecordedBoxes boxes;
    Bindings b(p, boxes, nullptr, false);
    QString text;
    QCOMPARE(b.readString(key, "Big", "Key", &text), static_cast<long>(kSuccess));
    QCOMPARE(text, QString(300, 'x'));
    QCOMPARE(p.querySizes, (std::vector<unsigned long>{4, 301}));
    QStringList list{"kept"};
    p.Set("Key", "Empty", kRegMultiSz, std::string("\0x\0\0", 4));
    QCOMPARE(b.readStringList(key, "Empty", "Key", &list), static_cast<long>(kSuccess));
    QCOMPARE(list, QStringList{"kept"});  // a first byte of zero gives no strings
  }

  void lanacfgLines_data() {
    QTest::addColumn<QString>("output");
    QTest::addColumn<QStringList>("rows");
    QTest::newRow("NetBEUI") << "Lana: 3\n-->NetBEUI Protocol-->Card A\n" << QStringList{"3|NetBEUI|Card A"};
    QTest::newRow("TCP/IP, CR kept") << "Lana:  4\r\n-->WINS Client(TCP/IP) Protocol-->NetBT-->Card B\r\n"
                                     << QStringList{"4|NetBIOS/IP|Card B\r"};
    QTest::newRow("Dial Out") << "Lana: 5\n-->WINS Client(TCP/IP) Protocol-->Dial Out Adapter\n" << QStringList{};
    QTest::newRow("leading blanks") << "Lana: 6\n  -->NetBEUI Protocol-->Card A\n" << QStringList{};
    QTest::newRow("LANA line last") << "Lana: 7\n-->NetBEUI Protocol-->Card A\nLana: 8\n" << QStringList{"7|NetBEUI|Card A"};
    QTest::newRow("not a number") << "Lana: x\n\n-->NetBEUI Protocol-->C\n" << QStringList{"0|NetBEUI|C"};
    QTest::newRow("LANA above 254") << "Lana: 300\n-->NetBEUI Protocol-->C\nLana: 254\n-->NetBEUI Protocol-->D\n" << QStringList{"254|NetBEUI|D"};
    QTest::newRow("negative LANA") << "Lana: -1\n-->NetBEUI Protocol-->C\n" << QStringList{};
  }
  void lanacfgLines() {
    QFETCH(QString, output);
    QFETCH(QStringList, rows);
    QStringList got;
    for (const AdapterChoice& c : ParseLanacfgLines(output.split('\n', Qt::SkipEmptyParts))) {
      got << QString::number(c.lana) + "|" + c.protocol + "|" + c.description;
    }
    QCOMPARE(got, rows);
  }

  void lanacfgRunsAndItsRowsArriveInChunks() {
    // Our lanacfg prints its output in pieces, split inside lines.
    const QString lanacfg = qEnvironmentVariable("TRELM_LANACFG");
    if (lanacfg.isEmpty()) QSKIP("TRELM_LANACFG names lanacfg.exe");
    MirvaleDialog::lanacfgProgram = lanacfg;
    FakePlatform p;
    p.profiles["c:\\windows\\orm.ini|network|defaultadaptor"] = "1";
    RecordedBoxes boxes;
    MirvaleDialog d(p, boxes, {"/uselanacfg"}, QProcessEnvironment());
    QCOMPARE(d.exitCode(), 0);
    QVERIFY(d.usesLanacfg());
    QVERIFY(QTest::qWaitFor([&] { return d.lv->topLevelItemCount() > 0; }, 10000));
    QCOMPARE(Rows(d), (QStringList{"0|NetBIOS/IP|Intel(R) PRO/1000 MT Network Connection",
                                   "1|NetBEUI|Intel(R) PRO/1000 MT Network Connection",
                                   "2|NetBIOS/IP|Realtek RTL8139 Family PCI Fast Ethernet NIC"}));
    // Preselected from ORM.INI, which holds 1.
    QCOMPARE(d.lv->selectedItems().value(0)->text(0), QString("1"));
    QVERIFY(d.buttonOk->isEnabled());

    MirvaleDialog::lanacfgProgram = "/no/such/lanacfg.exe";
    MirvaleDialog missing(p, boxes, {"/uselanacfg"}, QProcessEnvironment());
    QCOMPARE(missing.exitCode(), 1);
    QCOMPARE(boxes.shown.last(), QString("critical|Error in Mirvale|/uselanacfg parameter present but unable to run lanacfg.\nLanacfg.exe may be missing."));
  }

  void okWritesEveryPlaceThatApplies_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("writes");
    const QStringList three = {"C:\\cfg\\orm.ini|Network|DefaultAdaptor=7", "VELK_NBIF.INI|NetBIOS|Adaptor=7",
                               "VELK2NBIF.INI|NetBIOS|Adaptor=7"};
    QTest::newRow("neither") << QStringList{} << three;
    QTest::newRow("root only") << QStringList{"/root=c:\\trelm"}
                               << three + QStringList{"c:\\trelm\\\\config\\system\\trelm_system.ini|Network|DefaultAdaptor=7",
                                                      "c:\\trelm\\local_settings.ini|Network|DefaultAdaptor=7"};
    QTest::newRow("system only") << QStringList{"/system=v4"}
                                 << three + QStringList{"\\v4\\config\\system\\trelm_system.ini|Network|DefaultAdaptor=7"};
    QTest::newRow("both") << QStringList{"/root=c:\\trelm", "/system=v4"}
                          << three + QStringList{"c:\\trelm\\v4\\config\\system\\trelm_system.ini|Network|DefaultAdaptor=7",
                                                 "c:\\trelm\\local_settings.ini|Network|DefaultAdaptor=7"};
  }
  void okWritesEveryPlaceThatApplies() {
    QFETCH(QStringList, args);
    QFETCH(QStringList, writes);
    FakePlatform p;
    p.profiles["c:\\trelm_config.ini|config|configpath"] = "C:\\cfg";
    Binds(p, {Tcp(kGuidA)}, std::string("\x01\x07", 2));
    Adapter(p, "0000", kGuidA, "Card A");
    RecordedBoxes boxes;
    MirvaleDialog d(p, boxes, args, QProcessEnvironment());
    QVERIFY(!d.buttonOk->isEnabled());  // nothing preselected: ORM.INI has no value
    d.lv->topLevelItem(0)->setText(0, " 007");  // written as the plain number
    d.lv->topLevelItem(0)->setSelected(true);
    QVERIFY(d.buttonOk->isEnabled());
    d.buttonOk->click();
    QStringList got;
    for (const std::string& w : p.writes) got << QString::fromStdString(w);
    QCOMPARE(got, writes);
    QCOMPARE(boxes.shown, QStringList{"information|Information|Adaptor set to 7\nYou need to restart ORM/Varnet for the changes to take effect"});
    QCOMPARE(d.result(), int(QDialog::Accepted));
    QCOMPARE(d.exitCode(), 0);
  }

  void theCurrentSettingsAndASelectionCleared() {
    FakePlatform p;
    Binds(p, {Tcp(kGuidA)}, std::string("\x01\x07", 2));
    Adapter(p, "0000", kGuidA, "Card A");
    p.profiles["c:\\windows\\orm.ini|network|defaultadaptor"] = "7";
    p.profiles["velk_nbif.ini|netbios|adaptor"] = "-1";
    p.profiles["r\\s\\config\\system\\trelm_system.ini|network|defaultadaptor"] = "2";
    RecordedBoxes boxes;
    MirvaleDialog d(p, boxes, {"/root=r", "/system=s"}, QProcessEnvironment());
    QCOMPARE(d.orm->text(), QString("7"));
    QCOMPARE(d.velk_nbif->text(), QString("4294967295"));  // shown unsigned
    QCOMPARE(d.velk2nbif->text(), QString("0"));
    QCOMPARE(d.trelm_system->text(), QString("2"));
    QCOMPARE(d.master->text(), QString("0"));
    QVERIFY(d.buttonOk->isEnabled());  // the row of ORM.INI's number is preselected
    d.lv->clearSelection();
    QVERIFY(!d.buttonOk->isEnabled());
  }

  void longDescriptionsAreShownWhole() {
    FakePlatform p;
    Binds(p, {Tcp(kGuidA)}, std::string("\x01\x07", 2));
    const std::string description =
        "Intel(R) PRO/1000 MT Desktop Adapter #2 - Packet Scheduler Miniport (teamed, VLAN 12)";
    Adapter(p, "0000", kGuidA, description);
    RecordedBoxes boxes;
    MirvaleDialog d(p, boxes, {"/silent"}, QProcessEnvironment());
    const QFontMetrics metrics(d.lv->font());
    QVERIFY(d.lv->columnWidth(2) >= metrics.horizontalAdvance(QString::fromStdString(description)));
    QVERIFY(d.lv->columnWidth(0) >= metrics.horizontalAdvance(QStringLiteral("Lana")));
  }

  void aFailedWriteIsSaidAndEndsWithCodeOne() {
    for (bool silent : {false, true}) {
      FakePlatform p;
      Binds(p, {Tcp(kGuidA)}, std::string("\x01\x07", 2));
      Adapter(p, "0000", kGuidA, "Card A");
      p.unwritable.insert("velk_nbif.ini");
      p.unwritable.insert("r\\local_settings.ini");
      p.reasons["r\\local_settings.ini"] = "Is a directory";
      RecordedBoxes boxes;
      QStringList args{"/root=r"};
      if (silent) args << "/silent";
      MirvaleDialog d(p, boxes, args, QProcessEnvironment());
      d.lv->topLevelItem(0)->setSelected(true);
      d.buttonOk->click();
      QCOMPARE(p.writes.size(), std::size_t(5));  // every place was tried
      QCOMPARE(d.exitCode(), 1);
      QCOMPARE(boxes.shown, silent ? QStringList{}
                                   : QStringList{"critical|Error in Mirvale|Adaptor 7 could not be written to:\nC:\\windows\\VELK_NBIF.INI\nr\\local_settings.ini (Is a directory)"});
    }
  }
};

QTEST_MAIN(MirvaleTest)
#include "mirvale_test.moc"

// The setup dialog on real settings files: what it shows, what it writes back and in
// which order, when it writes nothing, the client-service start rule and the
// simulated call.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "UiTestSupport.h"
#include "host/Homeseer.h"
#include "ui/SetupDialog.h"
#include "ui/SetupFields.h"

namespace {

const char* const kCrLf = "\r\n";

std::string Ini(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + kCrLf;
  return text;
}

// A hand-made settings file: quotes around some values, quotes inside one, 8-bit text,
// and check-box values that are and are not exactly "1".
const std::vector<std::string> kHandMade = {
    "[General]",
    "XAPNode=\"kitchen node\"",
    "XAPPID=\"FF123400\"",
    "CIDCommPort=\"/dev/ttyACM0\"",
    "CIDPortString=19200,e,7,1",
    "CIDModemInitString=AT+VCID=1",
    "CIDNamePrefix=\"NAME =\"",
    "CIDNumberPrefix=NM\"BR =",
    "FriendsLocation=/home/ann/Caf\xe9",
    "FormatPrefix=Incoming call from",
    "CIDIncoming=1",
    "MessageDisplay=0",
    "XapVoice=\" 1\"",
    "FormatSuffix=true",
    "StripPrefix=\"1\"",
    "InsertModemCrLf=1.0",
    "Outlook=1",
    "OCID=2",
    "[ContactBook]",
    "Folder=\"/home/ann/contacts\"",
    "[AddressBook]",
    "File=/home/ann/book.csv",
    "[ReverseLookup]",
    "BaseURL=http://127.0.0.1:8080",
};

struct Save {
  std::string group, key, value;
  bool operator==(const Save&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Save& s) {
  return out << "[" << s.group << "] " << s.key << "=" << s.value;
}

class SetupDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.Path().empty());
    host_ = std::make_unique<Homeseer>(dir_.Path());
    ui_.GetIniSetting = [this](const std::string& g, const std::string& k, const std::string& d,
                               const std::string& f, HostStatus* e) {
      reads_.push_back(g + "/" + k + "/" + d + "/" + f);
      return host_->GetIniSetting(g, k, d, f, e);
    };
    ui_.SaveIniSetting = [this](const std::string& g, const std::string& k, const std::string& v,
                                const std::string& f) {
      EXPECT_EQ(f, "vynRinglet.ini");
      saves_.push_back({g, k, v});
      events_.push_back("save " + k);
      return host_->SaveIniSetting(g, k, v, f);
    };
    ui_.Report = [this](const std::string& type, const std::string& text, int,
                        const std::string& description) {
      reports_.push_back(type + ": " + text + (description.empty() ? "" : " / " + description));
    };
    ui_.InitIniKeys = [this] { events_.push_back("InitIniKeys"); };
    ui_.InitApplication = [this] { events_.push_back("InitApplication"); };
    ui_.StartClientService = [this] { events_.push_back("StartClientService"); };
    ui_.ShuttingDown = [this] { return shuttingDown_; };
    ui_.Caller = [this] { return &record_; };
    ui_.ProcessModemInput = [this] {
      events_.push_back("ProcessModemInput");
      completed_.push_back(record_);
    };
  }

  std::string IniPath() const { return dir_.Path() + "/Config/vynRinglet.ini"; }
  void WriteSettings(const std::vector<std::string>& lines) { WriteFile(IniPath(), Ini(lines)); }

  // Opens a dialog the way the tray menu does; it deletes itself when closed.
  QPointer<SetupDialog> Open() {
    QPointer<SetupDialog> dialog = new SetupDialog(ui_);
    dialog->show();
    return dialog;
  }

  static QString TextOf(SetupDialog* d, const char* name) {
    QLineEdit* edit = d->findChild<QLineEdit*>(name);
    EXPECT_NE(edit, nullptr) << name;
    return edit ? edit->text() : QString();
  }
  static bool Checked(SetupDialog* d, const char* name) {
    QCheckBox* box = d->findChild<QCheckBox*>(name);
    EXPECT_NE(box, nullptr) << name;
    return box && box->isChecked();
  }
  static void SetText(SetupDialog* d, const char* name, const QString& text) {
    d->findChild<QLineEdit*>(name)->setText(text);
  }
  static void SetChecked(SetupDialog* d, const char* name, bool on) {
    d->findChild<QCheckBox*>(name)->setChecked(on);
  }
  // Closes a dialog and lets it delete itself.
  static void CloseAndWait(QPointer<SetupDialog>& dialog) {
    dialog->close();
    EXPECT_TRUE(WaitFor([&] { return dialog.isNull(); }));
  }
  std::string Raw(const std::string& group, const std::string& key) {
    return host_->GetIniSetting(group, key, "<missing>", "vynRinglet.ini");
  }

  TempDir dir_;
  std::unique_ptr<Homeseer> host_;
  UiHost ui_;
  std::vector<std::string> reads_;
  std::vector<Save> saves_;
  std::vector<std::string> events_;
  std::vector<std::string> reports_;
  std::vector<CallerRecord> completed_;
  CallerRecord record_;
  bool shuttingDown_ = false;
};

TEST_F(SetupDialogTest, ShowsEveryValueOfAHandMadeFileWithoutQuotes) {
  WriteSettings(kHandMade);
  QPointer<SetupDialog> d = Open();
  EXPECT_EQ(d->windowTitle(), "CID Setup");

  const std::map<std::string, QString> texts = {
      {"aXAPNode", "kitchen node"},
      {"aXAPPID", "FF123400"},
      {"aCIDCommPort", "/dev/ttyACM0"},
      {"aCIDPortString", "19200,e,7,1"},
      {"aCIDModemInitString", "AT+VCID=1"},
      {"aCIDNamePrefix", "NAME ="},
      {"aCIDNumberPrefix", "NMBR ="},
      {"aFriendsLocation", QString::fromLatin1("/home/ann/Caf\xe9")},
      {"aFormatPrefix", "Incoming call from"},
      {"aContactBookFolder", "/home/ann/contacts"},
      {"aAddressBookFile", "/home/ann/book.csv"},
      {"aReverseLookupBaseURL", "http://127.0.0.1:8080"},
      {"aCIDDeviceCode", ""},
      {"aSimulateNumber", "123-456-7890"},
  };
  for (const auto& [name, text] : texts) EXPECT_EQ(TextOf(d, name.c_str()), text) << name;

  // On when the value, quotes gone, reads as 1 the way the program reads it: " 1" and
  // "1.0" are on (the program runs with them on), "true" and "2" are off.
  const std::map<std::string, bool> checks = {
      {"aCIDIncoming", true},   {"aMessageDisplay", false}, {"aXapVoice", true},
      {"aFormatSuffix", false}, {"aStripPrefix", true},     {"aInsertModemCrLf", true},
      {"aOutlook", true},       {"aOCID", false},
  };
  for (const auto& [name, on] : checks) EXPECT_EQ(Checked(d, name.c_str()), on) << name;
  EXPECT_TRUE(reports_.empty());
  delete d.data();
}

TEST_F(SetupDialogTest, MissingFileShowsTheDefaults) {
  QPointer<SetupDialog> d = Open();
  EXPECT_EQ(TextOf(d, "aXAPNode"), "");
  EXPECT_EQ(TextOf(d, "aXAPPID"), "FF008000");
  EXPECT_EQ(TextOf(d, "aCIDCommPort"), "");
  EXPECT_EQ(TextOf(d, "aCIDPortString"), "9600,n,8,1");
  EXPECT_EQ(TextOf(d, "aCIDModemInitString"), "AT#CID=1");
  EXPECT_EQ(TextOf(d, "aCIDNamePrefix"), "NAME =");
  EXPECT_EQ(TextOf(d, "aCIDNumberPrefix"), "NMBR =");
  EXPECT_EQ(TextOf(d, "aFormatPrefix"), "Call from");
  EXPECT_EQ(TextOf(d, "aFriendsLocation"), "");
  EXPECT_EQ(TextOf(d, "aContactBookFolder"), "");
  EXPECT_EQ(TextOf(d, "aAddressBookFile"), "");
  EXPECT_EQ(TextOf(d, "aReverseLookupBaseURL"), "");
  for (const char* on : {"aCIDIncoming", "aMessageDisplay", "aXapVoice", "aFormatSuffix",
                         "aInsertModemCrLf", "aOutlook", "aOCID"})
    EXPECT_TRUE(Checked(d, on)) << on;
  EXPECT_FALSE(Checked(d, "aStripPrefix"));
  delete d.data();
}

TEST_F(SetupDialogTest, ReadsInTheLoadOrderWithTheDefaults) {
  QPointer<SetupDialog> d = Open();
  const std::vector<std::string> expected = {
      "General/XAPNode//vynRinglet.ini",
      "General/XAPPID/FF008000/vynRinglet.ini",
      "General/CIDCommPort//vynRinglet.ini",
      "General/CIDPortString/9600,n,8,1/vynRinglet.ini",
      "General/CIDModemInitString/AT#CID=1/vynRinglet.ini",
      "General/CIDNamePrefix/NAME =/vynRinglet.ini",
      "General/CIDNumberPrefix/NMBR =/vynRinglet.ini",
      "General/CIDIncoming/1/vynRinglet.ini",
      "General/MessageDisplay/1/vynRinglet.ini",
      "General/XapVoice/1/vynRinglet.ini",
      "General/FormatSuffix/1/vynRinglet.ini",
      "General/FormatPrefix/Call from/vynRinglet.ini",
      "General/FriendsLocation//vynRinglet.ini",
      "General/StripPrefix/0/vynRinglet.ini",
      "General/InsertModemCrLf/1/vynRinglet.ini",
      "General/Outlook/1/vynRinglet.ini",
      "General/OCID/1/vynRinglet.ini",
      "ContactBook/Folder//vynRinglet.ini",
      "AddressBook/File//vynRinglet.ini",
      "ReverseLookup/BaseURL//vynRinglet.ini",
      "General/AreaCodeNames/1/vynRinglet.ini",
      "History/Notify/1/vynRinglet.ini",
      "MQTT/Host//vynRinglet.ini",
      "MQTT/Port/1883/vynRinglet.ini",
      "MQTT/User//vynRinglet.ini",
      "MQTT/Password//vynRinglet.ini",
      "MQTT/PasswordFile//vynRinglet.ini",
      "MQTT/CAFile//vynRinglet.ini",
      "MQTT/ClientId//vynRinglet.ini",
      "MQTT/TopicPrefix/xapvyncid/vynRinglet.ini",
      "MQTT/Discovery/1/vynRinglet.ini",
      "MQTT/DiscoveryPrefix/homeassistant/vynRinglet.ini",
  };
  EXPECT_EQ(reads_, expected);
  delete d.data();
}

TEST_F(SetupDialogTest, CloseWritesEveryKeyInOrderThenReloads) {
  WriteSettings(kHandMade);
  QPointer<SetupDialog> d = Open();
  SetText(d, "aXAPNode", "my node");
  SetText(d, "aFormatPrefix", "Anruf von");
  SetChecked(d, "aMessageDisplay", true);
  SetText(d, "aReverseLookupBaseURL", "http://127.0.0.1:9090");
  CloseAndWait(d);

  const std::vector<Save> expected = {
      {"General", "XAPNode", "\"my node\""},
      {"General", "XAPPID", "\"FF123400\""},
      {"General", "CIDCommPort", "\"/dev/ttyACM0\""},
      {"General", "CIDPortString", "19200,e,7,1"},
      {"General", "CIDModemInitString", "AT+VCID=1"},
      {"General", "CIDNamePrefix", "NAME ="},
      {"General", "CIDNumberPrefix", "NMBR ="},
      {"General", "CIDIncoming", "1"},
      {"General", "MessageDisplay", "1"},
      {"General", "XAPVoice", "1"},
      {"General", "FriendsLocation", "/home/ann/Caf\xe9"},
      {"General", "InsertModemCrLf", "1"},
      {"General", "StripPrefix", "1"},
      {"General", "Outlook", "1"},
      {"General", "OCID", "0"},
      {"General", "FormatPrefix", "Anruf von"},
      {"General", "FormatSuffix", "0"},
      {"ContactBook", "Folder", "/home/ann/contacts"},
      {"AddressBook", "File", "/home/ann/book.csv"},
      {"ReverseLookup", "BaseURL", "http://127.0.0.1:9090"},
      // Missing from the file: written with the defaults the boxes showed.
      {"General", "AreaCodeNames", "1"},
      {"History", "Notify", "1"},
      {"MQTT", "Host", ""},
      {"MQTT", "Port", "1883"},
      {"MQTT", "User", ""},
      {"MQTT", "Password", ""},
      {"MQTT", "PasswordFile", ""},
      {"MQTT", "CAFile", ""},
      {"MQTT", "ClientId", ""},
      {"MQTT", "TopicPrefix", "xapvyncid"},
      {"MQTT", "Discovery", "1"},
      {"MQTT", "DiscoveryPrefix", "homeassistant"},
  };
  EXPECT_EQ(saves_, expected);
  // Reload comes after every write, settings first, then the application.
  ASSERT_EQ(events_.size(), expected.size() + 2);
  EXPECT_EQ(events_[expected.size()], "InitIniKeys");
  EXPECT_EQ(events_[expected.size() + 1], "InitApplication");
  EXPECT_TRUE(reports_.empty());

  // The file holds the values as written; XAPVoice replaced XapVoice (same key).
  EXPECT_EQ(Raw("General", "XAPNode"), "\"my node\"");
  EXPECT_EQ(Raw("General", "CIDCommPort"), "\"/dev/ttyACM0\"");
  EXPECT_EQ(Raw("General", "XapVoice"), "1");
  EXPECT_EQ(Raw("General", "FriendsLocation"), "/home/ann/Caf\xe9");
  EXPECT_EQ(Raw("ReverseLookup", "BaseURL"), "http://127.0.0.1:9090");
  const std::string file = ReadFile(IniPath());
  EXPECT_EQ(file.find("XAPVOICE="), file.rfind("XAPVOICE="));
}

TEST_F(SetupDialogTest, ValuesComeBackUnchangedOnTheNextOpening) {
  WriteSettings(kHandMade);
  QPointer<SetupDialog> first = Open();
  SetText(first, "aXAPNode", "node with spaces");
  SetText(first, "aCIDCommPort", "127.0.0.1:3001");
  CloseAndWait(first);

  QPointer<SetupDialog> second = Open();
  EXPECT_EQ(TextOf(second, "aXAPNode"), "node with spaces");
  EXPECT_EQ(TextOf(second, "aCIDCommPort"), "127.0.0.1:3001");
  EXPECT_EQ(TextOf(second, "aFriendsLocation"), QString::fromLatin1("/home/ann/Caf\xe9"));
  EXPECT_TRUE(Checked(second, "aStripPrefix"));
  EXPECT_TRUE(Checked(second, "aXapVoice"));
  EXPECT_FALSE(Checked(second, "aFormatSuffix"));
  delete second.data();
}

TEST_F(SetupDialogTest, ClosingWhileTheProgramExitsWritesNothing) {
  WriteSettings(kHandMade);
  const std::string before = ReadFile(IniPath());
  QPointer<SetupDialog> d = Open();
  SetText(d, "aXAPNode", "changed");
  SetChecked(d, "aOCID", true);
  shuttingDown_ = true;
  CloseAndWait(d);
  EXPECT_TRUE(saves_.empty());
  EXPECT_TRUE(events_.empty());
  EXPECT_EQ(ReadFile(IniPath()), before);
}

TEST_F(SetupDialogTest, DiscardWritesNothing) {
  WriteSettings(kHandMade);
  const std::string before = ReadFile(IniPath());
  QPointer<SetupDialog> d = Open();
  SetText(d, "aXAPNode", "changed");
  d->Discard();
  EXPECT_TRUE(WaitFor([&] { return d.isNull(); }));
  EXPECT_TRUE(saves_.empty());
  EXPECT_TRUE(events_.empty());
  EXPECT_EQ(ReadFile(IniPath()), before);
}

struct OcidRow {
  const char* name;
  const char* stored;
  bool checkedAtClose;
  bool starts;
};

void PrintTo(const OcidRow& row, std::ostream* out) { *out << row.name; }

class SetupOcidRule : public SetupDialogTest, public ::testing::WithParamInterface<OcidRow> {};

TEST_P(SetupOcidRule, StartsTheServiceOnlyWhenSwitchedOn) {
  const OcidRow& row = GetParam();
  WriteSettings({"[General]", std::string("OCID=") + row.stored});
  QPointer<SetupDialog> d = Open();
  SetChecked(d, "aOCID", row.checkedAtClose);
  CloseAndWait(d);
  std::vector<std::string> tail(events_.end() - 3 + (row.starts ? 0 : 1), events_.end());
  std::vector<std::string> expected = {"InitIniKeys", "InitApplication"};
  if (row.starts) expected.insert(expected.begin(), "StartClientService");
  EXPECT_EQ(tail, expected);
  EXPECT_EQ(std::count(events_.begin(), events_.end(), "StartClientService"), row.starts ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Rows, SetupOcidRule,
                         ::testing::Values(OcidRow{"OffToOn", "0", true, true},
                                           OcidRow{"OnStaysOn", "1", true, false},
                                           OcidRow{"OnToOff", "1", false, false},
                                           OcidRow{"OffStaysOff", "0", false, false},
                                           OcidRow{"OnAsNumberStaysOn", "1.0", true, false},
                                           OcidRow{"NotANumberToOn", "yes", true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SetupDialogTest, CallSimulatesTheNumberWithAnEmptyName) {
  record_.Name = "left over";
  QPointer<SetupDialog> d = Open();
  d->findChild<QPushButton*>("aSimulate")->click();
  ASSERT_EQ(completed_.size(), 1u);
  EXPECT_EQ(completed_[0].Number, "123-456-7890");
  EXPECT_EQ(completed_[0].Name, "");
  EXPECT_TRUE(completed_[0].NumberDetected);
  EXPECT_TRUE(completed_[0].NameDetected);

  // The typed text goes through unchanged, whatever it holds.
  SetText(d, "aSimulateNumber", QString::fromLatin1("(555) 010-2000 \xe9"));
  d->findChild<QPushButton*>("aSimulate")->click();
  ASSERT_EQ(completed_.size(), 2u);
  EXPECT_EQ(completed_[1].Number, "(555) 010-2000 \xe9");
  EXPECT_TRUE(saves_.empty());  // a simulated call saves nothing
  delete d.data();
}

TEST_F(SetupDialogTest, AFailedWriteIsReportedAndTheOthersStillRun) {
  WriteSettings(kHandMade);
  // The engine writes through a temporary file beside the settings file; a folder in
  // its place makes every save fail.
  std::filesystem::create_directories(IniPath() + ".tmp");
  QPointer<SetupDialog> d = Open();
  CloseAndWait(d);
  EXPECT_EQ(saves_.size(), kSetupSaveOrder.size());
  ASSERT_EQ(reports_.size(), kSetupSaveOrder.size());
  EXPECT_EQ(reports_.front().rfind("xapvynCID: SetupSave XAPNode / ", 0), 0u) << reports_.front();
  EXPECT_EQ(reports_.back().rfind("xapvynCID: SetupSave DiscoveryPrefix / ", 0), 0u)
      << reports_.back();
  EXPECT_EQ(events_.back(), "InitApplication");
}

TEST_F(SetupDialogTest, AnUnreadableFileIsReportedAndShowsTheDefaults) {
  std::filesystem::create_directories(IniPath());  // a folder where the file should be
  QPointer<SetupDialog> d = Open();
  ASSERT_EQ(reports_.size(), kSetupLoadOrder.size());
  EXPECT_EQ(reports_.front().rfind("xapvynCID: SetupLoad XAPNode / ", 0), 0u) << reports_.front();
  EXPECT_EQ(TextOf(d, "aXAPPID"), "FF008000");
  EXPECT_EQ(TextOf(d, "aCIDModemInitString"), "AT#CID=1");
  EXPECT_TRUE(Checked(d, "aOCID"));
  EXPECT_FALSE(Checked(d, "aStripPrefix"));
  EXPECT_TRUE(Checked(d, "aAreaCodeNames"));
  EXPECT_TRUE(Checked(d, "aHistoryNotify"));
  EXPECT_EQ(TextOf(d, "aMqttPort"), "1883");
  delete d.data();
}

TEST_F(SetupDialogTest, ShowsTheFramesAndCaptions) {
  QPointer<SetupDialog> d = Open();
  QStringList frames;
  for (QGroupBox* box : d->findChildren<QGroupBox*>()) frames << box->title();
  for (const char* frame :
       {"Serial CID", "Phonebook", "XAP Identification", "BSC Device Notification",
        "Simulate Call Received", "Action on CID Receipt", "xAP Message", "OCID",
        "Microsoft Outlook", "Formatting", "Contacts and Reverse Lookup"})
    EXPECT_TRUE(frames.contains(frame)) << frame;

  QStringList labels;
  for (QLabel* label : d->findChildren<QLabel*>()) labels << label->text();
  for (const char* caption :
       {"Comm Port/IP", "Port Setup", "Modem Init", "Name Prefix", "Number Prefix",
        "File Path to Friends.txt", "XAP Souce Segment", "XAP PID", "CID Device Code", "Number",
        "Prefix Text on Voice Output"})
    EXPECT_TRUE(labels.contains(caption)) << caption;

  const std::map<std::string, QString> checks = {
      {"aInsertModemCrLf", "Auto-complete Name/Nmbr CrLf"},
      {"aStripPrefix", "Remove Leading \"1\" if present"},
      {"aCIDIncoming", "xAP CID.Incoming"},
      {"aMessageDisplay", "xAP Message.Display"},
      {"aXapVoice", "xAP Xap.Voice"},
      {"aOCID", "Serve OCID"},
      {"aOutlook", "Update Contacts with new name/numbers received"},
      {"aFormatSuffix", "Suffix with address book source on Message and Voice Output"},
  };
  for (const auto& [name, caption] : checks)
    EXPECT_EQ(d->findChild<QCheckBox*>(name.c_str())->text(), caption) << name;
  EXPECT_EQ(d->findChild<QPushButton*>("aSimulate")->text(), "Call");
  delete d.data();
}

// The contrast ratio of two colours as the accessibility guidelines define it.
double Contrast(const QColor& a, const QColor& b) {
  auto luminance = [](const QColor& c) {
    auto channel = [](double v) {
      return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
  };
  const double la = luminance(a), lb = luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

TEST_F(SetupDialogTest, HintUsesTheNormalTextColourWithAReadableContrast) {
  QPointer<SetupDialog> d = Open();
  QLabel* hint = d->findChild<QLabel*>("hint");
  ASSERT_NE(hint, nullptr);
  EXPECT_TRUE(hint->isEnabled());
  const QColor text = hint->palette().color(QPalette::Active, hint->foregroundRole());
  EXPECT_EQ(text, d->palette().color(QPalette::Active, QPalette::WindowText));
  EXPECT_GE(Contrast(text, d->palette().color(QPalette::Active, QPalette::Window)), 4.5);
  delete d.data();
}

TEST_F(SetupDialogTest, TabFollowsTheLayoutLeftColumnThenRight) {
  QPointer<SetupDialog> d = Open();
  // The focus chain from the first box, boxes only.
  std::vector<std::string> chain;
  QWidget* first = d->findChild<QLineEdit*>("aCIDCommPort");
  QWidget* w = first;
  do {
    if ((w->focusPolicy() & Qt::TabFocus) && !w->objectName().isEmpty() &&
        w->objectName().startsWith('a'))
      chain.push_back(w->objectName().toStdString());
    w = w->nextInFocusChain();
  } while (w && w != first);
  auto at = [&](const char* name) {
    return std::find(chain.begin(), chain.end(), name) - chain.begin();
  };
  const char* order[] = {
      "aCIDCommPort",      "aCIDPortString",  "aStripPrefix",     "aFriendsLocation",
      "aXAPNode",          "aXAPPID",         "aCIDDeviceCode",   "aMqttHost",
      "aMqttPort",         "aMqttPassword",   "aMqttDiscovery",   "aMqttDiscoveryPrefix",
      "aCIDIncoming",      "aXapVoice",       "aOCID",            "aOutlook",
      "aFormatPrefix",     "aFormatSuffix",   "aContactBookFolder", "aReverseLookupBaseURL",
      "aAreaCodeNames",    "aHistoryNotify",  "aSimulateNumber",  "aSimulate",
  };
  for (std::size_t i = 1; i < std::size(order); ++i) {
    ASSERT_LT(at(order[i]), static_cast<long>(chain.size())) << order[i];
    EXPECT_LT(at(order[i - 1]), at(order[i])) << order[i - 1] << " before " << order[i];
  }
  delete d.data();
}

TEST_F(SetupDialogTest, EnterInTheNumberBoxCallsAndEscapeClosesAndSaves) {
  QPointer<SetupDialog> d = Open();
  QLineEdit* number = d->findChild<QLineEdit*>("aSimulateNumber");
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(number, &enter);
  ASSERT_EQ(completed_.size(), 1u);
  EXPECT_EQ(completed_[0].Number, "123-456-7890");
  EXPECT_TRUE(d->isVisible());
  EXPECT_TRUE(saves_.empty());

  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(d->findChild<QLineEdit*>("aXAPPID"), &escape);
  EXPECT_TRUE(WaitFor([&] { return d.isNull(); }));
  EXPECT_EQ(saves_.size(), kSetupSaveOrder.size());
}

TEST_F(SetupDialogTest, NewSettingsAreWrittenToTheirSections) {
  QPointer<SetupDialog> d = Open();
  SetChecked(d, "aAreaCodeNames", false);
  SetChecked(d, "aHistoryNotify", false);
  SetText(d, "aMqttHost", "127.0.0.1");
  SetText(d, "aMqttPort", "18830");
  SetText(d, "aMqttPassword", "s3cret");
  SetText(d, "aMqttTopicPrefix", "house/cid");
  SetChecked(d, "aMqttDiscovery", false);
  SetText(d, "aCIDCommPort", "ncid:127.0.0.1:3333");
  CloseAndWait(d);
  EXPECT_EQ(Raw("General", "AreaCodeNames"), "0");
  EXPECT_EQ(Raw("History", "Notify"), "0");
  EXPECT_EQ(Raw("MQTT", "Host"), "127.0.0.1");
  EXPECT_EQ(Raw("MQTT", "Port"), "18830");
  EXPECT_EQ(Raw("MQTT", "Password"), "s3cret");
  EXPECT_EQ(Raw("MQTT", "TopicPrefix"), "house/cid");
  EXPECT_EQ(Raw("MQTT", "Discovery"), "0");
  EXPECT_EQ(Raw("MQTT", "DiscoveryPrefix"), "homeassistant");
  EXPECT_EQ(Raw("General", "CIDCommPort"), "\"ncid:127.0.0.1:3333\"");

  // Reopened, the boxes show what was written.
  d = Open();
  EXPECT_FALSE(Checked(d, "aHistoryNotify"));
  EXPECT_EQ(TextOf(d, "aMqttPort"), "18830");
  EXPECT_EQ(d->findChild<QLineEdit*>("aMqttPassword")->echoMode(), QLineEdit::PasswordEchoOnEdit);
  delete d.data();
}

}  // namespace

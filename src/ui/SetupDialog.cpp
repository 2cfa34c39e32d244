#include "ui/SetupDialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QKeyEvent>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>

#include "common/Settings.h"
#include "ui/SetupFields.h"
#include "ui/TrayArt.h"
#include "ui/UiText.h"

namespace {

constexpr const char* kProgram = "xapvynCID";

QLineEdit* MakeText(QWidget* owner, const char* name, const char* placeholder = nullptr) {
  auto* edit = new QLineEdit(owner);
  edit->setObjectName(QLatin1String(name));
  if (placeholder) edit->setPlaceholderText(QLatin1String(placeholder));
  return edit;
}

QCheckBox* MakeCheck(QWidget* owner, const char* name, const char* caption) {
  auto* box = new QCheckBox(QLatin1String(caption), owner);
  box->setObjectName(QLatin1String(name));
  return box;
}

QFormLayout* MakeForm(QGroupBox* group) {
  auto* form = new QFormLayout(group);
  form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
  form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
  form->setRowWrapPolicy(QFormLayout::DontWrapRows);
  return form;
}

QLabel* MakeLabel(QWidget* owner, const char* caption, QWidget* buddy) {
  auto* label = new QLabel(QLatin1String(caption), owner);
  label->setBuddy(buddy);
  return label;
}

// A path box with a small browse button beside it.
QWidget* WithBrowse(QWidget* owner, QLineEdit* edit, bool folder, const QString& title) {
  auto* row = new QWidget(owner);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(4);
  auto* browse = new QToolButton(row);
  browse->setText(QStringLiteral("..."));
  browse->setToolTip(folder ? QStringLiteral("Choose a folder") : QStringLiteral("Choose a file"));
  layout->addWidget(edit, 1);
  layout->addWidget(browse);
  QObject::connect(browse, &QToolButton::clicked, edit, [edit, folder, title] {
    const QString chosen =
        folder ? QFileDialog::getExistingDirectory(edit->window(), title, edit->text())
               : QFileDialog::getOpenFileName(edit->window(), title, edit->text());
    if (!chosen.isEmpty()) edit->setText(chosen);
  });
  return row;
}

// Gives every form label of a column the same width, right-aligned, so the boxes of
// all its frames line up under each other.
void AlignLabels(const QList<QFormLayout*>& forms) {
  QList<QLabel*> labels;
  for (QFormLayout* form : forms)
    for (int row = 0; row < form->rowCount(); ++row)
      if (QLayoutItem* item = form->itemAt(row, QFormLayout::LabelRole); item)
        if (auto* label = qobject_cast<QLabel*>(item->widget())) labels << label;
  int width = 0;
  for (QLabel* label : labels) width = std::max(width, label->sizeHint().width());
  for (QLabel* label : labels) {
    label->setMinimumWidth(width);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  }
}

// The widgets that take focus with Tab, in the order their layouts show them (rows top
// to bottom, columns left to right, form labels skipped).
void CollectFocusable(QLayout* layout, QList<QWidget*>& out);

void CollectFromWidget(QWidget* widget, QList<QWidget*>& out) {
  if (widget->focusPolicy() & Qt::TabFocus) out << widget;
  if (QLayout* inner = widget->layout()) CollectFocusable(inner, out);
}

void CollectFocusable(QLayout* layout, QList<QWidget*>& out) {
  for (int i = 0; i < layout->count(); ++i) {
    QLayoutItem* item = layout->itemAt(i);
    if (QWidget* widget = item->widget())
      CollectFromWidget(widget, out);
    else if (QLayout* inner = item->layout())
      CollectFocusable(inner, out);
  }
}

// A form layout keeps its items in insertion order, which is its row order.
void SetTabOrderFromLayout(QLayout* layout) {
  QList<QWidget*> chain;
  CollectFocusable(layout, chain);
  for (int i = 1; i < chain.size(); ++i) QWidget::setTabOrder(chain[i - 1], chain[i]);
}

}  // namespace

SetupDialog::SetupDialog(const UiHost& host, QWidget* parent) : QWidget(parent), host_(host) {
  setWindowFlag(Qt::Window);
  setAttribute(Qt::WA_DeleteOnClose);
  setObjectName(QStringLiteral("frmSetup"));
  setWindowTitle(QStringLiteral("CID Setup"));
  setWindowIcon(ProgramIcon());
  BuildLayout();

  LoadSettings();
}

void SetupDialog::BuildLayout() {
  // Left column: the link, the phonebook, the xAP identity and the BSC device.
  auto* serial = new QGroupBox(QStringLiteral("Serial CID"), this);
  QFormLayout* serialForm = MakeForm(serial);
  QLineEdit* commPort =
      MakeText(serial, "aCIDCommPort", "1, /dev/ttyACM0, host:port or ncid:host:port");
  serialForm->addRow(MakeLabel(serial, "Comm Port/IP", commPort), commPort);
  QLineEdit* portString = MakeText(serial, "aCIDPortString", "9600,n,8,1");
  serialForm->addRow(MakeLabel(serial, "Port Setup", portString), portString);
  QLineEdit* init = MakeText(serial, "aCIDModemInitString");
  serialForm->addRow(MakeLabel(serial, "Modem Init", init), init);
  QLineEdit* namePrefix = MakeText(serial, "aCIDNamePrefix");
  serialForm->addRow(MakeLabel(serial, "Name Prefix", namePrefix), namePrefix);
  QLineEdit* numberPrefix = MakeText(serial, "aCIDNumberPrefix");
  serialForm->addRow(MakeLabel(serial, "Number Prefix", numberPrefix), numberPrefix);
  serialForm->addRow(QString(),
                     MakeCheck(serial, "aInsertModemCrLf", "Auto-complete Name/Nmbr CrLf"));
  serialForm->addRow(QString(),
                     MakeCheck(serial, "aStripPrefix", "Remove Leading \"1\" if present"));

  auto* phonebook = new QGroupBox(QStringLiteral("Phonebook"), this);
  QFormLayout* phonebookForm = MakeForm(phonebook);
  QLineEdit* friends = MakeText(phonebook, "aFriendsLocation", "folder of Friends.txt");
  phonebookForm->addRow(
      MakeLabel(phonebook, "File Path to Friends.txt", friends),
      WithBrowse(phonebook, friends, true, QStringLiteral("Folder of Friends.txt")));

  auto* xap = new QGroupBox(QStringLiteral("XAP Identification"), this);
  QFormLayout* xapForm = MakeForm(xap);
  QLineEdit* node = MakeText(xap, "aXAPNode", "optional");
  xapForm->addRow(MakeLabel(xap, "XAP Souce Segment", node), node);
  QLineEdit* pid = MakeText(xap, "aXAPPID");
  xapForm->addRow(MakeLabel(xap, "XAP PID", pid), pid);

  auto* bsc = new QGroupBox(QStringLiteral("BSC Device Notification"), this);
  QFormLayout* bscForm = MakeForm(bsc);
  QLineEdit* device = MakeText(bsc, "aCIDDeviceCode");
  bscForm->addRow(MakeLabel(bsc, "CID Device Code", device), device);

  auto* mqtt = new QGroupBox(QStringLiteral("MQTT"), this);
  QFormLayout* mqttForm = MakeForm(mqtt);
  QLineEdit* mqttHost = MakeText(mqtt, "aMqttHost", "none, e.g. 127.0.0.1");
  mqttForm->addRow(MakeLabel(mqtt, "Broker Host", mqttHost), mqttHost);
  QLineEdit* mqttPort = MakeText(mqtt, "aMqttPort", "1883");
  mqttForm->addRow(MakeLabel(mqtt, "Broker Port", mqttPort), mqttPort);
  QLineEdit* mqttUser = MakeText(mqtt, "aMqttUser", "none");
  mqttForm->addRow(MakeLabel(mqtt, "User", mqttUser), mqttUser);
  QLineEdit* mqttPassword = MakeText(mqtt, "aMqttPassword", "none");
  mqttPassword->setEchoMode(QLineEdit::PasswordEchoOnEdit);
  mqttForm->addRow(MakeLabel(mqtt, "Password", mqttPassword), mqttPassword);
  QLineEdit* mqttPasswordFile = MakeText(mqtt, "aMqttPasswordFile", "none");
  mqttForm->addRow(
      MakeLabel(mqtt, "Password File", mqttPasswordFile),
      WithBrowse(mqtt, mqttPasswordFile, false, QStringLiteral("File holding the password")));
  QLineEdit* mqttCAFile = MakeText(mqtt, "aMqttCAFile", "none: no TLS");
  mqttForm->addRow(MakeLabel(mqtt, "CA File (TLS)", mqttCAFile),
                   WithBrowse(mqtt, mqttCAFile, false, QStringLiteral("CA certificate file")));
  QLineEdit* mqttClientId = MakeText(mqtt, "aMqttClientId", "made from the host name");
  mqttForm->addRow(MakeLabel(mqtt, "Client ID", mqttClientId), mqttClientId);
  QLineEdit* mqttTopic = MakeText(mqtt, "aMqttTopicPrefix", "xapvyncid");
  mqttForm->addRow(MakeLabel(mqtt, "Topic Prefix", mqttTopic), mqttTopic);
  mqttForm->addRow(QString(), MakeCheck(mqtt, "aMqttDiscovery", "Announce for discovery"));
  QLineEdit* mqttDiscovery = MakeText(mqtt, "aMqttDiscoveryPrefix", "homeassistant");
  mqttForm->addRow(MakeLabel(mqtt, "Discovery Prefix", mqttDiscovery), mqttDiscovery);

  auto* left = new QVBoxLayout;
  left->addWidget(serial);
  left->addWidget(phonebook);
  left->addWidget(xap);
  left->addWidget(bsc);
  left->addWidget(mqtt);
  left->addStretch(1);
  AlignLabels({serialForm, phonebookForm, xapForm, bscForm, mqttForm});

  // Right column: what happens on a call, the simulated call and the Linux sources.
  auto* action = new QGroupBox(QStringLiteral("Action on CID Receipt"), this);
  auto* actionLayout = new QVBoxLayout(action);

  auto* message = new QGroupBox(QStringLiteral("xAP Message"), action);
  auto* messageLayout = new QVBoxLayout(message);
  messageLayout->addWidget(MakeCheck(message, "aCIDIncoming", "xAP CID.Incoming"));
  messageLayout->addWidget(MakeCheck(message, "aMessageDisplay", "xAP Message.Display"));
  messageLayout->addWidget(MakeCheck(message, "aXapVoice", "xAP Xap.Voice"));

  auto* ocid = new QGroupBox(QStringLiteral("OCID"), action);
  auto* ocidLayout = new QVBoxLayout(ocid);
  ocidLayout->addWidget(MakeCheck(ocid, "aOCID", "Serve OCID"));
  ocidLayout->addStretch(1);

  auto* outlook = new QGroupBox(QStringLiteral("Microsoft Outlook"), action);
  auto* outlookLayout = new QVBoxLayout(outlook);
  outlookLayout->addWidget(
      MakeCheck(outlook, "aOutlook", "Update Contacts with new name/numbers received"));

  auto* formatting = new QGroupBox(QStringLiteral("Formatting"), action);
  auto* formattingLayout = new QVBoxLayout(formatting);
  auto* prefixRow = new QHBoxLayout;
  QLineEdit* prefix = MakeText(formatting, "aFormatPrefix");
  prefixRow->addWidget(MakeLabel(formatting, "Prefix Text on Voice Output", prefix));
  prefixRow->addWidget(prefix, 1);
  formattingLayout->addLayout(prefixRow);
  formattingLayout->addWidget(MakeCheck(
      formatting, "aFormatSuffix", "Suffix with address book source on Message and Voice Output"));

  auto* topRow = new QHBoxLayout;
  topRow->addWidget(message, 1);
  topRow->addWidget(ocid, 1);
  actionLayout->addLayout(topRow);
  actionLayout->addWidget(outlook);
  actionLayout->addWidget(formatting);

  auto* simulate = new QGroupBox(QStringLiteral("Simulate Call Received"), this);
  auto* simulateLayout = new QHBoxLayout(simulate);
  QLineEdit* number = MakeText(simulate, "aSimulateNumber");
  number->setText(QStringLiteral("123-456-7890"));
  auto* call = new QPushButton(QStringLiteral("Call"), simulate);
  call->setObjectName(QStringLiteral("aSimulate"));
  call->setAutoDefault(false);
  simulateLayout->addWidget(MakeLabel(simulate, "Number", number));
  simulateLayout->addWidget(number, 1);
  simulateLayout->addWidget(call);
  connect(call, &QPushButton::clicked, this, &SetupDialog::SimulateCall);
  // Enter in the number box presses "Call".
  connect(number, &QLineEdit::returnPressed, call, &QPushButton::click);

  auto* sources = new QGroupBox(QStringLiteral("Contacts and Reverse Lookup"), this);
  QFormLayout* sourcesForm = MakeForm(sources);
  QLineEdit* contacts = MakeText(sources, "aContactBookFolder", "none");
  sourcesForm->addRow(MakeLabel(sources, "Contact Book Folder (vCard)", contacts),
                      WithBrowse(sources, contacts, true, QStringLiteral("vCard contact folder")));
  QLineEdit* addressBook = MakeText(sources, "aAddressBookFile", "none");
  sourcesForm->addRow(
      MakeLabel(sources, "Address Book File (CSV)", addressBook),
      WithBrowse(sources, addressBook, false, QStringLiteral("Address book CSV file")));
  QLineEdit* baseUrl =
      MakeText(sources, "aReverseLookupBaseURL", "none, e.g. http://127.0.0.1:8080");
  sourcesForm->addRow(MakeLabel(sources, "Reverse Lookup Base URL", baseUrl), baseUrl);
  sourcesForm->addRow(QString(),
                      MakeCheck(sources, "aAreaCodeNames", "Name callers by area code"));
  AlignLabels({sourcesForm});

  auto* history = new QGroupBox(QStringLiteral("Call History"), this);
  auto* historyLayout = new QVBoxLayout(history);
  historyLayout->addWidget(
      MakeCheck(history, "aHistoryNotify", "Show a desktop notification for each call"));

  auto* right = new QVBoxLayout;
  right->addWidget(action);
  right->addWidget(sources);
  right->addWidget(history);
  right->addWidget(simulate);
  right->addStretch(1);

  auto* columns = new QHBoxLayout;
  columns->setSpacing(12);
  columns->addLayout(left, 1);
  columns->addLayout(right, 1);

  auto* hint = new QLabel(
      QStringLiteral("Changes are saved and take effect when this window is closed."), this);
  hint->setObjectName(QStringLiteral("hint"));
  // The palette's normal text colour: a disabled (grey) label is too faint to read.
  hint->setForegroundRole(QPalette::WindowText);

  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(12, 12, 12, 10);
  outer->setSpacing(8);
  outer->addLayout(columns);
  outer->addWidget(hint);

  SetTabOrderFromLayout(outer);
}

QLineEdit* SetupDialog::Text(const char* name) {
  return findChild<QLineEdit*>(QLatin1String(name));
}

QCheckBox* SetupDialog::Check(const char* name) {
  return findChild<QCheckBox*>(QLatin1String(name));
}

void SetupDialog::LoadSettings() {
  for (const SetupField& field : kSetupLoadOrder) {
    const std::string key(field.key);
    const std::string fallback = !field.fallback.empty()            ? std::string(field.fallback)
                                 : field.group == kSettingsSection ? SettingDefault(key)
                                                                   : "";
    HostStatus status;
    std::string value;
    try {
      if (host_.GetIniSetting)
        value = host_.GetIniSetting(std::string(field.group), key, fallback,
                                    std::string(kSetupFile), &status);
    } catch (const std::exception& e) {
      status = HostStatus::Fail(0, e.what());
      value = fallback;
    }
    if (!status && host_.Report)
      host_.Report(kProgram, "SetupLoad " + key, status.location, status.description);
    value = RemoveQuotes(value);
    const std::string control(field.control);
    if (field.Check()) {
      // The box shows what the program does with the value (on when its number is
      // 1), so that closing the dialog never turns a setting such as "1.0" off.
      if (QCheckBox* box = Check(control.c_str())) box->setChecked(SettingIsOn(value));
    } else if (QLineEdit* edit = Text(control.c_str())) {
      edit->setText(ToQ(value));
      edit->setCursorPosition(0);
    }
  }
  ocidAtLoad_ = Check("aOCID")->isChecked();
}

void SetupDialog::SaveSettings() {
  for (const SetupField& field : kSetupSaveOrder) {
    const std::string control(field.control);
    std::string value = field.Check()
                            ? std::string(1, Check(control.c_str())->isChecked() ? '1' : '0')
                            : FromQ(Text(control.c_str())->text());
    if (field.Quoted()) value = "\"" + value + "\"";
    const std::string key(field.saveKey);
    HostStatus status;
    try {
      if (host_.SaveIniSetting)
        status =
            host_.SaveIniSetting(std::string(field.group), key, value, std::string(kSetupFile));
    } catch (const std::exception& e) {
      status = HostStatus::Fail(0, e.what());
    }
    if (!status && host_.Report)
      host_.Report(kProgram, "SetupSave " + key, status.location, status.description);
  }
  if (!ocidAtLoad_ && Check("aOCID")->isChecked() && host_.StartClientService)
    host_.StartClientService();
  if (host_.InitIniKeys) host_.InitIniKeys();
  if (host_.InitApplication) host_.InitApplication();
}

void SetupDialog::SimulateCall() {
  CallerRecord* record = host_.Caller ? host_.Caller() : nullptr;
  if (!record) return;
  record->Name.clear();
  record->Number = FromQ(Text("aSimulateNumber")->text());
  record->NameDetected = true;
  record->NumberDetected = true;
  if (host_.ProcessModemInput) host_.ProcessModemInput();
}

void SetupDialog::Discard() {
  discarded_ = true;
  close();
}

void SetupDialog::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier)
    close();
  else
    QWidget::keyPressEvent(event);
}

void SetupDialog::closeEvent(QCloseEvent* event) {
  // A window that is closed twice (e.g. by the user, then by shutdown) saves once.
  const bool shuttingDown = host_.ShuttingDown && host_.ShuttingDown();
  if (!discarded_ && !saved_ && !shuttingDown) {
    saved_ = true;
    SaveSettings();
  }
  event->accept();
}

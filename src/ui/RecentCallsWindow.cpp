#include "ui/RecentCallsWindow.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QShowEvent>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>

#include "ui/DesktopText.h"
#include "ui/TrayArt.h"
#include "ui/UiText.h"

namespace {

constexpr int kInstantRole = Qt::UserRole;

qint64 Millis(std::chrono::system_clock::time_point time) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
}

// A time cell sorts by the instant it holds.
class TimeItem : public QTableWidgetItem {
 public:
  using QTableWidgetItem::QTableWidgetItem;
  bool operator<(const QTableWidgetItem& other) const override {
    return data(kInstantRole).toLongLong() < other.data(kInstantRole).toLongLong();
  }
};

QTableWidgetItem* Cell(const QString& text) {
  auto* item = new QTableWidgetItem(text);
  item->setFlags(item->flags() & ~Qt::ItemIsEditable);
  return item;
}

bool SameCall(const CompletedCall& a, const CompletedCall& b) {
  return a.time == b.time && a.number == b.number;
}

}  // namespace

RecentCallsWindow::RecentCallsWindow(QWidget* parent) : QWidget(parent) {
  setWindowFlag(Qt::Window);
  setObjectName(QStringLiteral("frmRecentCalls"));
  setWindowTitle(QStringLiteral("Recent Calls"));
  setWindowIcon(ProgramIcon());

  search_ = new QLineEdit(this);
  search_->setObjectName(QStringLiteral("search"));
  search_->setPlaceholderText(QStringLiteral("Search name or number"));
  search_->setClearButtonEnabled(true);
  auto* searchLabel = new QLabel(QStringLiteral("&Search"), this);
  searchLabel->setBuddy(search_);
  connect(search_, &QLineEdit::textChanged, this, &RecentCallsWindow::Reload);

  table_ = new QTableWidget(0, 4, this);
  table_->setObjectName(QStringLiteral("calls"));
  table_->setHorizontalHeaderLabels({QStringLiteral("Time"), QStringLiteral("Name"),
                                     QStringLiteral("Number"), QStringLiteral("Named by")});
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->verticalHeader()->hide();
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->setSortingEnabled(true);
  table_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(table_, &QTableWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    if (QTableWidgetItem* item = table_->itemAt(at)) table_->selectRow(item->row());
    if (SelectedRow() < 0) return;
    QMenu menu(this);
    connect(menu.addAction(QStringLiteral("Copy number")), &QAction::triggered, this,
            &RecentCallsWindow::CopyNumber);
    connect(menu.addAction(QStringLiteral("Add to contacts...")), &QAction::triggered, this,
            &RecentCallsWindow::AskAddToContacts);
    menu.exec(table_->viewport()->mapToGlobal(at));
  });

  auto* copy = new QPushButton(QStringLiteral("&Copy number"), this);
  copy->setObjectName(QStringLiteral("copyNumber"));
  copy->setAutoDefault(false);
  connect(copy, &QPushButton::clicked, this, &RecentCallsWindow::CopyNumber);
  auto* add = new QPushButton(QStringLiteral("&Add to contacts..."), this);
  add->setObjectName(QStringLiteral("addContact"));
  add->setAutoDefault(false);
  connect(add, &QPushButton::clicked, this, &RecentCallsWindow::AskAddToContacts);
  auto* close = new QPushButton(QStringLiteral("Close"), this);
  close->setAutoDefault(false);
  connect(close, &QPushButton::clicked, this, &QWidget::close);

  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("status"));

  auto* top = new QHBoxLayout;
  top->addWidget(searchLabel);
  top->addWidget(search_, 1);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(status_, 1);
  bottom->addWidget(copy);
  bottom->addWidget(add);
  bottom->addWidget(close);
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(12, 10, 12, 10);
  outer->addLayout(top);
  outer->addWidget(table_, 1);
  outer->addLayout(bottom);

  const QFontMetrics metrics(font());
  resize(metrics.horizontalAdvance(QLatin1Char('0')) * 90, metrics.lineSpacing() * 24);
  table_->setColumnWidth(kTime, metrics.horizontalAdvance(QStringLiteral("0000-00-00 00:00:00")) + 24);
  table_->setColumnWidth(kName, metrics.horizontalAdvance(QLatin1Char('0')) * 28);
  table_->setColumnWidth(kNumber, metrics.horizontalAdvance(QLatin1Char('0')) * 18);
}

void RecentCallsWindow::SetProvider(Provider provider) {
  provider_ = std::move(provider);
  Reload();
}

void RecentCallsWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier)
    close();
  else
    QWidget::keyPressEvent(event);
}

void RecentCallsWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  Reload();
}

void RecentCallsWindow::Reload() {
  const std::string search = FromQ(search_->text());
  std::vector<CompletedCall> calls;
  try {
    if (provider_) calls = provider_(limit_, search);
  } catch (const std::exception& e) {
    ShowStatus(QStringLiteral("History not available: ") + ToQ(e.what()));
  }
  for (const CompletedCall& call : live_) {
    const bool stored = std::any_of(calls.begin(), calls.end(),
                                    [&](const CompletedCall& c) { return SameCall(c, call); });
    if (!stored && CallMatches(call, search)) calls.push_back(call);
  }
  table_->setSortingEnabled(false);
  table_->setRowCount(0);
  for (const CompletedCall& call : calls) AddRow(call, false);
  table_->setSortingEnabled(true);
  table_->sortItems(kTime, Qt::DescendingOrder);
}

void RecentCallsWindow::AddRow(const CompletedCall& call, bool atTop) {
  const bool sorting = table_->isSortingEnabled();
  table_->setSortingEnabled(false);
  const int row = atTop ? 0 : table_->rowCount();
  table_->insertRow(row);
  auto* time = new TimeItem(ToQ(CallTimeText(call.time)));
  time->setFlags(time->flags() & ~Qt::ItemIsEditable);
  time->setData(kInstantRole, Millis(call.time));
  table_->setItem(row, kTime, time);
  table_->setItem(row, kName, Cell(ToQ(call.name)));
  QTableWidgetItem* number =
      Cell(ToQ(call.displayNumber.empty() ? call.number : call.displayNumber));
  number->setData(kInstantRole, ToQ(call.number));
  table_->setItem(row, kNumber, number);
  table_->setItem(row, kNamedBy, Cell(ToQ(NamedByWords(call.namedBy))));
  table_->setSortingEnabled(sorting);
}

void RecentCallsWindow::CallArrived(const CompletedCall& call) {
  live_.push_back(call);
  if (!CallMatches(call, FromQ(search_->text()))) return;
  // A new call is the newest: it goes on top whatever column the table is sorted by,
  // until the next reload sorts it in.
  const bool sorting = table_->isSortingEnabled();
  table_->setSortingEnabled(false);
  AddRow(call, true);
  table_->setSortingEnabled(sorting && table_->horizontalHeader()->sortIndicatorSection() == kTime &&
                            table_->horizontalHeader()->sortIndicatorOrder() == Qt::DescendingOrder);
}

void RecentCallsWindow::CallUpdated(const CompletedCall& call) {
  for (CompletedCall& held : live_)
    if (SameCall(held, call)) held = call;
  const int row = FindRow(call);
  if (row < 0) return;
  table_->item(row, kName)->setText(ToQ(call.name));
  table_->item(row, kNamedBy)->setText(ToQ(NamedByWords(call.namedBy)));
}

int RecentCallsWindow::FindRow(const CompletedCall& call) const {
  const qint64 instant = Millis(call.time);
  const QString number = ToQ(call.number);
  for (int row = 0; row < table_->rowCount(); ++row)
    if (table_->item(row, kTime)->data(kInstantRole).toLongLong() == instant &&
        table_->item(row, kNumber)->data(kInstantRole).toString() == number)
      return row;
  return -1;
}

int RecentCallsWindow::SelectedRow() const {
  const QList<QTableWidgetItem*> selected = table_->selectedItems();
  return selected.isEmpty() ? -1 : selected.first()->row();
}

void RecentCallsWindow::CopyNumber() {
  const int row = SelectedRow();
  if (row < 0) return;
  QApplication::clipboard()->setText(table_->item(row, kNumber)->text());
  ShowStatus(QStringLiteral("Copied ") + table_->item(row, kNumber)->text());
}

void RecentCallsWindow::AskAddToContacts() {
  const int row = SelectedRow();
  if (row < 0) {
    ShowStatus(QStringLiteral("Choose a call first."));
    return;
  }
  auto* ask = new QInputDialog(this);
  ask->setObjectName(QStringLiteral("askContactName"));
  ask->setAttribute(Qt::WA_DeleteOnClose);
  ask->setWindowTitle(QStringLiteral("Add to contacts"));
  ask->setLabelText(QStringLiteral("Name for ") + table_->item(row, kNumber)->text());
  ask->setInputMode(QInputDialog::TextInput);
  ask->setTextValue(table_->item(row, kName)->text());
  connect(ask, &QInputDialog::textValueSelected, this,
          [this](const QString& name) { AddToContacts(FromQ(name.trimmed())); });
  ask->open();
}

bool RecentCallsWindow::AddToContacts(const std::string& name) {
  const int row = SelectedRow();
  if (row < 0) return false;
  const std::string number = FromQ(table_->item(row, kNumber)->text());
  if (name.empty()) {
    ShowStatus(QStringLiteral("A contact needs a name."));
    return false;
  }
  bool added = false;
  std::string why;
  try {
    added = addContact_ && addContact_(name, number);
    if (!addContact_) why = "no contact folder is set up";
  } catch (const std::exception& e) {
    why = e.what();
  }
  if (added)
    ShowStatus(QStringLiteral("Added ") + ToQ(name) + QStringLiteral(" to the contacts."));
  else
    ShowStatus(QStringLiteral("Could not add ") + ToQ(name) + QStringLiteral(" to the contacts") +
               (why.empty() ? QString() : QStringLiteral(": ") + ToQ(why)) + QLatin1Char('.'));
  return added;
}

void RecentCallsWindow::ShowStatus(const QString& text) { status_->setText(text); }

QString RecentCallsWindow::StatusText() const { return status_->text(); }

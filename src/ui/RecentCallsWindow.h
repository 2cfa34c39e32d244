#pragma once
// RecentCallsWindow: the "Recent Calls" window: a table of the call history (time,
// name, number, how the caller was named), newest first, a search box, "Copy number"
// and "Add to contacts...".
//
// What callers may rely on:
//  - The rows come from the provider, asked for at most Limit() calls matching the
//    search text (empty: all), plus the calls given to CallArrived since the window was
//    made that the provider does not return (same time and number). The provider is
//    asked again when the window is shown, when the search text changes and when
//    SetProvider is called; an empty provider gives no stored rows.
//  - The table sorts by any column on a header click; Reload() sorts by time, newest
//    first. A row's time sorts by the instant, not by its text.
//  - CallArrived(call) puts a matching call at the top at once (also while hidden);
//    CallUpdated(call) renames the row of the same time and number.
//  - "Copy number" (button or the row's context menu) puts the display number of the
//    selected row on the clipboard.
//  - "Add to contacts..." asks the name (a line edit holding the row's name) and then
//    calls the add-contact hook with that name and the row's display number; a false
//    answer, an exception or a missing hook shows a failure line in the window.
//  - Escape and the close box hide the window.
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "common/CompletedCall.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

class RecentCallsWindow : public QWidget {
  Q_OBJECT
 public:
  using Provider = std::function<std::vector<CompletedCall>(int limit, const std::string& search)>;
  using AddContact = std::function<bool(const std::string& name, const std::string& displayNumber)>;

  enum Column { kTime = 0, kName = 1, kNumber = 2, kNamedBy = 3 };
  static constexpr int kDefaultLimit = 500;

  explicit RecentCallsWindow(QWidget* parent = nullptr);

  void SetProvider(Provider provider);
  void SetAddContact(AddContact hook) { addContact_ = std::move(hook); }
  void SetLimit(int limit) { limit_ = limit; }
  int Limit() const { return limit_; }

  void Reload();
  void CallArrived(const CompletedCall& call);
  void CallUpdated(const CompletedCall& call);

  // The actions on the selected row.
  void CopyNumber();
  void AskAddToContacts();
  // Adds the selected row's number under name; false (and the failure shown) when
  // there is no selected row or the hook fails.
  bool AddToContacts(const std::string& name);

  QTableWidget& Table() { return *table_; }
  QLineEdit& Search() { return *search_; }
  QString StatusText() const;

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void AddRow(const CompletedCall& call, bool atTop);
  int SelectedRow() const;
  int FindRow(const CompletedCall& call) const;
  void ShowStatus(const QString& text);

  Provider provider_;
  AddContact addContact_;
  int limit_ = kDefaultLimit;
  std::vector<CompletedCall> live_;
  QLineEdit* search_ = nullptr;
  QTableWidget* table_ = nullptr;
  QLabel* status_ = nullptr;
};

// The recent calls window: newest first, sorting, search as you type, live calls,
// copying the number, adding a contact through the hook, and Escape.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QHeaderView>
#include <QInputDialog>
#include <QLineEdit>
#include <QTableWidget>
#include <QTest>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "UiTestSupport.h"
#include "ui/DesktopText.h"
#include "ui/RecentCallsWindow.h"

namespace {

using namespace std::chrono;

const system_clock::time_point kBase = system_clock::from_time_t(1'780'000'000);

CompletedCall Call(int minutes, const std::string& name, const std::string& number,
                   NamedBy by = NamedBy::Phonebook) {
  CompletedCall c;
  c.time = kBase + std::chrono::minutes(minutes);
  c.name = name;
  c.number = number;
  c.displayNumber = "(" + number.substr(0, 3) + ")" + number.substr(3, 3) + "-" + number.substr(6);
  c.namedBy = by;
  return c;
}

class RecentCallsWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Stored out of order on purpose: the window sorts them.
    stored_ = {Call(10, "Ann Baker", "5550001111"), Call(30, "Carol Dean", "5550003333"),
               Call(20, "Bob Cole", "5550002222", NamedBy::AreaCode)};
    window_ = std::make_unique<RecentCallsWindow>();
    window_->SetProvider([this](int limit, const std::string& search) {
      asked_.push_back({limit, search});
      std::vector<CompletedCall> out;
      for (const CompletedCall& c : stored_)
        if (CallMatches(c, search)) out.push_back(c);
      return out;
    });
    window_->SetAddContact([this](const std::string& name, const std::string& number) {
      added_.push_back(name + " / " + number);
      if (failAdd_) throw std::runtime_error("folder is read-only");
      return true;
    });
  }
  void TearDown() override {
    window_.reset();
    EXPECT_EQ(VisibleWindows(), 0);
  }

  QStringList Column(int column) {
    QStringList out;
    QTableWidget& t = window_->Table();
    for (int row = 0; row < t.rowCount(); ++row) out << t.item(row, column)->text();
    return out;
  }

  std::vector<CompletedCall> stored_;
  std::unique_ptr<RecentCallsWindow> window_;
  std::vector<std::pair<int, std::string>> asked_;
  std::vector<std::string> added_;
  bool failAdd_ = false;
};

TEST_F(RecentCallsWindowTest, ShowsTheHistoryNewestFirstAndSortsByAnyColumn) {
  window_->show();
  EXPECT_EQ(window_->windowTitle(), "Recent Calls");
  EXPECT_FALSE(window_->windowIcon().isNull());
  EXPECT_EQ(Column(RecentCallsWindow::kName),
            QStringList({"Carol Dean", "Bob Cole", "Ann Baker"}));
  EXPECT_EQ(Column(RecentCallsWindow::kNumber),
            QStringList({"(555)000-3333", "(555)000-2222", "(555)000-1111"}));
  EXPECT_EQ(Column(RecentCallsWindow::kNamedBy),
            QStringList({"Phonebook", "Area code", "Phonebook"}));
  EXPECT_EQ(Column(RecentCallsWindow::kTime).front(),
            QString::fromStdString(CallTimeText(kBase + minutes(30))));
  ASSERT_FALSE(asked_.empty());
  EXPECT_EQ(asked_.back(), std::make_pair(RecentCallsWindow::kDefaultLimit, std::string()));

  window_->Table().sortItems(RecentCallsWindow::kName, Qt::AscendingOrder);
  EXPECT_EQ(Column(RecentCallsWindow::kName),
            QStringList({"Ann Baker", "Bob Cole", "Carol Dean"}));
  window_->Table().sortItems(RecentCallsWindow::kTime, Qt::AscendingOrder);
  EXPECT_EQ(Column(RecentCallsWindow::kName),
            QStringList({"Ann Baker", "Bob Cole", "Carol Dean"}));
  window_->close();
}

TEST_F(RecentCallsWindowTest, TimeSortsByTheInstantNotTheText) {
  // Two calls in the same second still sort by their instant.
  stored_ = {Call(0, "Early", "5550001111"), Call(0, "Late", "5550002222")};
  stored_[1].time += milliseconds(400);
  window_->Reload();
  EXPECT_EQ(Column(RecentCallsWindow::kName), QStringList({"Late", "Early"}));
}

TEST_F(RecentCallsWindowTest, SearchFiltersAsYouType) {
  window_->show();
  QTest::keyClicks(&window_->Search(), "co");
  EXPECT_EQ(asked_.back().second, "co");
  EXPECT_EQ(Column(RecentCallsWindow::kName), QStringList({"Bob Cole"}));
  window_->Search().clear();
  QTest::keyClicks(&window_->Search(), "0003");
  EXPECT_EQ(Column(RecentCallsWindow::kName), QStringList({"Carol Dean"}));
  window_->Search().clear();
  EXPECT_EQ(window_->Table().rowCount(), 3);
  window_->close();
}

TEST_F(RecentCallsWindowTest, LiveCallsGoOnTopAndAreRenamedByAnUpdate) {
  window_->show();
  CompletedCall live = Call(40, "Dora Eve", "5550004444", NamedBy::CallerId);
  window_->CallArrived(live);
  EXPECT_EQ(Column(RecentCallsWindow::kName).front(), "Dora Eve");
  EXPECT_EQ(window_->Table().rowCount(), 4);

  live.firstName = live.name;
  live.name = "Dora Evans";
  live.namedBy = NamedBy::ReverseLookup;
  window_->CallUpdated(live);
  EXPECT_EQ(Column(RecentCallsWindow::kName).front(), "Dora Evans");
  EXPECT_EQ(Column(RecentCallsWindow::kNamedBy).front(), "Reverse lookup");

  // A reload keeps the live call, and once the history holds it, shows it once.
  window_->Reload();
  EXPECT_EQ(Column(RecentCallsWindow::kName).front(), "Dora Evans");
  stored_.push_back(live);
  window_->Reload();
  EXPECT_EQ(window_->Table().rowCount(), 4);

  // A live call that does not match the search waits for the search to change.
  QTest::keyClicks(&window_->Search(), "ann");
  window_->CallArrived(Call(50, "Fred Gray", "5550005555"));
  EXPECT_EQ(Column(RecentCallsWindow::kName), QStringList({"Ann Baker"}));
  window_->Search().clear();
  EXPECT_EQ(Column(RecentCallsWindow::kName).front(), "Fred Gray");
  window_->close();
}

TEST_F(RecentCallsWindowTest, WithoutAProviderItShowsTheLiveCalls) {
  RecentCallsWindow bare;
  bare.show();
  EXPECT_EQ(bare.Table().rowCount(), 0);
  bare.CallArrived(Call(1, "Ann Baker", "5550001111"));
  bare.CallArrived(Call(2, "Bob Cole", "5550002222"));
  EXPECT_EQ(bare.Table().item(0, RecentCallsWindow::kName)->text(), "Bob Cole");
  bare.Reload();
  EXPECT_EQ(bare.Table().item(0, RecentCallsWindow::kName)->text(), "Bob Cole");
  EXPECT_EQ(bare.Table().rowCount(), 2);
  // "Add to contacts" with no hook says so instead of doing nothing.
  bare.Table().selectRow(0);
  EXPECT_FALSE(bare.AddToContacts("Bob"));
  EXPECT_TRUE(bare.StatusText().contains("Could not add")) << bare.StatusText().toStdString();
  bare.close();
}

TEST_F(RecentCallsWindowTest, CopiesTheNumberOfTheSelectedRow) {
  window_->show();
  window_->Table().selectRow(1);
  window_->CopyNumber();
  EXPECT_EQ(QApplication::clipboard()->text(), "(555)000-2222");
  window_->close();
}

TEST_F(RecentCallsWindowTest, AddToContactsAsksTheNameAndCallsTheHook) {
  window_->show();
  window_->Table().selectRow(0);
  window_->AskAddToContacts();
  auto* ask = window_->findChild<QInputDialog*>("askContactName");
  ASSERT_NE(ask, nullptr);
  EXPECT_EQ(ask->textValue(), "Carol Dean");  // the row's name to start from
  ask->setTextValue("Carol D. Dean");
  ask->accept();
  ASSERT_EQ(added_.size(), 1u);
  EXPECT_EQ(added_[0], "Carol D. Dean / (555)000-3333");
  EXPECT_TRUE(window_->StatusText().startsWith("Added")) << window_->StatusText().toStdString();

  // A failing hook shows why.
  failAdd_ = true;
  window_->Table().selectRow(2);
  EXPECT_FALSE(window_->AddToContacts("Ann"));
  EXPECT_EQ(added_.back(), "Ann / (555)000-1111");
  EXPECT_TRUE(window_->StatusText().contains("folder is read-only"))
      << window_->StatusText().toStdString();
  window_->close();
}

TEST_F(RecentCallsWindowTest, EscapeClosesIt) {
  window_->show();
  window_->activateWindow();
  QTest::keyClick(&window_->Search(), Qt::Key_Escape);
  EXPECT_FALSE(window_->isVisible());
}

}  // namespace

// The display-client service window: loading, the debug switch, the test send, the
// information block, the double-click and closing with its log.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <algorithm>
#include <string>
#include <vector>

#include "UiTestSupport.h"
#include "ui/ClientServiceText.h"
#include "ui/ClientServiceWindow.h"

namespace {

// A stand-in service: its log, stored and in-memory debug flags and client slots.
class ClientServiceWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClientServiceSource& s = ui_.ClientService;
    s.LogText = [this] { return log_; };
    s.ClearLog = [this] {
      calls_.push_back("ClearLog");
      log_.clear();
    };
    s.AppendLog = [this](const std::string& text) { Append(text); };
    s.ServerLog = [this](const std::string& message, int level) {
      calls_.push_back("ServerLog " + std::to_string(level) + " " + message);
      Append("time~!~xapvynCID OrvoServer Info~!~" + message + "\r\n");
    };
    s.StoredDebug = [this] { return storedDebug_; };
    s.SaveDebug = [this](bool on) {
      calls_.push_back(std::string("SaveDebug ") + (on ? "True" : "False"));
      storedDebug_ = on;
    };
    s.SetServiceDebug = [this](bool on) {
      calls_.push_back(std::string("SetServiceDebug ") + (on ? "true" : "false"));
    };
    s.SendCIDSentry = [this](const std::string& name, const std::string& number) {
      calls_.push_back("SendCIDSentry " + name + " " + number);
    };
    s.ClientSlots = [this] { return slots_; };
    s.ServiceActive = [] { return true; };
    window_ = std::make_unique<ClientServiceWindow>(ui_);
  }
  void TearDown() override { window_->hide(); }

  void Append(const std::string& piece) {
    log_ += piece;
    window_->LogAppended(piece);
  }
  QPlainTextEdit* Box() { return window_->findChild<QPlainTextEdit*>("txtArray0"); }
  QCheckBox* Debug() { return window_->findChild<QCheckBox*>("chkArray0"); }
  QPushButton* Button(const char* name) { return window_->findChild<QPushButton*>(name); }

  UiHost ui_;
  std::string log_ = "earlier line\r\n";
  bool storedDebug_ = false;
  std::vector<std::string> slots_;
  std::vector<std::string> calls_;
  std::unique_ptr<ClientServiceWindow> window_;
};

TEST_F(ClientServiceWindowTest, HasItsControlsAndCaptions) {
  EXPECT_EQ(window_->windowTitle(), "xapvynCID");
  ASSERT_NE(Box(), nullptr);
  auto* frame = qobject_cast<QGroupBox*>(Box()->parentWidget());
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(frame->title(), "Logging");
  EXPECT_EQ(Debug()->text(), "Turn Debug Mode On");
  EXPECT_EQ(Button("cmdArray0")->text(), "&OK");
  EXPECT_EQ(Button("cmdArray1")->text(), "&Cancel");
  EXPECT_EQ(Button("TestMessageButton")->text(), "&Send Test Message");
  EXPECT_EQ(Button("AdvancedInfoButton")->text(), "&Advanced Information");
}

struct DebugRow {
  const char* name;
  bool stored;
};
void PrintTo(const DebugRow& row, std::ostream* out) { *out << row.name; }

class ClientServiceLoad : public ClientServiceWindowTest,
                          public ::testing::WithParamInterface<DebugRow> {};

TEST_P(ClientServiceLoad, OpeningShowsTheLogAndTheStoredDebugValue) {
  storedDebug_ = GetParam().stored;
  window_->Open();
  EXPECT_TRUE(window_->isVisible());
  EXPECT_EQ(Debug()->isChecked(), GetParam().stored);
  EXPECT_EQ(Box()->toPlainText(), "earlier line\n");
  EXPECT_TRUE(calls_.empty());  // opening changes nothing
}

INSTANTIATE_TEST_SUITE_P(Rows, ClientServiceLoad,
                         ::testing::Values(DebugRow{"StoredTrue", true},
                                           DebugRow{"StoredFalse", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ClientServiceWindowTest, OkStoresTheSwitchAndClosesWithTheLog) {
  window_->Open();
  Debug()->setChecked(true);
  Button("cmdArray0")->click();
  EXPECT_EQ(calls_,
            (std::vector<std::string>{"SetServiceDebug true", "SaveDebug True", "ClearLog"}));
  EXPECT_FALSE(window_->isVisible());
  EXPECT_FALSE(window_->Loaded());
  EXPECT_TRUE(log_.empty());
}

TEST_F(ClientServiceWindowTest, CancelAfterTickingChangesNothing) {
  window_->Open();
  Debug()->setChecked(true);
  Button("cmdArray1")->click();
  EXPECT_EQ(calls_, std::vector<std::string>{"ClearLog"});
  EXPECT_FALSE(storedDebug_);
  EXPECT_FALSE(window_->isVisible());
}

TEST_F(ClientServiceWindowTest, NextLineAfterClosingLoadsAgainWithOnlyThatLine) {
  window_->Open();
  window_->close();  // the close box
  EXPECT_FALSE(window_->Loaded());
  storedDebug_ = true;
  Append("fresh line\r\n");
  EXPECT_TRUE(window_->Loaded());
  EXPECT_FALSE(window_->isVisible());  // loaded, not shown
  EXPECT_EQ(Box()->toPlainText(), "fresh line\n");
  EXPECT_TRUE(Debug()->isChecked());
  Append("second\r\n");
  EXPECT_EQ(Box()->toPlainText(), "fresh line\nsecond\n");
}

TEST_F(ClientServiceWindowTest, TestSendLogsSetsDebugFromTheStoreAndSends) {
  storedDebug_ = true;
  window_->Open();
  Button("TestMessageButton")->click();
  EXPECT_EQ(calls_,
            (std::vector<std::string>{"ServerLog 0 Sending Test Message.", "SetServiceDebug true",
                                      "SendCIDSentry Test Caller (123)456-7890"}));
  EXPECT_TRUE(Box()->toPlainText().endsWith("~!~Sending Test Message.\n"));
}

TEST_F(ClientServiceWindowTest, AdvancedInformationWithNoClientsHasNoArrows) {
  window_->Open();
  Button("AdvancedInfoButton")->click();
  const QString text = Box()->toPlainText();
  EXPECT_TRUE(text.contains(QString(56, QLatin1Char('*')) + "\n                  Orvo Server\n"));
  EXPECT_TRUE(text.contains("Registered CID clients:\n"));
  EXPECT_FALSE(text.contains("-->"));
}

TEST_F(ClientServiceWindowTest, AdvancedInformationListsEverySlot) {
  slots_ = {"127.0.0.1", "-127.0.0.2", ""};
  window_->Open();
  Button("AdvancedInfoButton")->click();
  EXPECT_TRUE(Box()->toPlainText().endsWith(
      "Registered CID clients:\n--> 127.0.0.1\n--> -127.0.0.2\n--> \n\n\n"));
}

TEST_F(ClientServiceWindowTest, DoubleClickEmptiesTheLog) {
  window_->Open();
  QWidget* viewport = Box()->viewport();
  QMouseEvent click(QEvent::MouseButtonDblClick, QPointF(5, 5),
                    viewport->mapToGlobal(QPointF(5, 5)), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QApplication::sendEvent(viewport, &click);
  EXPECT_EQ(Box()->toPlainText(), "");
  EXPECT_TRUE(log_.empty());
  Append("after\r\n");
  EXPECT_EQ(Box()->toPlainText(), "after\n");
}

TEST(InformationBlockTest, ExactText) {
  const std::string stars(56, '*');
  const std::string block = InformationBlock({"10.0.0.7", "-10.0.0.8"});
  const std::string head =
      "\r\n\r\n" + stars + "\r\n" + std::string(18, ' ') + "Orvo Server\r\n" + stars + "\r\n";
  EXPECT_EQ(block.substr(0, head.size()), head);
  const std::string tail =
      stars + "\r\nRegistered CID clients:\r\n--> 10.0.0.7\r\n--> -10.0.0.8\r\n\r\n\r\n";
  ASSERT_GE(block.size(), tail.size());
  EXPECT_EQ(block.substr(block.size() - tail.size()), tail);
  // Every line ends in CR LF.
  for (std::size_t i = 0; i < block.size(); ++i)
    if (block[i] == '\n') {
      EXPECT_TRUE(i > 0 && block[i - 1] == '\r') << i;
    }
}

void Press(QWidget* target, int key) {
  QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
  QApplication::sendEvent(target, &down);
}

TEST_F(ClientServiceWindowTest, EnterPressesOkAndEscapeCancels) {
  struct Row {
    const char* name;
    int key;
    bool saves;
  };
  const Row rows[] = {{"Return", Qt::Key_Return, true},
                      {"Enter", Qt::Key_Enter, true},
                      {"Escape", Qt::Key_Escape, false}};
  for (const Row& row : rows) {
    calls_.clear();
    window_->Open();
    Debug()->setChecked(true);
    // From the check box and from the log box the key reaches the window.
    Press(row.key == Qt::Key_Escape ? static_cast<QWidget*>(Box()) : Debug(), row.key);
    EXPECT_FALSE(window_->isVisible()) << row.name;
    const bool saved = std::find(calls_.begin(), calls_.end(), "SaveDebug True") != calls_.end();
    EXPECT_EQ(saved, row.saves) << row.name;
  }
}

TEST_F(ClientServiceWindowTest, ShowsHowManyDisplaysAreRegisteredWithDebugOff) {
  window_->SetStatePollInterval(10);
  slots_ = {"", "", ""};
  window_->Open();
  EXPECT_EQ(window_->StateText(), "Client service running, 0 displays registered");
  // A display subscribes (nothing is logged with debug off): the line follows.
  slots_ = {"127.0.0.1:42685", "", "-127.0.0.1:42686"};
  EXPECT_TRUE(WaitFor([&] {
    return window_->StateText() == "Client service running, 1 display registered";
  }));
  slots_ = {"127.0.0.1:42685", "127.0.0.2:42685", ""};
  EXPECT_TRUE(WaitFor([&] {
    return window_->StateText() == "Client service running, 2 displays registered";
  }));
  // The line is in the palette's normal text colour, not the disabled grey.
  QLabel* state = window_->findChild<QLabel*>("serviceState");
  EXPECT_TRUE(state->isEnabled());
}

TEST(ClientServiceTextTest, RegisteredDisplaysCountsSubscribedSlotsOnly) {
  EXPECT_EQ(RegisteredDisplays({}), 0);
  EXPECT_EQ(RegisteredDisplays({"", "-127.0.0.1:1", "127.0.0.1:2", "10.0.0.7:42685"}), 2);
}

}  // namespace

// The modem communications window: its controls, the newest text in view after each
// change, and "Close" hiding it with its text kept.
#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <string>

#include "UiTestSupport.h"
#include "ui/TrafficWindow.h"

namespace {

class TrafficWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui_.Traffic.CommData = [this] { return commData_; };
    ui_.Traffic.CommStatus = [this] { return commStatus_; };
    ui_.Traffic.PortStatus = [this] { return portStatus_; };
    window_ = std::make_unique<TrafficWindow>(ui_);
  }
  QPlainTextEdit* Box(const char* name) { return window_->findChild<QPlainTextEdit*>(name); }
  QLabel* Label(const char* name) { return window_->findChild<QLabel*>(name); }
  static bool EndInView(QPlainTextEdit* box) {
    QScrollBar* bar = box->verticalScrollBar();
    return bar->maximum() > 0 && bar->value() == bar->maximum();
  }
  void AddLines(int count) {
    for (int i = 0; i < count; ++i) {
      commData_ += "12:00:0" + std::to_string(i % 10) + " |  line " + std::to_string(n_) + "\r\n";
      commStatus_ += "\r\n2";
      ++n_;
    }
  }

  UiHost ui_;
  std::string commData_, commStatus_, portStatus_ = "Port Status";
  std::unique_ptr<TrafficWindow> window_;
  int n_ = 0;
};

TEST_F(TrafficWindowTest, HasItsControlsAndCaptions) {
  EXPECT_EQ(window_->windowTitle(), "Modem Communications Window");
  ASSERT_NE(Box("CommData"), nullptr);
  ASSERT_NE(Box("CommStatus"), nullptr);
  EXPECT_TRUE(Box("CommData")->isReadOnly());
  ASSERT_NE(Label("aOpenStatus"), nullptr);
  EXPECT_EQ(Label("aOpenStatus")->text(), "Port Status");
  ASSERT_NE(Label("Label1"), nullptr);
  EXPECT_EQ(Label("Label1")->text(), "Status");
  ASSERT_NE(window_->findChild<QPushButton*>("CommClose"), nullptr);
  EXPECT_EQ(window_->findChild<QPushButton*>("CommClose")->text(), "Close");
}

TEST_F(TrafficWindowTest, NewestTextIsInViewAfterEachChange) {
  window_->show();
  for (int round = 0; round < 3; ++round) {
    AddLines(80);
    window_->Refresh();
    QApplication::processEvents();
    EXPECT_TRUE(EndInView(Box("CommData"))) << round;
    EXPECT_TRUE(EndInView(Box("CommStatus"))) << round;
    EXPECT_TRUE(Box("CommData")
                    ->toPlainText()
                    .endsWith(QString::fromStdString("line " + std::to_string(n_ - 1) + "\n")));
  }
  window_->hide();
}

TEST_F(TrafficWindowTest, ShowsLinesAndEightBitTextAsTheyAre) {
  commData_ = "RING\r\nNAME = Ren\xe9\r\nNMBR = 5551234";
  portStatus_ = "Port /dev/ttyUSB0 Open / 1 tries";
  window_->show();
  EXPECT_EQ(Box("CommData")->toPlainText(),
            QString::fromLatin1("RING\nNAME = Ren\xe9\nNMBR = 5551234"));
  EXPECT_EQ(Box("CommData")->blockCount(), 3);
  EXPECT_EQ(Label("aOpenStatus")->text(), "Port /dev/ttyUSB0 Open / 1 tries");
  window_->hide();
}

TEST_F(TrafficWindowTest, CloseHidesAndTextCollectedMeanwhileShowsOnReopen) {
  AddLines(5);
  window_->show();
  window_->findChild<QPushButton*>("CommClose")->click();
  EXPECT_FALSE(window_->isVisible());

  AddLines(50);
  portStatus_ = "Port 127.0.0.1:3001 Not Connected";
  window_->Refresh();  // while hidden: only marked stale
  window_->show();
  EXPECT_TRUE(Box("CommData")->toPlainText().contains("line 54"));
  EXPECT_TRUE(EndInView(Box("CommData")));
  EXPECT_EQ(Label("aOpenStatus")->text(), "Port 127.0.0.1:3001 Not Connected");

  window_->close();  // the close box hides too; the window lives on
  EXPECT_FALSE(window_->isVisible());
  EXPECT_FALSE(Box("CommData")->toPlainText().isEmpty());
}

TEST_F(TrafficWindowTest, LongLinesKeepTheirStartInViewAfterEachAppend) {
  window_->resize(300, 200);
  window_->show();
  for (int round = 0; round < 3; ++round) {
    commData_ += "12:00:0" + std::to_string(round) + " | " + std::string(300, 'x') + "\r\n";
    commData_ += "12:00:0" + std::to_string(round) + " | " + std::string(250, 'y');  // no end yet
    window_->Refresh();
    QScrollBar* sideways = Box("CommData")->horizontalScrollBar();
    EXPECT_GT(sideways->maximum(), 0) << round;  // the lines are wider than the box
    EXPECT_EQ(sideways->value(), 0) << round;
  }
  window_->hide();
}

TEST_F(TrafficWindowTest, EscapeHidesIt) {
  window_->show();
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(Box("CommData"), &escape);
  EXPECT_FALSE(window_->isVisible());
}

}  // namespace

#pragma once
// SetupDialog: the "CID Setup" window, where the user edits the options of
// vynRinglet.ini. It is modeless and lives only while it is open (it deletes itself
// when closed), so every opening reads the file afresh.
//
// What callers may rely on:
//  - Construction loads every setting of kSetupLoadOrder through host.GetIniSetting,
//    with every double quote removed: text boxes show the text, check boxes are on
//    exactly when the text is "1". The OCID box's state at load is remembered.
//  - Closing it (close box, or close()) while host.ShuttingDown() is false writes every
//    setting of kSetupSaveOrder through host.SaveIniSetting (XAPNode, XAPPID and
//    CIDCommPort wrapped in double quotes; check boxes as "0"/"1"), starts the client
//    service when OCID was off at load and is on now, then calls InitIniKeys and
//    InitApplication. While the program is shutting down, or after Discard, nothing
//    is written and nothing is called.
//  - A setting that fails to load or save (a failed status, or an exception from the
//    callback) is reported (type "xapvynCID", text "SetupLoad " / "SetupSave " + key)
//    and the others are still processed; a setting that fails to load shows its default.
//  - Escape closes it (and so saves, as the close box does). Enter in the number box
//    presses "Call". Tab follows the layout: the left column top to bottom, then the
//    right one.
//  - A setting missing from the file shows its field's fallback (SetupFields.h).
//  - "Call" puts an empty name and the number box's text into the caller record,
//    marks both as detected and calls ProcessModemInput.
//  - Control object names are the setting's box names (aCIDCommPort, aOCID, ...).
#include <QWidget>

#include "ui/UiHost.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

class SetupDialog : public QWidget {
  Q_OBJECT
 public:
  explicit SetupDialog(const UiHost& host, QWidget* parent = nullptr);

  // Closes the window without saving (the shutdown path).
  void Discard();
  // The "Call" button's action.
  void SimulateCall();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void BuildLayout();
  void LoadSettings();
  void SaveSettings();
  QLineEdit* Text(const char* name);
  QCheckBox* Check(const char* name);

  const UiHost& host_;
  bool ocidAtLoad_ = false;
  bool discarded_ = false;
  bool saved_ = false;
};

// The "Select Port" dialog: asks the user for a serial port when a port component is opened
// without a port number. It lists the ports from COM1 to COM50 that can be opened now or exist
// but are held by another program. InstallPortPromptHook() makes it the answer to the port
// component's prompt for a port.
#pragma once
#include <QDialog>

class QComboBox;
class QFrame;
class QLabel;
class QPushButton;

// Modal results of the dialog's buttons and close box.
enum TModalResult : int { mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3 };

class TComSelectForm : public QDialog {
  Q_OBJECT

public:
  // Builds the form and fills the port list (FormCreate).
  explicit TComSelectForm(QWidget* owner = nullptr);

  // The number of the chosen entry: its text from the fourth character on, as a decimal number.
  // With nothing chosen the conversion fails (platform::EConvertError).
  int SelectedPortNumber() const;

  // The close box and Escape end the dialog with mrCancel.
  void reject() override;

  QLabel* Label1;
  QLabel* Label2;
  QFrame* Bevel1;
  QPushButton* OkBtn;
  QPushButton* AbortBtn;
  QComboBox* PortsComboBox;

private:
  void FormCreate();
};

// Ports tried by the dialog: 1 to this number.
inline constexpr int MaxListedPort = 50;

// Installs the dialog as the platform's prompt for a port: shown modally; OK answers the chosen
// number, any other ending answers "cancelled".
void InstallPortPromptHook();

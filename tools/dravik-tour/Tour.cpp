// The guided tour's steps.
#include "tools/dravik-tour/Tour.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QKeyEvent>
#include <QPageSize>
#include <QPrinter>
#include <cstdio>

#include "app/DravikPCMain.h"
#include "tests/support/Waits.h"
#include "tools/dravik-tour/TourTexts.h"

namespace tour {

namespace {

// Each step's own bound in milliseconds, generous for a loaded machine. The read-out of an
// instrument takes about two seconds; "CLEAR" waits for a tick, then reads everything again.
constexpr int kStartBound = 15000;
constexpr int kWindowBound = 15000;
constexpr int kConnectBound = 60000;
constexpr int kTypeBound = 15000;
constexpr int kPictureBound = 15000;
constexpr int kPrintBound = 30000;
constexpr int kClearBound = 60000;
constexpr int kCloseBound = 15000;
constexpr int kSteps = 8;  // and the records step, when asked for
constexpr int kRecordsBound = 30000;

// The simulator answers a control command at once; this only bounds a stuck pipe.
constexpr int kControlMs = 5000;

// A key pressed and released on `widget`, with the text it types (Qt's key codes of Latin-1
// characters are their upper-case code points). Sent as the keyboard would, without Qt Test,
// which the Windows build's Qt leaves out.
void PressKey(QWidget* widget, Qt::Key key, const QString& text = {}) {
  for (const QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
    QKeyEvent event(type, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(widget, &event);
  }
}

void TypeText(QWidget* widget, const QString& text) {
  for (const QChar c : text) PressKey(widget, static_cast<Qt::Key>(c.toUpper().unicode()), QString(c));
}


// Every stored test of a simulator "state" line holds nothing.
bool ResultsErased(const QJsonObject& state) {
  for (const QJsonValue& test : state.value(QStringLiteral("tests")).toArray()) {
    const QJsonObject t = test.toObject();
    for (const char* key : {"stop", "angle", "mean", "peak", "speed", "distance"})
      if (t.value(QLatin1String(key)).toInt() != 0) return false;
  }
  return true;
}

std::string Seconds(int ms) { return std::to_string((ms + 999) / 1000) + " s"; }

}  // namespace

Tour::Tour(TourOptions options, QString simProgram)
    : options_(std::move(options)), simProgram_(std::move(simProgram)), boxes_(std::make_shared<TourBoxes>()) {
  TMessageBoxGuard::Instance().SetSeam(boxes_);
}

Tour::~Tour() {
  form_.reset();  // the window and its port go before the seam they may still use
  TMessageBoxGuard::Instance().SetSeam(nullptr);
}

int Tour::Run() {
  startedUtcMs_ = QDateTime::currentMSecsSinceEpoch();
  const bool records = !options_.records.empty();
  StepRunner runner(kSteps + (records ? 1 : 0));
  const auto bound = [this](int own) { return options_.stepTimeoutS ? *options_.stepTimeoutS * 1000 : own; };
  const auto step = [&](const char* name, int own, StepResult (Tour::*run)(int)) {
    return runner.Run(name, bound(own), [this, run](int timeoutMs) { return (this->*run)(timeoutMs); });
  };
  step("start dravik-sim", kStartBound, &Tour::StartSimulator) &&
      step("open the window", kWindowBound, &Tour::OpenWindow) &&
      step("connect", kConnectBound, &Tour::Connect) &&
      step("type the vehicle, the examiner and a note", kTypeBound, &Tour::TypeEntries) &&
      step("save a picture of the window", kPictureBound, &Tour::SavePicture) &&
      step("print the report", kPrintBound, &Tour::PrintReport) &&
      step("press CLEAR and read the instrument again", kClearBound, &Tour::ClearResults) &&
      step("close the window", kCloseBound, &Tour::CloseWindow) &&
      (!records || step("reprint it from the archive in dravik-records", kRecordsBound, &Tour::ReprintInRecords));
  if (runner.Failed()) return 1;
  std::printf("Every step succeeded.\n  window picture: %s\n  printed report: %s\n",
              Absolute(options_.window).toLocal8Bit().constData(),
              Absolute(options_.report).toLocal8Bit().constData());
  return 0;
}

StepResult Tour::StartSimulator(int timeoutMs) {
  if (options_.port) return StepResult::Ok("none started: the instrument on COM " + std::to_string(*options_.port));
  QStringList args;
  for (const std::string& arg : options_.simArgs) args << QString::fromStdString(arg);
  sim_ = std::make_unique<::SimProcess>(args, simProgram_, timeoutMs);
  if (sim_->Number() == 0) return StepResult::Failed(sim_->Error());
  return StepResult::Ok("COM " + std::to_string(sim_->Number()) + " on " + sim_->Tty().toStdString());
}

StepResult Tour::OpenWindow(int timeoutMs) {
  form_ = std::make_unique<TDravikPCMainForm>();
  form_->show();
  // The first showing counts as an activation, which fills the port list from the event loop.
  const QString port = QStringLiteral("COM %1").arg(PortNumber());
  if (!WaitFor([&] { return form_->CommsCB->findText(port) >= 0 || !boxes_->shown.isEmpty(); }, timeoutMs) ||
      !boxes_->shown.isEmpty()) {
    QStringList listed;
    for (int i = 0; i < form_->CommsCB->count(); ++i) listed << form_->CommsCB->itemText(i);
    std::string why = port.toStdString() + " is not in the window's port list (it lists: " +
                      (listed.isEmpty() ? QStringLiteral("nothing") : listed.join(QStringLiteral(", "))).toStdString() + ")";
    return StepResult::Failed(why + BoxesSince(0));
  }
  return StepResult::Ok(std::to_string(form_->CommsCB->count()) + " port(s) listed");
}

StepResult Tour::Connect(int timeoutMs) {
  const int before = static_cast<int>(boxes_->shown.size());
  form_->CommsCB->setCurrentIndex(form_->CommsCB->findText(QStringLiteral("COM %1").arg(PortNumber())));
  form_->ConnectBUT->click();
  const bool connected =
      WaitFor([&] { return Connected() || boxes_->shown.size() > before; }, timeoutMs) && Connected();
  if (const std::string boxes = BoxesSince(before); !boxes.empty()) return StepResult::Failed(boxes.substr(2));
  if (!connected) {
    std::string why = "the connected view did not appear within " + Seconds(timeoutMs) + " (read-out step " +
                      form_->ConnectStepLAB->text().toStdString() + ")";
    if (const QJsonObject state = sim_ ? sim_->State(kControlMs) : QJsonObject(); !state.isEmpty())
      why += "; the simulator answered " + std::to_string(state.value(QStringLiteral("requests")).toInt()) +
             " request(s)";
    return StepResult::Failed(why);
  }
  return StepResult::Ok(form_->TypeLAB->text().toStdString() + ", serial " + form_->SerialEB->text().toStdString() +
                        ", " + form_->VersionLAB->text().toStdString());
}

StepResult Tour::TypeEntries(int) {
  // Typed key by key into the boxes, replacing their initial texts, as the examiner would.
  for (QLineEdit* box : {form_->VehicleEB, form_->ExaminerEB}) box->selectAll();
  TypeText(form_->VehicleEB, kVehicle);
  TypeText(form_->ExaminerEB, kExaminer);
  form_->Memo1->moveCursor(QTextCursor::End);
  PressKey(form_->Memo1, Qt::Key_Return, QStringLiteral("\r"));
  TypeText(form_->Memo1, kNote);
  if (form_->VehicleEB->text() != kVehicle || form_->ExaminerEB->text() != kExaminer ||
      !form_->Memo1->toPlainText().endsWith(kNote))
    return StepResult::Failed("the boxes do not hold what was typed (vehicle \"" +
                              form_->VehicleEB->text().toStdString() + "\", examiner \"" +
                              form_->ExaminerEB->text().toStdString() + "\")");
  return StepResult::Ok();
}

StepResult Tour::SavePicture(int) {
  const QString path = Absolute(options_.window);
  if (!MakeParentFolder(path)) return StepResult::Failed("cannot create the folder of " + path.toStdString());
  QFile::remove(path);
  // No text cursor in the picture (the notes box keeps drawing it after the typing).
  const int cursorWidth = form_->Memo1->cursorWidth();
  form_->Memo1->setCursorWidth(0);
  const QImage picture = form_->grab().toImage();
  form_->Memo1->setCursorWidth(cursorWidth);
  if (!picture.save(path, "PNG")) return StepResult::Failed("cannot write " + path.toStdString());
  const QImage check(path);
  if (check.isNull() || check.size() != picture.size())
    return StepResult::Failed(path.toStdString() + " does not read back as the picture written");
  return StepResult::Ok(path.toStdString() + " (" + std::to_string(picture.width()) + "x" +
                        std::to_string(picture.height()) + ")");
}

StepResult Tour::PrintReport(int) {
  const QString path = Absolute(options_.report);
  if (!MakeParentFolder(path)) return StepResult::Failed("cannot create the folder of " + path.toStdString());
  QFile::remove(path);
  const int before = static_cast<int>(boxes_->shown.size());
  {
    // The printer dialog would choose the printer; here Qt's own PDF printer stands in for it.
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    printer.setPageSize(QPageSize(QPageSize::A4));
    try {
      form_->PrintReportTo(printer);
    } catch (const std::exception& e) {
      return StepResult::Failed(std::string("printing failed: ") + e.what());
    }
  }
  if (const std::string boxes = BoxesSince(before); !boxes.empty()) return StepResult::Failed(boxes.substr(2));
  QFile pdf(path);
  if (!pdf.open(QIODevice::ReadOnly)) return StepResult::Failed("no report was written to " + path.toStdString());
  if (!pdf.read(5).startsWith("%PDF-")) return StepResult::Failed(path.toStdString() + " is not a PDF file");
  return StepResult::Ok(path.toStdString() + " (" + std::to_string((pdf.size() + 1023) / 1024) + " KB, " +
                        (form_->PlusModel() ? "full" : "short") + " report)");
}

StepResult Tour::ClearResults(int timeoutMs) {
  if (form_->ClearBUT->isHidden() || !form_->ClearBUT->isEnabled())
    return StepResult::Failed("\"CLEAR\" is not there to press");
  // With --port there is no simulator to ask: the step then checks the window alone.
  const QJsonObject stateBefore = options_.port ? QJsonObject() : sim_->State(kControlMs);
  if (stateBefore.isEmpty() && !options_.port) return StepResult::Failed("the simulator did not report its state");
  const QString peakBefore = form_->T1PeakEB->text();
  const int before = static_cast<int>(boxes_->shown.size());

  // The erase restarts the read-out: the connected view goes and comes back with what the
  // instrument now holds.
  bool left = false;
  const QMetaObject::Connection watch = QObject::connect(form_->ConnectedRB, &QAbstractButton::toggled,
                                                         [&left](bool checked) { left = left || !checked; });
  form_->ClearBUT->click();
  const bool readAgain =
      WaitFor([&] { return (left && Connected()) || boxes_->shown.size() > before; }, timeoutMs) && left &&
      Connected();
  QObject::disconnect(watch);
  if (const std::string boxes = BoxesSince(before); !boxes.empty()) return StepResult::Failed(boxes.substr(2));
  if (!readAgain)
    return StepResult::Failed(left ? "the instrument was not read again within " + Seconds(timeoutMs)
                                   : "the read-out did not restart within " + Seconds(timeoutMs));

  const QString peakAfter = form_->T1PeakEB->text();
  if (options_.port)
    return StepResult::Ok("read again; Test 1 peak \"" + peakBefore.toStdString() + "\" became \"" +
                          peakAfter.toStdString() + "\"");
  const QJsonObject stateAfter = sim_->State(kControlMs);
  if (stateAfter.isEmpty()) return StepResult::Failed("the simulator did not report its state");
  if (!ResultsErased(stateAfter)) return StepResult::Failed("the instrument still holds results");
  if (!ResultsErased(stateBefore) && peakAfter == peakBefore)
    return StepResult::Failed("the window still shows the old Test 1 peak " + peakBefore.toStdString());
  return StepResult::Ok("results erased; Test 1 peak \"" + peakBefore.toStdString() + "\" became \"" +
                        peakAfter.toStdString() + "\"");
}

StepResult Tour::CloseWindow(int timeoutMs) {
  const int before = static_cast<int>(boxes_->shown.size());
  form_->close();
  if (form_->Session->ApdComPort1->Open()) return StepResult::Failed("the port is still open after closing the window");
  form_.reset();
  if (const std::string boxes = BoxesSince(before); !boxes.empty()) return StepResult::Failed(boxes.substr(2));
  if (options_.port) return StepResult::Ok("port closed");
  std::string error;
  if (!sim_->Quit(timeoutMs, error)) return StepResult::Failed(error);
  return StepResult::Ok("port closed, dravik-sim ended");
}

bool Tour::Connected() const {
  const TDravikPCMainForm& f = *form_;
  return f.ConnectedRB->isChecked() && !f.ConfigGB->isHidden() && !f.CalibGB->isHidden() &&
         !f.ResultsGB->isHidden() && !f.ConnectedGB->isHidden() && !f.Test1GB->isHidden() && !f.NotesGB->isHidden();
}

std::string Tour::BoxesSince(int before) const {
  std::string text;
  for (int i = before; i < boxes_->shown.size(); ++i)
    text += "; the program showed the message \"" + boxes_->shown[i].trimmed().toStdString() + "\"";
  return text;
}

}  // namespace tour
